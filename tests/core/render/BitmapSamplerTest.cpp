// Bitmap fills read every internal format as it lies in memory (padded
// rows, packed indices, 5-5-5 colours), and the direct row copy of opaque
// 1:1 bitmaps gives the pixels of the general sampler, tiled and clipped.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "tests/core/render/RenderTestSupport.h"

namespace kivra {
namespace {

class Images : public BitmapSource {
 public:
  std::shared_ptr<BitmapImage> bitmap(uint16_t id) override {
    auto it = images.find(id);
    return it == images.end() ? nullptr : it->second;
  }
  std::map<uint16_t, std::shared_ptr<BitmapImage>> images;
};

constexpr uint32_t kPalette[4] = {0xFFFF0000u, 0xFF0000FFu, 0xFF00FF00u, 0xFF808080u};

std::shared_ptr<BitmapImage> indexed(int format, int w, int h, const std::vector<uint8_t>& rows) {
  auto image = std::make_shared<BitmapImage>();
  EXPECT_TRUE(image->create(format, uint32_t(w), uint32_t(h)));
  EXPECT_EQ(rows.size(), image->byteCount()) << "format " << format;
  std::copy(rows.begin(), rows.end(), image->bits());
  for (uint32_t i = 0; i < 4; ++i)
    image->setPaletteEntry(i, uint8_t(kPalette[i] >> 16), uint8_t(kPalette[i] >> 8), uint8_t(kPalette[i]), 255);
  image->setPaletteCount(4);
  return image;
}

// Draws bitmap `id` at one bitmap pixel per device pixel, offset by
// (dx, dy) pixels, over a w x h pixel rectangle.
RenderTarget draw(Images& images, uint16_t id, int w, int h, bool clipped, int dx = 0, int dy = 0,
                  PixelFormat format = PixelFormat::Bgra32, int factor = 4) {
  kit::ShapeBuilder b;
  MATRIX m;
  m.a = m.d = 20 * kFixedOne;
  m.tx = dx * 20;
  m.ty = dy * 20;
  const uint32_t f = b.addFill(kit::FillStyle::bitmap(id, m, clipped, false));
  b.rect(0, 0, w * 20, h * 20, f);
  test::DrawItem it;
  it.body = test::shapeBody(b);
  RenderTarget t;
  EXPECT_TRUE(t.create(w, h, format));
  test::renderItems(t, factor, {it}, test::view(kFixedOne / 20), true, Rgba{255, 255, 255, 255}, nullptr, &images);
  return t;
}

uint32_t pixelAt(const RenderTarget& t, int x, int y) {
  ExpandedPixel p[1];
  t.readChunk(x, y, 1, p);
  return packArgb(p[0]) | 0xFF000000u;
}

TEST(BitmapSampler, ReadsEveryInternalFormatFromItsPaddedRows) {
  Images images;
  // 1-bit, 5 wide: 4 bytes a row.
  images.images[1] = indexed(kBitmapIndex1, 5, 2, {0xB0, 0, 0, 0, 0x48, 0, 0, 0});
  // 2-bit, 3 wide: indices 3 1 2 / 0 0 1.
  images.images[2] = indexed(kBitmapIndex2, 3, 2, {0xD8, 0, 0, 0, 0x04, 0, 0, 0});
  // 4-bit, 3 wide: indices 2 3 1 / 1 0 2.
  images.images[3] = indexed(kBitmapIndex4, 3, 2, {0x23, 0x10, 0, 0, 0x10, 0x20, 0, 0});
  // 8-bit, 5 wide: 8 bytes a row, the padding never read.
  images.images[4] = indexed(kBitmapIndex8, 5, 2, {0, 1, 2, 3, 0, 9, 9, 9, 3, 3, 2, 1, 0, 9, 9, 9});
  const std::map<uint16_t, std::vector<std::vector<int>>> expected = {
      {1, {{1, 0, 1, 1, 0}, {0, 1, 0, 0, 1}}},
      {2, {{3, 1, 2}, {0, 0, 1}}},
      {3, {{2, 3, 1}, {1, 0, 2}}},
      {4, {{0, 1, 2, 3, 0}, {3, 3, 2, 1, 0}}},
  };
  for (const auto& [id, rows] : expected) {
    const int w = int(rows[0].size());
    const RenderTarget t = draw(images, id, w, 2, true);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x)
        EXPECT_EQ(pixelAt(t, x, y), kPalette[rows[y][x]]) << "bitmap " << id << " at " << x << "," << y;
  }

  // 5-5-5, 3 wide (8 bytes a row): red, green, blue / mid grey, black, white;
  // every 5-bit channel widens to 8 bits by repeating its top bits.
  auto rgb = std::make_shared<BitmapImage>();
  ASSERT_TRUE(rgb->create(kBitmapRgb555, 3, 2));
  ASSERT_EQ(rgb->rowBytes(), 8u);
  const uint16_t px[2][3] = {{0x7C00, 0x03E0, 0x001F}, {0x4210, 0x0000, 0x7FFF}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      rgb->row(uint32_t(y))[2 * x] = uint8_t(px[y][x]);
      rgb->row(uint32_t(y))[2 * x + 1] = uint8_t(px[y][x] >> 8);
    }
  images.images[5] = rgb;
  const RenderTarget t = draw(images, 5, 3, 2, true);
  EXPECT_EQ(pixelAt(t, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(pixelAt(t, 1, 0), 0xFF00FF00u);
  EXPECT_EQ(pixelAt(t, 2, 0), 0xFF0000FFu);
  EXPECT_EQ(pixelAt(t, 0, 1), 0xFF848484u);  // 16 -> 132
  EXPECT_EQ(pixelAt(t, 1, 1), 0xFF000000u);
  EXPECT_EQ(pixelAt(t, 2, 1), 0xFFFFFFFFu);
}

TEST(BitmapSampler, DirectRowCopiesMatchTheSamplerTiledAndClipped) {
  Images images;
  std::vector<uint32_t> src(7 * 3);
  for (size_t i = 0; i < src.size(); ++i) src[i] = 0xFF000000u | uint32_t(i * 0x0B1D37u);
  images.images[9] = test::argbImage(7, 3, src.data(), false);
  for (bool clipped : {false, true}) {
    for (int factor : {1, 4}) {
      // A 32-bit target takes the direct copy; a 24-bit one the sampler.
      const RenderTarget direct = draw(images, 9, 40, 12, clipped, -3, 2, PixelFormat::Bgra32, factor);
      const RenderTarget sampled = draw(images, 9, 40, 12, clipped, -3, 2, PixelFormat::Bgr24, factor);
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x) {
          const int sx = clipped ? std::clamp(x + 3, 0, 6) : (x + 3) % 7;
          const int sy = clipped ? std::clamp(y - 2, 0, 2) : ((y - 2) % 3 + 3) % 3;
          ASSERT_EQ(pixelAt(direct, x, y), src[size_t(sy * 7 + sx)])
              << "clipped " << clipped << " factor " << factor << " at " << x << "," << y;
          ASSERT_EQ(pixelAt(sampled, x, y), pixelAt(direct, x, y)) << x << "," << y;
        }
    }
  }
}

}  // namespace
}  // namespace kivra
