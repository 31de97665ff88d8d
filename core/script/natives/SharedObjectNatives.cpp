// SharedObject (native class 2106): the local objects' getLocal (202 finds
// one already open, 204 binds a new one), and the prototype's flush,
// getSize and clear. The remote variant belongs to the real-time
// connection: its natives find and bind nothing, and connect, send, close
// and setFps do nothing on a local object.
#include "core/movie/TimelinePlayer.h"
#include "core/script/PlayerServices.h"
#include "core/script/SharedObjects.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t {
  kFlush = 2,
  kGetSize = 4,
  kClear = 6,
  kFindLocal = 202,
  kFindRemote = 203,
  kBindLocal = 204,
  kBindRemote = 205,
};

// (name, localPath) from argument `first` on; false without a name.
bool nameAndPath(NativeCall& c, int first, std::string& name, std::string& localPath, bool& hasPath) {
  ScriptEngine& e = c.engine;
  if (!argPresent(c, first)) return false;
  name = e.toStdString(c.arg(first));
  hasPath = argPresent(c, first + 1) && !c.arg(first + 1).isNull();
  if (hasPath) localPath = e.toStdString(c.arg(first + 1));
  return true;
}

void findLocal(NativeCall& c) {
  std::string name, path;
  bool hasPath = false;
  c.result = ScriptValue::null();
  if (!nameAndPath(c, 0, name, path, hasPath)) return;
  c.result = c.engine.sharedObjects().findOpen(callerMovieUrl(c), name, hasPath ? &path : nullptr);
}

void bindLocal(NativeCall& c) {
  std::string name, path;
  bool hasPath = false;
  ScriptObject* object = c.engine.toObject(c.arg(0));
  c.result = ScriptValue::boolean(false);
  if (!object) return;
  if (!nameAndPath(c, 1, name, path, hasPath)) name.clear();  // refused, with the status event
  c.result = ScriptValue::boolean(
      c.engine.sharedObjects().bind(*object, callerMovieUrl(c), name, hasPath ? &path : nullptr));
}

void findRemote(NativeCall& c) { c.result = ScriptValue::null(); }
void bindRemote(NativeCall& c) { c.result = ScriptValue::boolean(false); }

void flush(NativeCall& c) {
  ScriptObject* object = c.engine.toObject(c.thisValue);
  if (!object || !SharedObjects::stateOf(object)) return;
  const double minDiskSpace = argPresent(c, 0) ? c.engine.toNumber(c.arg(0)) : 0;
  c.result = c.engine.sharedObjects().flush(*object, minDiskSpace);
}

void getSize(NativeCall& c) {
  ScriptObject* object = c.engine.toObject(c.thisValue);
  if (!object || !SharedObjects::stateOf(object)) return;
  c.result = ScriptValue::number(c.engine.sharedObjects().size(*object));
}

void clear(NativeCall& c) {
  ScriptObject* object = c.engine.toObject(c.thisValue);
  if (object && SharedObjects::stateOf(object)) c.engine.sharedObjects().clear(*object);
}

constexpr NativeMethod kSharedObjectMethods[] = {
    {kFlush, "flush", flush},
    {kGetSize, "getSize", getSize},
    {kClear, "clear", clear},
    {kFindLocal, "getLocal (open)", findLocal},
    {kFindRemote, "getRemote (open)", findRemote},
    {kBindLocal, "getLocal (bind)", bindLocal},
    {kBindRemote, "getRemote (bind)", bindRemote},
};

}  // namespace

const NativeClass kSharedObjectNatives{kNativeSharedObject, "SharedObject", kSharedObjectMethods};

}  // namespace kivra
