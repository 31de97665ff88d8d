// The sweep keeps its pixels: generated scenes of solid, gradient and
// bitmap fills, strokes, transparency and masks at every factor and in
// every target format hash to the values of the first implementation, and
// painting through a dirty rectangle or after rebuilding an object gives the
// pixels of a fresh full frame. (The scenes' second fills cover only part of
// a contour and do not close; the pinned values changed once, when such a
// fill came to be left off from where it stays open instead of hiding what
// lies below it up to the row's last visible change.)
#include <gtest/gtest.h>

#include <random>

#include "core/render/raster/SimdKernels.h"
#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

class TwoBitmaps : public BitmapSource {
 public:
  TwoBitmaps() {
    opaque_.resize(13 * 9);
    translucent_.resize(7 * 11);
    std::mt19937 r(5);
    for (uint32_t& v : opaque_) v = 0xFF000000u | (r() & 0xFFFFFF);
    for (uint32_t& v : translucent_) {
      const uint32_t a = r() & 0xFF, c = r();
      auto pm = [&](uint32_t ch) { return ((a + 1) * ch) >> 8; };
      v = a << 24 | pm((c >> 16) & 255) << 16 | pm((c >> 8) & 255) << 8 | pm(c & 255);
    }
    images_[0] = test::argbImage(13, 9, opaque_.data(), false);
    images_[1] = test::argbImage(7, 11, translucent_.data(), true);
  }
  std::shared_ptr<BitmapImage> bitmap(uint16_t id) override {
    return id == 7 ? images_[0] : id == 8 ? images_[1] : nullptr;
  }

 private:
  std::vector<uint32_t> opaque_, translucent_;
  std::shared_ptr<BitmapImage> images_[2];
};

// Up to 30 shapes of 3 to 9 straight or curved sides in a frame of about
// `size` pixels: solid, linear, radial and bitmap fills, some with a second
// fill, some stroked, some colour-transformed, some masks.
std::vector<test::DrawItem> scene(uint32_t seed, int size, bool solidOnly = false) {
  test::SceneRandom r(seed);
  std::vector<test::DrawItem> items;
  const int count = r(3, 30);
  for (int i = 0; i < count; ++i) {
    kit::ShapeBuilder b;
    uint32_t fill;
    const int kind = solidOnly ? r(0, 5) % 2 : r(0, 5);
    if (kind <= 1) {
      fill = b.addFill(kit::FillStyle::solid(r.colour(r(0, 1))));
    } else if (kind <= 3) {
      fill = r.addGradient(b, kind == 2);
    } else {
      MATRIX bm;
      bm.a = r(20000, 800000);
      bm.d = r(20000, 800000);
      bm.c = r(-5000, 5000);
      bm.tx = r(0, 3000);
      bm.ty = r(0, 2000);
      fill = b.addFill(kit::FillStyle::bitmap(uint16_t(r(7, 9)), bm, r(0, 1), r(0, 1)));
    }
    uint32_t fill2 = 0;
    if (r(0, 3) == 0) fill2 = b.addFill(kit::FillStyle::solid(r.colour(r(0, 1))));
    uint32_t line = 0;
    if (r(0, 2) == 0) line = b.addLine(kit::LineStyle{uint16_t(r(1, 400)), r.colour(r(0, 1))});
    const int cx = r(0, size * 15), cy = r(0, size * 10), rad = r(10, size * 5);
    b.moveTo(cx - rad, cy).setFill0(fill);
    if (line) b.setLine(line);
    const int sides = r(3, 9);
    for (int k = 0; k < sides; ++k) {
      const int nx = cx + r(-rad, rad), ny = cy + r(-rad, rad);
      if (k == sides / 2 && fill2) b.setFill1(fill2);
      if (r(0, 1)) b.curveTo(r(cx - rad, cx + rad), r(cy - rad, cy + rad), nx, ny);
      else b.lineTo(nx, ny);
    }
    b.lineTo(cx - rad, cy);
    test::DrawItem it;
    it.body = test::shapeBody(b);
    it.depth = uint16_t(i + 1);
    r.maybeCxform(it);
    if (r(0, 7) == 0) it.clipDepth = uint16_t(i + 1 + r(1, 4));
    items.push_back(std::move(it));
  }
  return items;
}

