#include "tools/kit/RecordWriter.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace kivra::kit {

namespace {
unsigned maxSignedBits(std::initializer_list<int32_t> values) {
  unsigned n = 0;
  for (int32_t v : values) n = std::max(n, signedBits(v));
  return n;
}

void writeBitCount(ByteWriter& w, unsigned fieldWidth, unsigned n, const char* what) {
  if (n >= (1u << fieldWidth)) {
    w.fail(std::string(what) + " needs " + std::to_string(n) + " bits, more than its count field holds");
    return;
  }
  w.ub(fieldWidth, n);
}
}  // namespace

void writeRect(ByteWriter& w, const RECT& r) {
  w.align();
  const unsigned n = maxSignedBits({r.xmin, r.xmax, r.ymin, r.ymax});
  writeBitCount(w, 5, n, "RECT");
  w.sb(n, r.xmin);
  w.sb(n, r.xmax);
  w.sb(n, r.ymin);
  w.sb(n, r.ymax);
  w.align();
}

void writeMatrix(ByteWriter& w, const MATRIX& m) {
  w.align();
  const bool hasScale = m.a != kFixedOne || m.d != kFixedOne;
  w.bit(hasScale);
  if (hasScale) {
    const unsigned n = maxSignedBits({m.a, m.d});
    writeBitCount(w, 5, n, "MATRIX scale");
    w.sb(n, m.a);
    w.sb(n, m.d);
  }
  const bool hasRotate = m.b != 0 || m.c != 0;
  w.bit(hasRotate);
  if (hasRotate) {
    const unsigned n = maxSignedBits({m.b, m.c});
    writeBitCount(w, 5, n, "MATRIX rotate-skew");
    w.sb(n, m.b);
    w.sb(n, m.c);
  }
  const unsigned n = maxSignedBits({m.tx, m.ty});
  writeBitCount(w, 5, n, "MATRIX translation");
  w.sb(n, m.tx);
  w.sb(n, m.ty);
  w.align();
}

void writeCxform(ByteWriter& w, const CXFORM& c, bool withAlpha) {
  w.align();
  const bool hasMul = c.flags & CXFORM::kHasMultipliers;
  const bool hasAdd = c.flags & CXFORM::kHasAddends;
  unsigned n = 0;
  if (hasMul) n = std::max(n, maxSignedBits({c.rMul, c.gMul, c.bMul, withAlpha ? c.aMul : 0}));
  if (hasAdd) n = std::max(n, maxSignedBits({c.rAdd, c.gAdd, c.bAdd, withAlpha ? c.aAdd : 0}));
  w.bit(hasAdd);
  w.bit(hasMul);
  writeBitCount(w, 4, n, "CXFORM");
  if (hasMul) {
    w.sb(n, c.rMul);
    w.sb(n, c.gMul);
    w.sb(n, c.bMul);
    if (withAlpha) w.sb(n, c.aMul);
  }
  if (hasAdd) {
    w.sb(n, c.rAdd);
    w.sb(n, c.gAdd);
    w.sb(n, c.bAdd);
    if (withAlpha) w.sb(n, c.aAdd);
  }
  w.align();
}

void writeRgb(ByteWriter& w, const Rgba& c) {
  w.u8(c.r);
  w.u8(c.g);
  w.u8(c.b);
}

void writeRgba(ByteWriter& w, const Rgba& c) {
  writeRgb(w, c);
  w.u8(c.a);
}

Fixed16 toFixed16(double v) { return static_cast<Fixed16>(std::lround(v * 65536.0)); }

MATRIX translate(Twips x, Twips y) {
  MATRIX m;
  m.tx = x;
  m.ty = y;
  return m;
}

MATRIX scaleTranslate(double sx, double sy, Twips x, Twips y) {
  MATRIX m = translate(x, y);
  m.a = toFixed16(sx);
  m.d = toFixed16(sy);
  return m;
}

MATRIX rotateScaleTranslate(double degrees, double sx, double sy, Twips x, Twips y) {
  const double r = degrees * M_PI / 180.0;
  MATRIX m = translate(x, y);
  // x' = a x + c y, y' = b x + d y.
  m.a = toFixed16(sx * std::cos(r));
  m.b = toFixed16(sx * std::sin(r));
  m.c = toFixed16(-sy * std::sin(r));
  m.d = toFixed16(sy * std::cos(r));
  return m;
}

}  // namespace kivra::kit
