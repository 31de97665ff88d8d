#pragma once
// XML socket connections over non-blocking POSIX TCP sockets, moved on by
// the player's thread between frame steps (service). Dotted and other
// numeric addresses connect at once; host names are looked up on a short
// worker thread (at most kMaxLookups at a time) that touches nothing but
// its own result, so a slow name server never holds up a frame step.
//
// Receivers are called only from service() and settle(), on the player's
// thread. Reads take at most kReadChunk bytes at a time, until the socket
// has none left or kReadBudget bytes were read in one pass (a peer that
// sends without pause cannot hold the player in one pass). Output waits in
// a queue and goes whenever the socket is writable; a queue grown past
// kMaxQueuedOutput (a peer that does not read) breaks the connection.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/host/SocketConnections.h"

namespace kivra {

class PosixSocketConnections : public SocketConnections {
 public:
  static constexpr size_t kMaxConnections = 256;
  static constexpr int kMaxLookups = 4;
  static constexpr size_t kReadChunk = 1024;
  static constexpr size_t kReadBudget = size_t{1} << 20;
  static constexpr size_t kMaxQueuedOutput = size_t{16} << 20;

  PosixSocketConnections();
  ~PosixSocketConnections() override;
  PosixSocketConnections(const PosixSocketConnections&) = delete;
  PosixSocketConnections& operator=(const PosixSocketConnections&) = delete;

  uint32_t openSocket(const std::string& host, uint16_t port, SocketReceiver& receiver) override;
  void sendSocket(uint32_t id, const uint8_t* data, size_t count) override;
  void closeSocket(uint32_t id) override;

  // Moves every connection on without waiting: finished lookups connect,
  // finished connects are reported, output is written and input read.
  void service();
  // For runs that must not depend on timing: services until every
  // connection that was waiting for something when called has had one
  // event (connected or not, a whole message, closed), for at most
  // `waitMs`. A connection waits while its lookup or connect runs, while it
  // owes a reply (it sent since its last whole message came in) and while
  // a message is half in. Past `waitMs` a lookup or connect fails, and an
  // owed reply or half message is no longer waited for until the
  // connection sends again or a whole message comes in. One event each
  // keeps a peer that answers every message from holding the step.
  void settle(uint32_t waitMs);
  size_t count() const { return connections_.size(); }

 private:
  struct Lookup;
  struct Connection;
  using Clock = std::chrono::steady_clock;

  // Starts the lookups that wait for a free worker.
  void startLookups();
  // Tries the connection's next address; false when none is left.
  bool connectNext(Connection& c);
  // One connection's pass; false when it is gone.
  bool step(uint32_t id);
  bool flush(Connection& c);
  // Reports to the receiver; false when the connection went meanwhile.
  bool reportConnected(uint32_t id, bool ok);
  bool reportClosed(uint32_t id);
  bool waiting(const Connection& c) const;
  Connection* find(uint32_t id);

  std::map<uint32_t, std::unique_ptr<Connection>> connections_;
  uint32_t nextId_ = 1;
  // Lookups whose worker still runs, whether or not their connection is
  // still there.
  std::vector<std::shared_ptr<Lookup>> lookups_;
};

}  // namespace kivra
