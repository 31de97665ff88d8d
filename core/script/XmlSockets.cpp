#include "core/script/XmlSockets.h"

#include <algorithm>

#include "core/host/SocketConnections.h"
#include "core/net/SocketMessages.h"
#include "core/net/UrlRecord.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"
#include "core/script/ScriptObject.h"

namespace kivra {

namespace {

bool useCodepage(ScriptEngine& e) {
  ScriptValue system, flag;
  return e.getMember(e.global(), "System", system, false) && system.isObject() &&
         e.getMember(system.asObject(), "useCodepage", flag, false) && e.toBoolean(flag);
}

}  // namespace

class XmlSockets::Connection : public SocketReceiver {
 public:
  Connection(XmlSockets& owner, ScriptObject& object, int version)
      : object(&object), held(ScriptValue::object(&object)), owner_(owner), version_(version) {}
  ~Connection() override { close(); }

  void socketConnected(bool ok) override {
    if (ended) return;
    if (!ok) end(false);
    const ScriptValue result = ScriptValue::boolean(ok);
    call("onConnect", &result, 1);
    if (!ok) letGo();
  }

  void socketData(const uint8_t* data, size_t count) override {
    if (ended) return;
    std::vector<std::string> messages;
    const bool fits = reader_.append(data, count, messages);
    ScriptEngine& e = owner_.engine_;
    for (std::string& m : messages) {
      // A handler may have closed this socket or connected it elsewhere.
      if (ended) return;
      const ScriptValue text =
          ScriptValue::string(socketMessageText(std::move(m), version_, useCodepage(e), e.codePage()), version_ <= 5);
      call("onData", &text, 1);
    }
    if (fits || ended) return;
    owner_.player_.debugLog("XMLSocket message longer than " +
                            std::to_string(SocketMessageReader::kMaxMessageBytes) + " bytes: closing\n");
    end(true);
    call("onClose", nullptr, 0);
    letGo();
  }

  void socketClosed() override {
    if (ended) return;
    end(false);
    if (reader_.pending() > 0)
      owner_.player_.debugLog("XMLSocket closed in a message: " + std::to_string(reader_.pending()) +
                              " bytes dropped\n");
    reader_.clear();
    call("onClose", nullptr, 0);
    letGo();
  }

  // Closes the host's connection; no event follows.
  void close() {
    if (!ended) end(true);
    letGo();
  }

  void send(const std::string& bytes) {
    if (ended || id == 0) return;
    if (SocketConnections* s = owner_.player_.socketConnections())
      s->sendSocket(id, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  ScriptObject* object;
  ScriptValue held;  // keeps `object` alive while the connection lasts
  uint32_t id = 0;
  bool ended = false;  // no more events reach the object
  int busy = 0;        // inside one of its handlers

 private:
  // The connection is over; `closeHost` when the host still has it.
  void end(bool closeHost) {
    ended = true;
    if (closeHost && id != 0)
      if (SocketConnections* s = owner_.player_.socketConnections()) s->closeSocket(id);
    id = 0;
    reader_.clear();
  }
  void letGo() {
    if (busy > 0) return;
    held = ScriptValue();
    object = nullptr;
  }
  void call(const char* method, const ScriptValue* args, int argc) {
    // The handler may end the connection: the object stays held until
    // the call returns.
    const ScriptValue self = held;
    ++busy;
    owner_.engine_.callMethodFromOutside(self, method, args, argc);
    --busy;
    if (ended) letGo();
  }

  XmlSockets& owner_;
  int version_;
  SocketMessageReader reader_;
};

XmlSockets::XmlSockets(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player)
    : engine_(engine), clips_(clips), player_(player) {}

XmlSockets::~XmlSockets() { clear(); }

XmlSockets::Connection* XmlSockets::find(ScriptObject& socket) const {
  for (const auto& c : connections_)
    if (!c->ended && c->object == &socket) return c.get();
  return nullptr;
}

bool XmlSockets::connect(ScriptObject& socket, const std::string& host, int64_t port, int version) {
  sweep();
  if (port < kLowestPort || port > kHighestPort) return false;
  std::string name = host;
  if (name.empty()) {
    // The movie's own host; a movie from a local file has none.
    const TimelinePlayer* root = player_.level0();
    if (root && hasScheme(root->url())) name = UrlRecord::parse(root->url()).host;
    if (name.empty()) {
      player_.debugLog("XMLSocket: the movie has no host to connect to\n");
      return false;
    }
  } else if (!clips_.urlRequests().dataLoadAllowed("http://" + name)) {
    return false;
  }
  SocketConnections* sockets = player_.socketConnections();
  if (!sockets) return false;
  close(socket);
  auto c = std::make_unique<Connection>(*this, socket, version);
  c->id = sockets->openSocket(name, static_cast<uint16_t>(port), *c);
  if (c->id == 0) {
    c->ended = true;
    return false;
  }
  player_.debugLog("XMLSocket connect '" + name + "' port " + std::to_string(port) + "\n");
  connections_.push_back(std::move(c));
  return true;
}

void XmlSockets::send(ScriptObject& socket, const std::string& text, int version) {
  Connection* c = find(socket);
  if (!c) return;
  std::string bytes = socketOutputBytes(text, version, useCodepage(engine_), engine_.codePage());
  bytes.push_back('\0');
  c->send(bytes);
}

void XmlSockets::close(ScriptObject& socket) {
  if (Connection* c = find(socket)) c->close();
}

void XmlSockets::clear() {
  for (auto& c : connections_) c->close();
  sweep();
}

void XmlSockets::sweep() {
  std::erase_if(connections_, [](const auto& c) { return c->ended && c->busy == 0; });
}

void XmlSockets::collectRoots(std::vector<ScriptObject*>& out) const {
  for (const auto& c : connections_)
    if (c->object) out.push_back(c->object);
}

}  // namespace kivra
