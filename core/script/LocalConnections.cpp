#include "core/script/LocalConnections.h"

#include <algorithm>

#include "core/format/CaseInsensitive.h"
#include "core/host/LocalConnectionBlock.h"
#include "core/net/LocalConnectionArea.h"
#include "core/net/LocalConnectionMessage.h"
#include "core/net/UrlRecord.h"
#include "core/script/AmfScriptValues.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"
#include "core/script/ScriptObject.h"

namespace kivra {

namespace {

bool hasLetter(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

// The host of a network URL, trimmed as domains are compared.
std::string hostDomain(std::string_view afterScheme) {
  std::string_view host = afterScheme.substr(0, afterScheme.find('/'));
  const size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && colon + 1 < host.size() &&
      std::all_of(host.begin() + colon + 1, host.end(), [](char c) { return c >= '0' && c <= '9'; }))
    host = host.substr(0, colon);
  if (hasLetter(host) && std::count(host.begin(), host.end(), '.') >= 2 && host.find('%') == std::string_view::npos)
    host = host.substr(host.find('.') + 1);
  return std::string(host);
}

}  // namespace

std::string localConnectionDomain(std::string_view url) {
  for (std::string_view scheme : {"http://", "https://", "ftp://", "rtmp://"})
    if (startsWithIgnoringCase(url, scheme)) return hostDomain(url.substr(scheme.size()));
  // Other schemes count only when they name a network host.
  const UrlRecord r = UrlRecord::parse(url);
  if (hasScheme(url) && !r.host.empty() && !equalsIgnoringCase(r.host, "localhost")) return hostDomain(r.host);
  return "localhost";
}

bool reservedLocalConnectionMethod(std::string_view name) {
  for (std::string_view r : {"connect", "send", "close", "domain", "allowDomain", "onStatus"})
    if (equalsIgnoringCase(name, r)) return true;
  return false;
}

// Lives in the object's native state: when the object goes, the flag
// falls, and whoever holds the flag knows the object is gone.
class LocalConnections::Token : public NativeState {
 public:
  ~Token() override { *alive = false; }
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

LocalConnections::LocalConnections(ScriptEngine& engine, DisplayClipBridge& clips, PlayerServices& player)
    : engine_(engine), clips_(clips), player_(player) {}

LocalConnections::~LocalConnections() { clear(); }

std::shared_ptr<const bool> LocalConnections::tokenOf(ScriptObject& object) {
  if (!object.nativeState()) object.setNativeState(std::make_unique<Token>());
  Token* t = dynamic_cast<Token*>(object.nativeState());
  return t ? t->alive : nullptr;
}

std::string LocalConnections::domain() { return localConnectionDomain(clips_.urlRequests().movieUrl()); }

bool LocalConnections::open() {
  if (!tried_) {
    tried_ = true;
    LocalConnectionBlock* b = player_.localConnectionBlock();
    if (b && b->open() && LocalConnectionArea(b->bytes(), b->size()).usable()) block_ = b;
    else player_.debugLog("LocalConnection: no shared block\n");
  }
  return block_ != nullptr;
}

LocalConnectionArea* LocalConnections::lockArea(LocalConnectionArea& area) {
  if (!open()) return nullptr;
  const BlockLock how = block_->lock();
  if (how == BlockLock::Failed) return nullptr;
  area = LocalConnectionArea(block_->bytes(), block_->size());
  if (how == BlockLock::Recovered) {
    // Its last holder died in the middle of something: keep the whole
    // names, drop a message whose length does not fit.
    player_.debugLog("LocalConnection: recovered the lock of a player that died holding it\n");
    if (area.marker() == 1) {
      area.repair();
      if (area.messageWaiting() && area.message().empty()) area.clearMailbox();
    }
  }
  // Zero: nobody has set it up yet (or its maker died first).
  if (area.marker() == 0) area.setUp();
  if (area.marker() != 1) {
    block_->unlock();
    return nullptr;
  }
  return &area;
}

void LocalConnections::unlock() { block_->unlock(); }

bool LocalConnections::connect(ScriptObject& object, const ScriptValue& nameValue) {
  const std::string_view name = nameValue.stringView();
  if (!nameValue.isString() || name.empty() || name.find(':') != std::string_view::npos) return false;
  for (const Listener& l : listeners_)
    if (!l.gone() && l.object == &object) return false;
  std::shared_ptr<const bool> alive = tokenOf(object);
  if (!alive) return false;
  const std::string full = name[0] == '_' ? std::string(name) : domain() + ":" + std::string(name);
  LocalConnectionArea area(nullptr, 0);
  if (!lockArea(area)) return false;
  // A crashed player's names must not block the living.
  area.sweepOwners([this](uint32_t id) { return block_->processAlive(id); });
  const bool ok = area.find(full) < 0 && area.add(full, block_->processId());
  unlock();
  if (ok) listeners_.insert(listeners_.begin(), Listener{full, &object, std::move(alive)});
  return ok;
}

bool LocalConnections::close(ScriptObject& object) {
  auto it = std::find_if(listeners_.begin(), listeners_.end(),
                         [&](const Listener& l) { return !l.gone() && l.object == &object; });
  if (it == listeners_.end()) return false;
  const std::string name = std::move(it->name);
  listeners_.erase(it);
  LocalConnectionArea area(nullptr, 0);
  if (!lockArea(area)) return false;
  const bool found = area.remove(name);
  unlock();
  return found;
}

bool LocalConnections::send(ScriptObject& object, const ScriptValue* args, int argc) {
  if (argc < 2 || !args[0].isString() || !args[1].isString()) return false;
  const std::string_view name = args[0].stringView();
  const std::string_view method = args[1].stringView();
  if (name.empty() || method.empty() || reservedLocalConnectionMethod(method)) return false;
  const std::string from = domain();
  if (from.empty() || queue_.size() >= kMaxQueued || !open()) return false;
  std::shared_ptr<const bool> alive = tokenOf(object);
  if (!alive) return false;
  const std::string full = name.find(':') != std::string_view::npos || name[0] == '_'
                               ? std::string(name)
                               : from + ":" + std::string(name);
  AmfFromScript convert(engine_, false);
  std::vector<AmfValue> values;
  for (int i = argc - 1; i >= 2; --i) values.push_back(convert.convert(args[i]));
  const std::vector<uint8_t> body = writeLocalConnectionMessage(full, from, method, values);
  if (body.size() > LocalConnectionArea::kMaxBodyBytes) {
    player_.debugLog("LocalConnection.send: a message of " + std::to_string(body.size()) + " bytes is over " +
                     std::to_string(LocalConnectionArea::kMaxBodyBytes) + "\n");
    return false;
  }
  queue_.push_back(Outgoing{std::string(body.begin(), body.end()), &object, std::move(alive)});
  return true;
}

bool LocalConnections::poll() {
  if (!block_) return false;
  // Listeners whose objects are gone leave with this poll.
  std::vector<std::string> goneNames;
  std::erase_if(listeners_, [&](Listener& l) {
    if (!l.gone()) return false;
    goneNames.push_back(std::move(l.name));
    return true;
  });
  LocalConnectionArea area(nullptr, 0);
  if (!lockArea(area)) return false;
  const uint32_t now = block_->tickCount();
  for (const std::string& n : goneNames) area.remove(n);
  area.sweepOwners([this](uint32_t id) { return block_->processAlive(id); });

  // A message nobody took in time: its target is taken to be gone.
  if (area.messageWaiting() && (area.message().empty() || now - area.stamp() > kExpiryMs)) {
    std::string target;
    if (readLocalConnectionName(area.message(), target)) area.remove(target);
    area.clearMailbox();
  }

  std::string delivery;
  ScriptValue receiver;
  if (area.messageWaiting() && !listeners_.empty()) {
    std::string target;
    if (readLocalConnectionName(area.message(), target)) {
      for (const Listener& l : listeners_) {
        if (!equalsIgnoringCase(l.name, target)) continue;
        delivery = std::string(area.message());
        receiver = ScriptValue::object(l.object);
        area.clearMailbox();
        break;
      }
    }
  }

  ScriptValue sender;
  bool posted = false, reported = false;
  if (!area.messageWaiting() && !queue_.empty()) {
    Outgoing out = std::move(queue_.front());
    queue_.pop_front();
    area.post(now, out.body);
    std::string target;
    posted = readLocalConnectionName(out.body, target) && area.find(target) >= 0;
    if (!posted) area.clearMailbox();
    if (*out.alive) sender = ScriptValue::object(out.sender);
    reported = true;
  }
  unlock();

  if (!delivery.empty()) deliver(delivery, receiver);
  if (reported && sender.isObject()) report(sender, posted);
  return !delivery.empty() || (reported && sender.isObject());
}

void LocalConnections::deliver(const std::string& body, const ScriptValue& receiver) {
  ScriptEngine& e = engine_;
  LocalConnectionMessage m;
  ScriptObject* o = receiver.asObject();
  if (!o || !readLocalConnectionMessage(body, m)) {
    player_.debugLog("LocalConnection: an unreadable message was dropped\n");
    return;
  }
  // The sender refuses these; a message naming one was not written by a player.
  if (reservedLocalConnectionMethod(m.method)) return;
  if (!m.domain.empty()) {
    bool accepted;
    ScriptValue fn;
    if (e.getMember(o, "allowDomain", fn) && fn.isObject() && fn.asObject()->isFunction()) {
      const ScriptValue from = e.makeString(m.domain);
      accepted = e.toBoolean(e.callMethodFromOutside(receiver, "allowDomain", &from, 1));
    } else {
      accepted = equalsIgnoringCase(m.domain, domain());
    }
    if (!accepted) return;
  }
  AmfToScript convert(e);
  std::vector<ScriptValue> args;
  args.reserve(m.args.size());
  for (const AmfValue& v : m.args) args.push_back(convert.convert(v));
  e.callMethodFromOutside(receiver, m.method, args.data(), static_cast<int>(args.size()));
}

void LocalConnections::report(const ScriptValue& sender, bool delivered) {
  ScriptEngine& e = engine_;
  ScriptObject* info = e.newObject();
  const ScriptValue value = ScriptValue::object(info);
  e.setMember(info, "level", e.makeString(delivered ? "status" : "error"));
  e.callMethodFromOutside(sender, "onStatus", &value, 1);
}

void LocalConnections::clear() {
  queue_.clear();
  if (listeners_.empty()) return;
  LocalConnectionArea area(nullptr, 0);
  if (lockArea(area)) {
    for (const Listener& l : listeners_) area.remove(l.name);
    unlock();
  }
  listeners_.clear();
}

}  // namespace kivra
