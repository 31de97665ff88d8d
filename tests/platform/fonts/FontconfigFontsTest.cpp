// Device fonts through fontconfig and FreeType. CTest points FONTCONFIG_FILE
// at tests/fonts/fonts.conf, so the fonts seen here are Liberation, DejaVu
// (the sans fallback) and, where installed, IPA and URW.
#include "platform/fonts/FontconfigFonts.h"

#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "core/movie/MovieFonts.h"
#include "platform/headless/HeadlessPlayer.h"

namespace kivra {
namespace {

const char* const kLiberationSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// UTF-8 system names as the core produces them.
const std::string kMsPGothic = "\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf";
const std::string kMsGothic = "\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf";
const std::string kMsPMincho = "\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe6\x98\x8e\xe6\x9c\x9d";

TEST(FontconfigFonts, TestsSeeOnlyThePinnedFonts) {
  const char* file = std::getenv("FONTCONFIG_FILE");
  ASSERT_NE(file, nullptr) << "run through ctest, which pins the fonts";
  EXPECT_NE(std::string(file).find("fonts.conf"), std::string::npos);
}

TEST(FontconfigFonts, GenericNamesResolveToMetricCompatibleFamilies) {
  FontconfigFonts fonts;
  const struct {
    const char* movieName;
    const char* family;
  } cases[] = {{"_sans", "Liberation Sans"}, {"_SANS", "Liberation Sans"}, {"_serif", "Liberation Serif"},
               {"_typewriter", "Liberation Mono"}, {"Arial", "Liberation Sans"}, {"arial", "Liberation Sans"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.movieName);
    const std::string systemName = deviceFontName(c.movieName);
    EXPECT_TRUE(fonts.hasDeviceFont(systemName));
    for (const bool bold : {false, true})
      for (const bool italic : {false, true}) {
        const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont(systemName, bold, italic);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->familyName(), c.family);
      }
  }
  // Names the system has under their own name.
  EXPECT_TRUE(fonts.hasDeviceFont("Liberation Sans"));
  EXPECT_TRUE(fonts.hasDeviceFont("dejavu sans"));
  EXPECT_FALSE(fonts.hasDeviceFont("Kivra No Such Font"));
  EXPECT_FALSE(fonts.hasDeviceFont(""));
}

TEST(FontconfigFonts, UnknownNamesFallBackToSans) {
  FontconfigFonts fonts;
  for (const std::string name : {"Kivra No Such Font", "", "\xff\xfe broken UTF-8", "_unknown"}) {
    SCOPED_TRACE(name);
    const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont(name, false, false);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->familyName(), "DejaVu Sans");
    EXPECT_NE(face->glyphIndex('A'), 0u);
  }
  const std::shared_ptr<DeviceFace> bold = fonts.openDeviceFont("Kivra No Such Font", true, false);
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(bold->familyName(), "DejaVu Sans");
  const std::shared_ptr<DeviceFace> regular = fonts.openDeviceFont("", false, false);
  EXPECT_NE(bold, regular);
  EXPECT_GT(bold->advance(bold->glyphIndex('b')), regular->advance(regular->glyphIndex('b')));
}

TEST(FontconfigFonts, FacesAreSharedPerNameAndStyleAndFile) {
  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> arial = fonts.openDeviceFont("Arial", false, false);
  EXPECT_EQ(fonts.openDeviceFont("Arial", false, false), arial);
  EXPECT_EQ(fonts.openDeviceFont("Liberation Sans", false, false), arial);
  EXPECT_NE(fonts.openDeviceFont("Arial", true, false), arial);
  EXPECT_NE(fonts.openDeviceFont("Arial", false, true), arial);
  EXPECT_NE(fonts.openDeviceFont("Arial", true, true), fonts.openDeviceFont("Arial", true, false));
  // A face handed out outlives its source.
  std::shared_ptr<DeviceFace> kept;
  {
    FontconfigFonts shortLived;
    kept = shortLived.openDeviceFont("Courier New", false, false);
  }
  ASSERT_NE(kept, nullptr);
  std::vector<GlyphPathCommand> path;
  EXPECT_TRUE(kept->outline(kept->glyphIndex('x'), path));
  EXPECT_FALSE(path.empty());
  EXPECT_NE(kept->coverage(kept->glyphIndex('x'), 16 * 64), nullptr);
}

