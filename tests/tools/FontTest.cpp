// Embedded fonts and static text: glyph outlines from a font file, the font
// and text tags the source text compiles to, and their dumped form.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>

#include "core/format/TagCursor.h"
#include "tools/kit/Fonts.h"
#include "tools/qvxs/Compiler.h"
#include "tools/qvxs/Dumper.h"
#include "tests/tools/TagBodies.h"

using namespace kivra;
using namespace kivra::kit;
using namespace kivra::qvxs;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kFontDir = std::string(KIVRA_SOURCE_DIR) + "/tests/fonts";
const std::string kFontFile = kFontDir + "/LiberationSans-Regular.ttf";

Bytes build(const std::string& text, const std::string& dir = kFontDir) {
  Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_TRUE(compileMovie(text, out, diag, dir)) << diag.text();
  return out;
}

std::string errorsOf(const std::string& text) {
  Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_FALSE(compileMovie(text, out, diag, kFontDir));
  return diag.text();
}

std::string dump(const Bytes& movie, DumpStats* stats = nullptr) {
  std::string text, error;
  EXPECT_TRUE(dumpMovie(movie, text, error, stats)) << error;
  return text;
}

// Source -> movie -> dump -> movie gives the same bytes with every tag in
// text form, and the dump needs no font file.
std::string expectRoundTrip(const std::string& source) {
  const Bytes first = build(source);
  DumpStats stats;
  const std::string text = dump(first, &stats);
  EXPECT_EQ(stats.rawTags, 0) << text;
  const Bytes second = build(text, "/nonexistent");
  EXPECT_EQ(first, second) << text;
  EXPECT_EQ(dump(second), text);
  return text;
}

std::vector<Bytes> tagBodies(const Bytes& movie, uint16_t code) { return test::tagBodies(movie, code); }

struct FaceMetrics {
  double scale = 0;
  long bearingX = 0, bearingY = 0, width = 0, height = 0, advance = 0;
};

FaceMetrics metricsOf(uint32_t code) {
  FaceMetrics m;
  FT_Library lib;
  FT_Face face;
  EXPECT_EQ(FT_Init_FreeType(&lib), 0);
  EXPECT_EQ(FT_New_Face(lib, kFontFile.c_str(), 0, &face), 0);
  EXPECT_EQ(FT_Load_Char(face, code, FT_LOAD_NO_SCALE), 0);
  m.scale = 1024.0 / face->units_per_EM;
  m.bearingX = face->glyph->metrics.horiBearingX;
  m.bearingY = face->glyph->metrics.horiBearingY;
  m.width = face->glyph->metrics.width;
  m.height = face->glyph->metrics.height;
  m.advance = face->glyph->metrics.horiAdvance;
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return m;
}

// The glyph record deltas must close every contour and stay in the box.
void expectClosedInside(const std::vector<ShapeRecord>& records, const RECT& box, int* curves) {
  int32_t x = 0, y = 0, sx = 0, sy = 0;
  bool open = false;
  for (const ShapeRecord& r : records) {
    if (r.kind == ShapeRecord::Kind::StyleChange) {
      ASSERT_TRUE(r.moveTo);
      if (open) {
        EXPECT_TRUE(x == sx && y == sy) << "contour left open";
      }
      x = sx = r.moveTo->first;
      y = sy = r.moveTo->second;
      open = true;
      continue;
    }
    if (r.kind == ShapeRecord::Kind::Curve) ++*curves;
    x += r.dx + r.ax;
    y += r.dy + r.ay;
    EXPECT_TRUE(x >= box.xmin && x <= box.xmax && y >= box.ymin && y <= box.ymax);
  }
  EXPECT_TRUE(x == sx && y == sy) << "last contour left open";
}

