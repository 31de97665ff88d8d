#include "core/render/Stroker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kivra {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Joints that turn by less than this (cosine of about 1 degree) need no disc.
constexpr double kStraightCos = 0.99985;

// std::llround (halves away from zero) without the library call: the
// fraction v - trunc(v) is exact in doubles. The step to the next integer
// is added from the comparisons, without a branch: whether a sample's
// fraction reaches a half is anyone's guess.
int64_t rnd(double v) {
  v = std::clamp(v, -1e12, 1e12);
  if (v != v) return static_cast<int64_t>(std::llround(v));
  const int64_t t = static_cast<int64_t>(v);
  const double f = v - static_cast<double>(t);
  return t + static_cast<int64_t>(f >= 0.5) - static_cast<int64_t>(f <= -0.5);
}

}  // namespace

void Stroker::begin(int32_t width, uint32_t fill, int factor) {
  width_ = std::max(width, 1);
  fill_ = fill;
  factor_ = factor;
  open_ = true;
  any_ = false;
  dotOnly_ = false;
}

void Stroker::line(double x0, double y0, double x1, double y1) {
  edges_.addLine(rnd(x0), rnd(y0), rnd(x1), rnd(y1), fill_, kNoFill, FillRule::NonZero);
}

void Stroker::line(const Point& a, const Point& b) {
  edges_.addLine(a.x, a.y, b.x, b.y, fill_, kNoFill, FillRule::NonZero);
}

// The disc's angles are the same for every disc of 4 or 8 pieces: their
// cosines and sines are computed once, by the same calls as per disc, so
// every point comes out as before.
namespace {

struct DiscAngles {
  double cos0[9], sin0[9];  // at -i step, i = 0..n
  double cosM[8], sinM[8];  // at the middle of piece i
  double halfCos;           // cos(step / 2)
};

DiscAngles makeDiscAngles(int n) {
  DiscAngles t{};
  const double step = 2 * kPi / n;
  t.halfCos = std::cos(step / 2);
  for (int i = 0; i < n; ++i) {
    const double a0 = -i * step, a1 = -(i + 1) * step, am = (a0 + a1) / 2;
    t.cos0[i] = std::cos(a0);
    t.sin0[i] = std::sin(a0);
    t.cosM[i] = std::cos(am);
    t.sinM[i] = std::sin(am);
    if (i == n - 1) {
      t.cos0[n] = std::cos(a1);
      t.sin0[n] = std::sin(a1);
    }
  }
  return t;
}

}  // namespace

void Stroker::disc(double cx, double cy) {
  static const DiscAngles kFour = makeDiscAngles(4), kEight = makeDiscAngles(8);
  const double r = width_ / 2.0;
  const int n = r <= 2.0 * factor_ ? 4 : 8;
  const DiscAngles& t = n == 4 ? kFour : kEight;
  const double rc = r / t.halfCos;
  // Clockwise on screen (decreasing angle), like the bands. A piece ends
  // where the next starts, so each rim point is rounded once.
  int64_t px = rnd(cx + r * t.cos0[0]), py = rnd(cy + r * t.sin0[0]);
  for (int i = 0; i < n; ++i) {
    const int64_t qx = rnd(cx + r * t.cos0[i + 1]), qy = rnd(cy + r * t.sin0[i + 1]);
    CurveEdge e{px, py, rnd(cx + rc * t.cosM[i]), rnd(cy + rc * t.sinM[i]), qx, qy, false};
    edges_.add(e, fill_, kNoFill, FillRule::NonZero);
    px = qx;
    py = qy;
  }
}

void Stroker::snapThin(CurveEdge& e) const {
  if (!e.straight) return;
  const int w = width_;
  auto snap = [&](int64_t v) -> int64_t {
    if (factor_ == 4) {
      if (w == 4 || w == 12) return (v & ~int64_t{3}) | 2;
      if (w == 8) return (v + 2) & ~int64_t{3};
    } else if (factor_ == 2) {
      if (w == 2 || w == 6) return v | 1;
      if (w == 4) return (v + 1) & ~int64_t{1};
    }
    return v;
  };
  const int64_t minLength = 3 * factor_;
  if (e.x0 == e.x1 && std::llabs(e.y1 - e.y0) > minLength) {
    e.x0 = e.x1 = snap(e.x0);
  } else if (e.y0 == e.y1 && std::llabs(e.x1 - e.x0) > minLength) {
    e.y0 = e.y1 = snap(e.y0);
  }
}

