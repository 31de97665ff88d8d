#pragma once
// URL streams over the network (http, https, ftp) with libcurl. Requests run
// on a small pool of worker threads that never touch the core: they post
// messages (started, final URL, length, data pieces of at most 64 KiB,
// end) to a queue, and deliver() hands them to the receivers on the
// player's thread, in order. Cancelling stops a transfer at its next
// progress check. A request times out after 60 s without data.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/host/UrlStreams.h"

namespace kivra {

class NetUrlStreams {
 public:
  static constexpr int kWorkers = 3;
  static constexpr uint32_t kFirstId = 0x80000000u;

  NetUrlStreams();
  ~NetUrlStreams();
  NetUrlStreams(const NetUrlStreams&) = delete;
  NetUrlStreams& operator=(const NetUrlStreams&) = delete;

  // 0 unless the URL is http, https or ftp.
  uint32_t open(const UrlStreamRequest& request, UrlStreamReceiver& receiver);
  void cancel(uint32_t id);
  // Hands every queued message to its receiver.
  void deliver();
  // Delivers until no stream is open; a stream that brings nothing for
  // `idleMs` is ended as failed. For runs that must not depend on timing.
  void settle(uint32_t idleMs);
  bool idle() const { return streams_.empty(); }
  // Called from a worker thread whenever a message is queued (the desktop
  // wakes its event loop with it).
  void setWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }

 private:
  struct Job;
  struct Message {
    enum Kind : uint8_t { Started, FinalUrl, Length, Data, Closed, Destroyed } kind;
    uint32_t id;
    int64_t number = 0;
    std::string text;
    std::vector<uint8_t> data;
    static Message make(Kind kind, uint32_t id, int64_t number = 0, std::string text = {},
                        std::vector<uint8_t> data = {}) {
      Message m{kind, id, number, std::move(text), std::move(data)};
      return m;
    }
  };
  struct Stream {
    UrlStreamReceiver* receiver;
    std::shared_ptr<Job> job;
  };
  void work();
  void run(Job& job);
  // The answer's status, length and final URL go out before its first data.
  static void announce(Job& job);
  void post(Message m);
  // One message to its receiver; false when the stream ended with it.
  void handle(Message& m);
  void finish(uint32_t id);

  std::unordered_map<uint32_t, Stream> streams_;  // player's thread only
  uint32_t nextId_ = kFirstId;
  std::function<void()> wakeup_;

  std::mutex mutex_;
  std::condition_variable jobsReady_;
  std::condition_variable messagesReady_;
  std::deque<std::shared_ptr<Job>> jobs_;
  std::deque<Message> messages_;
  std::atomic<bool> shuttingDown_{false};
  std::vector<std::thread> workers_;
};

}  // namespace kivra