uint64_t hashOf(const RenderTarget& t) {
  uint64_t h = 1469598103934665603ull;
  const uint8_t* p = static_cast<const uint8_t*>(t.bits());
  for (size_t i = 0; i < size_t(t.rowBytes()) * size_t(t.height()); ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

RenderTarget render(uint32_t seed, int factor, const RasterKernels& kernels, BitmapSource& bitmaps) {
  const int size = 40 + int(seed % 5) * 60;
  const auto items = scene(seed, size);
  const PixelFormat formats[] = {PixelFormat::Bgra32, PixelFormat::Rgb565, PixelFormat::Bgr24, PixelFormat::Palette8};
  const PixelFormat format = formats[(seed + uint32_t(factor)) % 4];
  RenderTarget t;
  EXPECT_TRUE(t.create(size + 7, size * 2 / 3 + 3, format));
  // Earlier contents show where the frame composites over them.
  if (format == PixelFormat::Bgra32)
    for (int y = 0; y < t.height(); ++y)
      for (int x = 0; x < t.width(); ++x) t.row(y)[x] = 0x80402010u + uint32_t(x * 7 + y * 13);
  test::renderItems(t, factor, items, test::view(kFixedOne / 20), seed % 3 != 0, Rgba{200, 220, 240, 255}, &kernels,
                    &bitmaps);
  return t;
}

TEST(SweepPixels, GeneratedScenesKeepTheirPixels) {
  struct Case {
    uint32_t seed;
    int factor;
    uint64_t hash;
  };
  const Case cases[] = {
    {1, 1, 0x29ac373cf1c7dee3ull},
    {1, 2, 0xd31f0f5d061e16c5ull},
    {1, 4, 0x12e134b8060cc60eull},
    {2, 1, 0xe8a7902a7dc187c8ull},
    {2, 2, 0x85c881f0f38f64eeull},
    {2, 4, 0x1e37da43a3379049ull},
    {3, 1, 0x8ca2ad8f4dc0c342ull},
    {3, 2, 0x8b825b656578829cull},
    {3, 4, 0x7cf76ac3a0be1029ull},
    {4, 1, 0x38c4541c78000821ull},
    {4, 2, 0x33c83ffdacca4115ull},
    {4, 4, 0x425643702e714d95ull},
    {5, 1, 0x0020896c4f771e29ull},
    {5, 2, 0x64d4df54211cf9f9ull},
    {5, 4, 0xc55c3ada35dec113ull},
    {6, 1, 0xd10ecd92762a92d5ull},
    {6, 2, 0xaf68d97188cafd47ull},
    {6, 4, 0xcc1bed15143d2150ull},
    {7, 1, 0x56fdc9b4fcb4cfc3ull},
    {7, 2, 0xb0fcc6ccaf845bf9ull},
    {7, 4, 0xd31ee6461a25c08dull},
    {8, 1, 0x950fa968373d6ad8ull},
    {8, 2, 0x1cefe6c3b218d687ull},
    {8, 4, 0x88c026d1a21a4a65ull},
    {9, 1, 0x6897392b579a02c9ull},
    {9, 2, 0x5c89c86e2f65e0caull},
    {9, 4, 0xff1be61434ff14deull},
    {10, 1, 0x368b5f7ecb7cf1afull},
    {10, 2, 0x54f6f77ef7bde1adull},
    {10, 4, 0xe33eb6d1e77f4f27ull},
    {11, 1, 0x781d4efc627a1ebdull},
    {11, 2, 0xf6d01f4d5647b1ffull},
    {11, 4, 0x3b76639882dabe8cull},
    {12, 1, 0x254e1a7209ada253ull},
    {12, 2, 0x5bae0d9d21795bbdull},
    {12, 4, 0x63006bc29e0c0b75ull},
  };
  TwoBitmaps bitmaps;
  for (const Case& c : cases) {
    EXPECT_EQ(hashOf(render(c.seed, c.factor, portableKernels(), bitmaps)), c.hash)
        << "seed " << c.seed << " factor " << c.factor;
    EXPECT_EQ(hashOf(render(c.seed, c.factor, fastKernels(), bitmaps)), c.hash)
        << fastKernels().name << " seed " << c.seed << " factor " << c.factor;
  }
}

// Curves far taller than the frame, in pieces of many forward-difference
// steps, keep the pixels they had when every step was counted.
RenderTarget tallCurves(int factor) {
  test::SceneRandom r(91);
  std::vector<test::DrawItem> items;
  for (int i = 0; i < 12; ++i) {
    kit::ShapeBuilder b;
    const uint32_t fill = b.addFill(kit::FillStyle::solid(r.colour(i % 3 == 0)));
    // 300 to 2,000 pixels tall, split by the edge builder into pieces of many
    // steps each.
    const int half = r(150, 1000) * 20;
    const int x = r(0, 160 * 20);
    b.moveTo(x, -half).setFill0(fill);
    b.curveTo(x + r(-6000, 6000), r(0, 120 * 20), x + r(-2000, 2000), half);
    b.lineTo(x + r(1000, 3000), half);
    b.curveTo(x + r(-6000, 6000), r(0, 120 * 20), x + r(500, 2500), -half);
    b.lineTo(x, -half);
    test::DrawItem it;
    it.body = test::shapeBody(b);
    it.depth = uint16_t(i + 1);
    items.push_back(it);
  }
  RenderTarget t;
  EXPECT_TRUE(t.create(160, 120, PixelFormat::Bgra32));
  test::renderItems(t, factor, items, test::view(kFixedOne / 20));
  return t;
}

TEST(SweepPixels, TallCurvesKeepTheirPixels) {
  EXPECT_EQ(hashOf(tallCurves(2)), 0x2d9d661940deca32ull);
  EXPECT_EQ(hashOf(tallCurves(4)), 0x312efddaf3b50403ull);
}

// Many small shapes close together, so that contours start and end inside
// pixel rows and edges of different shapes swap places between sub-rows.
std::vector<test::DrawItem> crowdedScene(uint32_t seed, int size) {
  std::mt19937 rng(seed);
  auto r = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<test::DrawItem> items;
  const int count = r(20, 120);
  for (int i = 0; i < count; ++i) {
    kit::ShapeBuilder b;
    const bool translucent = r(0, 4) == 0;
    const uint32_t fill = b.addFill(kit::FillStyle::solid(
        Rgba{uint8_t(r(0, 255)), uint8_t(r(0, 255)), uint8_t(r(0, 255)), uint8_t(translucent ? r(0, 255) : 255)}));
    uint32_t line = 0;
    if (r(0, 3) == 0) line = b.addLine(kit::LineStyle{uint16_t(r(10, 200)), Rgba{uint8_t(r(0, 255)), 0, 90, 255}});
    const int cx = r(0, size * 20), cy = r(0, size * 14), rad = r(30, 200);
    b.moveTo(cx + rad, cy).setFill0(fill);
    if (line) b.setLine(line);
    const int sides = r(3, 7);
    for (int k = 1; k <= sides; ++k) {
      const int nx = cx + r(-rad, rad), ny = cy + r(-rad, rad);
      if (k == sides) b.curveTo(cx + r(-rad, rad), cy + r(-rad, rad), cx + rad, cy);
      else if (r(0, 1)) b.curveTo(cx + r(-rad, rad), cy + r(-rad, rad), nx, ny);
      else b.lineTo(nx, ny);
    }
    test::DrawItem it;
    it.body = test::shapeBody(b, i % 5 == 0 ? 1 : 3);
    it.tag = test::shapeTag(i % 5 == 0 ? 1 : 3);
    it.depth = uint16_t(i + 1);
    if (r(0, 15) == 0) it.clipDepth = uint16_t(i + 1 + r(1, 6));
    items.push_back(std::move(it));
  }
  return items;
}

RenderTarget renderRows(const std::vector<test::DrawItem>& items, int size, int factor, bool wholeRows,
                        BitmapSource& bitmaps) {
  RenderTarget t;
  EXPECT_TRUE(t.create(size + 5, size * 2 / 3 + 1, PixelFormat::Bgra32));
  for (int y = 0; y < t.height(); ++y)
    for (int x = 0; x < t.width(); ++x) t.row(y)[x] = 0x80402010u + uint32_t(x * 7 + y * 13);
  Renderer r;
  r.rasterizer().setRowSweep(wholeRows ? Rasterizer::RowSweep::Always : Rasterizer::RowSweep::Off);
  r.setBitmapSource(&bitmaps);
  FrameSetup s;
  s.factor = factor;
  s.view = test::view(kFixedOne / 20);
  s.dirty = ClipRect{0, 0, t.width(), t.height()};
  s.hasBackground = factor == 4;
  EXPECT_TRUE(r.beginFrame(t, s));
  for (const test::DrawItem& it : items) EXPECT_TRUE(r.drawShape(test::shapeDraw(it)));
  r.endFrame();
  return t;
}

// Sweeping a pixel row's sub-rows together, where it applies, gives the
// bytes of sweeping them one by one.
TEST(SweepPixels, WholeRowsGiveTheSubRowsPixels) {
  TwoBitmaps bitmaps;
  for (uint32_t seed = 1; seed <= 120; ++seed) {
    const int size = 40 + int(seed % 4) * 50;
    const auto items = seed % 2 ? crowdedScene(seed, size) : scene(seed, size);
    for (int factor : {2, 4}) {
      const RenderTarget rows = renderRows(items, size, factor, true, bitmaps);
      const RenderTarget subRows = renderRows(items, size, factor, false, bitmaps);
      for (int y = 0; y < rows.height(); ++y)
        for (int x = 0; x < rows.width(); ++x)
          ASSERT_EQ(test::argbAt(rows, x, y), test::argbAt(subRows, x, y))
              << "seed " << seed << " factor " << factor << " at " << x << "," << y;
    }
  }
}

// Inside a dirty rectangle every sub-sample has the colour it has in the
// full frame (solid fills: gradient and bitmap spans start where the clip
// cuts them).
TEST(SweepPixels, DirtyRectangleGivesTheFullFramesPixels) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const auto items = scene(seed * 31, 100, true);
    for (int factor : {2, 4}) {
      RenderTarget full, part;
      EXPECT_TRUE(full.create(107, 70, PixelFormat::Bgra32));
      EXPECT_TRUE(part.create(107, 70, PixelFormat::Bgra32));
      full.fill(0xFF336699u);
      part.fill(0xFF336699u);
      const bool background = seed % 2 == 0;
      test::renderItems(full, factor, items, test::view(kFixedOne / 20), background);
      Renderer r;
      FrameSetup s;
      s.factor = factor;
      s.view = test::view(kFixedOne / 20);
      s.dirty = ClipRect{int(seed * 3), int(seed * 2), int(50 + seed * 4), int(30 + seed * 3)};
      s.hasBackground = background;
      EXPECT_TRUE(r.beginFrame(part, s));
      for (const test::DrawItem& it : items) EXPECT_TRUE(r.drawShape(test::shapeDraw(it)));
      r.endFrame();
      for (int y = s.dirty.top; y < s.dirty.bottom; ++y)
        for (int x = s.dirty.left; x < s.dirty.right; ++x)
          ASSERT_EQ(test::argbAt(part, x, y), test::argbAt(full, x, y))
              << "seed " << seed << " factor " << factor << " at " << x << "," << y;
    }
  }
}

