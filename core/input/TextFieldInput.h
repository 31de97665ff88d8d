#pragma once
// The text field that has the keyboard: focus by click and by script,
// caret placement and drag selection with the mouse, editing keys, typed
// characters, the edit commands and the caret's blink on the frame clock.
#include <cstdint>
#include <string>

#include "core/input/TextEditing.h"

namespace kivra {

class Clipboard;
class Display;
class DisplayObject;
struct CharFormat;
class EditField;
class InputScriptHooks;

class TextFieldInput {
 public:
  explicit TextFieldInput(Display& display) : display_(display) {}

  DisplayObject* focused() const { return focused_; }
  EditField* field() const;
  // Moves the text focus (null: none); the fields' listeners hear of it.
  void setFocus(DisplayObject* field, InputScriptHooks& hooks);

  // The field at a stage point (twips), topmost first: a selectable one
  // anywhere in its box, a no-select one over a link; null when none.
  DisplayObject* fieldAt(double stageX, double stageY) const;
  // The focused field's caret as a stage segment (twips) from its top to
  // its bottom; false when no field has the focus.
  bool caretOnStage(double& x0, double& y0, double& x1, double& y1) const;
  // The format of the link under a stage point (the hand cursor), or null.
  const CharFormat* linkAt(double stageX, double stageY) const;
  // A press at a stage point: a link there is followed; otherwise a
  // selectable field there takes the focus and places the caret (Shift extends the selection, a second press within
  // the double-click time selects a word). True when a field took it.
  bool mouseDown(double stageX, double stageY, bool shift, uint32_t nowMs, InputScriptHooks& hooks);
  // While the button is held after a press in a field: the selection
  // follows the pointer.
  void mouseMove(double stageX, double stageY);
  // Ends a drag selection; true when one was running.
  bool mouseUp();

  // A key code or typed character for the focused field; true when the
  // field took it. Changes reach the field's listeners.
  bool key(uint16_t code, bool shift, InputScriptHooks& hooks);
  // Ctrl+letter shortcuts: A selects all, C copies, X cuts, V pastes.
  bool shortcut(char letter, Clipboard* clipboard, InputScriptHooks& hooks);
  // The edit menu's commands, and what they may do now.
  void edit(EditCode code, Clipboard* clipboard, InputScriptHooks& hooks);
  TextEditAbilities abilities() const;
  // Typed text (an input method's commit string, UTF-16).
  bool type(std::u16string_view units, InputScriptHooks& hooks);

  // Toggles the caret every half second of the frame clock.
  void blink(uint32_t nowMs);
  void objectDestroyed(DisplayObject* object);

 private:
  // Local field coordinates (twips) of a stage point.
  bool toField(const DisplayObject& object, double stageX, double stageY, int32_t& x, int32_t& y) const;
  void changed(InputScriptHooks& hooks);

  Display& display_;
  DisplayObject* focused_ = nullptr;
  bool selecting_ = false;
  uint32_t lastPress_ = 0;
  size_t lastPressUnit_ = SIZE_MAX;
  uint32_t lastBlink_ = 0;
};

}  // namespace kivra
