#include "core/render/ColorTransform.h"

namespace kivra {

// Lanes: 0 alpha, 1 red, 2 green, 3 blue.
int32_t ColorTransform::mul(int lane) const {
  if (!hasMultipliers()) return 256;
  switch (lane) {
    case 0: return cx_.aMul;
    case 1: return cx_.rMul;
    case 2: return cx_.gMul;
    default: return cx_.bMul;
  }
}

int32_t ColorTransform::add(int lane) const {
  if (!hasOffsets()) return 0;
  switch (lane) {
    case 0: return cx_.aAdd;
    case 1: return cx_.rAdd;
    case 2: return cx_.gAdd;
    default: return cx_.bAdd;
  }
}

bool ColorTransform::isIdentity() const {
  for (int i = 0; i < 4; ++i)
    if (mul(i) != 256 || add(i) != 0) return false;
  return true;
}

bool ColorTransform::canLowerAlpha() const { return mul(0) < 256 || add(0) < 0; }

Rgba ColorTransform::apply(Rgba c) const {
  if (!cx_.flags) return c;
  auto ch = [&](int lane, uint8_t v) -> uint8_t {
    int32_t r;
    if (hasMultipliers())
      r = add(lane) + ((static_cast<int32_t>(v) * mul(lane)) >> 8);
    else
      r = v + add(lane);
    return static_cast<uint8_t>(clampChannel(r));
  };
  return Rgba{ch(1, c.r), ch(2, c.g), ch(3, c.b), ch(0, c.a)};
}

ColorTransform ColorTransform::concat(const ColorTransform& inner) const {
  // c'' = a2 + m2 (a1 + m1 c) = (a2 + m2 a1) + m2 m1 c
  CXFORM r;
  r.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  auto clamp16 = [](int32_t v) -> int16_t { return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); };
  int16_t* muls[4] = {&r.aMul, &r.rMul, &r.gMul, &r.bMul};
  int16_t* adds[4] = {&r.aAdd, &r.rAdd, &r.gAdd, &r.bAdd};
  for (int i = 0; i < 4; ++i) {
    *muls[i] = clamp16((mul(i) * inner.mul(i)) >> 8);
    *adds[i] = clamp16(add(i) + ((mul(i) * inner.add(i)) >> 8));
  }
  ColorTransform out(r);
  if (out.isIdentity()) return ColorTransform();
  return out;
}

void ColorTransform::buildTables(uint8_t r[256], uint8_t g[256], uint8_t b[256], uint8_t a[256]) const {
  uint8_t* tables[4] = {a, r, g, b};
  for (int lane = 0; lane < 4; ++lane) {
    const int32_t m = mul(lane), o = add(lane);
    for (int i = 0; i < 256; ++i) {
      const int32_t v = (o * 256 + i * m) >> 8;
      // Every entry is clamped to a byte; a result of 256..65535 would
      // otherwise wrap in the table.
      tables[lane][i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
}

}  // namespace kivra
