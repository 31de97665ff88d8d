#include "platform/desktop/KeyTranslation.h"

#include <QList>

namespace kivra {

namespace {

struct NamedKey {
  int qtKey;
  uint16_t code;
  uint16_t virtualKey;
};

// Keys with a fixed player code, whatever the layout.
constexpr NamedKey kNamedKeys[] = {
    {Qt::Key_Left, kKeyLeft, kVkLeft},
    {Qt::Key_Right, kKeyRight, kVkRight},
    {Qt::Key_Home, kKeyHome, kVkHome},
    {Qt::Key_End, kKeyEnd, kVkEnd},
    {Qt::Key_Insert, kKeyInsert, kVkInsert},
    {Qt::Key_Delete, kKeyDelete, kVkDelete},
    {Qt::Key_Clear, kKeyClear, 12},
    {Qt::Key_Backspace, kKeyBackspace, kVkBackspace},
    {Qt::Key_Return, kKeyEnter, kVkEnter},
    {Qt::Key_Enter, kKeyEnter, kVkEnter},
    {Qt::Key_Up, kKeyUp, kVkUp},
    {Qt::Key_Down, kKeyDown, kVkDown},
    {Qt::Key_PageUp, kKeyPageUp, kVkPageUp},
    {Qt::Key_PageDown, kKeyPageDown, kVkPageDown},
    {Qt::Key_Tab, kKeyTab, kVkTab},
    {Qt::Key_Backtab, kKeyTab, kVkTab},  // Shift+Tab; the shift flag says which
    {Qt::Key_Escape, kKeyEscape, kVkEscape},
    {Qt::Key_Pause, kKeyPause, kVkPause},
    {Qt::Key_CapsLock, kKeyCapsLock, kVkCapsLock},
    {Qt::Key_NumLock, kKeyNumLock, kVkNumLock},
    {Qt::Key_ScrollLock, kKeyScrollLock, kVkScrollLock},
    {Qt::Key_Space, kKeySpace, kVkSpace},
    {Qt::Key_Shift, kKeyShift, kVkShift},
    {Qt::Key_Control, kKeyControl, kVkControl},
    {Qt::Key_Meta, 56, 91},
    {Qt::Key_Super_L, 56, 91},
    {Qt::Key_Super_R, 57, 92},
    {Qt::Key_Menu, 58, 93},
};

// Virtual key of a character key, as a US layout places it. Letters and
// digits are their upper-case ASCII; punctuation uses the OEM key numbers.
uint16_t virtualKeyOf(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint16_t>(qtKey);
  switch (qtKey) {
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 186;
    case Qt::Key_Equal: case Qt::Key_Plus: return 187;
    case Qt::Key_Comma: case Qt::Key_Less: return 188;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 189;
    case Qt::Key_Period: case Qt::Key_Greater: return 190;
    case Qt::Key_Slash: case Qt::Key_Question: return 191;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 222;
    default: return 0;
  }
}

// Keypad keys while Num Lock is on: digits keep their character, the
// operators' code is their virtual key - 64 (which is their ASCII).
bool translateKeypad(int qtKey, KeyEvent& key) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
    key.code = static_cast<uint16_t>(qtKey);
    key.virtualKey = static_cast<uint16_t>(96 + (qtKey - Qt::Key_0));
    return true;
  }
  uint16_t vk = 0;
  switch (qtKey) {
    case Qt::Key_Asterisk: vk = 106; break;
    case Qt::Key_Plus: vk = 107; break;
    case Qt::Key_Comma: vk = 108; break;  // separator
    case Qt::Key_Minus: vk = 109; break;
    case Qt::Key_Period: vk = 110; break;  // decimal point
    case Qt::Key_Slash: vk = 111; break;
    default: return false;
  }
  key.virtualKey = vk;
  key.code = static_cast<uint16_t>(vk - 64);
  return true;
}

}  // namespace

KeyEvent translateKey(int qtKey, Qt::KeyboardModifiers modifiers, const QString& text) {
  KeyEvent key;
  key.shift = modifiers.testFlag(Qt::ShiftModifier);
  key.control = modifiers.testFlag(Qt::ControlModifier);
  key.keypad = modifiers.testFlag(Qt::KeypadModifier);

  for (const NamedKey& named : kNamedKeys) {
    if (named.qtKey == qtKey) {
      key.code = named.code;
      key.virtualKey = named.virtualKey;
      return key;
    }
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F15) {
    key.virtualKey = static_cast<uint16_t>(kVkF1 + (qtKey - Qt::Key_F1));
    key.code = static_cast<uint16_t>(key.virtualKey - 71);
    return key;
  }
  if (key.keypad && translateKeypad(qtKey, key)) return key;

  // Any other key: the character it produces. With Control held Qt reports
  // a control character, so fall back on the key itself.
  key.virtualKey = virtualKeyOf(qtKey);
  const QList<uint> chars = text.toUcs4();
  if (!chars.isEmpty() && chars.front() >= 32 && chars.front() != 127) {
    key.code = static_cast<uint16_t>(chars.front() <= 0xFFFF ? chars.front() : 0);
  } else if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
    key.code = static_cast<uint16_t>(key.shift ? qtKey : qtKey - Qt::Key_A + 'a');
  } else if (qtKey > 32 && qtKey < 0x7F) {
    key.code = static_cast<uint16_t>(qtKey);
  }
  return key;
}

bool deliversTypedCharacter(uint32_t character) {
  return character != 8 && character != 9 && character != 13 && character != 127;
}

}  // namespace kivra
