#include "platform/PosixSocketConnections.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>
#include <thread>

namespace kivra {

namespace {

struct Address {
  sockaddr_storage bytes{};
  socklen_t length = 0;
};

// getaddrinfo's answers for stream sockets; empty when it finds none.
std::vector<Address> lookUp(const std::string& host, uint16_t port, bool numericOnly) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
  addrinfo* found = nullptr;
  std::vector<Address> out;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return out;
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Address address;
    std::memcpy(&address.bytes, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    out.push_back(address);
  }
  ::freeaddrinfo(found);
  return out;
}

}  // namespace

// A name lookup on its worker thread; the thread holds it until it is done.
struct PosixSocketConnections::Lookup {
  std::string host;
  uint16_t port = 0;
  std::vector<Address> addresses;  // written before `done`
  std::atomic<bool> done{false};
  bool started = false;  // player's thread only
};

struct PosixSocketConnections::Connection {
  enum class State : uint8_t { Resolving, Connecting, Open, Failed, Broken };
  SocketReceiver* receiver = nullptr;
  State state = State::Resolving;
  std::shared_ptr<Lookup> lookup;
  std::vector<Address> addresses;
  size_t nextAddress = 0;
  int fd = -1;
  std::string output;
  size_t outputSent = 0;  // bytes of `output` already written
  // For settle(): what the connection waits for, and its events so far.
  bool owed = false;       // sent since its last whole message came in
  bool partial = false;    // the last byte read was not a message end
  bool gaveUp = false;     // waited out; not waited for until it sends again
  uint64_t events = 0;

  ~Connection() {
    if (fd >= 0) ::close(fd);
  }
};

PosixSocketConnections::PosixSocketConnections() = default;
PosixSocketConnections::~PosixSocketConnections() = default;

PosixSocketConnections::Connection* PosixSocketConnections::find(uint32_t id) {
  auto it = connections_.find(id);
  return it == connections_.end() ? nullptr : it->second.get();
}

uint32_t PosixSocketConnections::openSocket(const std::string& host, uint16_t port, SocketReceiver& receiver) {
  if (connections_.size() >= kMaxConnections || host.empty() || host.find('\0') != std::string::npos) return 0;
  auto c = std::make_unique<Connection>();
  c->receiver = &receiver;
  // A numeric address needs no lookup.
  c->addresses = lookUp(host, port, true);
  if (!c->addresses.empty()) {
    if (!connectNext(*c)) c->state = Connection::State::Failed;
  } else {
    c->lookup = std::make_shared<Lookup>();
    c->lookup->host = host;
    c->lookup->port = port;
  }
  const uint32_t id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  connections_[id] = std::move(c);
  startLookups();
  return id;
}

void PosixSocketConnections::startLookups() {
  std::erase_if(lookups_, [](const auto& l) { return l->done.load(std::memory_order_acquire); });
  for (auto& [id, c] : connections_) {
    if (static_cast<int>(lookups_.size()) >= kMaxLookups) return;
    if (!c->lookup || c->lookup->started) continue;
    c->lookup->started = true;
    std::shared_ptr<Lookup> lookup = c->lookup;
    lookups_.push_back(lookup);
    // Detached: a name server that never answers must not hold up the
    // player's exit. The thread touches only its own Lookup.
    std::thread([lookup] {
      lookup->addresses = lookUp(lookup->host, lookup->port, false);
      lookup->done.store(true, std::memory_order_release);
    }).detach();
  }
}

bool PosixSocketConnections::connectNext(Connection& c) {
  if (c.fd >= 0) {
    ::close(c.fd);
    c.fd = -1;
  }
  while (c.nextAddress < c.addresses.size()) {
    const Address& a = c.addresses[c.nextAddress++];
    const int fd = ::socket(a.bytes.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.bytes), a.length) == 0 || errno == EINPROGRESS) {
      // Finished or not, the connect is reported by the next pass.
      c.fd = fd;
      c.state = Connection::State::Connecting;
      return true;
    }
    ::close(fd);
  }
  return false;
}

void PosixSocketConnections::sendSocket(uint32_t id, const uint8_t* data, size_t count) {
  Connection* c = find(id);
  if (!c || c->state == Connection::State::Failed || c->state == Connection::State::Broken) return;
  if (c->output.size() - c->outputSent + count > kMaxQueuedOutput) {
    // The peer does not read: the connection is reported closed (or, not
    // yet open, failed).
    c->state = c->state == Connection::State::Open ? Connection::State::Broken : Connection::State::Failed;
    c->output.clear();
    c->outputSent = 0;
    return;
  }
  c->output.append(reinterpret_cast<const char*>(data), count);
  c->owed = true;
  c->gaveUp = false;
  if (c->state == Connection::State::Open && !flush(*c)) c->state = Connection::State::Broken;
}

void PosixSocketConnections::closeSocket(uint32_t id) { connections_.erase(id); }

