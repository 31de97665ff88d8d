#pragma once
// Keyboard focus and tab order: which objects can take the focus, the order
// Tab and Shift+Tab walk, the arrow keys' choice of the nearest object in a
// direction, and the focused object with its rectangle in window pixels.
// The focusable list is rebuilt for every navigation step.
//
// What focusing does beyond remembering (tracking the button as over,
// telling the listeners, redrawing) is the input dispatcher's: this class
// only chooses. Player thread only.
#include <cstdint>
#include <vector>

#include "core/movie/Display.h"
#include "core/input/InputHooks.h"

namespace kivra {

// A rectangle in window pixels, right and bottom exclusive.
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

class KeyboardFocus : public DisplayObserver {
 public:
  struct Entry {
    DisplayObject* object = nullptr;
    int64_t key = 0;  // tab index, computed key, or position once indexes rule
    WindowRect rect;
  };

  explicit KeyboardFocus(Display& display);
  ~KeyboardFocus() override;
  KeyboardFocus(const KeyboardFocus&) = delete;
  KeyboardFocus& operator=(const KeyboardFocus&) = delete;

  DisplayObject* focused() const { return focused_; }
  // The focused object's bounds when it got the focus.
  const WindowRect& rect() const { return rect_; }
  // The focused object was destroyed since the last call (and is cleared).
  bool takeLostByRemoval();

  // The focusable objects in tab order.
  void collect(InputScriptHooks& hooks, std::vector<Entry>& out);
  // The object Tab (or Shift+Tab) moves to; null with nothing focusable.
  DisplayObject* tabTarget(bool backwards, InputScriptHooks& hooks);
  // The object an arrow key (1 left, 2 right, 14 up, 15 down) moves to, or
  // null when there is none in that direction.
  DisplayObject* arrowTarget(uint16_t keyCode, InputScriptHooks& hooks);
  // Remembers the focus (null clears it) and its rectangle.
  void set(DisplayObject* object);
  void clear() { set(nullptr); }

  // Whether a sprite acts as a button: its clip actions or its script
  // object handle a button event.
  static bool actsAsButton(const DisplayObject& object, InputScriptHooks& hooks);
  // The object's bounds in window pixels: a sprite's contents, a button's
  // records, a shape's or text's own bounds.
  static WindowRect windowBounds(const Display& display, const DisplayObject& object);

  void displayObjectDestroyed(DisplayObject* object) override;

 private:
  void collectFrom(DisplayObject& parent, InputScriptHooks& hooks, std::vector<Entry>& out, bool& indexed,
                   int nesting);

  Display& display_;
  DisplayObject* focused_ = nullptr;
  WindowRect rect_;
  int64_t key_ = -1;  // the focused object's key when it got the focus
  bool lost_ = false;
};

}  // namespace kivra