TEST(FontconfigFonts, MetricsAndAdvancesAreFreeTypesUnscaledValuesIn1024Em) {
  FT_Library library = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  FT_Face ft = nullptr;
  ASSERT_EQ(FT_New_Face(library, kLiberationSans, 0, &ft), 0);
  const double toEm = 1024.0 / ft->units_per_EM;

  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont("Liberation Sans", false, false);
  ASSERT_NE(face, nullptr);
  const DeviceFontMetrics m = face->metrics();
  EXPECT_NEAR(m.ascent, ft->ascender * toEm, 1e-3);
  EXPECT_NEAR(m.descent, -ft->descender * toEm, 1e-3);
  EXPECT_NEAR(m.leading, (ft->height - ft->ascender + ft->descender) * toEm, 1e-3);
  // The widths the other system's sans is laid out with.
  EXPECT_NEAR(m.ascent, 927, 0.5);
  EXPECT_NEAR(m.descent, 217, 0.5);

  for (const char c : std::string("AWilo .,M")) {
    SCOPED_TRACE(c);
    const uint32_t glyph = face->glyphIndex(static_cast<unsigned char>(c));
    ASSERT_EQ(glyph, FT_Get_Char_Index(ft, static_cast<unsigned char>(c)));
    ASSERT_NE(glyph, 0u);
    FT_Fixed units = 0;
    ASSERT_EQ(FT_Get_Advance(ft, glyph, FT_LOAD_NO_SCALE, &units), 0);
    EXPECT_NEAR(face->advance(glyph), units * toEm, 1e-3);
  }
  const std::shared_ptr<DeviceFace> arial = fonts.openDeviceFont("Arial", false, false);
  EXPECT_EQ(arial->advance(arial->glyphIndex('W')), face->advance(face->glyphIndex('W')));
  EXPECT_NEAR(arial->advance(arial->glyphIndex('W')), 1933 * toEm, 1e-3);

  // What the face lacks is 0, never a fault.
  EXPECT_EQ(face->glyphIndex(0x10ffff), 0u);
  EXPECT_EQ(face->glyphIndex(0xffffffffu), 0u);
  const uint32_t beyond = static_cast<uint32_t>(ft->num_glyphs);
  EXPECT_EQ(face->advance(beyond), 0);
  std::vector<GlyphPathCommand> path{GlyphPathCommand{}};
  EXPECT_FALSE(face->outline(beyond, path));
  EXPECT_TRUE(path.empty());
  EXPECT_EQ(face->coverage(beyond, 20 * 64), nullptr);
  FT_Done_Face(ft);
  FT_Done_FreeType(library);
}

struct PathSummary {
  int moves = 0;
  int lines = 0;
  int quadratics = 0;
  bool closed = true;
  float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
};

PathSummary summarize(const std::vector<GlyphPathCommand>& path) {
  PathSummary s;
  float startX = 0, startY = 0, x = 0, y = 0;
  const auto take = [&](float px, float py) {
    s.minX = std::min(s.minX, px);
    s.maxX = std::max(s.maxX, px);
    s.minY = std::min(s.minY, py);
    s.maxY = std::max(s.maxY, py);
  };
  for (const GlyphPathCommand& c : path) {
    switch (c.verb) {
      case GlyphPathVerb::Move:
        if (s.moves > 0 && (x != startX || y != startY)) s.closed = false;
        ++s.moves;
        startX = c.x;
        startY = c.y;
        break;
      case GlyphPathVerb::Line:
        ++s.lines;
        break;
      case GlyphPathVerb::Quadratic:
        ++s.quadratics;
        take(c.cx, c.cy);
        break;
    }
    take(c.x, c.y);
    x = c.x;
    y = c.y;
  }
  if (s.moves > 0 && (x != startX || y != startY)) s.closed = false;
  return s;
}

// The area a path encloses (counters subtract), in square em units: for a
// quadratic, the integral of B x B' / 2 is (2 p0xc + 2 cxp1 + p0xp1) / 6.
double pathArea(const std::vector<GlyphPathCommand>& path) {
  double area = 0, x = 0, y = 0;
  const auto cross = [](double ax, double ay, double bx, double by) { return ax * by - ay * bx; };
  for (const GlyphPathCommand& c : path) {
    if (c.verb == GlyphPathVerb::Line) area += cross(x, y, c.x, c.y) / 2;
    if (c.verb == GlyphPathVerb::Quadratic)
      area += (2 * cross(x, y, c.cx, c.cy) + 2 * cross(c.cx, c.cy, c.x, c.y) + cross(x, y, c.x, c.y)) / 6;
    x = c.x;
    y = c.y;
  }
  return std::abs(area);
}

int inkOf(const GlyphCoverage& c) {
  int ink = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) ink += c.pixels[static_cast<size_t>(y) * c.pitch + x];
  return ink;
}

