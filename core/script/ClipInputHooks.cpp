#include "core/script/ClipInputHooks.h"

#include "core/movie/CharacterKinds.h"
#include "core/movie/DisplayObject.h"
#include "core/script/ClipEvents.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/NumberText.h"
#include "core/script/PlayerServices.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {
constexpr const char* kPropertyNames[] = {"enabled", "useHandCursor", "trackAsMenu", "tabEnabled", "tabChildren"};
constexpr int kMaxSteps = 256;
}  // namespace

ScriptObject* ClipInputHooks::classPrototype(const DisplayObject& object) {
  const char* className = kindOps(object.kind()).button ? "Button" : "MovieClip";
  ScriptValue ctor, proto;
  if (!engine_.getMember(engine_.global(), className, ctor, false) || !ctor.isObject()) return nullptr;
  const Property* p = ctor.asObject()->findOwn("prototype");
  return p && p->value.isObject() ? p->value.asObject() : nullptr;
}

ScriptObject* ClipInputHooks::lookupStart(const DisplayObject& object) {
  if (!isScriptableKind(object.kind())) return nullptr;
  if (ScriptObject* o = clips_.existingObject(object)) return o;
  return classPrototype(object);
}

bool ClipInputHooks::storedValue(const DisplayObject& object, const char* name, ScriptValue& out) {
  ScriptObject* o = lookupStart(object);
  const int version = object.version();
  for (int steps = 0; o && steps < kMaxSteps; ++steps) {
    if (const Property* p = o->findOwn(name); p && p->visibleTo(version)) {
      if (p->accessor) return false;
      out = p->value;
      return true;
    }
    ScriptObject* next = o->prototype();
    // A clip object is given its class's prototype on first lookup.
    o = next ? next : (o->isClipObject() ? classPrototype(object) : nullptr);
  }
  return false;
}

uint32_t ClipInputHooks::scriptEvents(const DisplayObject& object) {
  uint32_t events = 0;
  ScriptObject* o = lookupStart(object);
  for (int steps = 0; o && steps < kMaxSteps; ++steps) {
    events |= o->eventMask();
    ScriptObject* next = o->prototype();
    o = next ? next : (o->isClipObject() ? classPrototype(object) : nullptr);
  }
  return events;
}

ScriptFlag ClipInputHooks::property(const DisplayObject& object, InputProperty which) {
  if (which == InputProperty::FocusRect) return clips_.focusRectFlag(object);
  ScriptValue v;
  if (!storedValue(object, kPropertyNames[static_cast<int>(which)], v) || v.isUndefined()) return ScriptFlag::Unset;
  return engine_.toBoolean(v) ? ScriptFlag::True : ScriptFlag::False;
}

bool ClipInputHooks::tabIndex(const DisplayObject& object, int32_t& out) {
  ScriptObject* o = isScriptableKind(object.kind()) ? clips_.existingObject(object) : nullptr;
  const Property* p = o ? o->findOwn(kTabIndexProperty) : nullptr;
  if (!p || !p->value.isNumber()) return false;
  out = toInteger32(p->value.asNumber());
  return true;
}

const DisplayObject* ClipInputHooks::hitArea(const DisplayObject& object) {
  ScriptValue v;
  if (!storedValue(object, "hitArea", v)) return nullptr;
  const DisplayObject* area = DisplayClipBridge::displayObject(engine_.toObject(v));
  return area == &object ? nullptr : area;
}

void ClipInputHooks::broadcast(std::string_view object, std::string_view method) {
  engine_.broadcast(object, method, nullptr, 0);
}

void ClipInputHooks::focusChanged(DisplayObject* previous, DisplayObject* focused) {
  // onSetFocus(old focus, new focus): the clips, or null.
  auto valueOf = [&](DisplayObject* d) {
    ScriptValue v = d ? clips_.clipValue(d) : ScriptValue();
    return v.isUndefined() ? ScriptValue::null() : v;
  };
  const ScriptValue args[2] = {valueOf(previous), valueOf(focused)};
  engine_.broadcast("Selection", "onSetFocus", args, 2);
}

void ClipInputHooks::fieldEvent(DisplayObject& field, std::string_view method, DisplayObject* other) {
  const ScriptValue self = clips_.clipValue(&field);
  ScriptObject* o = engine_.toObject(self);
  if (!o) return;
  ScriptValue arg = other ? clips_.clipValue(other) : ScriptValue::null();
  if (arg.isUndefined()) arg = ScriptValue::null();
  if (o->findOwn("_listeners")) {
    // A field made by a script is its own first listener.
    const ScriptValue args[2] = {engine_.makeString(method), arg};
    engine_.callMethodFromOutside(self, "broadcastMessage", args, 2);
  } else {
    engine_.callMethodFromOutside(self, method, &arg, 1);
  }
}

void ClipInputHooks::fieldEdited(DisplayObject& field) { clips_.fieldBindings().edited(field); }

void ClipInputHooks::linkClicked(DisplayObject& field, std::string_view url, std::string_view target) {
  // Host commands go to the host, as from a script's getURL.
  if (engine_.player().routeHostCommandUrl(std::string(url), std::string(target), nullptr)) return;
  ScriptObject* clip = field.parent() ? engine_.toObject(clips_.clipValue(field.parent())) : nullptr;
  clips_.getUrl(clip, url, target, 0);
}

}  // namespace kivra
