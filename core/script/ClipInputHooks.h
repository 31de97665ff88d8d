#pragma once
// The class library's answers to input handling: which button events a
// clip's script object handles, its `enabled`, `useHandCursor`,
// `trackAsMenu`, `tabEnabled`, `tabChildren` and `_focusrect` settings, its
// tab index and `hitArea`, and the listener events of `Key`, `Mouse` and
// `Selection`.
//
// The property questions come from inside hit tests and focus walks, while
// the display tree is being walked, so they never run script: a value is
// read along the prototype chain as stored, and a property made with
// addProperty counts as unset. Player thread only; owned by the clip bridge.
#include "core/input/InputHooks.h"

namespace kivra {

class DisplayClipBridge;
class ScriptEngine;
class ScriptObject;
class ScriptValue;

// Where tab indexes are kept on clip and button objects (not enumerated).
inline constexpr const char* kTabIndexProperty = "~tabIndex";

class ClipInputHooks : public InputScriptHooks {
 public:
  ClipInputHooks(ScriptEngine& engine, DisplayClipBridge& clips) : engine_(engine), clips_(clips) {}

  uint32_t scriptEvents(const DisplayObject& object) override;
  ScriptFlag property(const DisplayObject& object, InputProperty which) override;
  bool tabIndex(const DisplayObject& object, int32_t& out) override;
  const DisplayObject* hitArea(const DisplayObject& object) override;
  void broadcast(std::string_view object, std::string_view method) override;
  void focusChanged(DisplayObject* previous, DisplayObject* focused) override;
  void fieldEvent(DisplayObject& field, std::string_view method, DisplayObject* other) override;
  void fieldEdited(DisplayObject& field) override;
  void linkClicked(DisplayObject& field, std::string_view url, std::string_view target) override;

 private:
  // The first object of the lookup: the clip's script object, or the
  // prototype of its kind when it has none yet.
  ScriptObject* lookupStart(const DisplayObject& object);
  ScriptObject* classPrototype(const DisplayObject& object);
  // A stored value along the prototype chain, as the object's movie sees it.
  bool storedValue(const DisplayObject& object, const char* name, ScriptValue& out);

  ScriptEngine& engine_;
  DisplayClipBridge& clips_;
};

}  // namespace kivra
