#include <gtest/gtest.h>

#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

TEST(PixelFormat, DefaultsByScreenDepth) {
  EXPECT_EQ(defaultFormatForDepth(1), PixelFormat::Mono1);
  EXPECT_EQ(defaultFormatForDepth(2), PixelFormat::Palette2);
  EXPECT_EQ(defaultFormatForDepth(4), PixelFormat::Grey4);
  EXPECT_EQ(defaultFormatForDepth(16), PixelFormat::Rgb555);
  EXPECT_EQ(defaultFormatForDepth(24), PixelFormat::Bgr24);
  EXPECT_EQ(defaultFormatForDepth(32), PixelFormat::Bgra32);
  EXPECT_EQ(defaultFormatForDepth(8), PixelFormat::Palette8);
  EXPECT_EQ(defaultFormatForDepth(15), PixelFormat::Palette8);
}

TEST(PixelFormat, PackingOfEveryDirectFormat) {
  const ExpandedPixel orange = expand(Rgba{255, 128, 8, 255});
  RenderTarget t;
  EXPECT_TRUE(t.create(3, 2, PixelFormat::Rgb565));
  t.writeChunk(1, 1, 1, &orange);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(t.rowData(1))[1], (31 << 11) | (32 << 5) | 1);
  EXPECT_TRUE(t.create(3, 2, PixelFormat::Rgb555));
  t.writeChunk(1, 1, 1, &orange);
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(t.rowData(1))[1], (31 << 10) | (16 << 5) | 1);
  EXPECT_TRUE(t.create(3, 2, PixelFormat::Bgr24));
  t.writeChunk(2, 0, 1, &orange);
  EXPECT_EQ(t.rowData(0)[6], 8);
  EXPECT_EQ(t.rowData(0)[7], 128);
  EXPECT_EQ(t.rowData(0)[8], 255);
  EXPECT_EQ(t.rowBytes(), 12u);  // rows padded to 4 bytes
  EXPECT_TRUE(t.create(3, 2, PixelFormat::Bgra32, true));
  t.writeChunk(0, 0, 1, &orange);
  EXPECT_EQ(reinterpret_cast<const uint32_t*>(t.bits() + t.rowBytes())[0], 0xFFFF8008u);  // bottom-up
  EXPECT_EQ(t.pixel(0, 0), orange);
}

TEST(PixelFormat, GreyPaletteAndMonoDither) {
  RenderTarget t;
  EXPECT_TRUE(t.create(8, 4, PixelFormat::Grey4));
  ExpandedPixel grey[8];
  for (auto& p : grey) p = expand(Rgba{96, 96, 96, 255});
  t.setDither(false);
  t.writeChunk(0, 0, 8, grey);
  EXPECT_EQ(t.pixel(3, 0), expand(Rgba{96, 96, 96, 255}));
  EXPECT_TRUE(t.create(8, 4, PixelFormat::Mono1));
  t.setDither(true);
  ExpandedPixel mid[8];
  for (auto& p : mid) p = expand(Rgba{128, 128, 128, 255});
  int white = 0;
  for (int y = 0; y < 4; ++y) {
    t.writeChunk(0, y, 8, mid);
    for (int x = 0; x < 8; ++x) white += (t.pixel(x, y) & 0xFF) == 255;
  }
  EXPECT_EQ(white, 16);  // level (384 + 3) / 48 = 8 of 16
  ExpandedPixel w = expand(Rgba{255, 255, 255, 255});
  t.writeChunk(0, 0, 1, &w);
  EXPECT_EQ(t.pixel(0, 0), w);
}

TEST(PixelFormat, Palette8FindsCubeColours) {
  RenderTarget t;
  EXPECT_TRUE(t.create(4, 4, PixelFormat::Palette8));
  const ExpandedPixel red = expand(Rgba{255, 0, 0, 255});
  t.writeChunk(0, 0, 1, &red);
  EXPECT_EQ(t.pixel(0, 0), red);
  const ExpandedPixel off = expand(Rgba{120, 60, 10, 255});
  int differ = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      t.writeChunk(x, y, 1, &off);
      differ += t.pixel(x, y) != t.pixel(0, 0);
    }
  EXPECT_GT(differ, 0);  // dithered between two entries
}