// The outline and the rendered glyph cover the same area, within what
// light hinting moves at a large size.
void expectOutlineCoversAsRendered(DeviceFace& face, uint32_t glyph) {
  std::vector<GlyphPathCommand> path;
  ASSERT_TRUE(face.outline(glyph, path));
  constexpr int kPixels = 200;
  const GlyphCoverage* c = face.coverage(glyph, kPixels * 64);
  ASSERT_NE(c, nullptr);
  const double rendered = inkOf(*c) / 255.0;
  const double outlined = pathArea(path) * (kPixels / 1024.0) * (kPixels / 1024.0);
  EXPECT_NEAR(outlined / rendered, 1.0, 0.01) << outlined << " against " << rendered << " square pixels";
}

TEST(FontconfigFonts, OutlinesAreClosedQuadraticPathsInsideTheEmYDown) {
  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont("Arial", false, false);
  ASSERT_NE(face, nullptr);
  std::vector<GlyphPathCommand> path;

  ASSERT_TRUE(face->outline(face->glyphIndex('l'), path));
  const PathSummary l = summarize(path);
  EXPECT_EQ(l.moves, 1);
  EXPECT_GE(l.lines, 3);
  EXPECT_EQ(l.quadratics, 0);
  EXPECT_TRUE(l.closed);
  // The stem stands on the baseline and reaches the ascender, above it.
  EXPECT_NEAR(l.maxY, 0, 0.5);
  EXPECT_LT(l.minY, -700);
  EXPECT_GT(l.minX, 0);
  EXPECT_LT(l.maxX, face->advance(face->glyphIndex('l')));

  ASSERT_TRUE(face->outline(face->glyphIndex('o'), path));
  const PathSummary o = summarize(path);
  EXPECT_EQ(o.moves, 2);  // outside and counter
  EXPECT_GT(o.quadratics, 4);
  EXPECT_TRUE(o.closed);
  EXPECT_GE(o.minX, 0);
  EXPECT_LE(o.maxX, 1024);
  EXPECT_GT(o.minY, -face->metrics().ascent);
  EXPECT_LT(o.minY, -400);  // x-height
  EXPECT_LT(o.maxY, face->metrics().descent);

  for (const char c : std::string("loWg&"))
    expectOutlineCoversAsRendered(*face, face->glyphIndex(static_cast<unsigned char>(c)));

  // A space has nothing to draw, and that is not a failure.
  ASSERT_TRUE(face->outline(face->glyphIndex(' '), path));
  EXPECT_TRUE(path.empty());
}

TEST(FontconfigFonts, CubicOutlinesBecomeQuadratics) {
  FontconfigFonts fonts;
  if (!fonts.hasDeviceFont("Nimbus Sans")) GTEST_SKIP() << "no CFF face installed (fonts-urw-base35)";
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont("Nimbus Sans", false, false);
  std::vector<GlyphPathCommand> path;
  ASSERT_TRUE(face->outline(face->glyphIndex('o'), path));
  const PathSummary o = summarize(path);
  EXPECT_EQ(o.moves, 2);
  EXPECT_GE(o.quadratics, 8);
  EXPECT_TRUE(o.closed);
  EXPECT_GE(o.minX, 0);
  EXPECT_LE(o.maxX, face->advance(face->glyphIndex('o')));
  EXPECT_LT(o.minY, -450);
  EXPECT_GT(o.minY, -600);
  EXPECT_LT(o.maxY, 30);
  // Stand-ins that bulge too little or too much change the area.
  for (const char c : std::string("oSg&"))
    expectOutlineCoversAsRendered(*face, face->glyphIndex(static_cast<unsigned char>(c)));
}

// Every glyph of a face, composites and synthesised styles included: paths
// start with a move and close, bitmaps hold what they say, and what the
// face does not have is empty rather than a fault.
TEST(FontconfigFonts, EveryGlyphIsWellFormed) {
  FontconfigFonts fonts;
  for (const auto& [name, bold, italic] : {std::tuple<const char*, bool, bool>{"Arial", false, false},
                                           {"Times New Roman", true, true},
                                           {"DejaVu Math TeX Gyre", true, true}}) {
    SCOPED_TRACE(name);
    const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont(name, bold, italic);
    ASSERT_NE(face, nullptr);
    std::vector<GlyphPathCommand> path;
    int drawn = 0;
    uint32_t glyph = 0;
    for (; face->outline(glyph, path); ++glyph) {
      SCOPED_TRACE(glyph);
      if (!path.empty()) {
        ++drawn;
        ASSERT_EQ(path.front().verb, GlyphPathVerb::Move);
        ASSERT_TRUE(summarize(path).closed);
      }
      const GlyphCoverage* c = face->coverage(glyph, 9 * 64 + static_cast<int>(glyph % 64));
      if (c) {
        ASSERT_EQ(c->pixels.size(), static_cast<size_t>(c->pitch) * c->height);
      }
    }
    EXPECT_GT(drawn, 600);
    EXPECT_EQ(face->coverage(glyph, 12 * 64), nullptr);
    EXPECT_EQ(face->advance(glyph), 0);
  }
}