// What the sweep keeps between frames (pools, cells, the colours of
// gradient stacks) never carries a rebuilt object's old state over.
TEST(SweepPixels, RebuiltObjectsPaintAsInAFreshRenderer) {
  TwoBitmaps bitmaps;
  const auto first = scene(77, 160);
  const auto second = scene(78, 160);
  RenderTarget kept, fresh;
  EXPECT_TRUE(kept.create(167, 110, PixelFormat::Bgra32));
  EXPECT_TRUE(fresh.create(167, 110, PixelFormat::Bgra32));
  Renderer r;
  r.setBitmapSource(&bitmaps);
  std::vector<ShapeBuild> caches(std::max(first.size(), second.size()));
  for (const auto* items : {&first, &second}) {
    FrameSetup s;
    s.factor = 4;
    s.view = test::view(kFixedOne / 20);
    s.dirty = ClipRect{0, 0, kept.width(), kept.height()};
    EXPECT_TRUE(r.beginFrame(kept, s));
    for (size_t i = 0; i < items->size(); ++i) {
      ShapeDraw d = test::shapeDraw((*items)[i]);
      d.cache = &caches[i];
      d.rebuild = true;
      EXPECT_TRUE(r.drawShape(d));
    }
    r.endFrame();
  }
  test::renderItems(fresh, 4, second, test::view(kFixedOne / 20), true, Rgba{255, 255, 255, 255}, nullptr, &bitmaps);
  EXPECT_EQ(hashOf(kept), hashOf(fresh));
}

}  // namespace
}  // namespace kivra
