#pragma once
// A key as the host hands it to the core: the player's key code (1 Left,
// 2 Right, ..., 13 Enter, 18 Tab, 32 Space, or the character the layout
// produces), the host's virtual key kept beside it, and the modifiers.
#include <cstdint>

namespace kivra {

enum KeyCode : uint16_t {
  kKeyLeft = 1,
  kKeyRight = 2,
  kKeyHome = 3,
  kKeyEnd = 4,
  kKeyInsert = 5,
  kKeyDelete = 6,
  kKeyClear = 7,
  kKeyBackspace = 8,
  kKeyEnter = 13,
  kKeyUp = 14,
  kKeyDown = 15,
  kKeyPageUp = 16,
  kKeyPageDown = 17,
  kKeyTab = 18,
  kKeyEscape = 19,
  kKeyPause = 22,
  kKeyCapsLock = 23,
  kKeyNumLock = 24,
  kKeyScrollLock = 25,
  kKeySpace = 32,
  kKeyShift = 101,
  kKeyControl = 102,
};

// Virtual key numbers scripts see through Key.getCode().
enum VirtualKey : uint16_t {
  kVkBackspace = 8,
  kVkTab = 9,
  kVkEnter = 13,
  kVkShift = 16,
  kVkControl = 17,
  kVkPause = 19,
  kVkCapsLock = 20,
  kVkEscape = 27,
  kVkSpace = 32,
  kVkPageUp = 33,
  kVkPageDown = 34,
  kVkEnd = 35,
  kVkHome = 36,
  kVkLeft = 37,
  kVkUp = 38,
  kVkRight = 39,
  kVkDown = 40,
  kVkInsert = 45,
  kVkDelete = 46,
  kVkF1 = 112,  // F1..F15 are 112..126; their key code is virtual key - 71
  kVkNumLock = 144,
  kVkScrollLock = 145,
};

struct KeyEvent {
  uint16_t code = 0;
  uint16_t virtualKey = 0;
  bool shift = false;
  bool control = false;
  bool keypad = false;
};

}  // namespace kivra