TEST(FontTest, GlyphOutlinesMatchTheFontMetricsOnTheEmSquare) {
  for (uint32_t code : {uint32_t('I'), uint32_t('O'), uint32_t('l')}) {
    SCOPED_TRACE(code);
    std::vector<ShapeRecord> records;
    RECT bounds;
    int advance = 0;
    std::string error;
    ASSERT_TRUE(glyphOutline(kFontFile, code, records, bounds, advance, error)) << error;
    const FaceMetrics m = metricsOf(code);
    // y flips: the top of the glyph (bearing above the baseline) is negative.
    EXPECT_NEAR(bounds.xmin, m.bearingX * m.scale, 1);
    EXPECT_NEAR(bounds.xmax, (m.bearingX + m.width) * m.scale, 1);
    EXPECT_NEAR(bounds.ymin, -m.bearingY * m.scale, 1);
    EXPECT_NEAR(bounds.ymax, (m.height - m.bearingY) * m.scale, 1);
    EXPECT_EQ(advance, std::lround(m.advance * m.scale));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().fill1, 1u);
    int curves = 0;
    expectClosedInside(records, bounds, &curves);
    if (code == 'I') {
      // A plain bar: one contour of four axis-aligned straight edges.
      ASSERT_EQ(records.size(), 5u);
      for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(records[i].kind, ShapeRecord::Kind::Straight);
        EXPECT_TRUE(records[i].dx == 0 || records[i].dy == 0);
      }
    }
    if (code == 'O') {
      EXPECT_GT(curves, 4);  // two round contours
    }
  }
  std::vector<ShapeRecord> records;
  RECT bounds;
  int advance;
  std::string error;
  EXPECT_FALSE(glyphOutline(kFontFile, 0x4E00, records, bounds, advance, error));
  EXPECT_NE(error.find("U+4E00"), std::string::npos) << error;
}

TEST(FontTest, Font1WithInfoTagsAndTextRoundTrip) {
  const char* source = R"(movie
font1 1 "LiberationSans-Regular.ttf" chars="Helo Wrd"
fontinfo 1 name="Liberation Sans" bold
font1 2 "LiberationSans-Regular.ttf" chars="aé€"
fontinfo2 2 name="Sans" italic wide language=2
text 3 scale=2,2 at=10,20 {
  run font=1 height=20px color=#102030 at=0,400 "Hello"
  run " World"
  run font=2 height=10px y=800 "aé€"
}
)";
  const Bytes movie = build(source);
  const std::string text = expectRoundTrip(source);
  EXPECT_NE(text.find("fontinfo 1 name=\"Liberation Sans\" bold codes=72,101,108,111,32,87,114,100"), std::string::npos)
      << text;
  EXPECT_NE(text.find("fontinfo2 2 name=\"Sans\" italic wide language=2 codes=97,233,8364"), std::string::npos)
      << text;

  // DefineFont: the offset table's first entry counts the glyphs.
  const Bytes font = tagBodies(movie, 10).at(0);
  EXPECT_EQ(font[2] | (font[3] << 8), 8 * 2);
  // DefineFontInfo: name, flags (bold 0x02), one byte per code.
  const Bytes info = tagBodies(movie, 13).at(0);
  EXPECT_EQ(info.size(), 2u + 1 + 15 + 1 + 8);
  EXPECT_EQ(info[18], 0x02);
  EXPECT_EQ(info[19], 'H');
  // DefineFontInfo2: italic 0x04 | wide 0x01, language, u16 codes.
  const Bytes info2 = tagBodies(movie, 62).at(0);
  EXPECT_EQ(info2[7], 0x05);
  EXPECT_EQ(info2[8], 2);
  EXPECT_EQ(info2[13] | (info2[14] << 8), 0x20AC);

  // The text's glyphs come from the code tables, the advances from the
  // font's scaled to the height, and " World" carries on after "Hello".
  const Bytes body = tagBodies(movie, 11).at(0);
  TagCursor c(body.data(), static_cast<int64_t>(body.size()), 6);
  c.setPosition(2);
  const RECT bounds = c.readRect();
  c.readMatrix();
  c.alignToByte();
  const unsigned glyphBits = c.readU8(), advanceBits = c.readU8();
  EXPECT_EQ(glyphBits, 3u);  // indices up to 7
  EXPECT_EQ(c.readU8(), 0x80 | 0x08 | 0x04 | 0x01 | 0x02);
  EXPECT_EQ(c.readU16(), 1u);
  const Rgba color = c.readRgb();
  EXPECT_EQ(color, (Rgba{0x10, 0x20, 0x30, 255}));
  EXPECT_EQ(c.readU16(), 0u);
  EXPECT_EQ(c.readU16(), 400u);
  EXPECT_EQ(c.readU16(), 400u);
  EXPECT_EQ(c.readU8(), 5u);
  const unsigned expectedIndices[] = {0, 1, 2, 2, 3};
  int32_t x = 0;
  for (unsigned i = 0; i < 5; ++i) {
    EXPECT_EQ(c.readUB(glyphBits), expectedIndices[i]);
    const int32_t advance = c.readSB(advanceBits);
    // The advance in em units, as the font carries it, scaled to the height.
    const FaceMetrics m = metricsOf(static_cast<uint32_t>("Hello"[i]));
    EXPECT_EQ(advance, std::lround(std::lround(m.advance * m.scale) * 400 / 1024.0));
    x += advance;
  }
  c.alignToByte();
  EXPECT_EQ(c.readU8(), 0x80);  // nothing changes but the glyphs
  EXPECT_EQ(c.readU8(), 6u);
  // Bounds: the advances across, ascent and descent around the baselines.
  EXPECT_EQ(bounds.xmin, 0);
  EXPECT_GT(bounds.xmax, x);
  EXPECT_LT(bounds.ymin, 400 - 300);
  EXPECT_GT(bounds.ymax, 800);
}

