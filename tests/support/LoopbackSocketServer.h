#pragma once
// A TCP server on 127.0.0.1 and a free port, for the XML socket tests. Each
// connection it accepts runs `talk` on a thread of its own; the helpers
// read and write zero-terminated messages. Whatever a connection read with
// readMessage is recorded. The destructor stops listening, breaks every
// open connection and joins the threads.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kivra::test {

class LoopbackSocketServer {
 public:
  using Talk = std::function<void(LoopbackSocketServer& server, int fd)>;

  explicit LoopbackSocketServer(Talk talk) : talk_(std::move(talk)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 16);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    accepter_ = std::thread([this] { serve(); });
  }
  ~LoopbackSocketServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    accepter_.join();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int c : clients_) ::shutdown(c, SHUT_RDWR);
    }
    for (std::thread& t : talkers_) t.join();
    for (int c : clients_) ::close(c);
  }
  LoopbackSocketServer(const LoopbackSocketServer&) = delete;
  LoopbackSocketServer& operator=(const LoopbackSocketServer&) = delete;

  int port() const { return port_; }
  // A port on 127.0.0.1 that nothing listens on (bound, then let go).
  static int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }

  // One message up to its zero byte (not included); false when the peer
  // closed first.
  bool readMessage(int fd, std::string& message) {
    message.clear();
    char c;
    while (true) {
      const ssize_t n = ::recv(fd, &c, 1, 0);
      if (n <= 0) return false;
      if (c == '\0') break;
      message += c;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(message);
    return true;
  }
  // False when the peer stopped taking bytes.
  static bool write(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  std::vector<std::string> received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  int connections() const { return accepted_; }

 private:
  void serve() {
    while (!stop_) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
      clients_.push_back(c);
      talkers_.emplace_back([this, c] {
        talk_(*this, c);
        ::shutdown(c, SHUT_RDWR);  // closed by the destructor, so the number is not reused meanwhile
      });
    }
  }

  Talk talk_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread accepter_;
  std::mutex mutex_;
  std::vector<int> clients_;
  std::vector<std::thread> talkers_;
  std::vector<std::string> received_;
};

}  // namespace kivra::test