bool PosixSocketConnections::flush(Connection& c) {
  while (c.outputSent < c.output.size()) {
    const ssize_t n = ::send(c.fd, c.output.data() + c.outputSent, c.output.size() - c.outputSent,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.outputSent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    return false;
  }
  if (c.outputSent == c.output.size()) {
    c.output.clear();
    c.outputSent = 0;
  } else if (c.outputSent > (size_t{1} << 20)) {
    // Keep the queue from only ever growing at its front.
    c.output.erase(0, c.outputSent);
    c.outputSent = 0;
  }
  return true;
}

bool PosixSocketConnections::reportConnected(uint32_t id, bool ok) {
  Connection* c = find(id);
  SocketReceiver* r = c->receiver;
  ++c->events;
  // A failed connection is gone before its receiver hears of it.
  if (!ok) connections_.erase(id);
  r->socketConnected(ok);
  return ok && find(id) != nullptr;
}

bool PosixSocketConnections::reportClosed(uint32_t id) {
  Connection* c = find(id);
  SocketReceiver* r = c->receiver;
  connections_.erase(id);
  r->socketClosed();
  return false;
}

bool PosixSocketConnections::step(uint32_t id) {
  using State = Connection::State;
  Connection* c = find(id);
  if (!c) return false;
  if (c->state == State::Resolving) {
    if (!c->lookup || !c->lookup->done.load(std::memory_order_acquire)) return true;
    c->addresses = std::move(c->lookup->addresses);
    c->lookup.reset();
      if (!connectNext(*c)) return reportConnected(id, false);
  }
  if (c->state == State::Failed) return reportConnected(id, false);
  if (c->state == State::Connecting) {
    pollfd p{c->fd, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return true;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(c->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
      // The next address, if the name had several.
      if (connectNext(*c)) return true;
      return reportConnected(id, false);
    }
    c->state = State::Open;
    if (!reportConnected(id, true)) return false;
    c = find(id);
  }
  if (c->state == State::Broken) return reportClosed(id);
  // Open: what waits to go goes, then what came in is read.
  if (!c->output.empty() && !flush(*c)) return reportClosed(id);
  size_t budget = kReadBudget;
  uint8_t buffer[kReadChunk];
  while (budget > 0) {
    const ssize_t n = ::recv(c->fd, buffer, std::min(sizeof buffer, budget), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) return reportClosed(id);
    const size_t count = static_cast<size_t>(n);
    budget -= count;
      c->partial = buffer[count - 1] != 0;
    if (std::memchr(buffer, 0, count)) {
      c->owed = false;
      c->gaveUp = false;
      ++c->events;
    }
    SocketReceiver* r = c->receiver;
    r->socketData(buffer, count);
    c = find(id);
    if (!c) return false;
    // The receiver may have sent; its connection may have broken.
    if (c->state == State::Broken) return reportClosed(id);
  }
  return true;
}

void PosixSocketConnections::service() {
  startLookups();
  // Connections opened by receivers during this pass wait for the next.
  std::vector<uint32_t> ids;
  ids.reserve(connections_.size());
  for (const auto& [id, c] : connections_) ids.push_back(id);
  for (uint32_t id : ids) step(id);
}

bool PosixSocketConnections::waiting(const Connection& c) const {
  using State = Connection::State;
  switch (c.state) {
    case State::Resolving:
    case State::Connecting:
    case State::Failed:
    case State::Broken:
      return true;
    case State::Open:
      return (c.owed || c.partial) && !c.gaveUp;
  }
  return false;
}

void PosixSocketConnections::settle(uint32_t waitMs) {
  // Each connection waited for, with its event count at the start.
  std::map<uint32_t, uint64_t> waited;
  for (const auto& [id, c] : connections_)
    if (waiting(*c)) waited[id] = c->events;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  while (!waited.empty()) {
    service();
    std::erase_if(waited, [&](const auto& w) {
      const Connection* c = find(w.first);
      return !c || c->events != w.second || !waiting(*c);
    });
    if (waited.empty()) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      // Waited long enough: lookups and connects fail, replies and the
      // rest of half-read messages are no longer waited for.
      for (const auto& [id, events] : waited) {
        Connection* c = find(id);
        if (!c) continue;
        if (c->state == Connection::State::Open) c->gaveUp = true;
        else if (c->state != Connection::State::Broken) c->state = Connection::State::Failed;
      }
      service();
      return;
    }
    // Sleep until a socket waited for is ready, or briefly for lookups.
    std::vector<pollfd> fds;
    for (const auto& [id, events] : waited) {
      const Connection* c = find(id);
      if (!c || c->fd < 0) continue;
      short wanted = POLLIN;
      if (!c->output.empty()) wanted |= POLLOUT;
      if (c->state == Connection::State::Connecting) wanted = POLLOUT;
      fds.push_back(pollfd{c->fd, wanted, 0});
    }
    const int wait = static_cast<int>(std::clamp<int64_t>(left, 1, 10));
    if (fds.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    else ::poll(fds.data(), fds.size(), wait);
  }
}

}  // namespace kivra
