#include "core/render/bitmap/LosslessDecoder.h"

#include <cstring>

#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"

namespace kivra {

namespace {

constexpr uint16_t kTagRgba = static_cast<uint16_t>(TagCode::DefineBitsLossless2);

// The movie stores 16-bit pixels big endian and 32-bit pixels as A, R, G, B.
void convertRows(BitmapImage& image) {
  uint8_t* bits = image.bits();
  const size_t count = image.byteCount();
  if (image.format() == kBitmapRgb555) {
    for (size_t i = 0; i + 1 < count; i += 2) {
      const uint8_t hi = bits[i];
      bits[i] = bits[i + 1];
      bits[i + 1] = hi;
    }
  } else if (image.format() == kBitmapBgra32) {
    for (size_t i = 0; i + 3 < count; i += 4) {
      const uint8_t a = bits[i], r = bits[i + 1], g = bits[i + 2], b = bits[i + 3];
      bits[i] = b;
      bits[i + 1] = g;
      bits[i + 2] = r;
      bits[i + 3] = a;
    }
  }
}

}  // namespace

size_t inflateBitmapBytes(Inflater& inflater, const uint8_t*& in, size_t& inCount, uint8_t* out,
                          size_t room) {
  size_t produced = 0;
  while (produced < room && !inflater.finished()) {
    size_t consumed = 0;
    const size_t made =
        inflater.inflate(in, inCount, &consumed, out + produced, room - produced);
    in += consumed;
    inCount -= consumed;
    produced += made;
    if (made == 0 && consumed == 0) break;
  }
  return produced;
}

bool decodeLosslessBitmap(uint16_t tagCode, const uint8_t* body, size_t length, BitmapImage& out) {
  out.release();
  if (!body || length > INT64_MAX) return false;
  TagCursor cursor(body, static_cast<int64_t>(length));
  const int format = cursor.readU8();
  const uint32_t width = cursor.readU16();
  const uint32_t height = cursor.readU16();
  const uint32_t paletteCount = format <= kBitmapIndex8 ? cursor.readU8() + 1u : 0;
  if (cursor.overrun() || format > kBitmapBgra32) return false;
  if (!out.create(format, width, height)) return false;
  out.setTransparent(tagCode == kTagRgba);

  const uint8_t* in = body + cursor.position();
  size_t inCount = length - static_cast<size_t>(cursor.position());
  Inflater inflater;
  if (paletteCount > 0) {
    const size_t entryBytes = tagCode == kTagRgba ? 4 : 3;
    uint8_t raw[BitmapImage::kPaletteEntries * 4] = {};
    // Entries the stream did not reach stay clear.
    (void)inflateBitmapBytes(inflater, in, inCount, raw, paletteCount * entryBytes);
    for (uint32_t i = 0; i < paletteCount; ++i) {
      const uint8_t* e = raw + i * entryBytes;
      out.setPaletteEntry(i, e[0], e[1], e[2], entryBytes == 4 ? e[3] : 255);
    }
    out.setPaletteCount(paletteCount);
  }
  const size_t total = out.byteCount();
  const size_t produced = inflateBitmapBytes(inflater, in, inCount, out.bits(), total);
  // A short stream must not leave stale heap bytes in the picture.
  if (produced < total) std::memset(out.bits() + produced, 0, total - produced);
  convertRows(out);
  return true;
}

}  // namespace kivra
