// Camera (2102) and Microphone (2104). No capture device exists here:
// `names` is empty, and get() gives a source for the default device that
// never captures anything. Its `muted` follows the player's privacy
// decision (the user is asked when it is undecided), and it hears onStatus
// with "Camera.Muted" / "Camera.Unmuted" (or Microphone's) whenever that
// decision changes. The setters have no device to act on.
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

enum : uint16_t {
  kGet = 200,
  kNames = 201,
};

void getSource(NativeCall& c, const char* className) {
  ScriptEngine& e = c.engine;
  c.result = ScriptValue::null();
  const ScriptValue constructor = e.getMember(ScriptValue::object(e.global()), className);
  const ScriptValue made = e.call(constructor, ScriptValue(), nullptr, 0, true);
  ScriptObject* source = e.toObject(made);
  if (!source) return;
  e.setMember(source, "name", e.makeString(""));
  e.setMember(source, "index", ScriptValue::number(0));
  e.setMember(source, "activityLevel", ScriptValue::number(-1));
  const bool muted = e.player().captureSourceMuted(*source, className, callerMovieUrl(c));
  e.setMember(source, "muted", ScriptValue::boolean(muted));
  c.result = made;
}

void getCamera(NativeCall& c) { getSource(c, "Camera"); }
void getMicrophone(NativeCall& c) { getSource(c, "Microphone"); }
void names(NativeCall& c) { c.result = ScriptValue::object(c.engine.newArray()); }

constexpr NativeMethod kCameraMethods[] = {
    {kGet, "get", getCamera},
    {kNames, "names", names},
};
constexpr NativeMethod kMicrophoneMethods[] = {
    {kGet, "get", getMicrophone},
    {kNames, "names", names},
};

}  // namespace

const NativeClass kCameraNatives{kNativeCamera, "Camera", kCameraMethods};
const NativeClass kMicrophoneNatives{kNativeMicrophone, "Microphone", kMicrophoneMethods};

}  // namespace kivra
