// LocalConnection methods (class 2200): connect, send, close and domain.
// The connections, the shared block and the per-frame poll live in
// LocalConnections; these only pass the arguments on.
#include "core/script/LocalConnections.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t { kConnect = 0, kSend, kClose, kDomain };

void method(NativeCall& c) {
  ScriptEngine& e = c.engine;
  LocalConnections& connections = e.displayClips().localConnections();
  if (c.method == kDomain) {
    c.result = e.makeString(connections.domain());
    return;
  }
  ScriptObject* o = e.toObject(c.thisValue);
  bool ok = false;
  if (o) {
    switch (c.method) {
      case kConnect:
        ok = c.argc >= 1 && connections.connect(*o, c.args[0]);
        break;
      case kSend:
        ok = connections.send(*o, c.args, c.argc);
        break;
      case kClose:
        ok = connections.close(*o);
        break;
      default:
        break;
    }
  }
  c.result = ScriptValue::boolean(ok);
}

constexpr NativeMethod kLocalConnectionMethods[] = {
    {kConnect, "connect", method},
    {kSend, "send", method},
    {kClose, "close", method},
    {kDomain, "domain", method},
};

}  // namespace

const NativeClass kLocalConnectionNatives{kNativeLocalConnection, "LocalConnection", kLocalConnectionMethods};

}  // namespace kivra
