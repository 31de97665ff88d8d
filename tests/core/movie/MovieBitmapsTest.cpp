// Bitmap characters in a playing movie: decoded when a fill first draws
// them, painted in their own colours (tag 36 colours taken as
// premultiplied), released when no lock holds them and decoded again to
// the same pixels; a tag 6 image without shared tables paints the fill's
// fallback red.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

using test::TestPlayer;

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02x ", v);
    s += b;
  }
  return s;
}

// A lossless tag body: id, format, size, [palette size - 1], zlib data.
std::string lossless(int tag, uint16_t id, int format, int w, int h, int paletteCount, const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> body{uint8_t(id), uint8_t(id >> 8), uint8_t(format), uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                            uint8_t(h >> 8)};
  if (paletteCount) body.push_back(uint8_t(paletteCount - 1));
  uLongf size = compressBound(raw.size());
  std::vector<uint8_t> z(size);
  EXPECT_EQ(compress(z.data(), &size, raw.data(), raw.size()), Z_OK);
  body.insert(body.end(), z.begin(), z.begin() + long(size));
  return "raw " + std::to_string(tag) + " " + hex(body) + "\n";
}

// A 40 x 40 px square filled with bitmap `id`, one bitmap pixel per 10 px.
std::string filledSquare(int shapeId, int bitmapId) {
  return "shape3 " + std::to_string(shapeId) + " {\n fill bitmap " + std::to_string(bitmapId) +
         " clipped nosmooth scale=200,200\n style moveto=0,0 fill1=1\n lineto 800,0\n lineto 800,800\n"
         " lineto 0,800\n lineto 0,0\n}\n";
}

uint32_t at(TestPlayer& p, int x, int y) { return p.render().row(y)[x] | 0xFF000000u; }

TEST(MovieBitmaps, DecodeOnUseReleaseAndDecodeAgain) {
  // Format 3, 5 wide (8 bytes a row): palette red, green, blue.
  std::vector<uint8_t> indexedRaw{255, 0, 0, 0, 255, 0, 0, 0, 255};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) indexedRaw.push_back(uint8_t(x < 5 ? (x + y) % 3 : 7));
  // Format 4, 2 x 2: the file's 16-bit pixels are big endian.
  const std::vector<uint8_t> rgb555{0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0x7F, 0xFF};
  // Format 5 with alpha, 1 x 1: A 128, R 128 (50% red, premultiplied).
  const std::vector<uint8_t> rgba{128, 128, 0, 0};
  std::string src = "movie size=550x400\nbackground #ffffff\n";
  src += lossless(20, 1, 3, 5, 4, 3, indexedRaw);
  src += lossless(20, 2, 4, 2, 2, 0, rgb555);
  src += lossless(36, 3, 5, 1, 1, 0, rgba);
  src += "raw 6 04 00 ff d8 ff d9\n";  // no tables in the movie
  src += filledSquare(11, 1) + filledSquare(12, 2) + filledSquare(13, 3) + filledSquare(14, 4);
  src += "place2 1 id=11\nplace2 2 id=12 at=1000,0\nplace2 3 id=13 at=2000,0\nplace2 4 id=14 at=3000,0\nshowframe\n";
  TestPlayer p;
  p.load(test::compile(src));

  // Formats 3, 4 and 5 in their colours; tag 6 without tables in red.
  EXPECT_EQ(at(p, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(at(p, 15, 5), 0xFF00FF00u);
  EXPECT_EQ(at(p, 5, 15), 0xFF00FF00u);
  EXPECT_EQ(at(p, 55, 5), 0xFFFF0000u);
  EXPECT_EQ(at(p, 65, 5), 0xFF00FF00u);
  EXPECT_EQ(at(p, 55, 15), 0xFF0000FFu);
  EXPECT_EQ(at(p, 65, 15), 0xFFFFFFFFu);
  EXPECT_EQ(at(p, 105, 5), 0xFFFF7F7Fu);  // 50% red over white
  EXPECT_EQ(at(p, 155, 5), 0xFFFF0000u);
  std::vector<uint32_t> first;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) first.push_back(at(p, x, y));

  // Between frames nothing holds the pixels: all of them can go, and the
  // next repaint decodes them again. A lock keeps them.
  EXPECT_EQ(p.releaseUnlockedBitmaps(), 32u + 8u + 4u);
  {
    BitmapLock lock(p.level0()->bitmaps().bitmap(1));
    ASSERT_FALSE(lock.image()->empty());
    EXPECT_EQ(p.releaseUnlockedBitmaps(), 0u);
    p.redrawAll();
    p.render();
    EXPECT_EQ(p.releaseUnlockedBitmaps(), 8u + 4u);
  }
  p.redrawAll();
  p.render();
  std::vector<uint32_t> again;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) again.push_back(at(p, x, y));
  EXPECT_EQ(again, first);
}

}  // namespace
}  // namespace kivra
