#pragma once
// Pixel formats of the off-screen target and the routines that convert
// expanded pixels to and from them.
#include <cstdint>

#include "core/render/ColorTransform.h"

namespace kivra {

enum class PixelFormat : uint8_t {
  Mono1 = 0,     // palette: black, white (ordered dither, 17 levels)
  Palette2 = 1,  // palette of four greys
  Grey4 = 2,     // palette of 16 greys i.16, the last 255
  Palette8 = 3,  // the player's standard palette
  Rgb555 = 4,    // R << 10 | G << 5 | B
  Rgb565 = 5,    // R << 11 | G << 5 | B
  Bgr24 = 6,     // B, G, R bytes
  Bgra32 = 7,    // B, G, R, A bytes (0xAARRGGBB words)
  Bgra32Alt = 8,
};

constexpr int kPixelFormatCount = 9;

int bitsPerPixel(PixelFormat f);
bool isPaletteFormat(PixelFormat f);
// The default format for a screen depth: 1 -> 0, 2 -> 1, 4 -> 2, 16 -> 4,
// 24 -> 6, 32 -> 7, anything else -> 3.
PixelFormat defaultFormatForDepth(int bits);

// The palette of a palette format and its 16 x 16 x 16 inverse colour cube.
struct Palette {
  int count = 0;
  uint32_t entry[256] = {};  // 0xFFRRGGBB
  uint8_t inverse[4096] = {};
  void build(PixelFormat f);
  // Nearest entry by the inverse cube, indexed (B >> 4) + (G >> 4) 16 + (R >> 4) 256.
  uint8_t nearest(int r, int g, int b) const { return inverse[(b >> 4) + (g >> 4) * 16 + (r >> 4) * 256]; }
};

// The 4 x 4 ordered-dither threshold (0..15) at a pixel.
int ditherThreshold(int x, int y);

}  // namespace kivra
