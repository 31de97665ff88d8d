#pragma once
// The primitive records shared by every tag body. Units: twips for
// coordinates, 16.16 fixed point for matrix scale and rotate-skew, 8.8 fixed
// point for colour-transform multipliers.
#include <cstdint>

namespace kivra {

using Fixed16 = int32_t;  // 16.16 fixed point, 0x10000 = 1.0
using Fixed8 = int16_t;   // 8.8 fixed point, 256 = 1.0
using Twips = int32_t;    // 1/20 pixel

constexpr Fixed16 kFixedOne = 0x10000;
constexpr Fixed8 kFixed8One = 256;

struct RECT {
  Twips xmin = 0;
  Twips xmax = 0;
  Twips ymin = 0;
  Twips ymax = 0;
  bool operator==(const RECT&) const = default;
};

// The smallest rectangle holding both.
inline RECT unite(const RECT& a, const RECT& b) {
  return RECT{a.xmin < b.xmin ? a.xmin : b.xmin, a.xmax > b.xmax ? a.xmax : b.xmax,
              a.ymin < b.ymin ? a.ymin : b.ymin, a.ymax > b.ymax ? a.ymax : b.ymax};
}

// The union of rectangles added one at a time; `any` stays false until the
// first, since no rectangle stands for "nothing".
struct RectUnion {
  bool any = false;
  RECT rect;
  void add(const RECT& r) {
    rect = any ? unite(rect, r) : r;
    any = true;
  }
};

// a = scale-x, b = rotate-skew-0, c = rotate-skew-1, d = scale-y.
struct MATRIX {
  Fixed16 a = kFixedOne;
  Fixed16 b = 0;
  Fixed16 c = 0;
  Fixed16 d = kFixedOne;
  Twips tx = 0;
  Twips ty = 0;
  bool operator==(const MATRIX&) const = default;
};

struct CXFORM {
  static constexpr uint8_t kHasMultipliers = 0x01;
  static constexpr uint8_t kHasAddends = 0x02;
  uint8_t flags = 0;
  Fixed8 aMul = kFixed8One;
  int16_t aAdd = 0;
  Fixed8 rMul = kFixed8One;
  int16_t rAdd = 0;
  Fixed8 gMul = kFixed8One;
  int16_t gAdd = 0;
  Fixed8 bMul = kFixed8One;
  int16_t bAdd = 0;
  bool operator==(const CXFORM&) const = default;
};

struct Rgba {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 255;
  bool operator==(const Rgba&) const = default;
};

}  // namespace kivra
