// NetConnection methods (class 2100): remote calls over HTTP through the
// player's remoting channels.
#include "core/script/Remoting.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t { kConnect = 0, kClose, kCall, kAddHeader, kConstruct = 200 };

void method(NativeCall& c) {
  ScriptObject* o = c.engine.toObject(c.thisValue);
  if (!o) return;
  Remoting& remoting = c.engine.displayClips().remoting();
  switch (c.method) {
    case kConnect:
      remoting.connect(*o, c.args, c.argc);
      c.result = ScriptValue::boolean(o->nativeState() != nullptr);
      break;
    case kClose:
      remoting.close(*o);
      break;
    case kCall:
      remoting.call(*o, c.args, c.argc);
      break;
    case kAddHeader:
      remoting.addHeader(*o, c.args, c.argc);
      break;
    default:
      break;
  }
}

void construct(NativeCall& c) { (void)c; }

constexpr NativeMethod kNetConnectionMethods[] = {
    {kConnect, "connect", method},
    {kClose, "close", method},
    {kCall, "call", method},
    {kAddHeader, "addHeader", method},
    {kConstruct, "NetConnection", construct},
};

}  // namespace

const NativeClass kNetConnectionNatives{kNativeNetConnection, "NetConnection", kNetConnectionMethods};

}  // namespace kivra
