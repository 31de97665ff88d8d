#include <gtest/gtest.h>

#include "core/render/HitTest.h"
#include "core/render/RenderMatrix.h"
#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

using test::argbAt;
using test::DrawItem;
using test::renderItems;
using test::shapeBody;
using test::view;

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

DrawItem rectItem(int x0, int y0, int x1, int y1, Rgba c, int version = 3) {
  kit::ShapeBuilder b;
  const uint32_t f = b.addFill(kit::FillStyle::solid(c));
  b.rect(x0, y0, x1, y1, f);
  DrawItem it;
  it.body = shapeBody(b, version);
  it.tag = test::shapeTag(version);
  return it;
}

TEST(Rasterizer, HalfPixelEdgeGivesHalfCoverageAtFactor4) {
  RenderTarget t;
  EXPECT_TRUE(t.create(24, 4, PixelFormat::Bgra32));
  t.fill(0);
  // One twip is half a pixel: x = 9 twips is 4.5 pixels, 18 sub-pixels.
  renderItems(t, 4, {rectItem(9, 0, 40, 8, kBlack)}, view(kFixedOne / 2), false);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(argbAt(t, 3, y), 0u);
    EXPECT_EQ(argbAt(t, 4, y) >> 24, 127u);  // 8 of 16 samples: 2040 >> 4
    EXPECT_EQ(argbAt(t, 5, y), 0xFF000000u);
    EXPECT_EQ(argbAt(t, 19, y), 0xFF000000u);
    EXPECT_EQ(argbAt(t, 20, y), 0u);
  }
}

TEST(Rasterizer, HalfPixelEdgeOverWhiteIsMidGrey) {
  RenderTarget t;
  EXPECT_TRUE(t.create(24, 4, PixelFormat::Bgra32));
  renderItems(t, 4, {rectItem(9, 0, 40, 8, kBlack)}, view(kFixedOne / 2));
  // Eight black and eight white samples, the background being a fill too.
  EXPECT_EQ(argbAt(t, 4, 1), 0xFF7F7F7Fu);
}

TEST(Rasterizer, LowQualityRoundsEdgesToWholePixels) {
  RenderTarget t;
  EXPECT_TRUE(t.create(24, 4, PixelFormat::Bgra32));
  renderItems(t, 1, {rectItem(9, 0, 40, 8, kBlack)}, view(kFixedOne / 2));
  EXPECT_EQ(argbAt(t, 4, 0), 0xFFFFFFFFu);  // 4.5 rounds to 5
  EXPECT_EQ(argbAt(t, 5, 0), 0xFF000000u);
  EXPECT_EQ(argbAt(t, 19, 0), 0xFF000000u);
  EXPECT_EQ(argbAt(t, 20, 0), 0xFFFFFFFFu);
}

TEST(Rasterizer, LaterStyleOfOneObjectIsOnTop) {
  kit::ShapeBuilder b;
  const uint32_t red = b.addFill(kit::FillStyle::solid(kRed));
  const uint32_t blue = b.addFill(kit::FillStyle::solid(kBlue));
  b.rect(0, 0, 10, 10, red);
  b.rect(5, 5, 15, 15, blue);
  DrawItem it;
  it.body = shapeBody(b);
  for (int factor : {1, 2, 4}) {
    RenderTarget t;
    EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
    renderItems(t, factor, {it}, view(kFixedOne));
    EXPECT_EQ(argbAt(t, 2, 2), 0xFFFF0000u) << factor;
    EXPECT_EQ(argbAt(t, 7, 7), 0xFF0000FFu) << factor;
    EXPECT_EQ(argbAt(t, 12, 12), 0xFF0000FFu) << factor;
    EXPECT_EQ(argbAt(t, 17, 17), 0xFFFFFFFFu) << factor;
  }
}

TEST(Rasterizer, TransparentRedOverOpaqueBlue) {
  for (int factor : {1, 4}) {
    RenderTarget t;
    EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
    DrawItem blue = rectItem(0, 0, 10, 20, kBlue);
    DrawItem red = rectItem(5, 0, 15, 20, Rgba{255, 0, 0, 128});
    red.depth = 2;
    renderItems(t, factor, {blue, red}, view(kFixedOne));
    // Over blue: R 128, B (128 . 255) >> 8 = 127.
    EXPECT_EQ(argbAt(t, 7, 5), 0xFF80007Fu) << factor;
    // Over the white background: R 128 + 127, G and B 127.
    EXPECT_EQ(argbAt(t, 12, 5), 0xFFFF7F7Fu) << factor;
    EXPECT_EQ(argbAt(t, 2, 5), 0xFF0000FFu) << factor;
  }
}

