// Bitmap tags written by the kit, read back through the player's own
// decoders, and their source text form.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "core/format/TagCodes.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/LosslessDecoder.h"
#include "tools/kit/Bitmaps.h"
#include "tools/qvxs/Compiler.h"
#include "tools/qvxs/Dumper.h"

using namespace kivra;
using namespace kivra::kit;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kImageDir = std::string(KIVRA_SOURCE_DIR) + "/tests/movies/bitmap";

constexpr uint16_t kTag20 = static_cast<uint16_t>(TagCode::DefineBitsLossless);
constexpr uint16_t kTag36 = static_cast<uint16_t>(TagCode::DefineBitsLossless2);

// Five wide (rows need padding in formats 3 and 4), with transparent,
// half-transparent and opaque pixels in three colours.
RgbaImage fewColours() {
  static const uint8_t kColours[3][4] = {{200, 100, 50, 80}, {0, 255, 0, 255}, {255, 255, 255, 0}};
  RgbaImage img(5, 3);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 5; ++x) std::copy_n(kColours[(x + y) % 3], 4, img.at(x, y));
  return img;
}

// Smooth colours and a soft alpha ramp: JPEG keeps them close.
RgbaImage smooth(uint32_t w, uint32_t h) {
  RgbaImage img(w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = img.at(x, y);
      p[0] = static_cast<uint8_t>(40 + x * 160 / w);
      p[1] = static_cast<uint8_t>(200 - y * 150 / h);
      p[2] = static_cast<uint8_t>(90 + (x + y) * 60 / (w + h));
      p[3] = static_cast<uint8_t>(x * 255 / (w - 1));
    }
  return img;
}

uint8_t premul(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }
uint8_t to5(uint8_t c) { return static_cast<uint8_t>((c * 31 + 127) / 255); }

// R, G, B, A of a decoded pixel, whatever its format.
std::array<int, 4> pixelOf(const BitmapImage& b, uint32_t x, uint32_t y) {
  const uint8_t* row = b.row(y);
  switch (b.format()) {
    case kBitmapIndex8: {
      const uint8_t* e = b.palette() + row[x] * 4;
      return {e[2], e[1], e[0], e[3]};
    }
    case kBitmapRgb555: {
      const unsigned v = row[x * 2] | row[x * 2 + 1] << 8;
      return {static_cast<int>(v >> 10 & 31), static_cast<int>(v >> 5 & 31), static_cast<int>(v & 31), 255};
    }
    default:
      return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4], row[x * 4 + 3]};
  }
}

// The pixel the player should see: straight colours premultiplied, or
// opaque colours with alpha dropped; 5-bit levels for format 4.
std::array<int, 4> expectedPixel(const RgbaImage& img, uint32_t x, uint32_t y, int format, bool alpha) {
  const uint8_t* p = img.at(x, y);
  if (format == kLosslessRgb555) return {to5(p[0]), to5(p[1]), to5(p[2]), 255};
  if (!alpha) return {p[0], p[1], p[2], 255};
  return {premul(p[0], p[3]), premul(p[1], p[3]), premul(p[2], p[3]), p[3]};
}

int maxDifference(const BitmapImage& b, const RgbaImage& img, bool alpha) {
  int worst = 0;
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x) {
      const std::array<int, 4> got = pixelOf(b, x, y);
      const std::array<int, 4> want = expectedPixel(img, x, y, kLosslessArgb32, alpha);
      for (int c = 0; c < 4; ++c) worst = std::max(worst, std::abs(got[c] - want[c]));
    }
  return worst;
}

bool hasMarker(const Bytes& jpeg, uint8_t marker) {
  for (size_t i = 0; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return true;
  return false;
}

Bytes compile(const std::string& text, const std::string& baseDir = kImageDir) {
  qvxs::Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_TRUE(qvxs::compileMovie(text, out, diag, baseDir)) << diag.text();
  return out;
}

std::string errorsOf(const std::string& text) {
  qvxs::Diagnostics diag("test.qvxs");
  Bytes out;
  EXPECT_FALSE(qvxs::compileMovie(text, out, diag, kImageDir));
  return diag.text();
}

}  // namespace

