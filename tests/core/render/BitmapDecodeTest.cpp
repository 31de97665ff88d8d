#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#include "core/render/bitmap/BitmapImage.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/LosslessDecoder.h"

namespace kivra {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes zlibBytes(const Bytes& raw, int level = 9) {
  uLongf size = compressBound(raw.size());
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, raw.data(), raw.size(), level), Z_OK);
  out.resize(size);
  return out;
}

// A tag 20/36 body after the id: the palette bytes (if any) precede the rows
// in one zlib stream.
Bytes losslessBody(uint8_t format, uint16_t width, uint16_t height, int paletteCount,
                   const Bytes& raw, int level = 9) {
  Bytes body = {format, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8)};
  if (paletteCount > 0) body.push_back(uint8_t(paletteCount - 1));
  const Bytes z = zlibBytes(raw, level);
  body.insert(body.end(), z.begin(), z.end());
  return body;
}

// One colour all over: JPEG loses little on flat areas at top quality.
Bytes flatPixels(int width, int height, const Bytes& colour) {
  Bytes pixels;
  for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), colour.begin(), colour.end());
  return pixels;
}

// Compresses with libjpeg; with `tables` the tables go there and the image
// stream leaves them out (the tag 8 / tag 6 split).
Bytes jpegBytes(int width, int height, J_COLOR_SPACE space, const Bytes& colour,
                Bytes* tables = nullptr) {
  const Bytes pixels = flatPixels(width, height, colour);
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  c.image_width = width;
  c.image_height = height;
  c.input_components = int(colour.size());
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (tables) {
    jpeg_mem_dest(&c, &buffer, &size);
    jpeg_write_tables(&c);
    tables->assign(buffer, buffer + size);
    std::free(buffer);
    buffer = nullptr;
    size = 0;
  }
  jpeg_mem_dest(&c, &buffer, &size);
  jpeg_start_compress(&c, tables ? FALSE : TRUE);
  const int stride = width * int(colour.size());
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(pixels.data() + c.next_scanline * stride);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

struct HookCount {
  int calls = 0;
  ReleasePixelsHook hook() {
    return ReleasePixelsHook{[](void* self) { ++static_cast<HookCount*>(self)->calls; }, this};
  }
};

// Every pixel of a format-5 image is near B, G, R, A.
void expectAllNear(const BitmapImage& image, int b, int g, int r, int a, int slack) {
  ASSERT_FALSE(image.empty());
  ASSERT_EQ(image.format(), kBitmapBgra32);
  for (uint32_t y = 0; y < image.height(); ++y)
    for (uint32_t x = 0; x < image.width(); ++x) {
      const uint8_t* p = image.row(y) + x * 4;
      ASSERT_NEAR(p[0], b, slack) << x << "," << y;
      ASSERT_NEAR(p[1], g, slack) << x << "," << y;
      ASSERT_NEAR(p[2], r, slack) << x << "," << y;
      ASSERT_EQ(p[3], a) << x << "," << y;
    }
}

Bytes pixelsOf(const BitmapImage& image) {
  return Bytes(image.bits(), image.bits() + image.byteCount());
}

TEST(BitmapImage, RowBytesPadEachFormatTo32Bits) {
  struct Case {
    int format;
    uint32_t width;
    uint32_t rowBytes;
  };
  const Case cases[] = {
      {0, 1, 4}, {0, 5, 4},  {0, 33, 8},  {1, 5, 4},  {1, 17, 8},  {2, 5, 4},   {2, 9, 8},
      {3, 5, 8}, {3, 8, 8},  {3, 9, 12},  {4, 1, 4},  {4, 3, 8},   {4, 4, 8},   {5, 5, 20},
      {5, 1, 4}, {2, 33, 20}, {4, 33, 68}, {3, 33, 36}, {1, 33, 12},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BitmapImage::rowBytesFor(c.format, c.width), c.rowBytes)
        << "format " << c.format << " width " << c.width;
  EXPECT_EQ(BitmapImage::rowBytesFor(6, 5), 0u);

  BitmapImage image;
  ASSERT_TRUE(image.create(kBitmapIndex8, 5, 3));
  EXPECT_EQ(image.rowBytes(), 8u);
  EXPECT_EQ(image.byteCount(), 24u);
  EXPECT_EQ(image.row(2) - image.row(0), 16);
}

TEST(BitmapImage, LockedPixelsSurviveReleaseAndHugeImagesAreRefused) {
  BitmapImage image;
  ASSERT_TRUE(image.create(kBitmapIndex8, 4, 4));
  image.setPaletteEntry(0, 1, 2, 3, 255);
  image.setPaletteCount(1);
  EXPECT_EQ(image.lock(), image.bits());
  EXPECT_FALSE(image.release());
  EXPECT_FALSE(image.empty());
  EXPECT_EQ(image.paletteCount(), 1u);
  image.unlock();
  EXPECT_EQ(image.lockCount(), 0);
  EXPECT_TRUE(image.release());
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(image.palette(), nullptr);
  EXPECT_EQ(image.paletteCount(), 0u);

  // Exactly 256 MB is allowed; a row more is not, and nothing is allocated.
  EXPECT_EQ(BitmapImage::bytesNeeded(kBitmapBgra32, 8192, 8192), BitmapImage::kMaxBytes);
  EXPECT_FALSE(image.create(kBitmapBgra32, 8192, 8193));
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(image.create(kBitmapBgra32, 0, 10));
  EXPECT_FALSE(image.create(7, 10, 10));
  EXPECT_TRUE(image.empty());
  // Declared by a tag: 65535 x 65535 x 4 bytes is refused before inflating.
  const Bytes huge = losslessBody(5, 65535, 65535, 0, Bytes(64, 0xFF));
  EXPECT_FALSE(decodeLosslessBitmap(36, huge.data(), huge.size(), image));
  EXPECT_TRUE(image.empty());
}

TEST(LosslessDecoder, IndexedRowsCarryTheirPaddingAndPalettesBecomeBgra) {
  // Width 5, format 3: 8 bytes per row in the stream.
  Bytes raw = {10, 20, 30, 40, 50, 60};  // two RGB entries
  const Bytes rows = {0, 1, 0, 1, 1, 0xEE, 0xEE, 0xEE, 1, 1, 0, 0, 1, 0xEE, 0xEE, 0xEE};
  raw.insert(raw.end(), rows.begin(), rows.end());
  const Bytes body = losslessBody(3, 5, 2, 2, raw);
  BitmapImage image;
  ASSERT_TRUE(decodeLosslessBitmap(20, body.data(), body.size(), image));
  EXPECT_EQ(image.format(), kBitmapIndex8);
  EXPECT_EQ(image.width(), 5u);
  EXPECT_EQ(image.height(), 2u);
  EXPECT_EQ(image.rowBytes(), 8u);
  EXPECT_FALSE(image.transparent());
  EXPECT_EQ(pixelsOf(image), rows);
  ASSERT_EQ(image.paletteCount(), 2u);
  EXPECT_EQ(Bytes(image.palette(), image.palette() + 8), (Bytes{30, 20, 10, 255, 60, 50, 40, 255}));

  // Tag 36 palettes carry alpha.
  Bytes rgba = {10, 20, 30, 40};
  rgba.insert(rgba.end(), {0, 0, 0, 0});
  const Bytes body36 = losslessBody(3, 1, 1, 1, rgba);
  ASSERT_TRUE(decodeLosslessBitmap(36, body36.data(), body36.size(), image));
  EXPECT_TRUE(image.transparent());
  EXPECT_EQ(Bytes(image.palette(), image.palette() + 4), (Bytes{30, 20, 10, 40}));
}

TEST(LosslessDecoder, DirectFormatsSwapIntoNativeOrder) {
  // Format 4, width 3: 6 pixel bytes and 2 padding per row. 0x7C00 is pure red.
  const Bytes rows16 = {0x7C, 0x00, 0x03, 0xE0, 0x00, 0x1F, 0xAB, 0xCD};
  const Bytes body16 = losslessBody(4, 3, 1, 0, rows16);
  BitmapImage image;
  ASSERT_TRUE(decodeLosslessBitmap(20, body16.data(), body16.size(), image));
  EXPECT_EQ(image.format(), kBitmapRgb555);
  EXPECT_EQ(image.rowBytes(), 8u);
  EXPECT_EQ(Bytes(image.bits(), image.bits() + 6), (Bytes{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}));
  uint16_t first;
  std::memcpy(&first, image.bits(), 2);
  EXPECT_EQ(first, 0x7C00);

  // Format 5: file A, R, G, B becomes B, G, R, A, not premultiplied again.
  const Bytes rows32 = {128, 128, 0, 0, 255, 1, 2, 3};
  const Bytes body32 = losslessBody(5, 2, 1, 0, rows32);
  ASSERT_TRUE(decodeLosslessBitmap(36, body32.data(), body32.size(), image));
  EXPECT_TRUE(image.transparent());
  EXPECT_EQ(image.rowBytes(), 8u);
  EXPECT_EQ(pixelsOf(image), (Bytes{0, 0, 128, 128, 3, 2, 1, 255}));

  // Release and decode again: the same pixels.
  const Bytes first32 = pixelsOf(image);
  EXPECT_TRUE(image.release());
  ASSERT_TRUE(decodeLosslessBitmap(36, body32.data(), body32.size(), image));
  EXPECT_EQ(pixelsOf(image), first32);
}

TEST(LosslessDecoder, RowsAStreamDoesNotReachAreCleared) {
  // Stored (level 0) zlib: 2 header bytes and a 5-byte block header, then the
  // bytes as they are, so a cut gives a known number of rows.
  const int width = 64, height = 64;
  const Bytes full = losslessBody(5, width, height, 0, Bytes(width * height * 4, 0xFF), 0);
  const size_t headerBytes = 5, zlibLead = 7, kept = 1000;
  Bytes cut(full.begin(), full.begin() + headerBytes + zlibLead + kept);

  BitmapImage image;
  // Fill the heap block a same-sized image will likely get with non-zero bytes.
  ASSERT_TRUE(decodeLosslessBitmap(36, full.data(), full.size(), image));
  EXPECT_TRUE(image.release());
  ASSERT_TRUE(decodeLosslessBitmap(36, cut.data(), cut.size(), image));
  const Bytes pixels = pixelsOf(image);
  ASSERT_EQ(pixels.size(), size_t(width * height * 4));
  for (size_t i = 0; i < kept; ++i) ASSERT_EQ(pixels[i], 0xFF) << i;
  for (size_t i = kept; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], 0) << i;

  // A stream that stops inside the palette: missing entries are black, every
  // row is index 0.
  Bytes raw = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  raw.resize(raw.size() + 8 * 4, 3);
  const Bytes indexed = losslessBody(3, 5, 4, 4, raw, 0);
  Bytes indexedCut(indexed.begin(), indexed.begin() + 6 + zlibLead + 6);
  ASSERT_TRUE(decodeLosslessBitmap(20, indexedCut.data(), indexedCut.size(), image));
  EXPECT_EQ(Bytes(image.palette(), image.palette() + 16),
            (Bytes{3, 2, 1, 255, 6, 5, 4, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(pixelsOf(image), Bytes(32, 0));

  // Not zlib at all: a picture of index 0 / transparent black.
  const Bytes garbage = {5, 2, 0, 2, 0, 0x12, 0x34, 0x56};
  ASSERT_TRUE(decodeLosslessBitmap(36, garbage.data(), garbage.size(), image));
  EXPECT_EQ(pixelsOf(image), Bytes(16, 0));

  // Cut inside the header, or an unknown format: no bitmap.
  for (size_t n = 0; n < 6; ++n) {
    EXPECT_FALSE(decodeLosslessBitmap(20, indexed.data(), n, image)) << n;
    EXPECT_TRUE(image.empty());
  }
  Bytes badFormat = full;
  badFormat[0] = 6;
  EXPECT_FALSE(decodeLosslessBitmap(20, badFormat.data(), badFormat.size(), image));
  EXPECT_TRUE(image.empty());
}

TEST(JpegDecoder, GreyRgbAndFourComponentImagesBecomeBgra) {
  BitmapImage image;
  HookCount hook;
  const Bytes grey = jpegBytes(16, 16, JCS_GRAYSCALE, {77});
  ASSERT_TRUE(decodeJpegBitmap(grey.data(), grey.size(), image, hook.hook()));
  EXPECT_FALSE(image.transparent());
  EXPECT_EQ(image.width(), 16u);
  EXPECT_EQ(image.height(), 16u);
  expectAllNear(image, 77, 77, 77, 255, 1);
  for (uint32_t y = 0; y < 16; ++y) {
    const uint8_t* p = image.row(y);
    ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
  }

  const Bytes rgb = jpegBytes(24, 8, JCS_RGB, {200, 100, 50});
  ASSERT_TRUE(decodeJpegBitmap(rgb.data(), rgb.size(), image, hook.hook()));
  EXPECT_EQ(image.width(), 24u);
  expectAllNear(image, 50, 100, 200, 255, 3);
  const Bytes again = pixelsOf(image);
  EXPECT_TRUE(image.release());
  ASSERT_TRUE(decodeJpegBitmap(rgb.data(), rgb.size(), image, hook.hook()));
  EXPECT_EQ(pixelsOf(image), again);

  // Each colour is (255 - K/2) - C: C 40, M 200, Y 0, K 100.
  const Bytes cmyk = jpegBytes(8, 8, JCS_CMYK, {40, 200, 0, 100});
  ASSERT_TRUE(decodeJpegBitmap(cmyk.data(), cmyk.size(), image, hook.hook()));
  expectAllNear(image, 205, 5, 165, 255, 3);
  // Results below zero clamp.
  const Bytes dark = jpegBytes(8, 8, JCS_CMYK, {255, 255, 130, 255});
  ASSERT_TRUE(decodeJpegBitmap(dark.data(), dark.size(), image, hook.hook()));
  expectAllNear(image, 0, 0, 0, 255, 0);
  EXPECT_EQ(hook.calls, 0);
}

TEST(JpegDecoder, AlphaPlaneClampsColoursAndMarksTransparency) {
  const Bytes jpeg = jpegBytes(8, 8, JCS_RGB, {200, 100, 50});
  Bytes body = {uint8_t(jpeg.size()), uint8_t(jpeg.size() >> 8), 0, 0};
  body.insert(body.end(), jpeg.begin(), jpeg.end());
  const Bytes alpha = zlibBytes(Bytes(64, 80));
  body.insert(body.end(), alpha.begin(), alpha.end());
  BitmapImage image;
  ASSERT_TRUE(decodeJpegAlphaBitmap(body.data(), body.size(), image));
  EXPECT_TRUE(image.transparent());
  expectAllNear(image, 50, 80, 80, 80, 3);
  for (uint32_t y = 0; y < 8; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      ASSERT_EQ(image.row(y)[x * 4 + 1], 80);
      ASSERT_EQ(image.row(y)[x * 4 + 2], 80);
    }

  // A length beyond the body, or a body too short for it: no crash.
  Bytes lying = body;
  lying[2] = 0x7F;
  EXPECT_TRUE(decodeJpegAlphaBitmap(lying.data(), lying.size(), image) || image.empty());
  for (size_t n = 0; n < 6; ++n) EXPECT_FALSE(decodeJpegAlphaBitmap(body.data(), n, image));
  EXPECT_TRUE(image.empty());
}

TEST(JpegDecoder, SharedTablesDecodeTablelessImages) {
  Bytes tables;
  const Bytes image6 = jpegBytes(16, 16, JCS_RGB, {20, 180, 90}, &tables);
  BitmapImage image;
  HookCount hook;

  JpegTables none;
  EXPECT_FALSE(none.loaded());
  EXPECT_FALSE(none.decode(image6.data(), image6.size(), image, hook.hook()));
  EXPECT_TRUE(image.empty());

  // Without the tables the stream alone cannot be decoded: one retry after
  // releasing pixels, then nothing.
  EXPECT_FALSE(decodeJpegBitmap(image6.data(), image6.size(), image, hook.hook()));
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(hook.calls, 1);

  JpegTables shared;
  ASSERT_TRUE(shared.load(tables.data(), tables.size()));
  ASSERT_TRUE(shared.decode(image6.data(), image6.size(), image));
  EXPECT_FALSE(image.transparent());
  expectAllNear(image, 90, 180, 20, 255, 3);
  // The tables outlive a decode, and a decode that fails part-way.
  ASSERT_FALSE(shared.decode(image6.data(), image6.size() / 2, image));
  EXPECT_TRUE(image.empty());
  ASSERT_TRUE(shared.decode(image6.data(), image6.size(), image));
  expectAllNear(image, 90, 180, 20, 255, 3);

  // Only the first tag 8 counts; a failed one leaves no shared decoder.
  const Bytes junk = {0x12, 0x34, 0x56};
  JpegTables bad;
  EXPECT_FALSE(bad.load(junk.data(), junk.size()));
  EXPECT_FALSE(bad.loaded());
  EXPECT_FALSE(bad.load(tables.data(), tables.size()));
  EXPECT_FALSE(bad.decode(image6.data(), image6.size(), image));
  EXPECT_TRUE(shared.load(junk.data(), junk.size()));
}

TEST(JpegDecoder, CutOrCorruptStreamsGiveEmptyBitmaps) {
  const Bytes jpeg = jpegBytes(32, 32, JCS_RGB, {10, 200, 30});
  BitmapImage image;
  HookCount hook;
  // Cut inside the scan data (the tables take most of a flat image's bytes):
  // rows have come, so no retry and no pixels.
  Bytes half(jpeg.begin(), jpeg.end() - 8);
  EXPECT_FALSE(decodeJpegBitmap(half.data(), half.size(), image, hook.hook()));
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(hook.calls, 0);
  // Not a JPEG: fails before any output, so one retry.
  const Bytes junk(200, 0x5A);
  EXPECT_FALSE(decodeJpegBitmap(junk.data(), junk.size(), image, hook.hook()));
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(hook.calls, 1);
  EXPECT_FALSE(decodeJpegBitmap(nullptr, 0, image));

  // Every cut and a sweep of flipped bytes: never a crash; a cut stream never
  // gives pixels.
  for (size_t n = 0; n + 2 < jpeg.size(); n += 3) {
    Bytes cut(jpeg.begin(), jpeg.begin() + n);
    EXPECT_FALSE(decodeJpegBitmap(cut.data(), cut.size(), image)) << n;
    EXPECT_TRUE(image.empty());
  }
  for (size_t i = 0; i < jpeg.size(); i += 5) {
    Bytes flipped = jpeg;
    flipped[i] ^= 0xA5;
    if (!decodeJpegBitmap(flipped.data(), flipped.size(), image)) {
      EXPECT_TRUE(image.empty());
    }
  }
}

}  // namespace
}  // namespace kivra