TEST(FontconfigFonts, CoverageIsRenderedOnceAndKept) {
  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont("Arial", false, false);
  ASSERT_NE(face, nullptr);
  const uint32_t h = face->glyphIndex('H');
  const GlyphCoverage* c = face->coverage(h, 20 * 64);
  ASSERT_NE(c, nullptr);
  EXPECT_GT(c->width, 8);
  EXPECT_LT(c->width, 20);
  EXPECT_GE(c->pitch, c->width);
  ASSERT_EQ(c->pixels.size(), static_cast<size_t>(c->pitch) * c->height);
  // Cap height 0.688 em: 14 pixels, snapped to the pixel grid.
  EXPECT_NEAR(c->top, 14, 1);
  EXPECT_NEAR(c->height, 14, 1);
  EXPECT_GE(c->left, 0);
  EXPECT_NEAR(c->advance26_6, face->advance(h) * 20 * 64 / 1024, 64);
  const uint8_t darkest = *std::max_element(c->pixels.begin(), c->pixels.end());
  EXPECT_EQ(darkest, 255);
  EXPECT_GT(inkOf(*c), 255 * 30);
  EXPECT_EQ(face->coverage(h, 20 * 64), c);

  // Another size is another bitmap, and the first stays cached.
  const GlyphCoverage* big = face->coverage(h, 40 * 64);
  ASSERT_NE(big, nullptr);
  EXPECT_GT(big->height, c->height + 10);
  EXPECT_EQ(face->coverage(h, 20 * 64), c);
  // Fractional pixel sizes are sizes too.
  EXPECT_NE(face->coverage(h, 20 * 64 + 32), nullptr);

  EXPECT_EQ(face->coverage(face->glyphIndex(' '), 20 * 64), nullptr);
  EXPECT_EQ(face->coverage(h, 0), nullptr);
  EXPECT_EQ(face->coverage(h, -64), nullptr);
  EXPECT_EQ(face->coverage(h, 1 << 30), nullptr);
}

TEST(FontconfigFonts, CoverageCacheStaysBounded) {
  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont("Arial", false, false);
  ASSERT_NE(face, nullptr);
  const uint32_t m = face->glyphIndex('M');
  // About 16 MB of large glyphs: every answer is right however often the
  // cache starts over.
  for (int px = 200; px < 400; px += 5) {
    const GlyphCoverage* c = face->coverage(m, px * 64);
    ASSERT_NE(c, nullptr);
    EXPECT_NEAR(c->height, px * 0.688, 3);  // cap height
  }
}

TEST(FontconfigFonts, BoldAndItalicDifferFromRegular) {
  FontconfigFonts fonts;
  const std::shared_ptr<DeviceFace> regular = fonts.openDeviceFont("Arial", false, false);
  const std::shared_ptr<DeviceFace> bold = fonts.openDeviceFont("Arial", true, false);
  const std::shared_ptr<DeviceFace> italic = fonts.openDeviceFont("Arial", false, true);
  ASSERT_TRUE(regular && bold && italic);
  // Some letters keep their width in bold ('a'), most grow.
  EXPECT_EQ(bold->advance(bold->glyphIndex('a')), regular->advance(regular->glyphIndex('a')));
  EXPECT_GT(bold->advance(bold->glyphIndex('b')), regular->advance(regular->glyphIndex('b')));
  const GlyphCoverage* r = regular->coverage(regular->glyphIndex('H'), 20 * 64);
  ASSERT_NE(r, nullptr);
  const int regularInk = inkOf(*r);
  const GlyphCoverage* b = bold->coverage(bold->glyphIndex('H'), 20 * 64);
  ASSERT_NE(b, nullptr);
  EXPECT_GT(inkOf(*b), regularInk * 5 / 4);

  // The italic stem leans right: its top is further right than its foot.
  std::vector<GlyphPathCommand> path;
  ASSERT_TRUE(italic->outline(italic->glyphIndex('l'), path));
  float topX = 0, bottomX = 0, topY = 1e9f, bottomY = -1e9f;
  for (const GlyphPathCommand& c : path) {
    if (c.y < topY) topY = c.y, topX = c.x;
    if (c.y > bottomY) bottomY = c.y, bottomX = c.x;
  }
  EXPECT_GT(topX, bottomX + 50);
}

