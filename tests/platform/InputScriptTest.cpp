#include "platform/InputScript.h"

#include <gtest/gtest.h>

namespace kivra {
namespace {

using Kind = InputEvent::Kind;

TEST(InputScript, ParsesEveryEventKindInStepOrder) {
  const std::string text =
      "# a comment\n"
      "\n"
      "3 mouse 10 20\n"
      "1 down\r\n"
      "1 up\n"
      "2 key Left\n"
      "2 keydown Shift\n"
      "2 keyup Shift\n"
      "4 type hé\n";
  std::vector<InputEvent> ev;
  std::string error;
  ASSERT_TRUE(parseInputScript(text, ev, error)) << error;
  ASSERT_EQ(ev.size(), 9u);
  EXPECT_EQ(ev[0].kind, Kind::Down);
  EXPECT_EQ(ev[0].step, 1);
  EXPECT_EQ(ev[1].kind, Kind::Up);
  EXPECT_EQ(ev[2].kind, Kind::KeyDown);
  EXPECT_EQ(ev[2].key.code, kKeyLeft);
  EXPECT_EQ(ev[3].kind, Kind::KeyUp);  // a named key types nothing
  EXPECT_EQ(ev[4].key.code, kKeyShift);
  EXPECT_EQ(ev[5].kind, Kind::KeyUp);
  EXPECT_EQ(ev[6].kind, Kind::Mouse);
  EXPECT_EQ(ev[6].x, 10);
  EXPECT_EQ(ev[6].y, 20);
  EXPECT_EQ(ev[7].kind, Kind::Type);
  EXPECT_EQ(ev[7].character, 'h');
  EXPECT_EQ(ev[8].character, 0xE9u);
}

TEST(InputScript, CharacterKeysAreAlsoTyped) {
  std::vector<InputEvent> ev;
  std::string error;
  ASSERT_TRUE(parseInputScript("1 key Shift+a\n", ev, error)) << error;
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(ev[0].kind, Kind::KeyDown);
  EXPECT_TRUE(ev[0].key.shift);
  EXPECT_EQ(ev[0].key.code, 'A');
  EXPECT_EQ(ev[0].key.virtualKey, 'A');
  EXPECT_EQ(ev[1].kind, Kind::Type);
  EXPECT_EQ(ev[1].character, 'A');
  EXPECT_EQ(ev[2].kind, Kind::KeyUp);
}

TEST(InputScript, KeyNames) {
  KeyEvent k;
  uint32_t typed = 0;
  ASSERT_TRUE(parseKeyName("F1", k, typed));
  EXPECT_EQ(k.virtualKey, 112);
  EXPECT_EQ(k.code, 41);
  ASSERT_TRUE(parseKeyName("F15", k, typed));
  EXPECT_EQ(k.code, 55);
  ASSERT_TRUE(parseKeyName("Ctrl+Enter", k, typed));
  EXPECT_EQ(k.code, kKeyEnter);
  EXPECT_TRUE(k.control);
  EXPECT_EQ(typed, 0u);
  ASSERT_TRUE(parseKeyName("Space", k, typed));
  EXPECT_EQ(k.code, 32);
  EXPECT_EQ(typed, static_cast<uint32_t>(' '));
  ASSERT_TRUE(parseKeyName("Ctrl+c", k, typed));
  EXPECT_EQ(typed, 0u);
  EXPECT_FALSE(parseKeyName("F16", k, typed));
  EXPECT_FALSE(parseKeyName("Banana", k, typed));
  EXPECT_FALSE(parseKeyName("", k, typed));
  EXPECT_FALSE(parseKeyName("Shift+", k, typed));
}

TEST(InputScript, MalformedLinesNameTheirLine) {
  const char* bad[] = {
      "x down\n", "0 down\n", "1 mouse 3\n", "1 mouse a b\n", "1 down now\n",
      "1 key Nope\n", "1 type\n", "1 jump\n", "1\n", "1 type \xFF\n",
  };
  for (const char* text : bad) {
    std::vector<InputEvent> ev;
    std::string error;
    const std::string withLines = std::string("# ok\n1 up\n") + text;
    EXPECT_FALSE(parseInputScript(withLines, ev, error)) << text;
    EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace kivra
