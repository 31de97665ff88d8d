#include "core/render/FillPainter.h"

#include <algorithm>
#include <cmath>

#include "core/render/BitmapSampler.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

namespace {

struct Squares {
  uint32_t s[258];
  constexpr Squares() : s{} {
    for (uint32_t i = 0; i < 258; ++i) s[i] = std::min<uint32_t>(i * i, 65535);
  }
};
constexpr Squares kSquares;

constexpr BilinearWeights makeWeights() {
  BilinearWeights t{};
  for (int fy = 0; fy < 8; ++fy) {
    for (int fx = 0; fx < 8; ++fx) {
      int w[4] = {((8 - fx) * (8 - fy) + 4) / 8, (fx * (8 - fy) + 4) / 8, ((8 - fx) * fy + 4) / 8,
                  (fx * fy + 4) / 8};
      int sum = w[0] + w[1] + w[2] + w[3];
      int big = 0;
      for (int i = 1; i < 4; ++i)
        if (w[i] > w[big]) big = i;
      w[big] += 8 - sum;  // the largest weight takes up the difference
      for (int i = 0; i < 4; ++i) t.w[fy * 8 + fx][i] = static_cast<uint8_t>(w[i]);
    }
  }
  return t;
}
constexpr BilinearWeights kWeights = makeWeights();

// The mapping from device pixels to fill space: `unit` is the scale of the
// fill space (256 for gradient units, 65536 for bitmap pixels).
void setMapping(FillStyle& f, const MATRIX& device, int factor, double unit) {
  // Shape twips -> device pixels.
  const double k = 1.0 / 65536.0 / factor;
  const double da = device.a * k, db = device.b * k, dc = device.c * k, dd = device.d * k;
  const double dtx = double(device.tx) / factor, dty = double(device.ty) / factor;
  // Fill space -> shape twips.
  const double sa = f.matrix.a / 65536.0, sb = f.matrix.b / 65536.0, sc = f.matrix.c / 65536.0,
               sd = f.matrix.d / 65536.0, stx = f.matrix.tx, sty = f.matrix.ty;
  // Fill space -> device pixels.
  const double a = da * sa + dc * sb, b = db * sa + dd * sb;
  const double c = da * sc + dc * sd, d = db * sc + dd * sd;
  const double tx = da * stx + dc * sty + dtx, ty = db * stx + dd * sty + dty;
  const double det = a * d - b * c;
  if (det == 0 || !std::isfinite(det)) {
    f.ua = f.ub = f.uc = f.ud = f.ut = f.vt = 0;
    return;
  }
  const double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
  f.ua = ia * unit;
  f.ub = ib * unit;
  f.uc = ic * unit;
  f.ud = id * unit;
  f.ut = -(ia * tx + ic * ty) * unit;
  f.vt = -(ib * tx + id * ty) * unit;
}

// A step along a span. A nearly singular fill matrix gives positions and
// steps near the ends of the range; a position only moves further out as
// it steps, and every one past the ramp's ends picks the same colour, so
// stopping at the end changes no pixel.
inline int64_t stepSaturated(int64_t at, int64_t step) {
  int64_t r;
  if (__builtin_add_overflow(at, step, &r)) return step < 0 ? INT64_MIN : INT64_MAX;
  return r;
}

}  // namespace

const BilinearWeights& bilinearWeights() { return kWeights; }

int64_t toFixed16(double v) {
  if (!(v > -1e15)) return static_cast<int64_t>(-1e15);
  if (!(v < 1e15)) return static_cast<int64_t>(1e15);
  // Past 2^47 the 16.16 form has no room: the nearer end, not whatever
  // llround answers out of range.
  const double s = v * 65536.0;
  if (s >= 0x1p63) return INT64_MAX;
  if (s <= -0x1p63) return INT64_MIN;
  return std::llround(s);
}


void buildGradientRamp(const GradientRecord* g, int count, GradientRamp& ramp) {
  for (int j = 0; j <= 256; ++j) {
    Rgba c;
    if (count <= 0) {
      c = Rgba{0, 0, 0, 0};
    } else if (j <= g[0].ratio) {
      c = g[0].color;
    } else if (j >= g[count - 1].ratio) {
      c = g[count - 1].color;
    } else {
      int k = 0;
      while (k + 1 < count && g[k + 1].ratio <= j) ++k;
      const int r0 = g[k].ratio, r1 = g[k + 1].ratio;
      if (r1 - r0 < 1) {
        c = g[k].color;
      } else {
        const Rgba& c0 = g[k].color;
        const Rgba& c1 = g[k + 1].color;
        auto ch = [&](uint8_t a, uint8_t b) {
          return static_cast<uint8_t>(((j - r0) * b + (r1 - j) * a) / (r1 - r0));
        };
        c = Rgba{ch(c0.r, c1.r), ch(c0.g, c1.g), ch(c0.b, c1.b), ch(c0.a, c1.a)};
      }
    }
    ramp.entry[j] = expand(premultiply(c));
  }
}

