// The capabilities query (class 11): fills System.capabilities.
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

void capabilities(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* caps = e.toObject(c.thisValue);
  if (!caps) return;
  const HostInfo host = e.player().hostInfo();
  auto flag = [&](const char* name, bool v) { e.setMember(caps, name, ScriptValue::boolean(v)); };
  auto text = [&](const char* name, const std::string& v) { e.setMember(caps, name, e.makeString(v)); };
  auto number = [&](const char* name, double v) { e.setMember(caps, name, ScriptValue::number(v)); };
  text("serverString", e.capabilities());
  text("version", "WIN 6,0,95,0");
  flag("hasAudio", true);
  flag("hasStreamingAudio", true);
  flag("hasStreamingVideo", true);
  flag("hasEmbeddedVideo", true);
  flag("hasMP3", true);
  flag("hasAudioEncoder", true);
  flag("hasVideoEncoder", true);
  flag("hasAccessibility", false);
  flag("hasPrinting", true);
  flag("isDebugger", false);
  text("manufacturer", host.manufacturer);
  number("screenResolutionX", host.screenWidth);
  number("screenResolutionY", host.screenHeight);
  number("screenDPI", 72);
  text("screenColor", "color");
  number("pixelAspectRatio", 1);
  text("input", "point");
  text("os", host.osName);
  text("language", host.language);
}

constexpr NativeMethod kCapabilitiesMethods[] = {{0, "capabilities", capabilities}};

}  // namespace

const NativeClass kCapabilitiesNatives{kNativeCapabilities, "System.capabilities", kCapabilitiesMethods};

}  // namespace kivra