TEST(FontconfigFonts, MissingStylesAreMadeFromTheRegularFace) {
  FontconfigFonts fonts;
  // A family with one face only (fonts-dejavu-extra).
  const std::string single = "DejaVu Math TeX Gyre";
  if (!fonts.hasDeviceFont(single)) GTEST_SKIP() << "no single-style family installed";
  const std::shared_ptr<DeviceFace> regular = fonts.openDeviceFont(single, false, false);
  const std::shared_ptr<DeviceFace> bold = fonts.openDeviceFont(single, true, false);
  const std::shared_ptr<DeviceFace> italic = fonts.openDeviceFont(single, false, true);
  ASSERT_TRUE(regular && bold && italic);
  EXPECT_EQ(bold->familyName(), single);
  const uint32_t l = regular->glyphIndex('l');
  EXPECT_NEAR(bold->advance(l) - regular->advance(l), 1024.0 / 24, 1);
  EXPECT_EQ(italic->advance(l), regular->advance(l));
  const GlyphCoverage* r = regular->coverage(l, 30 * 64);
  ASSERT_NE(r, nullptr);
  const int regularWidth = r->width;
  const GlyphCoverage* b = bold->coverage(l, 30 * 64);
  ASSERT_NE(b, nullptr);
  EXPECT_GT(b->width, regularWidth);
  const GlyphCoverage* i = italic->coverage(l, 30 * 64);
  ASSERT_NE(i, nullptr);
  EXPECT_GT(i->width, regularWidth + 1);
}

// Both hosts are PlatformPlayers; the headless one stands for both.
TEST(FontconfigFonts, TheHostHandsTheCoreItsDeviceFonts) {
  HeadlessPlayer player{CommandLine{}};
  FontSource& fonts = player.core().host().fonts;
  EXPECT_TRUE(fonts.hasDeviceFont(deviceFontName("_serif")));
  const std::shared_ptr<DeviceFace> face = fonts.openDeviceFont(deviceFontName("_typewriter"), false, false);
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->familyName(), "Liberation Mono");
  EXPECT_EQ(fonts.openDeviceFont("Courier New", false, false), face);
}

TEST(FontconfigFonts, JapaneseNamesUseIpaFonts) {
  // The names the core produces for the generic Japanese fonts.
  EXPECT_EQ(FontconfigFonts::substituteName(deviceFontName("_\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf")),
            "IPAPGothic");
  EXPECT_EQ(FontconfigFonts::substituteName(deviceFontName("_\xe7\xad\x89\xe5\xb9\x85")), "IPAGothic");
  EXPECT_EQ(FontconfigFonts::substituteName(deviceFontName("_\xe6\x98\x8e\xe6\x9c\x9d")), "IPAPMincho");
  EXPECT_EQ(FontconfigFonts::substituteName("MS UI Gothic"), "IPAPGothic");
  EXPECT_EQ(FontconfigFonts::substituteName("Verdana"), "Verdana");

  FontconfigFonts fonts;
  // Whatever is installed, a Japanese name gets a face.
  for (const std::string& name : {kMsPGothic, kMsGothic, kMsPMincho, std::string("MS UI Gothic")}) {
    SCOPED_TRACE(name);
    ASSERT_NE(fonts.openDeviceFont(name, false, false), nullptr);
  }
  if (!fonts.hasDeviceFont("IPAPGothic")) GTEST_SKIP() << "fonts-ipafont is not installed";
  EXPECT_EQ(fonts.openDeviceFont(kMsPGothic, false, false)->familyName(), "IPAPGothic");
  EXPECT_EQ(fonts.openDeviceFont("MS UI Gothic", false, false)->familyName(), "IPAPGothic");
  EXPECT_EQ(fonts.openDeviceFont(kMsGothic, false, false)->familyName(), "IPAGothic");
  EXPECT_EQ(fonts.openDeviceFont(kMsPMincho, false, false)->familyName(), "IPAPMincho");
  EXPECT_TRUE(fonts.hasDeviceFont(kMsPGothic));
  const std::shared_ptr<DeviceFace> gothic = fonts.openDeviceFont(kMsGothic, false, false);
  const uint32_t kana = gothic->glyphIndex(0x30a2);  // katakana A
  ASSERT_NE(kana, 0u);
  // The fixed-width gothic sets kana a full em and Latin half.
  EXPECT_NEAR(gothic->advance(kana), 1024, 1);
  EXPECT_NEAR(gothic->advance(gothic->glyphIndex('W')), 512, 1);
}

}  // namespace
}  // namespace kivra
