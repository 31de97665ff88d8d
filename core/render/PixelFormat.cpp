#include "core/render/PixelFormat.h"

#include <cstdlib>

namespace kivra {

int bitsPerPixel(PixelFormat f) {
  static constexpr int kBits[kPixelFormatCount] = {1, 2, 4, 8, 16, 16, 24, 32, 32};
  return kBits[static_cast<int>(f)];
}

bool isPaletteFormat(PixelFormat f) { return static_cast<int>(f) <= 3; }

PixelFormat defaultFormatForDepth(int bits) {
  switch (bits) {
    case 1: return PixelFormat::Mono1;
    case 2: return PixelFormat::Palette2;
    case 4: return PixelFormat::Grey4;
    case 16: return PixelFormat::Rgb555;
    case 24: return PixelFormat::Bgr24;
    case 32: return PixelFormat::Bgra32;
    default: return PixelFormat::Palette8;
  }
}

int ditherThreshold(int x, int y) {
  static constexpr uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return kBayer[y & 3][x & 3];
}

void Palette::build(PixelFormat f) {
  count = 0;
  auto grey = [](int v) { return 0xFF000000u | static_cast<uint32_t>(v) * 0x010101u; };
  switch (f) {
    case PixelFormat::Mono1:
      entry[count++] = grey(0);
      entry[count++] = grey(255);
      break;
    case PixelFormat::Palette2:
      for (int i = 0; i < 4; ++i) entry[count++] = grey(i * 85);
      break;
    case PixelFormat::Grey4:
      for (int i = 0; i < 16; ++i) entry[count++] = grey(i == 15 ? 255 : i * 16);
      break;
    default:
      // A 6 x 6 x 6 colour cube, then greys between its steps.
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            entry[count++] = 0xFF000000u | static_cast<uint32_t>(r * 51) << 16 | static_cast<uint32_t>(g * 51) << 8 |
                             static_cast<uint32_t>(b * 51);
      for (int i = 1; count < 256; ++i) {
        const int v = i * 255 / 41;
        if (v % 51 == 0) continue;
        entry[count++] = grey(v);
      }
      break;
  }
  for (int r = 0; r < 16; ++r)
    for (int g = 0; g < 16; ++g)
      for (int b = 0; b < 16; ++b) {
        const int cr = r * 17, cg = g * 17, cb = b * 17;
        int best = 0, bestD = 1 << 30;
        for (int i = 0; i < count; ++i) {
          const int er = static_cast<int>((entry[i] >> 16) & 0xFF) - cr;
          const int eg = static_cast<int>((entry[i] >> 8) & 0xFF) - cg;
          const int eb = static_cast<int>(entry[i] & 0xFF) - cb;
          const int d = 3 * er * er + 4 * eg * eg + 2 * eb * eb;
          if (d < bestD) {
            bestD = d;
            best = i;
          }
        }
        inverse[b + g * 16 + r * 256] = static_cast<uint8_t>(best);
      }
}

}  // namespace kivra