TEST(FontTest, Font2NarrowWideCodesAndOffsetsRoundTrip) {
  const char* source = R"(movie
font 1 "LiberationSans-Regular.ttf" chars="AB" name="Plain"
font 2 "LiberationSans-Regular.ttf" chars="Aé€" bold italic wide layout language=3
font 3 "LiberationSans-Regular.ttf" chars="OQ" wideoffsets layout
text2 4 {
  run font=2 height=30px color=#ff000080 x=5 "€A"
  run font=3 height=12px color=#00ff00ff "QO" advances=1,-2
}
)";
  const Bytes movie = build(source);
  expectRoundTrip(source);
  const std::vector<Bytes> fonts = tagBodies(movie, 48);
  ASSERT_EQ(fonts.size(), 3u);

  // Narrow: flags 0, language 1, name, count, u16 offsets, u8 codes, no layout.
  const Bytes& narrow = fonts[0];
  EXPECT_EQ(narrow[2], 0x00);
  EXPECT_EQ(narrow[3], 1);
  EXPECT_EQ(std::string(narrow.begin() + 5, narrow.begin() + 10), "Plain");
  EXPECT_EQ(narrow[10] | (narrow[11] << 8), 2);
  const size_t table = 12;
  const unsigned codeTable = narrow[table + 4] | (narrow[table + 5] << 8);
  EXPECT_EQ(narrow[table] | (narrow[table + 1] << 8), 6u);
  ASSERT_EQ(table + codeTable + 2, narrow.size());
  EXPECT_EQ(narrow[table + codeTable], 'A');
  EXPECT_EQ(narrow[table + codeTable + 1], 'B');
  // A glyph's shape starts with one fill bit and no line bits.
  EXPECT_EQ(narrow[table + 6], 0x10);

  // Wide codes with layout: u16 codes, then ascent, descent, leading,
  // advances, bounds and an empty kerning table ending the tag.
  const Bytes& wide = fonts[1];
  EXPECT_EQ(wide[2], 0x80 | 0x04 | 0x02 | 0x01);
  EXPECT_EQ(wide[3], 3);
  const size_t nameLength = wide[4];
  const size_t wtable = 5 + nameLength + 2;
  const unsigned wcodes = wide[wtable + 6] | (wide[wtable + 7] << 8);
  TagCursor c(wide.data(), static_cast<int64_t>(wide.size()), 6);
  c.setPosition(static_cast<int64_t>(wtable + wcodes));
  EXPECT_EQ(c.readU16(), 'A');
  EXPECT_EQ(c.readU16(), 0xE9u);
  EXPECT_EQ(c.readU16(), 0x20ACu);
  const int ascent = static_cast<int16_t>(c.readU16());
  const int descent = static_cast<int16_t>(c.readU16());
  EXPECT_NEAR(ascent, 905 * 1024 / 1000.0 + 0.5, 2);  // the face's 0.905 em
  EXPECT_GT(descent, 150);
  c.readU16();
  EXPECT_EQ(static_cast<int16_t>(c.readU16()), std::lround(metricsOf('A').advance * metricsOf('A').scale));
  c.readU16();
  c.readU16();
  const RECT boxA = c.readRect();
  EXPECT_NEAR(boxA.ymin, -metricsOf('A').bearingY * metricsOf('A').scale, 1);
  c.readRect();
  c.readRect();
  EXPECT_EQ(c.readU16(), 0u);
  EXPECT_EQ(c.position(), static_cast<int64_t>(wide.size()));

  // Wide offsets: u32 entries.
  const Bytes& wideOffsets = fonts[2];
  EXPECT_EQ(wideOffsets[2], 0x88);
  const size_t otable = 5 + wideOffsets[4] + 2;
  EXPECT_EQ(wideOffsets[otable] | (wideOffsets[otable + 1] << 8) | (wideOffsets[otable + 2] << 16), 12);
  EXPECT_EQ(wideOffsets[otable + 3], 0);

  // DefineText2: RGBA colours and the explicit advances.
  const std::string text = dump(movie);
  EXPECT_NE(text.find("run font=2 color=#ff000080 x=5 height=600 glyphs=2,0 advances="), std::string::npos) << text;
  EXPECT_NE(text.find("run font=3 color=#00ff00 height=240 glyphs=1,0 advances=1,-2"), std::string::npos) << text;
}