// A thin line (at most three sub-pixels wide) is a parallelogram offset by
// whole sub-pixels across the segment's minor axis, so rounding can never
// collapse it: width 1 spans [0, +1], width 2 [-1, +1], width 3 [-1, +2].
void Stroker::thinBand(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  if (x0 == x1 && y0 == y1) return;
  const int64_t lo = width_ >= 2 ? -1 : 0;
  const int64_t hi = width_ >= 3 ? 2 : 1;
  auto edge = [&](int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    edges_.addLine(ax, ay, bx, by, fill_, kNoFill, FillRule::NonZero);
  };
  // Every band is wound the same way (as the thick bands are) whatever the
  // segment's direction, so overlapping bands of one stroke never cancel.
  if (std::llabs(x1 - x0) >= std::llabs(y1 - y0)) {
    // Mostly horizontal: shift in y; the short sides are vertical.
    if (x1 < x0) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    edge(x0, y0 + hi, x1, y1 + hi);
    edge(x1, y1 + hi, x1, y1 + lo);
    edge(x1, y1 + lo, x0, y0 + lo);
    edge(x0, y0 + lo, x0, y0 + hi);
  } else {
    if (y1 < y0) {
      std::swap(x0, x1);
      std::swap(y0, y1);
    }
    edge(x0 + lo, y0, x1 + lo, y1);
    edge(x1 + lo, y1, x1 + hi, y1);
    edge(x1 + hi, y1, x0 + hi, y0);
    edge(x0 + hi, y0, x0 + lo, y0);
  }
}

void Stroker::band(const CurveEdge& e) {
  const double h = width_ / 2.0;
  if (width_ <= 3) {
    if (e.straight) {
      thinBand(e.x0, e.y0, e.x1, e.y1);
      return;
    }
    // A curve: straight pieces short enough to stay within a sub-pixel.
    const double x0 = double(e.x0), y0 = double(e.y0), cx = double(e.cx), cy = double(e.cy);
    const double x1 = double(e.x1), y1 = double(e.y1);
    const double flat = std::hypot(cx - (x0 + x1) / 2, cy - (y0 + y1) / 2);
    const int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(flat))), 1, 64);
    int64_t px = e.x0, py = e.y0;
    for (int i = 1; i <= n; ++i) {
      const double t = double(i) / n, u = 1 - t;
      const int64_t qx = i == n ? e.x1 : rnd(u * u * x0 + 2 * u * t * cx + t * t * x1);
      const int64_t qy = i == n ? e.y1 : rnd(u * u * y0 + 2 * u * t * cy + t * t * y1);
      thinBand(px, py, qx, qy);
      px = qx;
      py = qy;
    }
    return;
  }
  auto normal = [h](double dx, double dy) {
    const double len = std::sqrt(dx * dx + dy * dy);
    if (len == 0) return Vec{0, 0};
    return Vec{-dy / len * h, dx / len * h};
  };
  if (e.straight) {
    const Vec n = normal(double(e.x1 - e.x0), double(e.y1 - e.y0));
    const double x0 = double(e.x0), y0 = double(e.y0), x1 = double(e.x1), y1 = double(e.y1);
    const Point a{rnd(x0 + n.x), rnd(y0 + n.y)}, b{rnd(x1 + n.x), rnd(y1 + n.y)};
    const Point c{rnd(x1 - n.x), rnd(y1 - n.y)}, d{rnd(x0 - n.x), rnd(y0 - n.y)};
    line(a, b);
    line(b, c);
    line(c, d);
    line(d, a);
    return;
  }
  // A curve: sample it and offset the samples along the true normals.
  const double x0 = double(e.x0), y0 = double(e.y0), cx = double(e.cx), cy = double(e.cy);
  const double x1 = double(e.x1), y1 = double(e.y1);
  const double flat = std::hypot(cx - (x0 + x1) / 2, cy - (y0 + y1) / 2);
  int n = static_cast<int>(std::ceil(std::sqrt(flat * (1.0 + h / 8.0) / 2.0)));
  n = std::clamp(n, 1, 64);
  constexpr int kMax = 65;
  Point left[kMax], right[kMax];  // rounded once, each ends two lines
  for (int i = 0; i <= n; ++i) {
    const double t = double(i) / n, u = 1 - t;
    const double px = u * u * x0 + 2 * u * t * cx + t * t * x1;
    const double py = u * u * y0 + 2 * u * t * cy + t * t * y1;
    double dx = 2 * (u * (cx - x0) + t * (x1 - cx));
    double dy = 2 * (u * (cy - y0) + t * (y1 - cy));
    if (dx == 0 && dy == 0) {  // a degenerate end: use the chord
      dx = x1 - x0;
      dy = y1 - y0;
    }
    const Vec nv = normal(dx, dy);
    left[i] = Point{rnd(px + nv.x), rnd(py + nv.y)};
    right[i] = Point{rnd(px - nv.x), rnd(py - nv.y)};
  }
  for (int i = 0; i < n; ++i) line(left[i], left[i + 1]);
  line(left[n], right[n]);
  for (int i = n; i > 0; --i) line(right[i], right[i - 1]);
  line(right[0], left[0]);
}