TEST(PixelFormat, ShapesRenderInEveryFormat) {
  kit::ShapeBuilder b;
  const uint32_t f = b.addFill(kit::FillStyle::solid(Rgba{0, 0, 255, 255}));
  b.rect(40, 40, 120, 120, f);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  for (int i = 0; i < kPixelFormatCount; ++i) {
    RenderTarget t;
    EXPECT_TRUE(t.create(16, 16, static_cast<PixelFormat>(i)));
    test::renderItems(t, 4, {it}, test::view(kFixedOne / 10));
    const ExpandedPixel in = t.pixel(8, 8), out = t.pixel(1, 1);
    if (i > 0) {
      EXPECT_NE(in, out) << i;
    }
    if (i > 2) {
      EXPECT_GT(in & 0xFF, (in >> 32) & 0xFF) << i;  // blue inside
    }
    EXPECT_GE(out & 0xFF, 200u) << i;               // white outside
    EXPECT_GE((out >> 32) & 0xFF, 200u) << i;
  }
}

class TestBitmaps : public BitmapSource {
 public:
  TestBitmaps() {
    // 4 x 4 checker of red and green, with an alpha column.
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) px_[y * 4 + x] = ((x + y) & 1) ? 0xFF00FF00u : 0xFFFF0000u;
    image_ = test::argbImage(4, 4, px_, false);
  }
  std::shared_ptr<BitmapImage> bitmap(uint16_t id) override { return id == 9 ? image_ : nullptr; }

 private:
  uint32_t px_[16];
  std::shared_ptr<BitmapImage> image_;
};

TEST(BitmapFill, ClippedAndTiledNearest) {
  TestBitmaps bitmaps;
  for (bool clipped : {true, false}) {
    kit::ShapeBuilder b;
    MATRIX m;
    m.a = m.d = 2 * kFixedOne;  // one bitmap pixel is 2 twips = 2 pixels
    const uint32_t f = b.addFill(kit::FillStyle::bitmap(9, m, clipped, false));
    b.rect(0, 0, 32, 32, f);
    test::DrawItem it;
    it.body = test::shapeBody(b);
    RenderTarget t;
    EXPECT_TRUE(t.create(32, 32, PixelFormat::Bgra32));
    test::renderItems(t, 4, {it}, test::view(kFixedOne), true, Rgba{255, 255, 255, 255}, nullptr, &bitmaps);
    EXPECT_EQ(t.row(0)[0], 0xFFFF0000u);
    EXPECT_EQ(t.row(0)[2], 0xFF00FF00u);
    EXPECT_EQ(t.row(2)[2], 0xFFFF0000u);
    // Past the bitmap: clipped repeats the edge pixel, tiled wraps.
    EXPECT_EQ(t.row(0)[10], 0xFF00FF00u) << clipped;
    EXPECT_EQ(t.row(0)[12], clipped ? 0xFF00FF00u : 0xFFFF0000u) << clipped;
  }
}

TEST(BitmapFill, SmoothingBlendsAndTransformUsesTables) {
  TestBitmaps bitmaps;
  kit::ShapeBuilder b;
  MATRIX m;
  m.a = m.d = 8 * kFixedOne;
  const uint32_t f = b.addFill(kit::FillStyle::bitmap(9, m, true, true));
  b.rect(0, 0, 32, 32, f);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(32, 32, PixelFormat::Bgra32));
  test::renderItems(t, 4, {it}, test::view(kFixedOne), true, Rgba{255, 255, 255, 255}, nullptr, &bitmaps);
  const uint32_t between = t.row(2)[7];
  EXPECT_GT((between >> 16) & 0xFF, 0u);  // red and green mixed near the cell boundary
  EXPECT_GT((between >> 8) & 0xFF, 0u);
  it.cxform.flags = CXFORM::kHasMultipliers;
  it.cxform.gMul = 0;
  it.cxform.rMul = 512;
  test::renderItems(t, 1, {it}, test::view(kFixedOne), true, Rgba{255, 255, 255, 255}, nullptr, &bitmaps);
  EXPECT_EQ(t.row(0)[0], 0xFFFF0000u);
  EXPECT_EQ(t.row(0)[9], 0xFF000000u);  // green dropped
}

}  // namespace
}  // namespace kivra
