#pragma once
// The few facts about the player that input dispatch reads, and the repaint
// it asks for. The player implements it. Player thread only.
#include "core/host/PixelRect.h"

namespace kivra {

class Clipboard;

class InputContext {
 public:
  virtual ~InputContext() = default;

  // A movie plays and no quit is pending: events reach the movie.
  virtual bool acceptsInput() const = 0;
  // The view is zoomed in (the pointer shows a grab hand where no button is).
  virtual bool zoomed() const = 0;
  // The pointer drags a zoomed view: buttons are not tracked meanwhile.
  virtual bool panning() const = 0;
  // The client area in pixels.
  virtual PixelRect clientRectangle() = 0;
  // The level-0 movie's version; 0 without one.
  virtual int level0Version() const = 0;
  // Marks the whole stage for drawing and asks the host to repaint it.
  virtual void redrawAll() = 0;
  // The system clipboard for text fields; null: none.
  virtual Clipboard* clipboard() { return nullptr; }
  // The player's clock (caret blink, double-clicks).
  virtual uint32_t milliseconds() { return 0; }
};

}  // namespace kivra
