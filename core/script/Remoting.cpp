#include "core/script/Remoting.h"

#include <algorithm>
#include <charconv>

#include "core/format/CaseInsensitive.h"
#include "core/host/UrlStreams.h"
#include "core/net/UrlRecord.h"
#include "core/script/AmfScriptValues.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"
#include "core/script/UrlRequests.h"

namespace kivra {

namespace {

// A reply is held whole before it is read; beyond this it is dropped.
constexpr size_t kMaxReplyBytes = size_t{16} << 20;

std::string responderName(uint32_t n) { return "$responder" + std::to_string(n); }

bool isRealTimeUrl(std::string_view url) {
  return startsWithIgnoringCase(url, "rtmp:") || startsWithIgnoringCase(url, "rtmpt:") ||
         startsWithIgnoringCase(url, "rtmps:");
}

}  // namespace

RemotingChannel::RemotingChannel(Remoting& owner, ScriptObject& connection, std::string url)
    : owner(&owner), connection(connection), url(std::move(url)) {
  owner.channels_.push_back(this);
}

// Objects may outlive the player's remoting when the engine goes last.
RemotingChannel::~RemotingChannel() {
  if (owner) std::erase(owner->channels_, this);
}

// One POST and its reply. It holds its connection while it runs.
class Remoting::Post : public UrlStreamReceiver {
 public:
  Post(Remoting& owner, ScriptObject& connection)
      : connection(&connection), held(ScriptValue::object(&connection)), owner_(owner) {}
  ~Post() override {
    if (id != 0 && !ended_) owner_.player_.cancelUrlStream(id);
  }

  void streamData(const uint8_t* data, size_t count) override {
    if (done) return;
    if (body_.size() + count > kMaxReplyBytes) {
      if (id) owner_.player_.cancelUrlStream(id);
      ended_ = true;
      finish(false);
      return;
    }
    body_.append(reinterpret_cast<const char*>(data), count);
  }
  void streamHttpStatus(int status) override { status_ = status; }
  void streamEnded(bool ok) override {
    ended_ = true;
    if (!done) finish(ok);
  }

  ScriptObject* connection;
  ScriptValue held;
  uint32_t id = 0;
  bool done = false;
  bool busy = false;

 private:
  void finish(bool ok) {
    done = true;
    busy = true;
    if (ok) owner_.replyArrived(*connection, body_);
    else owner_.postFailed(*connection, status_);
    busy = false;
  }

