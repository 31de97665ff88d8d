#include "platform/desktop/KeyTranslation.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

TEST(KeyTranslation, ArrowKeysHaveTheirPlayerCodes) {
  const KeyEvent left = translateKey(Qt::Key_Left, Qt::NoModifier, QString());
  EXPECT_EQ(left.code, kKeyLeft);
  EXPECT_EQ(left.virtualKey, kVkLeft);
  EXPECT_EQ(translateKey(Qt::Key_Down, Qt::NoModifier, QString()).code, kKeyDown);
  EXPECT_EQ(translateKey(Qt::Key_PageUp, Qt::NoModifier, QString()).code, kKeyPageUp);
}

TEST(KeyTranslation, FunctionKeysAreVirtualKeyMinus71) {
  const KeyEvent f1 = translateKey(Qt::Key_F1, Qt::NoModifier, QString());
  EXPECT_EQ(f1.virtualKey, 112);
  EXPECT_EQ(f1.code, 41);
  const KeyEvent f15 = translateKey(Qt::Key_F15, Qt::NoModifier, QString());
  EXPECT_EQ(f15.virtualKey, 126);
  EXPECT_EQ(f15.code, 55);
}

TEST(KeyTranslation, BothEnterKeysAre13) {
  const KeyEvent main = translateKey(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
  EXPECT_EQ(main.code, kKeyEnter);
  EXPECT_EQ(main.virtualKey, kVkEnter);
  EXPECT_FALSE(main.keypad);
  const KeyEvent pad = translateKey(Qt::Key_Enter, Qt::KeypadModifier, QStringLiteral("\r"));
  EXPECT_EQ(pad.code, kKeyEnter);
  EXPECT_TRUE(pad.keypad);
}

TEST(KeyTranslation, LetterIsTheCharacterWithItsVirtualKey) {
  const KeyEvent a = translateKey(Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_EQ(a.code, 'a');
  EXPECT_EQ(a.virtualKey, 'A');
  const KeyEvent shifted = translateKey(Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
  EXPECT_EQ(shifted.code, 'A');
  EXPECT_TRUE(shifted.shift);
  // Control turns the text into a control character; the key still counts.
  const KeyEvent ctrl = translateKey(Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
  EXPECT_EQ(ctrl.code, 'a');
  EXPECT_TRUE(ctrl.control);
}

TEST(KeyTranslation, ModifiersAndSpecialKeys) {
  EXPECT_EQ(translateKey(Qt::Key_Shift, Qt::ShiftModifier, QString()).code, kKeyShift);
  EXPECT_EQ(translateKey(Qt::Key_Control, Qt::ControlModifier, QString()).code, kKeyControl);
  EXPECT_EQ(translateKey(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t")).code, kKeyTab);
  const KeyEvent backtab = translateKey(Qt::Key_Backtab, Qt::ShiftModifier, QString());
  EXPECT_EQ(backtab.code, kKeyTab);
  EXPECT_TRUE(backtab.shift);
  EXPECT_EQ(translateKey(Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b")).code, kKeyEscape);
  EXPECT_EQ(translateKey(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" ")).code, kKeySpace);
  // Alt is not a player key.
  EXPECT_EQ(translateKey(Qt::Key_Alt, Qt::AltModifier, QString()).code, 0);
}

TEST(KeyTranslation, Keypad) {
  const KeyEvent seven = translateKey(Qt::Key_7, Qt::KeypadModifier, QStringLiteral("7"));
  EXPECT_EQ(seven.code, '7');
  EXPECT_EQ(seven.virtualKey, 103);
  EXPECT_TRUE(seven.keypad);
  const KeyEvent plus = translateKey(Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+"));
  EXPECT_EQ(plus.code, 43);
  EXPECT_EQ(plus.virtualKey, 107);
  // Keypad 5 without Num Lock.
  EXPECT_EQ(translateKey(Qt::Key_Clear, Qt::KeypadModifier, QString()).code, kKeyClear);
}

TEST(KeyTranslation, TypedCharactersSkipThoseThatArriveAsKeys) {
  EXPECT_FALSE(deliversTypedCharacter(8));
  EXPECT_FALSE(deliversTypedCharacter(9));
  EXPECT_FALSE(deliversTypedCharacter(13));
  EXPECT_TRUE(deliversTypedCharacter('a'));
  EXPECT_TRUE(deliversTypedCharacter(27));
  EXPECT_TRUE(deliversTypedCharacter(0x20AC));
}

}  // namespace
}  // namespace kivra
