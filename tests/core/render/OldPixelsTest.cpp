// A frame with a background paints every sample of its dirty rectangle:
// whatever the target held before never shows through, at any factor, in
// any sweep mode, for a full frame or a partial repaint. The window's
// off-screen bitmap keeps the last frame and repaints only dirty rectangles,
// so an old pixel that showed through would stay on screen.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/core/render/RenderTestSupport.h"
#include "tools/kit/RecordWriter.h"

namespace kivra {
namespace {

struct Paint {
  int factor = 4;
  ClipRect dirty;
  Rasterizer::RowSweep rowSweep = Rasterizer::RowSweep::WhereItPays;
};

void paint(RenderTarget& t, const std::vector<test::DrawItem>& items, const Paint& p) {
  Renderer r;
  r.rasterizer().setRowSweep(p.rowSweep);
  FrameSetup s;
  s.factor = p.factor;
  s.view = test::view(kFixedOne / 20);
  s.dirty = p.dirty;
  s.hasBackground = true;
  s.background = Rgba{250, 240, 230, 255};
  EXPECT_TRUE(r.beginFrame(t, s));
  for (const test::DrawItem& it : items) EXPECT_TRUE(r.drawShape(test::shapeDraw(it)));
  r.endFrame();
}

// Paints onto two targets prefilled with different garbage: inside the dirty
// rectangle the bytes must agree, outside it each keeps its own garbage.
void expectIndependent(const std::vector<test::DrawItem>& items, int width, int height, PixelFormat format,
                       const Paint& p, const std::string& what) {
  RenderTarget a, b, untouchedA, untouchedB;
  for (RenderTarget* t : {&a, &b, &untouchedA, &untouchedB}) EXPECT_TRUE(t->create(width, height, format));
  a.fill(0xFF00FF00u);
  untouchedA.fill(0xFF00FF00u);
  b.fill(0x40302010u);
  untouchedB.fill(0x40302010u);
  paint(a, items, p);
  paint(b, items, p);
  const int bytes = bitsPerPixel(format) / 8;
  for (int y = 0; y < height; ++y) {
    const uint8_t* ra = a.rowData(y);
    const uint8_t* rb = b.rowData(y);
    const uint8_t* ua = untouchedA.rowData(y);
    const uint8_t* ub = untouchedB.rowData(y);
    for (int x = 0; x < width; ++x) {
      const size_t o = size_t(x) * size_t(bytes);
      const bool inside = x >= p.dirty.left && x < p.dirty.right && y >= p.dirty.top && y < p.dirty.bottom;
      if (inside) {
        ASSERT_EQ(std::memcmp(ra + o, rb + o, size_t(bytes)), 0) << what << " at " << x << "," << y;
      } else {
        ASSERT_EQ(std::memcmp(ra + o, ua + o, size_t(bytes)), 0) << what << " outside at " << x << "," << y;
        ASSERT_EQ(std::memcmp(rb + o, ub + o, size_t(bytes)), 0) << what << " outside at " << x << "," << y;
      }
    }
  }
}

// The shape of the quality movies: a filled square, then a stroked curve
// that keeps the square's fill on one side (a contour that never closes,
// running out below the frame), then a filled circle.
test::DrawItem squareCurveAndCircle() {
  kit::ShapeBuilder b;
  const uint32_t fill = b.addFill(kit::FillStyle::solid(Rgba{0x20, 0x40, 0xA0, 255}));
  const uint32_t line = b.addLine(kit::LineStyle{20, Rgba{0xC0, 0x20, 0x20, 255}});
  b.moveTo(0, -240).setFill1(fill).lineTo(240, 0).lineTo(0, 240).lineTo(-240, 0).lineTo(0, -240);
  b.moveTo(240, -240).setLine(line).curveTo(760, -240, 760, 360);
  b.moveTo(500, 100).setFill1(fill).setLine(0);
  b.curveTo(600, 100, 600, 200).curveTo(600, 300, 500, 300).curveTo(400, 300, 400, 200).curveTo(400, 100, 500, 100);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  it.matrix = kit::rotateScaleTranslate(10, 1, 1, 280, 320);
  return it;
}

TEST(OldPixels, FillLeftOpenByAStrokedCurve) {
  const std::vector<test::DrawItem> items = {squareCurveAndCircle()};
  for (int factor : {1, 2, 4}) {
    for (auto mode : {Rasterizer::RowSweep::Off, Rasterizer::RowSweep::Always}) {
      Paint p;
      p.factor = factor;
      p.rowSweep = mode;
      p.dirty = ClipRect{0, 0, 60, 40};
      expectIndependent(items, 60, 40, PixelFormat::Bgra32, p, "factor " + std::to_string(factor));
      p.dirty = ClipRect{27, 5, 50, 33};
      expectIndependent(items, 60, 40, PixelFormat::Bgra32, p, "part, factor " + std::to_string(factor));
    }
    // The open fill is left off where it stays open: the background shows
    // to the right of the curve, and the curve's first pixel mixes the
    // stroke with the background alone.
    RenderTarget t;
    EXPECT_TRUE(t.create(60, 40, PixelFormat::Bgra32));
    t.fill(0xFF00FF00u);
    Paint p;
    p.factor = factor;
    p.dirty = ClipRect{0, 0, 60, 40};
    paint(t, items, p);
    EXPECT_EQ(test::argbAt(t, 45, 6), 0xFFFAF0E6u) << factor;
    EXPECT_EQ(test::argbAt(t, 55, 30), 0xFFFAF0E6u) << factor;
    if (factor == 4) {
      // 9 samples of the stroke (c0 20 20), 7 of the background (fa f0 e6).
      EXPECT_EQ(test::argbAt(t, 30, 6), 0xFFD97B76u);
    }
  }
}

// Shapes of 3 to 8 straight or curved sides: solid, translucent and
// gradient fills, strokes of every width class, some contours left open,
// some fills carried on to a stroked curve elsewhere, some second fills on
// part of a contour, some masks and colour transforms.
std::vector<test::DrawItem> scene(uint32_t seed, int width, int height) {
  test::SceneRandom r(seed);
  std::vector<test::DrawItem> items;
  const int count = r(2, 14);
  for (int i = 0; i < count; ++i) {
    kit::ShapeBuilder b;
    const int kind = r(0, 3);
    const uint32_t fill = kind <= 1 ? b.addFill(kit::FillStyle::solid(r.colour(kind == 1)))
                                    : r.addGradient(b, kind == 2);
    const uint32_t fill2 = r(0, 3) == 0 ? b.addFill(kit::FillStyle::solid(r.colour(r(0, 1)))) : 0;
    const uint32_t line =
        r(0, 1) ? b.addLine(kit::LineStyle{uint16_t(r(0, 2) ? r(1, 40) : r(41, 400)), r.colour(r(0, 1))}) : 0;
    const int cx = r(-100, width * 20 + 100), cy = r(-100, height * 20 + 100), rad = r(20, width * 12);
    b.moveTo(cx - rad, cy).setFill0(fill);
    if (line) b.setLine(line);
    const int sides = r(3, 8);
    for (int k = 0; k < sides; ++k) {
      if (k == sides / 2 && fill2) b.setFill1(fill2);
      const int nx = cx + r(-rad, rad), ny = cy + r(-rad, rad);
      if (r(0, 1)) b.curveTo(cx + r(-rad, rad), cy + r(-rad, rad), nx, ny);
      else b.lineTo(nx, ny);
    }
    if (r(0, 2) != 0) b.lineTo(cx - rad, cy);  // else the contour stays open
    if (r(0, 3) == 0) {
      // The fill goes on along a stroked curve that leaves it open.
      const int x = r(0, width * 20), y = r(-200, height * 20);
      b.moveTo(x, y);
      if (!line) b.setLine(b.addLine(kit::LineStyle{20, r.colour(false)}));
      b.curveTo(x + r(0, 800), y, x + r(0, 800), y + r(100, height * 20));
    }
    test::DrawItem it;
    it.body = test::shapeBody(b);
    it.depth = uint16_t(i + 1);
    r.maybeCxform(it);
    if (r(0, 6) == 0) it.clipDepth = uint16_t(i + 1 + r(1, 3));
    items.push_back(std::move(it));
  }
  return items;
}

TEST(OldPixels, GeneratedScenesPaintEverySample) {
  const PixelFormat formats[] = {PixelFormat::Bgra32, PixelFormat::Rgb565, PixelFormat::Bgr24, PixelFormat::Palette8};
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const int width = 50 + int(seed % 4) * 30, height = 40 + int(seed % 3) * 20;
    const auto items = scene(seed, width, height);
    test::SceneRandom r(seed + 1000);
    for (int factor : {1, 2, 4}) {
      Paint p;
      p.factor = factor;
      p.rowSweep = seed % 3 == 0 ? Rasterizer::RowSweep::Always : Rasterizer::RowSweep::WhereItPays;
      const PixelFormat format = seed % 5 == 0 ? formats[(seed / 5 + uint32_t(factor)) % 4] : PixelFormat::Bgra32;
      const std::string what = "seed " + std::to_string(seed) + " factor " + std::to_string(factor);
      p.dirty = ClipRect{0, 0, width, height};
      expectIndependent(items, width, height, format, p, what);
      const int left = r(0, width - 2), top = r(0, height - 2);
      p.dirty = ClipRect{left, top, r(left + 1, width), r(top + 1, height)};
      expectIndependent(items, width, height, format, p, what + " part");
    }
  }
}

}  // namespace
}  // namespace kivra
