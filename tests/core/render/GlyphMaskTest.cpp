// Text drawn from glyph masks: the pixels its outlines give, within the
// rounding of the coverage levels; the same bytes whether a pixel row's
// sub-rows are swept together or one by one; outlines wherever masks cannot
// serve (turned text), byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/movie/Character.h"
#include "core/movie/MovieFonts.h"
#include "core/render/Renderer.h"
#include "tools/kit/Fonts.h"

namespace kivra {
namespace {

// The movie's glyphs without its masks: every glyph from its outline.
class OutlinesOnly : public GlyphSource {
 public:
  explicit OutlinesOnly(GlyphSource& fonts) : fonts_(fonts) {}
  bool glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) override {
    return fonts_.glyph(fontId, index, records, length);
  }

 private:
  GlyphSource& fonts_;
};

struct TextScene {
  kit::Font font;
  std::vector<uint8_t> fontBody;
  std::vector<uint8_t> text;
  Dictionary dictionary;
  MovieFonts fonts{dictionary};

  bool make() {
    const std::string letters = "Wavy glyphs: 0123 QUICK jumps!";
    std::vector<uint32_t> codes;
    for (char ch : letters)
      if (std::find(codes.begin(), codes.end(), uint32_t(ch)) == codes.end()) codes.push_back(uint32_t(ch));
    std::string error;
    if (!kit::loadFontFile(KIVRA_TEST_FONT, codes, font, error)) return false;
    fontBody = kit::defineFont2Body(1, font, error);
    auto c = std::make_shared<Character>();
    c->id = 1;
    c->kind = CharacterKind::Font;
    Character::FontPart& part = c->part.emplace<Character::FontPart>();
    const size_t tableAt = 2 + 1 + 1 + 1 + font.name.size() + 2;
    part.table = fontBody.data() + tableAt;
    part.tableLength = fontBody.size() - tableAt;
    part.glyphCount = static_cast<uint32_t>(font.glyphs.size());
    (void)dictionary.define(c);
    // Runs at several sizes, at positions off the pixel grid, in an opaque
    // and a translucent colour. Glyphs and lines stand apart: where the ink
    // of two glyphs meets in a pixel, masks add their coverage and outlines
    // unite their samples.
    kit::StaticText t;
    const int heights[] = {160, 231, 340, 620};  // twips: 8 to 31 px
    const Rgba colours[] = {Rgba{20, 30, 120, 255}, Rgba{200, 40, 10, 150}};
    int y = 200;
    for (int i = 0; i < 8; ++i) {
      kit::TextRun run;
      run.fontId = 1;
      run.height = static_cast<uint16_t>(heights[i % 4]);
      run.color = colours[i / 4];
      run.x = static_cast<int16_t>(37 + i * 13);
      run.y = static_cast<int16_t>(y + (i / 4) * 7);
      for (char ch : letters) {
        const auto at = std::find(codes.begin(), codes.end(), uint32_t(ch)) - codes.begin();
        run.glyphs.push_back(static_cast<uint32_t>(at));
        run.advances.push_back(static_cast<int32_t>(font.glyphs[static_cast<size_t>(at)].advance * run.height / 1024) +
                               run.height / 4);
      }
      t.runs.push_back(run);
      y += heights[i % 4] * 2;
    }
    t.bounds = RECT{0, 20 * 400, 0, 20 * 300};
    text = kit::defineTextBody(2, t, true, error);
    return error.empty();
  }
};

RenderTarget draw(TextScene& s, GlyphSource& glyphs, int factor, const MATRIX& m, Rasterizer::RowSweep sweep,
                  bool background) {
  RenderTarget t;
  EXPECT_TRUE(t.create(400, 300, PixelFormat::Bgra32));
  for (int y = 0; y < t.height(); ++y)
    for (int x = 0; x < t.width(); ++x) t.row(y)[x] = 0xFF000000u | uint32_t(x * 0x010203 + y * 0x030201);
  Renderer r;
  r.rasterizer().setRowSweep(sweep);
  FrameSetup f;
  f.factor = factor;
  f.view.a = f.view.d = kFixedOne / 20;
  f.dirty = ClipRect{0, 0, t.width(), t.height()};
  f.hasBackground = background;
  f.background = Rgba{250, 245, 230, 255};
  EXPECT_TRUE(r.beginFrame(t, f));
  ShapeDraw d;
  d.tagCode = 33;
  d.body = s.text.data();
  d.length = s.text.size();
  d.matrix = m;
  d.glyphs = &glyphs;
  EXPECT_TRUE(r.drawShape(d));
  r.endFrame();
  return t;
}

int largestDifference(const RenderTarget& a, const RenderTarget& b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int(a.row(y)[x] >> shift & 255) - int(b.row(y)[x] >> shift & 255)));
  return worst;
}

