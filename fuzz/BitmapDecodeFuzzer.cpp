// Bitmap bodies from arbitrary bytes: the first byte picks the tag (6, 8 then
// 6, 20, 21, 35, 36); the rest is the body after the character id. Decoding
// must stay inside the body and leave either a whole bitmap or none.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/render/bitmap/BitmapImage.h"
#include "core/render/bitmap/JpegDecoder.h"
#include "core/render/bitmap/LosslessDecoder.h"

namespace {

// Tag 6 needs tables: the body splits at a 16-bit length into the tag 8
// tables and the image.
void decodeWithTables(const uint8_t* body, size_t size, kivra::BitmapImage& image) {
  if (size < 2) return;
  size_t split = size_t{body[0]} | size_t{body[1]} << 8;
  body += 2;
  size -= 2;
  if (split > size) split = size;
  kivra::JpegTables tables;
  (void)tables.load(body, split);
  (void)tables.decode(body + split, size - split, image);
}

// Reads every row byte, so rows a decoder left unwritten show up under the
// memory sanitizer, and checks the shape of what came out.
void check(const kivra::BitmapImage& image) {
  if (image.empty()) return;
  if (image.rowBytes() != kivra::BitmapImage::rowBytesFor(image.format(), image.width())) std::abort();
  uint8_t sum = 0;
  for (size_t i = 0; i < image.byteCount(); ++i) sum = uint8_t(sum + image.bits()[i]);
  volatile uint8_t sink = sum;
  (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 1) return 0;
  const uint8_t* body = data + 1;
  const size_t length = size - 1;
  BitmapImage image;
  // Huge declared sizes are refused the same way at any cap; a small one
  // keeps runs fast.
  image.setMaxBytes(uint64_t{1} << 22);
  switch (data[0] % 6) {
    case 0: {
      JpegTables none;
      (void)none.decode(body, length, image);
      break;
    }
    case 1: decodeWithTables(body, length, image); break;
    case 2: (void)decodeLosslessBitmap(20, body, length, image); break;
    case 3: (void)decodeJpegBitmap(body, length, image); break;
    case 4: (void)decodeJpegAlphaBitmap(body, length, image); break;
    default: (void)decodeLosslessBitmap(36, body, length, image); break;
  }
  check(image);
  return 0;
}