TEST(FontTest, RunsLongerThan255GlyphsSplitIntoRecords) {
  const std::string source = "movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"ab\" layout\ntext 2 {\n"
                             "  run font=1 height=20 \"" + std::string(300, 'a') + "b\"\n  run \"ab\"\n}\n";
  const std::string text = expectRoundTrip(source);
  // 301 glyphs: 255 in the record that sets the font, 46 in a bare one.
  const size_t first = text.find("  run font=1 height=20 glyphs=");
  ASSERT_NE(first, std::string::npos) << text;
  const size_t second = text.find("\n  run glyphs=", first);
  ASSERT_NE(second, std::string::npos) << text;
  auto countOf = [&](size_t from) {
    const size_t start = text.find("glyphs=", from) + 7;
    const size_t end = text.find(' ', start);
    return std::count(text.begin() + static_cast<long>(start), text.begin() + static_cast<long>(end), ',') + 1;
  };
  EXPECT_EQ(countOf(first), 255);
  EXPECT_EQ(countOf(second), 46);
  const size_t third = text.find("\n  run glyphs=0,1 ", second + 1);
  EXPECT_NE(third, std::string::npos) << text;
}

TEST(FontTest, ErrorsNameTheLine) {
  EXPECT_NE(errorsOf("movie\nfont 1 \"missing.ttf\" chars=\"A\"\n")
                .find("test.qvxs:2: cannot read font file"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"A\xE4\xB8\x80\"\n")
                .find("test.qvxs:2: character (U+4E00) is not in"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"AB\" layout\ntext 2 {\n"
                     "  run font=1 height=20 \"ABC\"\n}\n")
                .find("test.qvxs:4: character U+0043 is not in font 1"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"A\" shiny\n")
                .find("test.qvxs:2: unexpected word 'shiny'"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"A\" size=3\n")
                .find("test.qvxs:2: unknown attribute 'size'"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont 1 \"LiberationSans-Regular.ttf\" chars=\"\xC3\xA9\xE2\x82\xAC\"\n")
                .find("test.qvxs:2: character (U+20AC) needs wide codes"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\ntext 2 {\n  run font=7 height=20 \"A\"\n}\n")
                .find("test.qvxs:3: no font 7 defined before this text"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nfont1 1 \"LiberationSans-Regular.ttf\" chars=\"A\" bold\n")
                .find("test.qvxs:2: font1 takes no style or name"),
            std::string::npos);
}

}  // namespace
