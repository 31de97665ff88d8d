#include "core/input/TextFieldInput.h"

#include <cmath>

#include <algorithm>

#include "core/format/TextEncoding.h"
#include "core/host/Clipboard.h"
#include "core/input/InputHooks.h"
#include "core/input/KeyEvent.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayObject.h"
#include "core/text/EditField.h"
#include "core/view/ViewTransform.h"

namespace kivra {

namespace {

constexpr uint32_t kDoubleClickMs = 500;
constexpr uint32_t kBlinkMs = 500;

// The link format of the text under a point in field coordinates, or null.
const CharFormat* linkUnder(EditField& f, int32_t x, int32_t y) {
  const size_t unit = f.unitAt(x, y);
  if (unit >= f.text().size()) return nullptr;
  const CharFormat& c = f.buffer().formatAt(unit, f.newTextFormat()).chars;
  return c.url.empty() ? nullptr : &c;
}

// The topmost field whose box holds a stage point: a selectable field
// anywhere in its box, a no-select one only over a link of its text.
class FieldFinder : public DisplayVisitor {
 public:
  FieldFinder(double x, double y) : x_(x), y_(y) {}
  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    if (!o.visible()) return false;
    if (EditField* f = const_cast<DisplayObject&>(o).editField()) {
      double lx = 0, ly = 0;
      if (inverseMap(item.matrix, x_, y_, lx, ly)) {
        const RECT& r = f->bounds();
        if (lx >= r.xmin && lx < r.xmax && ly >= r.ymin && ly < r.ymax &&
            (!f->hasFlag(kFieldNoSelect) ||
             linkUnder(*f, static_cast<int32_t>(lx), static_cast<int32_t>(ly)) != nullptr))
          found = &o;
      }
    }
    return true;
  }
  const DisplayObject* found = nullptr;

 private:
  double x_, y_;
};

// Clipboard text (UTF-8) as units: characters beyond the 16-bit range
// become surrogate pairs, malformed bytes U+FFFD.
std::u16string clipboardUnits(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t b = static_cast<uint8_t>(utf8[i]);
    if (b >= 0xF0 && b <= 0xF4) {
      uint32_t cp = b & 0x07;
      bool ok = i + 3 < utf8.size();
      for (size_t k = 1; ok && k <= 3; ++k) {
        if ((static_cast<uint8_t>(utf8[i + k]) & 0xC0) != 0x80) ok = false;
        else cp = cp << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
      }
      if (ok && cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        i += 4;
        continue;
      }
    }
    out.push_back(static_cast<char16_t>(text::decodeUtf8(utf8, i)));
  }
  return out;
}

// The object's space to stage twips.
MATRIX stageMatrix(const DisplayObject& o, const Display& display) {
  MATRIX world = o.matrix();
  for (const DisplayObject* p = o.parent(); p && p != &display.root(); p = p->parent()) world = concat(world, p->matrix());
  return world;
}

}  // namespace

EditField* TextFieldInput::field() const { return focused_ ? focused_->editField() : nullptr; }

void TextFieldInput::setFocus(DisplayObject* object, InputScriptHooks& hooks) {
  if (object && !object->editField()) object = nullptr;
  if (object == focused_) return;
  DisplayObject* previous = focused_;
  if (previous) previous->editField()->setFocused(false);
  focused_ = object;
  selecting_ = false;
  if (object) {
    EditField* f = object->editField();
    f->setFocused(true);
    // Focus by Tab or script selects everything.
    f->selectAll();
  }
  if (previous) hooks.fieldEvent(*previous, "onKillFocus", object);
  if (object) hooks.fieldEvent(*object, "onSetFocus", previous);
}

DisplayObject* TextFieldInput::fieldAt(double stageX, double stageY) const {
  FieldFinder finder(stageX, stageY);
  display_.walk(finder);
  return const_cast<DisplayObject*>(finder.found);
}