  Remoting& owner_;
  std::string body_;
  int status_ = 0;
  bool ended_ = false;
};

Remoting::Remoting(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player)
    : engine_(engine), clips_(clips), player_(player) {}

Remoting::~Remoting() {
  for (RemotingChannel* channel : channels_) channel->owner = nullptr;
}

RemotingChannel* Remoting::channelOf(ScriptObject& connection) {
  return dynamic_cast<RemotingChannel*>(connection.nativeState());
}

ScriptValue Remoting::statusObject(const char* level, const std::string& code, const std::string* description,
                                   const std::string* details) {
  ScriptEngine& e = engine_;
  ScriptObject* o = e.newObject();
  const ScriptValue value = ScriptValue::object(o);
  e.setMember(o, "level", e.makeString(level));
  e.setMember(o, "code", e.makeString(code));
  if (description) e.setMember(o, "description", e.makeString(*description));
  if (details) e.setMember(o, "details", e.makeString(*details));
  return value;
}

void Remoting::connect(ScriptObject& connection, const ScriptValue* args, int argc) {
  ScriptEngine& e = engine_;
  connection.setNativeState(nullptr);
  const std::string url = argc >= 1 ? e.toStdString(args[0]) : std::string();
  e.setMember(&connection, "uri", argc >= 1 ? args[0] : ScriptValue());
  std::string completed;
  // The real-time mode has no transport here: it never connects.
  if (url.empty() || isRealTimeUrl(url) ||
      !completeConnectionUrl(clips_.urlRequests().movieUrl(), url, completed)) {
    e.setMember(&connection, "isConnected", ScriptValue::boolean(false));
    status(connection, statusObject("error", "NetConnection.Connect.Failed"));
    return;
  }
  connection.setNativeState(std::make_unique<RemotingChannel>(*this, connection, completed));
  e.setMember(&connection, "isConnected", ScriptValue::boolean(true));
}

void Remoting::call(ScriptObject& connection, const ScriptValue* args, int argc) {
  RemotingChannel* channel = channelOf(connection);
  if (!channel || argc < 1 || channel->messageCount == UINT16_MAX) return;
  ScriptEngine& e = engine_;
  std::string response = "/";
  if (argc >= 2 && args[1].isObject()) {
    const uint32_t n = channel->nextResponder++;
    connection.put(responderName(n), args[1], kDontEnum);
    response += std::to_string(n);
  }
  ScriptObject* body = e.newArray();
  const ScriptValue bodyValue = ScriptValue::object(body);
  for (int i = 2; i < argc; ++i) e.setMember(body, std::to_string(i - 2), args[i]);
  const std::string target = e.toStdString(args[0]);
  AmfFromScript convert(e, true);
  appendRemotingMessage(target, response, convert.convert(bodyValue), channel->messages);
  ++channel->messageCount;
  player_.debugLog("KAP:AddMessage(" + target + ":" + response + ")\n");
}

void Remoting::addHeader(ScriptObject& connection, const ScriptValue* args, int argc) {
  RemotingChannel* channel = channelOf(connection);
  if (!channel || argc < 1) return;
  ScriptEngine& e = engine_;
  const std::string name = e.toStdString(args[0]);
  auto it = std::find_if(channel->headers.begin(), channel->headers.end(),
                         [&](const RemotingHeaderBytes& h) { return h.name == name; });
  if (argc <= 2) {
    if (it != channel->headers.end()) channel->headers.erase(it);
    return;
  }
  AmfFromScript convert(e, true);
  std::vector<uint8_t> data = encodeRemotingHeader(e.toBoolean(args[1]), convert.convert(args[2]));
  // A header replaced keeps its place.
  if (it != channel->headers.end()) it->data = std::move(data);
  else if (channel->headers.size() < UINT16_MAX) channel->headers.push_back({name, std::move(data)});
}

void Remoting::close(ScriptObject& connection) {
  RemotingChannel* channel = channelOf(connection);
  if (!channel) return;
  send(connection, *channel);
  const std::string empty;
  status(connection, statusObject("status", empty, &empty, &empty));
  if ((channel = channelOf(connection))) {
    channel->closed = true;
    releaseIfDone(connection);
  }
}

void Remoting::flush() {
  sweep();
  // Sending runs no script, so the list stays as it is meanwhile.
  for (RemotingChannel* channel : std::vector<RemotingChannel*>(channels_))
    if (channel->messageCount > 0) send(channel->connection, *channel);
}

void Remoting::send(ScriptObject& connection, RemotingChannel& channel) {
  if (channel.messageCount == 0) return;
  UrlStreamRequest request;
  request.url = channel.url;
  request.post = true;
  request.contentType = "application/x-amf";
  const std::vector<uint8_t> packet = buildRemotingPacket(channel.headers, channel.messageCount, channel.messages);
  request.postData.assign(packet.begin(), packet.end());
  player_.debugLog("KAP:Flushing " + std::to_string(channel.messageCount) + " Messages\n");
  ++channel.outstanding;
  channel.messages.clear();
  channel.messageCount = 0;
  auto post = std::make_unique<Post>(*this, connection);
  post->id = player_.openUrlStream(request, *post);
  if (post->id == 0) {
    postFailed(connection, 0);
    return;
  }
  posts_.push_back(std::move(post));
}

void Remoting::postFailed(ScriptObject& connection, int httpStatus) {
  if (RemotingChannel* channel = channelOf(connection); channel && channel->outstanding > 0) --channel->outstanding;
  ScriptValue uri;
  engine_.getMember(&connection, "uri", uri);
  const std::string description = httpStatus > 0 ? "HTTP: Status " + std::to_string(httpStatus) : "HTTP: Failed";
  const std::string details = engine_.toStdString(uri);
  status(connection, statusObject("error", "NetConnection.Call.Failed", &description, &details));
  releaseIfDone(connection);
}

void Remoting::replyArrived(ScriptObject& connection, const std::string& body) {
  ScriptEngine& e = engine_;
  const RemotingReply reply = parseRemotingReply(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  if (RemotingChannel* channel = channelOf(connection); channel && channel->outstanding > 0) --channel->outstanding;
  if (reply.status == RemotingReply::Status::BadVersion) {
    status(connection, statusObject("error", "NetConnection.Call.BadVersion"));
  } else if (reply.status == RemotingReply::Status::Read) {
    const ScriptValue self = ScriptValue::object(&connection);
    for (const RemotingHeader& h : reply.headers) {
      ScriptValue method;
      const ScriptValue value = AmfToScript(e).convert(h.value);
      const bool ran = e.getMember(&connection, h.name, method) && method.isObject() && method.asObject()->isFunction();
      if (ran) e.callFromOutside(method, self, &value, 1);
      else if (h.mustUnderstand) status(connection, statusObject("error", "Client.Header.MustUnderstand", &h.name));
    }
    player_.debugLog("KAP:Parsing " + std::to_string(reply.declaredMessages) + " Messages\n");
    std::vector<uint32_t> used;
    for (const RemotingMessage& m : reply.messages) dispatch(connection, m.target, AmfToScript(e).convert(m.value), used);
    if (reply.underflow) status(connection, statusObject("error", "Client.Data.UnderFlow"));
    for (uint32_t n : used) e.deleteMember(&connection, responderName(n));
  }
  releaseIfDone(connection);
}

void Remoting::dispatch(ScriptObject& connection, const std::string& target, const ScriptValue& value,
                        std::vector<uint32_t>& usedResponders) {
  ScriptEngine& e = engine_;
  const size_t slash = target.rfind('/');
  const std::string path = slash == std::string::npos ? std::string() : target.substr(0, slash);
  const std::string method = slash == std::string::npos ? target : target.substr(slash + 1);
  ScriptObject* receiver = &connection;
  if (!path.empty()) {
    receiver = clips_.resolvePath(&connection, path, 0);
    if (!receiver) {
      // "/n": the responder given to the n-th call.
      const std::string_view number = std::string_view(path).substr(path.rfind('/') + 1);
      uint32_t n = 0;
      const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), n);
      const bool whole = error == std::errc() && end == number.data() + number.size() && !number.empty();
      ScriptValue responder;
      if (whole && e.getMember(&connection, responderName(n), responder) && responder.isObject()) {
        receiver = responder.asObject();
        usedResponders.push_back(n);
      }
    }
  }
  ScriptValue fn;
  if (!receiver || !e.getMember(receiver, method, fn) || !fn.isObject() || !fn.asObject()->isFunction()) {
    status(connection, value);
    return;
  }
  const ScriptValue self = ScriptValue::object(receiver);
  if (method == "onResult" || method == "onStatus" || method == "onError") {
    e.callFromOutside(fn, self, &value, 1);
    return;
  }
  // Any other method takes an array's elements as its arguments.
  std::vector<ScriptValue> args;
  if (ScriptObject* array = value.isObject() ? value.asObject() : nullptr; array && array->classTag() == ClassTag::Array) {
    ScriptValue length;
    e.getMember(array, "length", length);
    const double n = std::min(e.toNumber(length), 65535.0);
    for (int i = 0; i < n; ++i) {
      ScriptValue v;
      e.getMember(array, std::to_string(i), v);
      args.push_back(v);
    }
  }
  e.callFromOutside(fn, self, args.data(), static_cast<int>(args.size()));
}

