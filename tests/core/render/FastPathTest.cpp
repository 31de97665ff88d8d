// The processor-specific kernels must produce the portable kernels' bytes
// exactly, on many generated scenes at every anti-aliasing factor.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/render/raster/SimdKernels.h"
#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

std::vector<test::DrawItem> randomScene(uint32_t seed) {
  test::SceneRandom r(seed);
  std::vector<test::DrawItem> items;
  const int count = r(3, 12);
  for (int i = 0; i < count; ++i) {
    kit::ShapeBuilder b;
    uint32_t fill;
    const int kind = r(0, 3);
    if (kind == 0) {
      fill = b.addFill(kit::FillStyle::solid(r.colour(r(0, 1)))); 
    } else {
      fill = r.addGradient(b, kind == 1);
    }
    uint32_t line = 0;
    if (r(0, 2) == 0) line = b.addLine(kit::LineStyle{uint16_t(r(1, 200)), r.colour(r(0, 1))});
    const int cx = r(0, 3000), cy = r(0, 2000), rad = r(20, 900);
    b.moveTo(cx - rad, cy).setFill0(fill);
    if (line) b.setLine(line);
    const int sides = r(3, 7);
    int px = cx - rad, py = cy;
    for (int k = 0; k < sides; ++k) {
      const int nx = cx + r(-rad, rad), ny = cy + r(-rad, rad);
      if (r(0, 1)) b.curveTo(r(cx - rad, cx + rad), r(cy - rad, cy + rad), nx, ny);
      else b.lineTo(nx, ny);
      px = nx;
      py = ny;
    }
    (void)px;
    (void)py;
    b.lineTo(cx - rad, cy);
    test::DrawItem it;
    it.body = test::shapeBody(b);
    it.depth = uint16_t(i + 1);
    r.maybeCxform(it);
    if (i == 2 && r(0, 2) == 0) it.clipDepth = uint16_t(i + 1 + r(1, 3));
    items.push_back(std::move(it));
  }
  return items;
}

void expectSame(const RasterKernels& fast, int factor, PixelFormat format) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const auto items = randomScene(seed * 7919 + factor);
    RenderTarget a, b;
    EXPECT_TRUE(a.create(161, 103, format));
    EXPECT_TRUE(b.create(161, 103, format));
    const bool bg = seed % 3 != 0;
    test::renderItems(a, factor, items, test::view(kFixedOne / 20), bg, Rgba{200, 220, 240, 255},
                      &portableKernels());
    test::renderItems(b, factor, items, test::view(kFixedOne / 20), bg, Rgba{200, 220, 240, 255}, &fast);
    ASSERT_EQ(std::memcmp(a.bits(), b.bits(), a.rowBytes() * 103), 0)
        << fast.name << " factor " << factor << " seed " << seed;
  }
}

TEST(FastPaths, Sse2MatchesPortable) {
  const RasterKernels* k = sse2Kernels();
  if (!k) GTEST_SKIP() << "no SSE2";
  for (int f : {1, 2, 4}) expectSame(*k, f, PixelFormat::Bgra32);
}

TEST(FastPaths, Avx2MatchesPortable) {
  const RasterKernels* k = avx2Kernels();
  if (!k) GTEST_SKIP() << "no AVX2";
  for (int f : {1, 2, 4}) expectSame(*k, f, PixelFormat::Bgra32);
}

TEST(FastPaths, OtherFormatsMatchToo) {
  for (PixelFormat f : {PixelFormat::Rgb565, PixelFormat::Bgr24, PixelFormat::Palette8})
    expectSame(fastKernels(), 4, f);
}

TEST(FastPaths, RandomScenesPaintSomething) {
  const auto items = randomScene(12345);
  RenderTarget t;
  EXPECT_TRUE(t.create(161, 103, PixelFormat::Bgra32));
  test::renderItems(t, 4, items, test::view(kFixedOne / 20), true, Rgba{200, 220, 240, 255});
  int changed = 0;
  for (int y = 0; y < t.height(); ++y)
    for (int x = 0; x < t.width(); ++x) changed += t.row(y)[x] != 0xFFC8DCF0u;
  EXPECT_GT(changed, 100);
}

}  // namespace
}  // namespace kivra
