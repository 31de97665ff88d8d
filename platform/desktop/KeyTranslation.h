#pragma once
// Qt keys to the player's key events. Kept apart from the window so that it
// can be tested without one.
#include <cstdint>

#include <QString>
#include <Qt>

#include "core/input/KeyEvent.h"

namespace kivra {

// The key event for a Qt key press or release. `text` is what the key types
// (may be empty). A code of 0 means the key is not delivered to the core
// (Alt, and keys the player has no name for that type nothing).
KeyEvent translateKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text);

// Whether a typed character goes to the core as a typed character: 8, 9 and
// 13 arrive as key codes through key down instead, and Delete types nothing.
bool deliversTypedCharacter(uint32_t character);

}  // namespace kivra
