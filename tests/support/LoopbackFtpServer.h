#pragma once
// An anonymous, read-only FTP server on 127.0.0.1 serving one folder, run
// as Debian's pyftpdlib module under /usr/bin/python3 for as long as the
// object lives. available() is false when the module is not installed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kivra::test {

class LoopbackFtpServer {
 public:
  explicit LoopbackFtpServer(const std::string& folder) {
    if (std::system("/usr/bin/python3 -c 'import pyftpdlib' > /dev/null 2>&1") != 0) return;
    port_ = freePort();
    if (port_ == 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string port = std::to_string(port_);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", port.c_str(), "-d",
              folder.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ready once it takes connections (a few seconds at most).
    for (int i = 0; i < 200 && pid_ > 0; ++i) {
      if (accepts()) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~LoopbackFtpServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  LoopbackFtpServer(const LoopbackFtpServer&) = delete;
  LoopbackFtpServer& operator=(const LoopbackFtpServer&) = delete;

  bool available() const { return ready_; }
  std::string url(const std::string& path) const { return "ftp://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  static int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin_port);
    ::close(fd);
    return port;
  }
  bool accepts() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port_));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
  }

  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace kivra::test
