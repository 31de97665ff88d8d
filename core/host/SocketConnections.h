#pragma once
// TCP connections for XML sockets: how the core asks the host to connect to
// a host and port, write bytes and close. Everything happens on the
// player's thread. The host never calls a receiver from inside open, send
// or close: it reports later, while it services its connections (between
// frame steps), in this order: connected (true or false) once, then data
// in pieces, then closed once. A receiver told connected(false) or closed
// hears nothing more, and neither does one whose connection was closed by
// the core. A receiver may call send or close from inside its callbacks.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kivra {

class SocketReceiver {
 public:
  virtual ~SocketReceiver() = default;
  // The connection is open (true), or the lookup or connect failed (false).
  virtual void socketConnected(bool ok) = 0;
  // Bytes as they were read, at most 1,024 a call.
  virtual void socketData(const uint8_t* data, size_t count) = 0;
  // The peer closed the connection, or it broke after it was open.
  virtual void socketClosed() = 0;
};

class SocketConnections {
 public:
  virtual ~SocketConnections() = default;
  // Starts looking up `host` (a name or a dotted address) and connecting
  // to `port`. `receiver` must stay alive until it hears connected(false)
  // or closed, or the core closes the connection. Returns a connection id
  // (never 0), or 0 when the host cannot start one (nothing is reported).
  virtual uint32_t openSocket(const std::string& host, uint16_t port, SocketReceiver& receiver) = 0;
  // Queues bytes for writing and writes what the connection takes now;
  // the rest goes as it becomes writable. Bytes sent before the connection
  // is open wait for it.
  virtual void sendSocket(uint32_t id, const uint8_t* data, size_t count) = 0;
  // Closes the connection; its receiver hears nothing more.
  virtual void closeSocket(uint32_t id) = 0;
};

// Connects nowhere.
class NullSocketConnections : public SocketConnections {
 public:
  uint32_t openSocket(const std::string& host, uint16_t port, SocketReceiver& receiver) override {
    (void)host, (void)port, (void)receiver;
    return 0;
  }
  void sendSocket(uint32_t id, const uint8_t* data, size_t count) override { (void)id, (void)data, (void)count; }
  void closeSocket(uint32_t id) override { (void)id; }
};

}  // namespace kivra