// A status for the connection's onStatus, or failing that for
// _global.System.onStatus.
void Remoting::status(ScriptObject& connection, const ScriptValue& info) {
  ScriptEngine& e = engine_;
  ScriptValue fn;
  if (e.getMember(&connection, "onStatus", fn) && fn.isObject() && fn.asObject()->isFunction()) {
    e.callFromOutside(fn, ScriptValue::object(&connection), &info, 1);
    return;
  }
  ScriptValue system;
  if (e.getMember(e.global(), "System", system) && system.isObject())
    e.callMethodFromOutside(system, "onStatus", &info, 1);
}

void Remoting::releaseIfDone(ScriptObject& connection) {
  RemotingChannel* channel = channelOf(connection);
  if (channel && channel->closed && channel->outstanding == 0) connection.setNativeState(nullptr);
}

void Remoting::clear() {
  for (auto& p : posts_) {
    if (!p->done && p->id) player_.cancelUrlStream(p->id);
    p->done = true;
  }
  sweep();
}

void Remoting::sweep() {
  std::erase_if(posts_, [](const auto& p) { return p->done && !p->busy; });
}

void Remoting::collectRoots(std::vector<ScriptObject*>& out) const {
  for (const auto& p : posts_)
    if (!p->done || p->busy) out.push_back(p->connection);
}

}  // namespace kivra
