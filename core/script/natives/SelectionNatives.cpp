// Selection methods (class 600): the keyboard focus of buttons, clips and
// text fields, and the selection in the focused field.
#include <cmath>

#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/script/natives/NativeHelpers.h"
#include "core/text/EditField.h"

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
  if (d.editField()) return d.editField()->hasFlag(kFieldNoSelect) ? nullptr : &d;
  if (e.version() < 6) return firstButton(d, 0);
  if (kindOps(d.kind()).button) return &d;
  if (!kindOps(d.kind()).ownsTimeline) return nullptr;
  if (e.player().input().actsAsButton(d)) return &d;
  ScriptValue enabled;
  return e.getMember(clip, "focusEnabled", enabled) && e.toBoolean(enabled) ? &d : nullptr;
}

// The focused field's selection; -1 when no field has the keyboard.
EditField* focusedField(NativeCall& c) { return c.engine.player().input().text().field(); }

void getBeginIndex(NativeCall& c) {
  EditField* f = focusedField(c);
  c.result = ScriptValue::number(f ? static_cast<double>(f->selectionBegin()) : -1);
}

void getEndIndex(NativeCall& c) {
  EditField* f = focusedField(c);
  c.result = ScriptValue::number(f ? static_cast<double>(f->selectionEnd()) : -1);
}

void getCaretIndex(NativeCall& c) {
  EditField* f = focusedField(c);
  c.result = ScriptValue::number(f ? static_cast<double>(f->caret()) : -1);
}

void setSelection(NativeCall& c) {  // setSelection(begin, end) in the focused field
  EditField* f = focusedField(c);
  if (!f || c.argc < 2) return;
  auto index = [&](int i) {
    const double d = c.engine.toNumber(c.arg(i));
    return std::isfinite(d) && d > 0 ? static_cast<size_t>(std::min<double>(d, 1e9)) : size_t{0};
  };
  f->setSelection(index(0), index(1));
}

void getFocus(NativeCall& c) {  // the dot path of the focused button or clip
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  c.result = ScriptValue::null();
  DisplayObject* f = input.text().focused();
  if (!f) f = input.focus().focused();
  if (!f || (!f->editField() && input.focus().rect().empty())) return;
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

constexpr NativeMethod kSelectionMethods[] = {
    {0, "getBeginIndex", getBeginIndex}, {1, "getEndIndex", getEndIndex}, {2, "getCaretIndex", getCaretIndex},
    {3, "getFocus", getFocus},           {4, "setFocus", setFocus},       {5, "setSelection", setSelection},
};

}  // namespace

const NativeClass kSelectionNatives{kNativeSelection, "Selection", kSelectionMethods};

}  // namespace kivra