TEST(Bitmaps, LosslessFormatsDecodeToTheImagePixels) {
  const RgbaImage img = fewColours();
  for (const bool alpha : {false, true}) {
    for (const int format : {3, 4, 5}) {
      SCOPED_TRACE("tag " + std::to_string(alpha ? 36 : 20) + " format " + std::to_string(format));
      LosslessData d;
      std::string error;
      ASSERT_TRUE(encodeLossless(img, format, alpha, d, error)) << error;
      const Bytes body = losslessBody(9, d);
      ASSERT_EQ(body[0] | body[1] << 8, 9);
      BitmapImage out;
      ASSERT_TRUE(decodeLosslessBitmap(alpha ? kTag36 : kTag20, body.data() + 2, body.size() - 2, out));
      EXPECT_EQ(out.format(), format);
      EXPECT_EQ(out.transparent(), alpha);
      ASSERT_EQ(out.width(), img.width);
      ASSERT_EQ(out.height(), img.height);
      if (format == 3) {
        EXPECT_EQ(out.paletteCount(), 3u);
      }
      for (uint32_t y = 0; y < img.height; ++y)
        for (uint32_t x = 0; x < img.width; ++x)
          EXPECT_EQ(pixelOf(out, x, y), expectedPixel(img, x, y, format, alpha)) << x << "," << y;
    }
  }
}

TEST(Bitmaps, LosslessRowsArePaddedAndPalettesAreLimited) {
  // Width 5 in format 3: 8 bytes a row after a 3-entry RGB palette.
  LosslessData d;
  std::string error;
  ASSERT_TRUE(encodeLossless(fewColours(), 3, false, d, error)) << error;
  Bytes raw(3 * 3 + 8 * 3 + 1);
  uLongf size = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &size, d.zlib.data(), d.zlib.size()), Z_OK);
  EXPECT_EQ(size, 3u * 3 + 8 * 3);
  EXPECT_EQ(d.colors, 3);

  RgbaImage many(17, 16);
  for (size_t i = 0; i < many.pixels.size(); i += 4) {
    many.pixels[i] = static_cast<uint8_t>(i / 4);
    many.pixels[i + 1] = static_cast<uint8_t>(i / 4 >> 8);  // 272 colours
    many.pixels[i + 3] = 255;
  }
  EXPECT_FALSE(encodeLossless(many, 3, false, d, error));
  EXPECT_NE(error.find("more than 256 colours"), std::string::npos) << error;
  EXPECT_TRUE(encodeLossless(many, 5, false, d, error)) << error;
  EXPECT_FALSE(encodeLossless(many, 2, false, d, error));
}

TEST(Bitmaps, JpegTagsDecodeCloseToTheImage) {
  const RgbaImage img = smooth(40, 24);
  RgbaImage opaque = img;
  for (size_t i = 3; i < opaque.pixels.size(); i += 4) opaque.pixels[i] = 255;
  std::string error;

  // Tag 21: a stream with its own tables.
  Bytes jpeg;
  ASSERT_TRUE(encodeJpeg(img, 92, jpeg, error)) << error;
  BitmapImage full;
  ASSERT_TRUE(decodeJpegBitmap(jpeg.data(), jpeg.size(), full));
  EXPECT_FALSE(full.transparent());
  EXPECT_LE(maxDifference(full, opaque, false), 12);

  // Tags 8 and 6: shared tables; the image stream carries none of its own.
  Bytes tables, bits;
  ASSERT_TRUE(jpegTablesData(92, tables, error)) << error;
  ASSERT_TRUE(encodeJpegWithoutTables(img, 92, bits, error)) << error;
  EXPECT_TRUE(hasMarker(tables, 0xDB) && hasMarker(tables, 0xC4));
  EXPECT_FALSE(hasMarker(bits, 0xDB) || hasMarker(bits, 0xC4));
  BitmapImage alone;
  EXPECT_FALSE(decodeJpegBitmap(bits.data(), bits.size(), alone));
  JpegTables shared;
  ASSERT_TRUE(shared.load(tables.data(), tables.size()));
  BitmapImage withTables;
  ASSERT_TRUE(shared.decode(bits.data(), bits.size(), withTables));
  EXPECT_LE(maxDifference(withTables, opaque, false), 12);

  // Tag 35: premultiplied colours and an exact alpha plane.
  Bytes colours, alpha;
  ASSERT_TRUE(encodeJpegAlpha(img, 92, colours, alpha, error)) << error;
  const Bytes body = jpegAlphaBody(4, colours, alpha);
  BitmapImage withAlpha;
  ASSERT_TRUE(decodeJpegAlphaBitmap(body.data() + 2, body.size() - 2, withAlpha));
  EXPECT_TRUE(withAlpha.transparent());
  EXPECT_LE(maxDifference(withAlpha, img, true), 12);
  for (uint32_t y = 0; y < img.height; ++y)
    for (uint32_t x = 0; x < img.width; ++x) ASSERT_EQ(pixelOf(withAlpha, x, y)[3], img.at(x, y)[3]);

  EXPECT_FALSE(encodeJpeg(RgbaImage(), 85, jpeg, error));
}

