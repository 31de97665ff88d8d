// Fonts as movies define them: the name registry's style keys (first name
// wins), the language rules of old and new movies with the logged warning,
// glyph lookups that stay inside the tag, and the device font names.
#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "core/movie/MovieFonts.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

struct LogHost : test::StubHost {
  using test::StubHost::StubHost;
  void debugLog(const std::string& line) override {
    if (line == kWarning) ++warnings;
  }
  static constexpr const char* kWarning = "WARNING: invalid language tag in QVX.\n";
  int warnings = 0;
};
using LogPlayer = test::TestPlayerOf<LogHost>;

std::string hexOf(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02x ", c);
    out += b;
  }
  return out;
}

// A tag 48 body with no glyphs: id, flags, language, name, glyph count 0,
// code-table offset.
std::string font2(int id, int flags, int language, const std::string& name) {
  std::string body{char(id), char(id >> 8), char(flags), char(language), char(name.size())};
  body += name;
  body += std::string("\0\0\0\0", 4);
  return "raw 48 " + hexOf(body) + "\n";
}

// A tag 13 body: font id, name, flags, no codes.
std::string fontInfo(int id, int flags, const std::string& name) {
  std::string body{char(id), char(id >> 8), char(name.size())};
  body += name;
  body += char(flags);
  return "raw 13 " + hexOf(body) + "\n";
}

const Character::FontPart* fontOf(LogPlayer& p, uint16_t id) {
  std::shared_ptr<Character> c = p.level0()->dictionary().lookup(id);
  return c ? c->font() : nullptr;
}

TEST(MovieFonts, RegistryKeysAndLanguageRules) {
  LogPlayer p;
  // Tag 10 font (offset table only: one glyph at offset 2, an empty shape).
  const std::string font1 = "raw 10 05 00 02 00 00 00\n";
  p.load(test::compile("movie version=6\n" + font2(1, 0x01, 0, "Serif") + font2(2, 0x43 | 0x80, 3, "Serif") +
                       font2(3, 0x01, 1, "Serif") + font1 + fontInfo(5, 0x20 | 0x04, "Mono") + fontInfo(9, 0, "Gone") +
                       "showframe\n"));
  MovieFonts& fonts = p.level0()->fonts();
  // Bold (0x01), bold+italic+0x40 (0x43); the third "Serif" bold is not
  // registered again; tag 13 flags 0x20 (0x40 bit) and 0x04 (italic bit 1).
  ASSERT_NE(fonts.findFont(std::string(1, char(32 + 0x01)) + "Serif"), nullptr);
  EXPECT_EQ(fonts.findFont(std::string(1, char(32 + 0x01)) + "Serif")->id, 1);
  EXPECT_EQ(fonts.findFont(std::string(1, char(32 + 0x43)) + "Serif")->id, 2);
  EXPECT_EQ(fonts.findFont(std::string(1, char(32 + 0x42)) + "Mono")->id, 5);
  EXPECT_EQ(fonts.findFont(" Gone"), nullptr);  // information for no font
  EXPECT_EQ(fonts.registeredCount(), 3u);
  // Version 6: language 0 becomes 1 with a warning; others stay.
  EXPECT_EQ(fontOf(p, 1)->language, 1);
  EXPECT_EQ(fontOf(p, 2)->language, 3);
  EXPECT_EQ(p.stub().warnings, 1);

  // Tag 10: one glyph; lookups past the count or the tag find nothing.
  const uint8_t* records = nullptr;
  size_t length = 0;
  EXPECT_TRUE(fonts.glyph(5, 0, records, length));
  EXPECT_EQ(length, 2u);
  EXPECT_FALSE(fonts.glyph(5, 1, records, length));
  EXPECT_FALSE(fonts.glyph(1, 0, records, length));  // no glyphs
  EXPECT_FALSE(fonts.glyph(77, 0, records, length));  // no font

  // Version 5: the 0x40 flag gives language 2, otherwise 1, whatever the byte.
  LogPlayer old;
  old.load(test::compile("movie version=5\n" + font2(1, 0x40, 0, "A") + font2(2, 0, 7, "B") + "showframe\n"));
  EXPECT_EQ(fontOf(old, 1)->language, 2);
  EXPECT_EQ(fontOf(old, 2)->language, 1);
  EXPECT_EQ(old.stub().warnings, 0);
}

TEST(MovieFonts, DeviceFontNames) {
  EXPECT_EQ(deviceFontName("_sans"), "Arial");
  EXPECT_EQ(deviceFontName("_SANS"), "Arial");
  EXPECT_EQ(deviceFontName("_Serif"), "Times New Roman");
  EXPECT_EQ(deviceFontName("_typewriter"), "Courier New");
  EXPECT_EQ(deviceFontName("Verdana"), "Verdana");
  // The Japanese generic names in Shift-JIS and in UTF-8.
  EXPECT_EQ(deviceFontName("_\x96\xbe\x92\xa9"), deviceFontName("_\xe6\x98\x8e\xe6\x9c\x9d"));
  EXPECT_EQ(deviceFontName("_\x93\x99\x95\x9d"), deviceFontName("_\xe7\xad\x89\xe5\xb9\x85"));
  EXPECT_NE(deviceFontName("_\x96\xbe\x92\xa9"), "_\x96\xbe\x92\xa9");
}

}  // namespace
}  // namespace kivra