void Stroker::add(const CurveEdge& in) {
  if (!open_) return;
  if (in.x0 == in.x1 && in.y0 == in.y1 && (in.straight || (in.cx == in.x0 && in.cy == in.y0))) {
    if (!any_) {
      dotOnly_ = true;
      startX_ = lastX_ = in.x0;
      startY_ = lastY_ = in.y0;
    }
    return;  // zero-length segments are ignored
  }
  CurveEdge e = in;
  if (width_ <= 3 * factor_) snapThin(e);
  // Tangents at both ends.
  Vec d0 = e.straight ? Vec{double(e.x1 - e.x0), double(e.y1 - e.y0)} : Vec{double(e.cx - e.x0), double(e.cy - e.y0)};
  if (d0.x == 0 && d0.y == 0) d0 = Vec{double(e.x1 - e.x0), double(e.y1 - e.y0)};
  Vec d1 = e.straight ? d0 : Vec{double(e.x1 - e.cx), double(e.y1 - e.cy)};
  if (d1.x == 0 && d1.y == 0) d1 = Vec{double(e.x1 - e.x0), double(e.y1 - e.y0)};
  auto unit = [](Vec v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y);
    return l == 0 ? Vec{0, 0} : Vec{v.x / l, v.y / l};
  };
  d0 = unit(d0);
  d1 = unit(d1);
  // Thin lines need no round joins or caps: their bands overlap at joints.
  const bool round = width_ > 3;
  if (!any_) {
    startX_ = e.x0;
    startY_ = e.y0;
    firstDir_ = d0;
    if (round) disc(double(e.x0), double(e.y0));  // the start cap, or the closing join
  } else if (round &&
             (e.x0 != lastX_ || e.y0 != lastY_ || lastDir_.x * d0.x + lastDir_.y * d0.y < kStraightCos)) {
    disc(double(e.x0), double(e.y0));
  }
  band(e);
  any_ = true;
  dotOnly_ = false;
  lastX_ = e.x1;
  lastY_ = e.y1;
  lastDir_ = d1;
}

void Stroker::end() {
  if (!open_) return;
  open_ = false;
  if (any_) {
    const bool closed = lastX_ == startX_ && lastY_ == startY_;
    // The disc at the start already rounds a closed path's joint; an open
    // path needs its end cap.
    if (!closed && width_ > 3) disc(double(lastX_), double(lastY_));
  } else if (dotOnly_) {
    if (width_ > 3) {
      disc(double(startX_), double(startY_));
    } else {
      const double h = width_ / 2.0, x = double(startX_), y = double(startY_);
      line(x + h, y + h, x + h, y - h);  // a small square, wound like the bands
      line(x - h, y - h, x - h, y + h);
    }
  }
}

}  // namespace kivra