TEST(Rasterizer, TransparentFillWithoutBackgroundCompositesOverTheTarget) {
  RenderTarget t;
  EXPECT_TRUE(t.create(8, 8, PixelFormat::Bgra32));
  t.fill(0xFF00FF00u);
  renderItems(t, 4, {rectItem(0, 0, 4, 8, Rgba{255, 0, 0, 128})}, view(kFixedOne), false);
  EXPECT_EQ(argbAt(t, 1, 1), 0xFF807F00u);
  EXPECT_EQ(argbAt(t, 6, 1), 0xFF00FF00u);  // untouched
}

TEST(Rasterizer, MaskShowsOnlyWhereTheMaskIsFilled) {
  for (int factor : {1, 4}) {
    RenderTarget t;
    EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
    DrawItem mask = rectItem(5, 5, 15, 15, kBlack);
    mask.depth = 1;
    mask.clipDepth = 2;
    DrawItem clipped = rectItem(0, 0, 20, 10, kRed);
    clipped.depth = 2;
    DrawItem above = rectItem(0, 16, 4, 20, kBlue);
    above.depth = 3;
    renderItems(t, factor, {mask, clipped, above}, view(kFixedOne));
    EXPECT_EQ(argbAt(t, 7, 7), 0xFFFF0000u);   // inside mask and shape
    EXPECT_EQ(argbAt(t, 2, 2), 0xFFFFFFFFu);   // shape outside the mask
    EXPECT_EQ(argbAt(t, 7, 12), 0xFFFFFFFFu);  // mask without the shape: the mask never paints
    EXPECT_EQ(argbAt(t, 1, 18), 0xFF0000FFu);  // above the clip depth: not clipped
  }
}

TEST(Rasterizer, MaskStrokesDoNotCount) {
  kit::ShapeBuilder b;
  const uint32_t line = b.addLine(kit::LineStyle{4, kBlack});
  b.moveTo(0, 10).setLine(line).lineTo(20, 10);
  DrawItem mask;
  mask.body = shapeBody(b);
  mask.clipDepth = 2;
  DrawItem red = rectItem(0, 0, 20, 20, kRed);
  red.depth = 2;
  RenderTarget t;
  EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
  renderItems(t, 4, {mask, red}, view(kFixedOne));
  EXPECT_EQ(argbAt(t, 10, 10), 0xFFFFFFFFu);
}

std::vector<uint8_t> nestedSquares() {
  // Two squares drawn the same way round, both with fill 1 on the left.
  kit::ShapeBuilder b;
  const uint32_t f = b.addFill(kit::FillStyle::solid(kBlack));
  b.moveTo(0, 0).setFill0(f).lineTo(20, 0).lineTo(20, 20).lineTo(0, 20).lineTo(0, 0);
  b.moveTo(5, 5).lineTo(15, 5).lineTo(15, 15).lineTo(5, 15).lineTo(5, 5);
  return shapeBody(b);
}

TEST(Rasterizer, ShapesUseEvenOddGlyphsNonZero) {
  RenderTarget t;
  EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
  DrawItem nested;
  nested.body = nestedSquares();
  renderItems(t, 4, {nested}, view(kFixedOne));
  EXPECT_EQ(argbAt(t, 2, 10), 0xFF000000u);
  EXPECT_EQ(argbAt(t, 10, 10), 0xFFFFFFFFu);  // the inner contour is a hole

  // The same records as a glyph: index widths, then the records.
  const std::vector<uint8_t> body = nestedSquares();
  TagCursor c(body.data(), static_cast<int64_t>(body.size()));
  c.readU16();
  c.readRect();
  c.readU8();  // one fill
  c.readU8();  // solid
  c.readRgba();
  c.readU8();  // no lines
  const size_t start = static_cast<size_t>(c.position());
  ShapeParser parser;
  ShapeBuild glyph;
  MATRIX m;
  m.a = m.d = 4 * kFixedOne;
  ASSERT_TRUE(parser.buildGlyph(body.data() + start, body.size() - start, m, kBlack, 4, glyph));
  RenderTarget g;
  EXPECT_TRUE(g.create(20, 20, PixelFormat::Bgra32));
  Rasterizer r;
  EXPECT_TRUE(r.beginFrame(g, 4, ClipRect{0, 0, 20, 20}));
  r.addObject(glyph, nullptr);
  r.paint();
  EXPECT_EQ(argbAt(g, 2, 10), 0xFF000000u);
  EXPECT_EQ(argbAt(g, 10, 10), 0xFF000000u);  // non-zero fills the inner area
}

