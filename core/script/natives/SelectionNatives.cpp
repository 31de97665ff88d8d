// Selection methods (class 600): the keyboard focus of buttons and clips.
// Text fields do not exist yet, so nothing holds a text focus: the
// selection indices read -1.
#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

// The first button found depth first in an object and its descendants.
DisplayObject* firstButton(DisplayObject& object, int nesting) {
  if (kindOps(object.kind()).button) return &object;
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
  if (kindOps(d.kind()).button) return &d;
  if (!kindOps(d.kind()).ownsTimeline) return nullptr;
  if (e.player().input().actsAsButton(d)) return &d;
  ScriptValue enabled;
  return e.getMember(clip, "focusEnabled", enabled) && e.toBoolean(enabled) ? &d : nullptr;
}

// Nothing holds a text focus: no selection, no caret.
void noIndex(NativeCall& c) { c.result = ScriptValue::number(-1); }

void getFocus(NativeCall& c) {  // the dot path of the focused button or clip
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  c.result = ScriptValue::null();
  DisplayObject* f = input.focus().focused();
  if (!f || input.focus().rect().empty()) return;
  ScriptObject* o = e.displayClips().clipObject(f);
  if (o) c.result = e.makeString(e.clips().targetPath(*o, true));
}

void setFocus(NativeCall& c) {  // setFocus(target)
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  c.result = ScriptValue::boolean(false);
  if (c.argc != 1) return;
  if (c.arg(0).isNullish()) {
    input.setFocus(nullptr);
    c.result = ScriptValue::boolean(true);
    return;
  }
  ScriptObject* clip = resolveFromCaller(c, c.arg(0));
  DisplayObject* d = DisplayClipBridge::displayObject(clip);
  if (!d) return;
  if (DisplayObject* taker = focusTaker(c, *d, clip)) {
    input.setFocus(taker);
    c.result = ScriptValue::boolean(true);
  }
}

// setSelection (5) has nothing to select: no entry.
constexpr NativeMethod kSelectionMethods[] = {
    {0, "getBeginIndex", noIndex}, {1, "getEndIndex", noIndex}, {2, "getCaretIndex", noIndex},
    {3, "getFocus", getFocus},     {4, "setFocus", setFocus},
};

}  // namespace

const NativeClass kSelectionNatives{kNativeSelection, "Selection", kSelectionMethods};

}  // namespace kivra
