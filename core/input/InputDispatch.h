#pragma once
// Turns the host's mouse and keyboard events into movie behaviour: clip
// events on every timeline, `Mouse` and `Key` listener events, button
// tracking with its transitions, drags of clips, key presses matched by
// buttons and clips, and keyboard-focus navigation. Actions are only queued
// here; after each event the player runs them (CorePlayer::afterInput).
//
// One per player, owned by it; player thread only. Positions are client
// pixels. The dispatcher keeps plain pointers to display objects (the drag
// target) and drops them when the display reports them destroyed.
#include <array>
#include <cstdint>
#include <string>

#include "core/movie/ButtonTracker.h"
#include "core/movie/Display.h"
#include "core/input/InputHooks.h"
#include "core/input/KeyEvent.h"
#include "core/input/KeyboardFocus.h"
#include "core/input/DisplayHitTest.h"
#include "core/input/InputContext.h"
#include "core/input/TextFieldInput.h"

namespace kivra {

class InputDispatch : public ButtonTrackerSink, public HitTestPolicy, public DisplayObserver {
 public:
  InputDispatch(InputContext& player, Display& display);
  ~InputDispatch() override;
  InputDispatch(const InputDispatch&) = delete;
  InputDispatch& operator=(const InputDispatch&) = delete;

  // Not owned; null restores the defaults of InputScriptHooks / no sound.
  void setScriptHooks(InputScriptHooks* hooks) { hooks_ = hooks ? hooks : &defaultHooks_; }
  InputScriptHooks& scriptHooks() { return *hooks_; }
  void setButtonSoundSink(ButtonSoundSink* sink) { sounds_ = sink; }
  // While set, the pointer reaches only objects inside `root` (the
  // settings panel's level); null gives the whole stage back. Only
  // compared, never followed.
  void setModalRoot(const DisplayObject* root) { modalRoot_ = root; }

  // ---- Events from the host --------------------------------------------
  void mouseMove(int x, int y, bool forced);
  void mouseDown();
  void mouseUp();
  // The pointer left the movie; tracking rolls out of a tracked button.
  void mouseLeft();
  // Another window took the mouse capture: no button is held any more.
  void captureLost();
  void keyDown(const KeyEvent& key);
  void keyUp(const KeyEvent& key);
  void typedCharacter(uint32_t character);
  // After a frame step: buttons may have moved under a still pointer.
  void trackAfterFrame();

  // Something happened that wants the queued actions run and the view
  // repainted; the flag is cleared by reading it.
  bool takeActivity();
  // After the actions of a focus press ran: a focused object they removed
  // passes the focus on as Tab would.
  void afterActions();

  // ---- State the player and scripts read ------------------------------
  int pointerX() const { return pointerX_; }
  int pointerY() const { return pointerY_; }
  bool mouseIsDown() const { return mouseDown_; }
  bool pointerInside() const { return inside_; }
  // The cursor kind for the current state.
  int cursorKind();
  void setPointerHidden(bool hidden) { pointerHidden_ = hidden; }
  bool pointerHidden() const { return pointerHidden_; }

  // Key.getCode(): the virtual key of the last key event.
  int lastKeyCode() const { return lastVirtualKey_; }
  // Key.getAscii(): the character of the last key event, special keys mapped.
  int lastKeyAscii() const { return lastAscii_; }
  // Whether a virtual key is held, as far as the events told.
  bool keyIsDown(int virtualKey) const;

  // ---- Drags (from script) ------------------------------------------------
  // bounds: left, top, right, bottom in twips of the parent's space, or null.
  void startDrag(DisplayObject& clip, bool lockCenter, const double* bounds);
  // Ends the drag; the clip's drop target is the clip under it.
  void stopDrag();
  DisplayObject* dragged() const { return drag_.clip; }

  // ---- Keyboard focus -------------------------------------------------------
  KeyboardFocus& focus() { return focus_; }
  // The text field that has the keyboard, its editing and selection.
  TextFieldInput& text() { return text_; }
  // Gives the keyboard to a text field (null: to none).
  void setTextFocus(DisplayObject* field) {
    text_.setFocus(field, *hooks_);
    activity_ = true;
  }
  // Edit menu commands and typed strings for the focused text field.
  void editText(EditCode code) {
    text_.edit(code, player_.clipboard(), *hooks_);
    activity_ = true;
  }
  void typeText(std::u16string_view units) {
    if (text_.type(units, *hooks_)) activity_ = true;
  }
  // Once a frame: the caret blinks on the frame clock.
  void blinkCaret() { text_.blink(player_.milliseconds()); }
  // Moves the focus (null clears it): the button is tracked as over, the
  // listeners hear of it and the view is redrawn.
  void setFocus(DisplayObject* object);
  // Whether the yellow rectangle is drawn around the focus.
  bool focusRectShown();

  // Whether the shapes of an object, or of anything inside it, cover a
  // point given in stage twips (a script's shape hit test).
  bool shapesCover(const DisplayObject& object, int32_t stageX, int32_t stageY);
  // The object under a client point that reacts to the mouse, or null.
  DisplayObject* targetAt(int x, int y);
  // The slash path of a clip ("/a/b", "_level1/a", "/" for level 0).
  static std::string slashPath(const Display& display, const DisplayObject* clip);

  // ---- ButtonTrackerSink, HitTestPolicy, DisplayObserver ------------------
  bool buttonEnabled(DisplayObject& object) override;
  bool tracksAsMenu(DisplayObject& object) override;
  void buttonTransition(DisplayObject& object, int transition) override;
  void buttonForcedIdle(DisplayObject& object) override;
  bool actsAsButton(const DisplayObject& sprite) override;
  const DisplayObject* hitArea(const DisplayObject& sprite) override;
  void displayObjectDestroyed(DisplayObject* object) override;

 private:
  struct Drag {
    DisplayObject* clip = nullptr;
    bool lockCenter = false;
    bool constrained = false;
    RECT bounds;  // twips
    double offsetX = 0;
    double offsetY = 0;
  };

  bool ready() const;
  void track(bool pressed);
  void fireOnTimelines(uint32_t event, bool methodsOnFocusOnly);
  void keyPress(uint16_t code, bool shift);
  bool matchKeyPress(DisplayObject& parent, uint16_t code, int nesting);
  void pressFocused();
  void gotoStateLabel(DisplayObject& sprite, const char* label);
  void queueButtonActions(DisplayObject& button, int transition);
  void startButtonSound(DisplayObject& button, int transition);
  // The pointer in stage twips.
  bool pointerOnStage(double& x, double& y) const;
  // The pointer in the parent space of a clip, in twips.
  bool pointerInParent(const DisplayObject& clip, double& x, double& y) const;
  void updateDrag();

  InputContext& player_;
  Display& display_;
  InputScriptHooks defaultHooks_;  // nothing connected: every default holds
  InputScriptHooks* hooks_ = &defaultHooks_;
  ButtonSoundSink* sounds_ = nullptr;
  DisplayHitTest hitTest_;
  const DisplayObject* modalRoot_ = nullptr;
  KeyboardFocus focus_;
  TextFieldInput text_{display_};
  Drag drag_;

  int pointerX_ = 0;
  int pointerY_ = 0;
  bool inside_ = false;
  bool mouseDown_ = false;
  bool pointerHidden_ = false;
  bool activity_ = false;
  bool pressedFocus_ = false;

  uint16_t lastCode_ = 0;
  int lastVirtualKey_ = 0;
  int lastAscii_ = 0;
  std::array<bool, 256> keysDown_{};
};

}  // namespace kivra