TEST(Rasterizer, StrokesOfEachWidthClassCoverTheirLine) {
  for (uint16_t width : {1, 20, 60, 200}) {
    kit::ShapeBuilder b;
    const uint32_t line = b.addLine(kit::LineStyle{width, kBlack});
    b.moveTo(200, 400).setLine(line).lineTo(1400, 400).curveTo(1800, 400, 1800, 800);
    DrawItem it;
    it.body = shapeBody(b);
    RenderTarget t;
    EXPECT_TRUE(t.create(100, 60, PixelFormat::Bgra32));
    renderItems(t, 4, {it}, view(kFixedOne / 20));
    // On the line the pixel is dark; well away from it, white.
    EXPECT_LT(argbAt(t, 40, 20) & 0xFF, 128u) << width;
    EXPECT_EQ(argbAt(t, 40, 50), 0xFFFFFFFFu) << width;
    if (width == 200) {
      // Round cap: reaches 5 pixels left of the start, not 7.
      EXPECT_LT(argbAt(t, 6, 20) & 0xFF, 64u);
      EXPECT_EQ(argbAt(t, 2, 20), 0xFFFFFFFFu);
    }
  }
}

TEST(Rasterizer, TranslucentStrokePaintsEachPixelOnce) {
  kit::ShapeBuilder b;
  const uint32_t line = b.addLine(kit::LineStyle{100, Rgba{0, 0, 0, 128}});
  b.moveTo(200, 200).setLine(line).lineTo(800, 200).lineTo(800, 800).lineTo(200, 200);
  DrawItem it;
  it.body = shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(60, 60, PixelFormat::Bgra32));
  renderItems(t, 4, {it}, view(kFixedOne / 20));
  // At a joint and in the middle of a segment the stroke has the same colour.
  EXPECT_EQ(argbAt(t, 40, 10), argbAt(t, 25, 10));
  EXPECT_EQ(argbAt(t, 40, 10), 0xFF7F7F7Fu);
}

TEST(Rasterizer, FocusRectangleIsYellowOnTop) {
  RenderTarget t;
  EXPECT_TRUE(t.create(30, 30, PixelFormat::Bgra32));
  Renderer r;
  FrameSetup s;
  s.factor = 4;
  s.view = view(kFixedOne);
  s.dirty = ClipRect{0, 0, 30, 30};
  s.focus = ClipRect{5, 5, 25, 25};
  EXPECT_TRUE(r.beginFrame(t, s));
  r.endFrame();
  EXPECT_EQ(argbAt(t, 5, 5), 0xFFFFFF00u);
  EXPECT_EQ(argbAt(t, 7, 15), 0xFFFFFF00u);
  EXPECT_EQ(argbAt(t, 8, 15), 0xFFFFFFFFu);
  EXPECT_EQ(argbAt(t, 15, 24), 0xFFFFFF00u);
  EXPECT_EQ(argbAt(t, 4, 15), 0xFFFFFFFFu);
}

TEST(Rasterizer, DirtyRectangleLimitsPainting) {
  RenderTarget t;
  EXPECT_TRUE(t.create(20, 20, PixelFormat::Bgra32));
  t.fill(0xFF123456u);
  Renderer r;
  FrameSetup s;
  s.factor = 4;
  s.view = view(kFixedOne);
  s.dirty = ClipRect{5, 5, 10, 10};
  EXPECT_TRUE(r.beginFrame(t, s));
  r.endFrame();
  EXPECT_EQ(argbAt(t, 4, 4), 0xFF123456u);
  EXPECT_EQ(argbAt(t, 5, 5), 0xFFFFFFFFu);
  EXPECT_EQ(argbAt(t, 9, 9), 0xFFFFFFFFu);
  EXPECT_EQ(argbAt(t, 10, 10), 0xFF123456u);
}

TEST(HitTest, InsideOutsideAndHole) {
  const std::vector<uint8_t> body = nestedSquares();
  ShapeParser p;
  ShapeBuild b;
  ShapeInstance in;
  in.tagCode = 32;
  in.body = body.data();
  in.length = body.size();
  in.matrix.a = in.matrix.d = 4 * kFixedOne;
  ASSERT_TRUE(p.build(in, b));
  EXPECT_TRUE(hitTestShape(b, 8, 40));
  EXPECT_FALSE(hitTestShape(b, 40, 40));  // in the hole
  EXPECT_FALSE(hitTestShape(b, 100, 40));
  EXPECT_FALSE(hitTestShape(b, 8, -3));
}

TEST(HitTest, CurvedEdge) {
  kit::ShapeBuilder s;
  const uint32_t f = s.addFill(kit::FillStyle::solid(kBlack));
  s.moveTo(0, 0).setFill0(f).curveTo(100, 50, 0, 100).lineTo(0, 0);
  const std::vector<uint8_t> body = shapeBody(s);
  ShapeParser p;
  ShapeBuild b;
  ShapeInstance in;
  in.tagCode = 32;
  in.body = body.data();
  in.length = body.size();
  ASSERT_TRUE(p.build(in, b));
  EXPECT_TRUE(hitTestShape(b, 40, 50));   // the curve bulges to x = 50 at y = 50
  EXPECT_FALSE(hitTestShape(b, 55, 50));
  EXPECT_FALSE(hitTestShape(b, 40, 10));  // near the top the curve is close to x = 0
}

}  // namespace
}  // namespace kivra
