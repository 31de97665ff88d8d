// XMLSocket (class 400): connect, send and close. The connections and their
// events live in XmlSockets; these read the arguments.
#include <cmath>

#include "core/script/XmlSockets.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t { kConnect = 0, kSend, kClose };

void method(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* o = e.toObject(c.thisValue);
  if (!o) return;
  XmlSockets& sockets = e.displayClips().xmlSockets();
  switch (c.method) {
    case kConnect: {
      // A null host means "no host" as a missing one does, not the host
      // named "null".
      std::string host;
      if (c.argc >= 1 && !c.arg(0).isUndefined() && !c.arg(0).isNull()) host = e.toStdString(c.arg(0));
      const double port = c.argc >= 2 ? e.toNumber(c.arg(1)) : NAN;
      const int64_t whole = std::isfinite(port) && std::fabs(port) < 1e9 ? static_cast<int64_t>(port) : -1;
      c.result = ScriptValue::boolean(sockets.connect(*o, host, whole, e.version()));
      break;
    }
    case kSend: {
      std::string text;
      for (int i = 0; i < c.argc; ++i) text += e.toStdString(c.arg(i));
      sockets.send(*o, text, e.version());
      break;
    }
    case kClose:
      sockets.close(*o);
      break;
    default:
      break;
  }
}

constexpr NativeMethod kXmlSocketMethods[] = {
    {kConnect, "connect", method},
    {kSend, "send", method},
    {kClose, "close", method},
};

}  // namespace

const NativeClass kXmlSocketNatives{kNativeXmlSocket, "XMLSocket", kXmlSocketMethods};

}  // namespace kivra
