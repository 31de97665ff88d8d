#pragma once
// The connections of XMLSocket objects. Each connecting or open socket
// holds its script object (counted, and as a root of the collector), so a
// script that drops its last reference still hears the events. Events come
// from the host between frame steps: onConnect(true or false) once, onData
// with each zero-terminated message, onClose when the peer closes. A
// message that grows past SocketMessageReader::kMaxMessageBytes without
// its zero byte closes the connection (onClose), as does a peer closing in
// the middle of a message; the unfinished bytes are dropped.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kivra {

class DisplayClipBridge;
class PlayerServices;
class ScriptEngine;
class ScriptObject;

class XmlSockets {
 public:
  static constexpr int kLowestPort = 1024;
  static constexpr int kHighestPort = 65535;

  XmlSockets(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player);
  ~XmlSockets();
  XmlSockets(const XmlSockets&) = delete;
  XmlSockets& operator=(const XmlSockets&) = delete;

  // Starts connecting `socket` to `host` (empty: the movie's own host) and
  // `port`, closing any connection it had. False when refused at once: a
  // port out of range, a host the movie may not reach, no host at all, or
  // a host that cannot connect.
  bool connect(ScriptObject& socket, const std::string& host, int64_t port, int version);
  // Sends the text followed by one zero byte; nothing when the object has
  // no connection.
  void send(ScriptObject& socket, const std::string& text, int version);
  // Closes the object's connection (no onClose follows).
  void close(ScriptObject& socket);
  // Every connection closes (the movie goes away).
  void clear();
  void collectRoots(std::vector<ScriptObject*>& out) const;

 private:
  class Connection;
  Connection* find(ScriptObject& socket) const;
  void sweep();

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
  PlayerServices& player_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace kivra
