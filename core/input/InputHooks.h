#pragma once
// What input handling asks of the script side, and where button sounds go.
// The class library answers the property questions from each object's
// script object and delivers listener events; the sound code starts button
// sounds. Until they are connected the defaults below hold: every object is
// enabled, shows the hand cursor and is tab-enabled unless its kind says
// otherwise, and nothing is broadcast or heard.
//
// Every call comes on the player's thread, from inside an input or frame
// step. Objects passed in are alive for the duration of the call.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kivra {

struct Character;
class DisplayObject;

// A yes/no property that a script object may or may not define.
enum class ScriptFlag : int8_t { Unset = -1, False = 0, True = 1 };

// The boolean properties input reads from script objects.
enum class InputProperty : uint8_t {
  Enabled,        // `enabled`
  UseHandCursor,  // `useHandCursor`
  TrackAsMenu,    // `trackAsMenu`
  TabEnabled,     // `tabEnabled`
  TabChildren,    // `tabChildren`
  FocusRect,      // `_focusrect`
};

class InputScriptHooks {
 public:
  virtual ~InputScriptHooks() = default;
  // The clip-event bits the object's script object has handler methods for
  // (movies of version 6 and later).
  virtual uint32_t scriptEvents(const DisplayObject& object) {
    (void)object;
    return 0;
  }
  virtual ScriptFlag property(const DisplayObject& object, InputProperty which) {
    (void)object;
    (void)which;
    return ScriptFlag::Unset;
  }
  // The object's `tabIndex`, when it has one.
  virtual bool tabIndex(const DisplayObject& object, int32_t& out) {
    (void)object;
    (void)out;
    return false;
  }
  // The clip named by a sprite's `hitArea` property, or null.
  virtual const DisplayObject* hitArea(const DisplayObject& object) {
    (void)object;
    return nullptr;
  }
  // A listener event of `Key` ("onKeyDown", "onKeyUp") or `Mouse`
  // ("onMouseDown", "onMouseMove", "onMouseUp"), without arguments.
  virtual void broadcast(std::string_view object, std::string_view method) {
    (void)object;
    (void)method;
  }
  // The keyboard focus moved (either may be null): `Selection` listeners
  // hear "onSetFocus".
  virtual void focusChanged(DisplayObject* previous, DisplayObject* focused) {
    (void)previous;
    (void)focused;
  }
  // A text field's event for its listeners: "onChanged" and "onScroller"
  // (with the field), "onSetFocus" (with the field that had the focus) and
  // "onKillFocus" (with the field that takes it); `other` may be null.
  virtual void fieldEvent(DisplayObject& field, std::string_view method, DisplayObject* other) {
    (void)field;
    (void)method;
    (void)other;
  }
  // A field's text changed by the user: its variable takes the new text.
  virtual void fieldEdited(DisplayObject& field) { (void)field; }
  // A link in a field's text was clicked: its URL is requested for its
  // target window, as a script's getURL from the field's clip would.
  virtual void linkClicked(DisplayObject& field, std::string_view url, std::string_view target) {
    (void)field;
    (void)url;
    (void)target;
  }
};

// Receives the sound of a button transition: the sound character and its
// SoundInfo bytes, to be started with the button's timeline as start clip
// and no volume clip.
class ButtonSoundSink {
 public:
  virtual ~ButtonSoundSink() = default;
  virtual void startButtonSound(DisplayObject& button, const Character& sound, const uint8_t* soundInfo,
                                size_t length) = 0;
};

}  // namespace kivra