void prepareFills(ShapeBuild& build, const MATRIX& device, int factor) {
  for (FillStyle& f : build.fills()) {
    f.rampPtr = nullptr;
    f.tablePtr = nullptr;
    f.coveragePtr = nullptr;
    f.directCopy = false;
    switch (f.kind) {
      case FillKind::Mask:
        f.span = SpanKind::None;
        break;
      case FillKind::Solid:
        f.span = SpanKind::Solid;
        break;
      case FillKind::Coverage:
        f.span = f.coverage >= 0 ? SpanKind::Coverage : SpanKind::None;
        f.transparent = true;
        break;
      case FillKind::Gradient: {
        f.ramp = f.gradientCount ? build.addRamp() : -1;
        if (f.ramp < 0) {
          // No records or no ramp block: the fill paints nothing.
          f.span = SpanKind::None;
          f.transparent = true;
          f.color = 0;
          break;
        }
        buildGradientRamp(f.gradient, f.gradientCount, build.ramp(f.ramp));
        f.span = (f.type & 0x02) ? SpanKind::Radial : SpanKind::Linear;
        // Gradient units x 256.
        setMapping(f, device, factor, 256.0);
        break;
      }
      case FillKind::Bitmap: {
        f.span = SpanKind::Bitmap;
        f.clipped = f.type & 0x01;
        setMapping(f, device, factor, 65536.0);
        const int64_t xs = toFixed16(f.ua) / 65536;  // x-scale of the inverse, 16.16
        const bool plainCopy = std::llabs(xs) >= 0xFFF1 && std::llabs(xs) <= 0x10010 &&
                               std::llround(f.ub) == 0 && std::llround(f.uc) == 0;
        f.smooth = factor > 1 && !(f.type & 0x02) && !plainCopy;
        f.tables = -1;
        if (!f.cxform.isIdentity()) {
          f.tables = build.addTables();
          if (f.tables >= 0) {
            ColorTables& t = build.tables(f.tables);
            f.cxform.buildTables(t.r, t.g, t.b, t.a);
            f.unpremultiply = f.cxform.canLowerAlpha() || f.bitmap.hasAlpha;
          }
        }
        break;
      }
    }
  }
  for (FillStyle& f : build.fills()) {
    if (f.ramp >= 0 && (f.span == SpanKind::Linear || f.span == SpanKind::Radial)) f.rampPtr = &build.ramp(f.ramp);
    if (f.tables >= 0 && f.span == SpanKind::Bitmap) f.tablePtr = &build.tables(f.tables);
    if (f.span == SpanKind::Bitmap) f.directCopy = copiesBitmapRows(f);
    if (f.span == SpanKind::Coverage) f.coveragePtr = &build.coverage(f.coverage);
  }
}

namespace {

void linearSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out) {
  int64_t u = toFixed16(f.ua * x + f.uc * y + f.ut);
  const int64_t du = toFixed16(f.ua);
  const ExpandedPixel* ramp = f.rampPtr->entry;
  for (int i = 0; i < n; ++i, u = stepSaturated(u, du)) {
    const int64_t g = u >> 16;  // gradient units x 256
    int idx;
    if (g >= 0x408000) idx = 256;
    else if (g < -0x400000) idx = 0;
    else idx = std::min<int>(static_cast<int>((g >> 15) + 128), 256);
    out[i] = ramp[idx];
  }
}

void radialSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out) {
  int64_t u = toFixed16(f.ua * x + f.uc * y + f.ut);
  int64_t v = toFixed16(f.ub * x + f.ud * y + f.vt);
  const int64_t du = toFixed16(f.ua), dv = toFixed16(f.ub);
  const ExpandedPixel* ramp = f.rampPtr->entry;
  int idx = 0, step = 0;
  for (int i = 0; i < n; ++i, u = stepSaturated(u, du), v = stepSaturated(v, dv)) {
    const int64_t gu = u >> 16, gv = v >> 16;
    if (i == 0) {
      const int64_t len = vectorLength(gu, gv);
      idx = len >= 0x404000 ? 256 : static_cast<int>(len >> 14);
    } else {
      const int64_t su = std::clamp<int64_t>(gu >> 14, -65536, 65536);
      const int64_t sv = std::clamp<int64_t>(gv >> 14, -65536, 65536);
      const int64_t d = su * su + sv * sv;
      int k = std::clamp(idx + step, 0, 256);
      while (k > 0 && kSquares.s[k] > d) --k;
      while (k < 256 && kSquares.s[k + 1] <= d) ++k;
      step = k - idx;
      idx = k;
    }
    out[i] = ramp[idx];
  }
}

// The colour weighted by each pixel's coverage (lanes stay below 2^16).
void coverageSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out) {
  const CoverageImage& c = *f.coveragePtr;
  const int row = y - c.top;
  int i = 0;
  if (row >= 0 && row < c.height) {
    const uint8_t* cov = c.coverage.data() + static_cast<size_t>(row) * static_cast<size_t>(c.width);
    const int from = std::clamp(c.left - x, 0, n), to = std::clamp(c.left + c.width - x, 0, n);
    for (; i < from; ++i) out[i] = 0;
    for (; i < to; ++i) out[i] = scaleCoverage(f.color, cov[x + i - c.left]);
  }
  for (; i < n; ++i) out[i] = 0;
}

}  // namespace

void fetchSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out) {
  switch (f.span) {
    case SpanKind::Solid:
      for (int i = 0; i < n; ++i) out[i] = f.color;
      break;
    case SpanKind::Linear:
      linearSpan(f, x, y, n, out);
      break;
    case SpanKind::Radial:
      radialSpan(f, x, y, n, out);
      break;
    case SpanKind::Bitmap:
      bitmapSpan(f, x, y, n, out);
      break;
    case SpanKind::Coverage:
      coverageSpan(f, x, y, n, out);
      break;
    case SpanKind::None:
      for (int i = 0; i < n; ++i) out[i] = 0;
      break;
  }
}

}  // namespace kivra
