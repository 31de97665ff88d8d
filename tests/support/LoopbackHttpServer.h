#pragma once
// A small HTTP/1.0 server on 127.0.0.1 and a free port, for the tests of
// loading over the network. Each path answers as its Route says; "/echo"
// answers a POST with its body. Every request is recorded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivra::test {

class LoopbackHttpServer {
 public:
  struct Route {
    int status = 200;
    std::string body;
    bool sendLength = true;
    size_t cutAfter = std::string::npos;  // close after this many body bytes
    std::string location;                 // for redirects

    static Route ok(std::string body, bool sendLength = true) {
      Route r;
      r.body = std::move(body);
      r.sendLength = sendLength;
      return r;
    }
    static Route redirect(std::string to) {
      Route r;
      r.status = 302;
      r.location = std::move(to);
      return r;
    }
    static Route cut(std::string body, size_t after) {
      Route r = ok(std::move(body));
      r.cutAfter = after;
      return r;
    }
  };
  struct Request {
    std::string method, path, head, body;
  };

  LoopbackHttpServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 16);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackHttpServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }

  int port() const { return port_; }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  void route(const std::string& path, Route r) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(r);
  }
  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    while (!stop_) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      answer(c);
      ::close(c);
    }
  }
  void answer(int c) {
    std::string in;
    char buf[4096];
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) return;
      in.append(buf, static_cast<size_t>(n));
      headEnd = in.find("\r\n\r\n");
    }
    Request r;
    r.head = in.substr(0, headEnd);
    const size_t sp = r.head.find(' '), sp2 = r.head.find(' ', sp + 1);
    r.method = r.head.substr(0, sp);
    r.path = r.head.substr(sp + 1, sp2 - sp - 1);
    size_t length = 0;
    for (const char* key : {"Content-Length: ", "content-length: "})
      if (size_t at = r.head.find(key); at != std::string::npos) length = std::stoul(r.head.substr(at + 16));
    r.body = in.substr(headEnd + 4);
    while (r.body.size() < length) {
      const ssize_t n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      r.body.append(buf, static_cast<size_t>(n));
    }
    Route route;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(r);
      const std::string path = r.path.substr(0, r.path.find('?'));
      if (path == "/echo") route.body = r.body;
      else if (auto it = routes_.find(path); it != routes_.end()) route = it->second;
      else route.status = 404;
    }
    std::string out = "HTTP/1.0 " + std::to_string(route.status) + " X\r\n";
    if (!route.location.empty()) out += "Location: " + route.location + "\r\n";
    if (route.sendLength) out += "Content-Length: " + std::to_string(route.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += route.body.substr(0, route.cutAfter);
    ::send(c, out.data(), out.size(), MSG_NOSIGNAL);
  }

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, Route> routes_;
  std::vector<Request> requests_;
};

}  // namespace kivra::test
