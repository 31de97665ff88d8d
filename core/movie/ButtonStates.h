#pragma once
// The children a button shows: one display object per state record of the
// current mode, placed inside the button at the record's depth with the
// record's matrix and colour transform. Hit-test records are never shown.
#include "core/movie/ButtonRecords.h"

namespace kivra {

class Display;
class DisplayObject;

class ButtonStates {
 public:
  // A new button: places the records of its mode.
  static void showInitial(Display& display, DisplayObject& button);
  // Goes from the mode shown to `mode`: removes the children of records
  // shown only in the old mode, then places those shown only in the new one.
  static void setMode(Display& display, DisplayObject& button, ButtonMode mode);
};

}  // namespace kivra