TEST(Bitmaps, ImageFilesReadBack) {
  RgbaImage soft;
  std::string error;
  ASSERT_TRUE(readImageFile(kImageDir + "/soft.png", soft, error)) << error;
  EXPECT_EQ(soft.width, 24u);
  EXPECT_FALSE(soft.opaque());
  // PNG written and read again gives the same pixels.
  Bytes png;
  ASSERT_TRUE(encodePng(soft, png, error)) << error;
  RgbaImage again;
  ASSERT_TRUE(decodeImage(png, again, error)) << error;
  EXPECT_EQ(again.pixels, soft.pixels);
  RgbaImage photo;
  ASSERT_TRUE(readImageFile(kImageDir + "/photo.jpg", photo, error)) << error;
  EXPECT_EQ(photo.width, 40u);
  EXPECT_TRUE(photo.opaque());
  EXPECT_FALSE(readImageFile(kImageDir + "/bitmap_tags.qvxs", photo, error));
  EXPECT_FALSE(readImageFile(kImageDir + "/missing.png", photo, error));
}

TEST(Bitmaps, SourceDumpSourceGivesTheSameBytes) {
  const std::string source = R"(movie version=8 size=100x80
jpegtables quality=70
lossless 1 "tiles.png" format=3
lossless 2 "gradient.png" format=4
lossless 3 "gradient.png"
lossless2 4 "tiles.png" format=3
lossless2 5 "soft.png" format=4
lossless2 6 "soft.png" format=5
jpeg 7 "photo.jpg"
jpeg 8 "soft.png" quality=60
bits 9 "gradient.png" quality=70
jpeg3 10 "soft.png"
lossless 11 format=5 size=0x0 zlib=
jpeg3 12 data=ffd8ffd9 alpha=
showframe
)";
  const Bytes movie = compile(source);
  std::string text, error;
  qvxs::DumpStats stats;
  ASSERT_TRUE(qvxs::dumpMovie(movie, text, error, &stats)) << error;
  EXPECT_EQ(stats.rawTags, 0) << text;
  EXPECT_NE(text.find("lossless 1 format=3 size=12x10 colors=4 zlib="), std::string::npos) << text;
  EXPECT_NE(text.find("jpegtables data=ffd8"), std::string::npos);
  // The dump needs no files: it compiles anywhere.
  EXPECT_EQ(compile(text, "/nonexistent"), movie);

  // A JPEG file given without a quality goes in as it is.
  Bytes file;
  ASSERT_TRUE(readFileBytes(kImageDir + "/photo.jpg", file, error));
  std::string hex;
  for (uint8_t b : file) {
    static const char* kDigits = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  EXPECT_NE(text.find("jpeg 7 data=" + hex + "\n"), std::string::npos);

  // Bodies the text forms cannot give back stay raw: a JPEG length past the
  // end, a lossless header cut short.
  const Bytes odd = compile("movie\nraw 35 0100ffffff00ffd8\nraw 20 020005\nshowframe\n");
  ASSERT_TRUE(qvxs::dumpMovie(odd, text, error, &stats)) << error;
  EXPECT_EQ(stats.rawTags, 2) << text;
  EXPECT_EQ(compile(text), odd);
}

TEST(Bitmaps, BadBitmapLinesAreReportedWithTheirLine) {
  EXPECT_EQ(errorsOf("movie\nshowframe\nlossless 1 \"missing.png\"\n"),
            "test.qvxs:3: cannot read image file \"missing.png\"\n");
  EXPECT_NE(errorsOf("movie\njpeg3 2 \"bitmap_tags.qvxs\"\n").find("test.qvxs:2: \"bitmap_tags.qvxs\" is not a readable image"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\n\nlossless 3 \"gradient.png\" format=3\n").find("test.qvxs:3: the image has more than 256 colours"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nbits 4 \"gradient.png\"\n").find("test.qvxs:2: bits from a file needs a 'jpegtables"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\njpegtables quality=50\nbits 4 \"gradient.png\" quality=60\n")
                .find("test.qvxs:3: bits quality=60 differs from the quality 50"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nlossless 5 \"tiles.png\" format=6\n").find("test.qvxs:2: format 6 is out of range"),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\nlossless 6 format=3 size=2x2 zlib=00\n").find("test.qvxs:2: formats up to 3 need colors="),
            std::string::npos);
  EXPECT_NE(errorsOf("movie\njpeg 7 data=0g\n").find("test.qvxs:2: data= must be hex bytes"), std::string::npos);
}
