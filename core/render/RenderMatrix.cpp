#include "core/render/RenderMatrix.h"

#include <algorithm>
#include <cstdlib>

namespace kivra {

namespace {

// sqrt(1 + (i/64)^2) in 16.16 for i = 0..64.
struct LengthTable {
  uint32_t v[65];
  constexpr LengthTable() : v{} {
    for (int i = 0; i <= 64; ++i) {
      // Integer square root of (1 + t^2) << 32, t = i/64, by Newton steps.
      const uint64_t t2 = static_cast<uint64_t>(i) * i;  // (i/64)^2 * 4096
      const uint64_t n = (4096ull + t2) << 20;            // value << 32
      uint64_t r = 1ull << 16;
      for (int k = 0; k < 40; ++k) r = (r + n / r) / 2;
      while (r * r > n) --r;
      while ((r + 1) * (r + 1) <= n) ++r;
      v[i] = static_cast<uint32_t>(r);
    }
  }
};
constexpr LengthTable kLength;

}  // namespace

DevicePoint transformPoint(const MATRIX& m, int32_t x, int32_t y) {
  DevicePoint p;
  p.x = roundFixed16(static_cast<int64_t>(m.a) * x) + roundFixed16(static_cast<int64_t>(m.c) * y) + m.tx;
  p.y = roundFixed16(static_cast<int64_t>(m.b) * x) + roundFixed16(static_cast<int64_t>(m.d) * y) + m.ty;
  return p;
}

MATRIX concatMatrix(const MATRIX& in, const MATRIX& out) {
  MATRIX r;
  auto mul = [](Fixed16 p, Fixed16 q) { return static_cast<int64_t>(p) * q; };
  r.a = roundFixed16(mul(out.a, in.a) + mul(out.c, in.b));
  r.b = roundFixed16(mul(out.b, in.a) + mul(out.d, in.b));
  r.c = roundFixed16(mul(out.a, in.c) + mul(out.c, in.d));
  r.d = roundFixed16(mul(out.b, in.c) + mul(out.d, in.d));
  const DevicePoint t = transformPoint(out, in.tx, in.ty);
  r.tx = t.x;
  r.ty = t.y;
  return r;
}

MATRIX scaleTranslation(const MATRIX& m, int32_t scale) {
  MATRIX r = m;
  r.tx = static_cast<int32_t>(static_cast<int64_t>(m.tx) * scale);
  r.ty = static_cast<int32_t>(static_cast<int64_t>(m.ty) * scale);
  return r;
}

namespace {

int32_t saturate32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

MATRIX invertMatrix(const MATRIX& m) {
  MATRIX r;
  if (m.b == 0 && m.c == 0) {
    if (m.a == 0 || m.d == 0) return MATRIX{};
    // 16.16 reciprocals: 2^32 / a.
    r.a = saturate32((int64_t{1} << 32) / m.a);
    r.d = saturate32((int64_t{1} << 32) / m.d);
    r.b = r.c = 0;
    r.tx = saturate32(-roundFixed16(static_cast<int64_t>(r.a) * m.tx));
    r.ty = saturate32(-roundFixed16(static_cast<int64_t>(r.d) * m.ty));
    return r;
  }
  // Reduced-precision determinant: normalise the four terms so the largest
  // magnitude has bit 29 set, remembering the shift.
  int64_t a = m.a, b = m.b, c = m.c, d = m.d;
  int64_t big = std::max(std::max(std::llabs(a), std::llabs(b)), std::max(std::llabs(c), std::llabs(d)));
  int shift = 0;  // terms were multiplied by 2^shift
  while (big >= (int64_t{1} << 30)) { big >>= 1; --shift; }
  while (big < (int64_t{1} << 29)) { big <<= 1; ++shift; }
  auto norm = [shift](int64_t v) { return shift >= 0 ? v << shift : v >> -shift; };
  const int64_t na = norm(a), nb = norm(b), nc = norm(c), nd = norm(d);
  // det of the normalised terms, kept as det_n / 2^30 (about 29 bits).
  const int64_t det = (na * nd - nb * nc) >> 30;
  if (det == 0) return MATRIX{};
  // inverse entry = v / det_real with det_real = det * 2^30 / 2^(2 shift + 16)
  // in 16.16: (v_n / 2^shift) * 2^16 / det_real ... = v_n * 2^(shift + 32) / (det * 2^30)
  auto entry = [&](int64_t vn) {
    // vn * 2^(shift + 2) / det, computed without overflow: vn < 2^30.
    const int sh = shift + 2;
    __int128 num = static_cast<__int128>(vn);
    if (sh >= 0) num <<= sh; else num >>= -sh;
    return saturate32(static_cast<int64_t>(num / det));
  };
  r.a = entry(nd);
  r.b = entry(-nb);
  r.c = entry(-nc);
  r.d = entry(na);
  const DevicePoint t = transformPoint(r, m.tx, m.ty);
  r.tx = -t.x;
  r.ty = -t.y;
  return r;
}

int64_t vectorLength(int64_t x, int64_t y) {
  // Unsigned magnitudes: the most negative value has no positive twin.
  const uint64_t ax = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
  const uint64_t ay = y < 0 ? 0 - static_cast<uint64_t>(y) : static_cast<uint64_t>(y);
  const uint64_t mx = std::max(ax, ay), mn = std::min(ax, ay);
  if (mx == 0) return 0;
  // min/max as a 16.16 fraction (0..65536); 1024 units per table step.
  // From 2^48 up, mn << 16 needs more than 64 bits.
  const uint64_t t = mn < (uint64_t{1} << 48)
                         ? (mn << 16) / mx
                         : static_cast<uint64_t>((static_cast<unsigned __int128>(mn) << 16) / mx);
  const uint64_t i = t >> 10;
  const int64_t frac = static_cast<int64_t>(t & 1023);
  const int64_t f0 = kLength.v[i];
  const int64_t f1 = kLength.v[i < 64 ? i + 1 : 64];
  const int64_t f = f0 + (((f1 - f0) * frac) >> 10);
  const unsigned __int128 len = (static_cast<unsigned __int128>(mx) * static_cast<uint64_t>(f)) >> 16;
  return len > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(len);
}

int32_t transformLineWidth(const MATRIX& m, int32_t w) {
  if (w <= 0) return 0;
  const int64_t x = roundFixed16(static_cast<int64_t>(m.a) * w) + roundFixed16(static_cast<int64_t>(m.c) * w);
  const int64_t y = roundFixed16(static_cast<int64_t>(m.b) * w) + roundFixed16(static_cast<int64_t>(m.d) * w);
  // The length is taken in 16.16 so that only the final result is rounded
  // (|(2, 2)| / sqrt(2) must give 2, not 1).
  // (Components are capped first: anything past 2^20 clamps to 65535 anyway.)
  constexpr int64_t kCap = int64_t{1} << 20;
  const int64_t len = vectorLength(std::clamp(x, -kCap, kCap) * 65536, std::clamp(y, -kCap, kCap) * 65536);
  int64_t r = static_cast<int64_t>((static_cast<__int128>(len) * 46341 + (int64_t{1} << 31)) >> 32);  // 46341 / 65536 = 1 / sqrt(2)
  if (r < 1) r = 1;
  if (r > 65535) r = 65535;
  return static_cast<int32_t>(r);
}

MATRIX deviceMatrix(const MATRIX& s, int factor) {
  MATRIX r = s;
  r.a *= factor;
  r.b *= factor;
  r.c *= factor;
  r.d *= factor;
  r.tx *= factor;
  r.ty *= factor;
  return r;
}

}  // namespace kivra
