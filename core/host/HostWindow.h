#pragma once
// The window (or the headless stage) the player draws into. Called on the
// player's thread, synchronously from inside core calls; none of these may
// call back into the player.
#include "core/format/Records.h"
#include "core/host/PixelRect.h"

namespace kivra {

// Cursor kinds the core asks the host for.
// Hidden: a script hid the pointer; Hand: over a button or link; Grab: panning.
enum class CursorKind { Hidden = 0, Arrow = 1, Hand = 2, Grab = 3, IBeam = 4 };

class HostWindow {
 public:
  virtual ~HostWindow() = default;
  // The client area in pixels; empty when there is no window.
  virtual PixelRect clientRectangle() = 0;
  // Paints the dirty area now / at the next paint.
  virtual void updateNow() = 0;
  virtual void invalidate() = 0;
  // The level-0 movie's header asks for a client area of this size.
  virtual void movieSizeChanged(int width, int height) = 0;
  // Returns whether the host showed the cursor asked for.
  virtual bool setCursor(CursorKind kind) = 0;
  // Clears the client area to `colour` (no movie is shown).
  virtual void fillBackground(Rgba colour) = 0;
};

}  // namespace kivra
