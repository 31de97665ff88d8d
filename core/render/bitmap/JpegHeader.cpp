#include "core/render/bitmap/JpegHeader.h"

#include <cstddef>

namespace kivra {

namespace {

bool isStartOfFrame(uint8_t marker) {
  // 0xC4 (Huffman tables), 0xC8 (reserved) and 0xCC (arithmetic coding
  // conditioning) share the range but are not frames.
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM, RST0..7, SOI, EOI.
bool standsAlone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

}  // namespace

bool findJpegImageSize(const uint8_t* data, size_t length, JpegImageSize& out) {
  if (!data || length < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  size_t p = 2;
  while (p < length) {
    // Like the decoder, pass over stray bytes and fill bytes to the next marker.
    if (data[p] != 0xFF) {
      ++p;
      continue;
    }
    while (p < length && data[p] == 0xFF) ++p;
    if (p >= length) return false;
    const uint8_t marker = data[p++];
    if (marker == 0x00) continue;  // a stuffed zero, not a marker
    if (marker == 0xDA) return false;  // a scan before any frame
    if (standsAlone(marker)) continue;
    if (length - p < 2) return false;
    const size_t segment = static_cast<size_t>(data[p]) << 8 | data[p + 1];
    if (segment < 2) return false;
    if (isStartOfFrame(marker)) {
      // Length (2), precision (1), height (2), width (2).
      if (segment < 7 || length - p < 7) return false;
      out.height = static_cast<uint32_t>(data[p + 3]) << 8 | data[p + 4];
      out.width = static_cast<uint32_t>(data[p + 5]) << 8 | data[p + 6];
      return out.width > 0 && out.height > 0;
    }
    if (length - p < segment) return false;
    p += segment;
  }
  return false;
}

}  // namespace kivra