const CharFormat* TextFieldInput::linkAt(double stageX, double stageY) const {
  DisplayObject* o = fieldAt(stageX, stageY);
  int32_t x = 0, y = 0;
  if (!o || !toField(*o, stageX, stageY, x, y)) return nullptr;
  return linkUnder(*o->editField(), x, y);
}

bool TextFieldInput::caretOnStage(double& x0, double& y0, double& x1, double& y1) const {
  if (!focused_) return false;
  int32_t x = 0, top = 0, height = 0;
  focused_->editField()->caretBox(x, top, height);
  const MATRIX m = stageMatrix(*focused_, display_);
  forwardMap(m, x, top, x0, y0);
  forwardMap(m, x, top + height, x1, y1);
  return true;
}

bool TextFieldInput::toField(const DisplayObject& object, double stageX, double stageY, int32_t& x,
                             int32_t& y) const {
  double lx = 0, ly = 0;
  if (!inverseMap(stageMatrix(object, display_), stageX, stageY, lx, ly)) return false;
  x = static_cast<int32_t>(std::clamp(lx, -1e9, 1e9));
  y = static_cast<int32_t>(std::clamp(ly, -1e9, 1e9));
  return true;
}

bool TextFieldInput::mouseDown(double stageX, double stageY, bool shift, uint32_t nowMs, InputScriptHooks& hooks) {
  DisplayObject* target = fieldAt(stageX, stageY);
  if (!target) {
    setFocus(nullptr, hooks);
    return false;
  }
  // A click on a link follows it and leaves the focus and selection alone.
  if (const CharFormat* link = linkAt(stageX, stageY)) {
    const std::string url = link->url, window = link->target;
    hooks.linkClicked(*target, url, window);
    return true;
  }
  const bool wasFocused = target == focused_;
  setFocus(target, hooks);
  EditField& f = *target->editField();
  int32_t x = 0, y = 0;
  if (!toField(*target, stageX, stageY, x, y)) return true;
  const size_t unit = f.unitAt(x, y);
  if (wasFocused && nowMs - lastPress_ < kDoubleClickMs && unit == lastPressUnit_) {
    f.selectWord(unit);
    lastPress_ = 0;
    return true;
  }
  lastPress_ = nowMs;
  lastPressUnit_ = unit;
  f.setSelection(shift && wasFocused ? f.selectionBegin() == f.caret() ? f.selectionEnd() : f.selectionBegin() : unit,
                 unit);
  f.setCaretVisible(true);
  selecting_ = true;
  return true;
}

void TextFieldInput::mouseMove(double stageX, double stageY) {
  if (!selecting_ || !focused_) return;
  EditField& f = *focused_->editField();
  int32_t x = 0, y = 0;
  if (!toField(*focused_, stageX, stageY, x, y)) return;
  const size_t anchor = f.caret() == f.selectionEnd() ? f.selectionBegin() : f.selectionEnd();
  f.setSelection(anchor, f.unitAt(x, y));
  f.showCaret();
}

bool TextFieldInput::mouseUp() {
  const bool was = selecting_;
  selecting_ = false;
  return was;
}

void TextFieldInput::changed(InputScriptHooks& hooks) {
  if (!focused_) return;
  DisplayObject* object = focused_;
  EditField* f = object->editField();
  const bool edited = f->takeChanged();
  const bool scrolled = f->takeScrolled();
  if (edited) {
    hooks.fieldEdited(*object);
    hooks.fieldEvent(*object, "onChanged", object);
  }
  if (scrolled && focused_ == object) hooks.fieldEvent(*object, "onScroller", object);
}