TEST(GlyphMasks, TextFromMasksHasItsOutlinesPixels) {
  TextScene s;
  ASSERT_TRUE(s.make());
  OutlinesOnly outlines(s.fonts);
  MATRIX moved;
  moved.tx = 7;  // a third of a pixel
  moved.ty = 11;
  for (int factor : {1, 2, 4}) {
    for (bool background : {true, false}) {
      const RenderTarget masked = draw(s, s.fonts, factor, moved, Rasterizer::RowSweep::WhereItPays, background);
      const RenderTarget outlined = draw(s, outlines, factor, moved, Rasterizer::RowSweep::WhereItPays, background);
      // Masks are made at each glyph's sub-pixel phase, so they cover the
      // outlines' samples; coverage kept in 255 levels rounds a level or two
      // differently from the sweep's sums, and nothing more.
      EXPECT_LE(largestDifference(masked, outlined), 2) << "factor " << factor << " background " << background;
      EXPECT_GT(largestDifference(masked, draw(s, s.fonts, factor, MATRIX{}, Rasterizer::RowSweep::Off, background)), 50)
          << "the text moved by a third of a pixel must look different";
    }
  }
  EXPECT_GT(s.fonts.masks()->size(), 20u);
}

TEST(GlyphMasks, WholeRowsGiveTheSubRowsBytes) {
  TextScene s;
  ASSERT_TRUE(s.make());
  for (int factor : {2, 4})
    for (bool background : {true, false}) {
      const RenderTarget rows = draw(s, s.fonts, factor, MATRIX{}, Rasterizer::RowSweep::Always, background);
      const RenderTarget subRows = draw(s, s.fonts, factor, MATRIX{}, Rasterizer::RowSweep::Off, background);
      EXPECT_EQ(largestDifference(rows, subRows), 0) << "factor " << factor << " background " << background;
    }
}

TEST(GlyphMasks, TurnedOrSkewedTextIsDrawnFromOutlines) {
  TextScene s;
  ASSERT_TRUE(s.make());
  OutlinesOnly outlines(s.fonts);
  MATRIX turned;
  turned.a = turned.d = 64000;
  turned.b = 9000;
  turned.c = -9000;
  MATRIX skewed;
  skewed.c = 20000;
  MATRIX stretched;
  stretched.a = 80000;
  for (const MATRIX& m : {turned, skewed, stretched}) {
    const RenderTarget a = draw(s, s.fonts, 4, m, Rasterizer::RowSweep::WhereItPays, true);
    const RenderTarget b = draw(s, outlines, 4, m, Rasterizer::RowSweep::WhereItPays, true);
    EXPECT_EQ(largestDifference(a, b), 0);
  }
  EXPECT_EQ(s.fonts.masks()->size(), 0u);
}

// A text whose coverage images would take more than a build may hold draws
// the rest of its glyphs from outlines: the same picture, bounded memory.
TEST(GlyphMasks, TextPastTheCoverageLimitDrawsFromOutlines) {
  TextScene s;
  ASSERT_TRUE(s.make());
  OutlinesOnly outlines(s.fonts);
  kit::StaticText t;
  for (int i = 0; i < 200; ++i) {
    // Two glyphs 3,000 px apart in a colour of their own: 200 images of
    // about 3,000 x 8 pixels would pass the limit by a third.
    kit::TextRun run;
    run.fontId = 1;
    run.height = 100;
    run.color = Rgba{uint8_t(i), 40, 90, 255};
    run.x = static_cast<int16_t>(-29000 + i * 37);
    run.y = static_cast<int16_t>(200 + (i % 50) * 110);
    run.glyphs = {0, 1};
    run.advances = {30000, 0};
    t.runs.push_back(run);
  }
  t.bounds = RECT{-30000, 30000, 0, 20 * 300};
  std::string error;
  s.text = kit::defineTextBody(2, t, true, error);
  ASSERT_TRUE(error.empty()) << error;
  MATRIX m;
  m.tx = 29000;
  const RenderTarget masked = draw(s, s.fonts, 4, m, Rasterizer::RowSweep::WhereItPays, true);
  const RenderTarget outlined = draw(s, outlines, 4, m, Rasterizer::RowSweep::WhereItPays, true);
  EXPECT_LE(largestDifference(masked, outlined), 2);
}

}  // namespace
}  // namespace kivra
