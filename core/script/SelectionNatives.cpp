// Selection methods (class 600): the keyboard focus of buttons and clips.
// Text fields do not exist yet, so nothing holds a text focus: the
// selection indices read -1.
#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/script/NativeHelpers.h"

namespace kivra {

namespace {

bool isClipKind(CharacterKind k) { return k == CharacterKind::Sprite || k == CharacterKind::LoadedMovieClip; }

// The first button found depth first in an object and its descendants.
DisplayObject* firstButton(DisplayObject& object, int nesting) {
  if (object.kind() == CharacterKind::Button) return &object;
  if (nesting > Display::kMaxNesting + 2) return nullptr;
  for (const auto& child : object.children()) {
    if (child->depth() < 0) continue;
    if (DisplayObject* b = firstButton(*child, nesting + 1)) return b;
  }
  return nullptr;
}

// The object that takes the focus when a script gives it to `d`, or null.
DisplayObject* focusTaker(NativeCall& c, DisplayObject& d, ScriptObject* clip) {
  ScriptEngine& e = c.engine;
  if (e.version() < 6) return firstButton(d, 0);
  if (d.kind() == CharacterKind::Button) return &d;
  if (!isClipKind(d.kind())) return nullptr;
  if (e.player().input().actsAsButton(d)) return &d;
  ScriptValue enabled;
  return e.getMember(clip, "focusEnabled", enabled) && e.toBoolean(enabled) ? &d : nullptr;
}

}  // namespace

void selectionNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  switch (c.method) {
    case 0:
    case 1:
    case 2:
      c.result = ScriptValue::number(-1);
      break;
    case 3: {  // getFocus: the dot path of the focused button or clip
      c.result = ScriptValue::null();
      DisplayObject* f = input.focus().focused();
      if (!f || input.focus().rect().empty()) break;
      ScriptObject* o = e.displayClips().clipObject(f);
      if (o) c.result = e.makeString(e.clips().targetPath(*o, true));
      break;
    }
    case 4: {  // setFocus(target)
      c.result = ScriptValue::boolean(false);
      if (c.argc != 1) break;
      if (c.arg(0).isNullish()) {
        input.setFocus(nullptr);
        c.result = ScriptValue::boolean(true);
        break;
      }
      ScriptObject* clip = resolveFromCaller(c, c.arg(0));
      DisplayObject* d = DisplayClipBridge::displayObject(clip);
      if (!d) break;
      if (DisplayObject* taker = focusTaker(c, *d, clip)) {
        input.setFocus(taker);
        c.result = ScriptValue::boolean(true);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace kivra