bool TextFieldInput::key(uint16_t code, bool shift, InputScriptHooks& hooks) {
  EditField* f = field();
  if (!f) return false;
  bool took = true;
  switch (code) {
    case kKeyLeft: f->key(EditKey::Left, shift); break;
    case kKeyRight: f->key(EditKey::Right, shift); break;
    case kKeyUp: f->key(EditKey::Up, shift); break;
    case kKeyDown: f->key(EditKey::Down, shift); break;
    case kKeyHome: f->key(EditKey::Home, shift); break;
    case kKeyEnd: f->key(EditKey::End, shift); break;
    case kKeyPageUp: f->key(EditKey::PageUp, shift); break;
    case kKeyPageDown: f->key(EditKey::PageDown, shift); break;
    case kKeyBackspace: f->key(EditKey::Backspace, shift); break;
    case kKeyDelete: f->key(EditKey::Delete, shift); break;
    case kKeyEnter: f->key(EditKey::Enter, shift); break;
    default:
      if (code >= 32 && code != 127 && !f->hasFlag(kFieldReadOnly)) {
        const char16_t unit = static_cast<char16_t>(code);
        f->type(std::u16string_view(&unit, 1));
      } else {
        took = code >= 32;
      }
  }
  f->setCaretVisible(true);
  changed(hooks);
  return took;
}

bool TextFieldInput::type(std::u16string_view units, InputScriptHooks& hooks) {
  EditField* f = field();
  if (!f || f->hasFlag(kFieldReadOnly)) return false;
  f->type(units);
  f->setCaretVisible(true);
  changed(hooks);
  return true;
}

bool TextFieldInput::shortcut(char letter, Clipboard* clipboard, InputScriptHooks& hooks) {
  switch (letter) {
    case 'a': case 'A': edit(EditCode::SelectAll, clipboard, hooks); return field() != nullptr;
    case 'c': case 'C': edit(EditCode::Copy, clipboard, hooks); return field() != nullptr;
    case 'x': case 'X': edit(EditCode::Cut, clipboard, hooks); return field() != nullptr;
    case 'v': case 'V': edit(EditCode::Paste, clipboard, hooks); return field() != nullptr;
    default: return false;
  }
}

TextEditAbilities TextFieldInput::abilities() const {
  TextEditAbilities a;
  const EditField* f = field();
  if (!f) return a;
  const bool some = f->selectionBegin() != f->selectionEnd();
  const bool input = !f->hasFlag(kFieldReadOnly);
  // Password text is never copied out.
  const bool hidden = f->hasFlag(kFieldPassword);
  a.copy = some && !hidden;
  a.cut = some && input && !hidden;
  a.clear = some && input;
  a.paste = input;
  a.selectAll = !f->text().empty();
  return a;
}

void TextFieldInput::edit(EditCode code, Clipboard* clipboard, InputScriptHooks& hooks) {
  EditField* f = field();
  if (!f) return;
  const TextEditAbilities can = abilities();
  switch (code) {
    case EditCode::SelectAll:
      f->selectAll();
      break;
    case EditCode::Copy:
    case EditCode::Cut:
      if (!(code == EditCode::Copy ? can.copy : can.cut)) return;
      if (clipboard) {
        const std::u16string units = f->selectedText();
        std::string utf8;
        for (size_t i = 0; i < units.size(); ++i) {
          const char16_t u = units[i];
          if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            text::appendUtf8CodePoint(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00), utf8);
            ++i;
          } else {
            text::appendUtf8(u, utf8);
          }
        }
        clipboard->setClipboardText(utf8);
      }
      if (code == EditCode::Cut) f->type(u"");
      break;
    case EditCode::Delete:
      if (can.clear) f->key(EditKey::Delete, false);
      break;
    case EditCode::Paste:
      if (can.paste && clipboard) {
        f->type(clipboardUnits(clipboard->clipboardText()));
      }
      break;
  }
  changed(hooks);
}

void TextFieldInput::blink(uint32_t nowMs) {
  EditField* f = field();
  if (!f) return;
  if (nowMs - lastBlink_ >= kBlinkMs) {
    lastBlink_ = nowMs;
    f->setCaretVisible(!f->caretVisible());
  }
}

void TextFieldInput::objectDestroyed(DisplayObject* object) {
  if (object == focused_) {
    focused_ = nullptr;
    selecting_ = false;
  }
}

}  // namespace kivra
