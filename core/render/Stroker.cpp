#include "core/render/Stroker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kivra {

namespace {

constexpr double kPi = 3.14159265358979323846;

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
}

void Stroker::curve(const Point& a, const Point& c, const Point& b) {
  edges_.add(CurveEdge{a.x, a.y, c.x, c.y, b.x, b.y, false}, fill_, kNoFill, FillRule::NonZero);
}

void Stroker::arc(double cx, double cy, double a0, double sweep, int count, Point from, Point to, bool reversed) {
  const double r = width_ / 2.0;
  const double step = sweep / count;
  const double rc = r / std::cos(step / 2);
  Point p = from;
  for (int k = 0; k < count; ++k) {
    const double am = a0 + (k + 0.5) * step, a1 = a0 + (k + 1) * step;
    const Point q = k == count - 1 ? to : Point{rnd(cx + r * std::cos(a1)), rnd(cy + r * std::sin(a1))};
    const Point c{rnd(cx + rc * std::cos(am)), rnd(cy + rc * std::sin(am))};
    if (reversed) curve(q, c, p);
    else curve(p, c, q);
    p = q;
  }
}

void Stroker::join(double cx, double cy, Vec from, Vec to, Point plusFrom, Point minusFrom, Point plusTo,
                   Point minusTo) {
  const double turn = std::atan2(from.x * to.y - from.y * to.x, from.x * to.x + from.y * to.y);
  // The count of 45-degree arcs, from the turn in 16.16 degrees.
  const int64_t turn16 = static_cast<int64_t>(std::fabs(turn) * (180.0 / kPi) * 65536.0);
  if (turn16 < 65536) {
    // Under a degree: the ends are at most a rounding apart.
    if (plusFrom.x != plusTo.x || plusFrom.y != plusTo.y) line(plusFrom, plusTo);
    if (minusFrom.x != minusTo.x || minusFrom.y != minusTo.y) line(minusTo, minusFrom);
    return;
  }
  const int count = static_cast<int>((turn16 + 44 * 65536) / (45 * 65536));
  const double a0 = std::atan2(from.x, -from.y);  // the angle of the plus side's normal
  // The arc goes round the outside of the turn. The inside goes through the
  // joint: an arc there would make a loop wound against the rest, which
  // rounding can leave uncovered inside the stroke.
  const Point centre{rnd(cx), rnd(cy)};
  if (turn > 0) {
    line(plusFrom, centre);
    line(centre, plusTo);
    arc(cx, cy, a0 + kPi, turn, count, minusFrom, minusTo, true);
  } else {
    arc(cx, cy, a0, turn, count, plusFrom, plusTo, false);
    line(minusTo, centre);
    line(centre, minusFrom);
  }
}

void Stroker::thickPiece(double x0, double y0, double cx, double cy, double x1, double y1, bool straight,
                         int depth) {
  auto unit = [](double dx, double dy) {
    const double l = std::sqrt(dx * dx + dy * dy);
    return l == 0 ? Vec{0, 0} : Vec{dx / l, dy / l};
  };
  Vec t0 = straight ? unit(x1 - x0, y1 - y0) : unit(cx - x0, cy - y0);
  Vec t1 = straight ? t0 : unit(x1 - cx, y1 - cy);
  if (t0.x == 0 && t0.y == 0) t0 = unit(x1 - x0, y1 - y0);
  if (t1.x == 0 && t1.y == 0) t1 = unit(x1 - x0, y1 - y0);
  if (t0.x == 0 && t0.y == 0) return;  // no length
  constexpr double kBentCos = 0.70710678118654752;  // a turn of more than 45 degrees
  const bool bent = !straight && t0.x * t1.x + t0.y * t1.y < kBentCos;
  if (bent && depth < 5) {
    const double ax = (x0 + cx) / 2, ay = (y0 + cy) / 2, bx = (cx + x1) / 2, by = (cy + y1) / 2;
    const double mx = (ax + bx) / 2, my = (ay + by) / 2;
    thickPiece(x0, y0, ax, ay, mx, my, false, depth + 1);
    thickPiece(mx, my, bx, by, x1, y1, false, depth + 1);
    return;
  }
  const double h = width_ / 2.0;
  if (bent || (!straight && tight(x0, y0, cx, cy, x1, y1))) {
    // Its inner offset would fold over (or, still bent after five halvings,
    // it turns round within the piece): the piece goes in as chords, which
    // cannot. (Between chords the curve leaves them by about a sub-pixel at
    // most, flatness / n^2.)
    const double flat = std::hypot(cx - (x0 + x1) / 2, cy - (y0 + y1) / 2);
    const int n = std::clamp(static_cast<int>(std::ceil(std::sqrt(flat))), 1, 64);
    double px = x0, py = y0;
    for (int i = 1; i <= n; ++i) {
      const double t = double(i) / n, u = 1 - t;
      const double qx = i == n ? x1 : u * u * x0 + 2 * u * t * cx + t * t * x1;
      const double qy = i == n ? y1 : u * u * y0 + 2 * u * t * cy + t * t * y1;
      thickPiece(px, py, qx, qy, qx, qy, true, depth);
      px = qx;
      py = qy;
    }
    return;
  }
  // The plus side's normal turns the tangent a quarter clockwise on screen.
  const Vec n0{-t0.y * h, t0.x * h}, n1{-t1.y * h, t1.x * h};
  const Point plus0{rnd(x0 + n0.x), rnd(y0 + n0.y)}, minus0{rnd(x0 - n0.x), rnd(y0 - n0.y)};
  const Point plus1{rnd(x1 + n1.x), rnd(y1 + n1.y)}, minus1{rnd(x1 - n1.x), rnd(y1 - n1.y)};
  if (any_) {
    join(x0, y0, lastDir_, t0, lastPlus_, lastMinus_, plus0, minus0);
  } else {
    // The stroke's start: capped or joined at the end.
    firstDir_ = t0;
    firstPlus_ = plus0;
    firstMinus_ = minus0;
  }
  any_ = true;
  const double dot = t0.x * t1.x + t0.y * t1.y;
  if (straight || dot > 0.99999999) {
    line(plus0, plus1);
    line(minus1, minus0);
  } else {
    // Each side's control point is where its two offset legs meet.
    const double k = 1 / (1 + dot);
    const double mx = (n0.x + n1.x) * k, my = (n0.y + n1.y) * k;
    curve(plus0, Point{rnd(cx + mx), rnd(cy + my)}, plus1);
    curve(minus1, Point{rnd(cx - mx), rnd(cy - my)}, minus0);
  }
  lastDir_ = t1;
  lastPlus_ = plus1;
  lastMinus_ = minus1;
}

bool Stroker::tight(double x0, double y0, double cx, double cy, double x1, double y1) const {
  // With a = c - p0 and b = p1 - 2c + p0 the curvature is
  // |a x b| / (2 |a + t b|^3), greatest where |a + t b| is least.
  const double ax = cx - x0, ay = cy - y0, bx = x1 - 2 * cx + x0, by = y1 - 2 * cy + y0;
  const double bb = bx * bx + by * by;
  const double t = bb > 0 ? std::clamp(-(ax * bx + ay * by) / bb, 0.0, 1.0) : 0.0;
  const double sx = ax + t * bx, sy = ay + t * by;
  const double speed = std::sqrt(sx * sx + sy * sy);
  const double cross = std::fabs(ax * by - ay * bx);
  // Half the width against the least radius, with a margin for rounding.
  return speed == 0 || width_ / 2.0 * cross >= 0.8 * 2 * speed * speed * speed;
}

void Stroker::add(const CurveEdge& in) {
  if (!open_) return;
  if (keep_) {
    // A pen draws it, zero-length pieces (dots) too; a run starts with
    // its first piece.
    if ((!any_ && !keep_->addStrokeRun(fill_, width_)) || !keep_->addStrokeEdge(in)) open_ = false;
    any_ = true;
    return;
  }
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
  if (width_ > 3) {
    // A segment that does not start where the last ended (snapping moved
    // one of them) ends the outline so far and starts another.
    if (any_ && (e.x0 != lastX_ || e.y0 != lastY_)) capEnds();
    if (!any_) {
      startX_ = e.x0;
      startY_ = e.y0;
    }
    thickPiece(double(e.x0), double(e.y0), double(e.cx), double(e.cy), double(e.x1), double(e.y1), e.straight, 0);
  } else {
    band(e);
    any_ = true;
  }
  dotOnly_ = false;
  lastX_ = e.x1;
  lastY_ = e.y1;
}

void Stroker::capEnds() {
  if (!any_) return;
  const double kHalfTurn = -kPi;  // from the plus side round the end to the minus side
  arc(double(lastX_), double(lastY_), std::atan2(lastDir_.x, -lastDir_.y), kHalfTurn, 4, lastPlus_, lastMinus_,
      false);
  arc(double(startX_), double(startY_), std::atan2(-firstDir_.x, firstDir_.y), kHalfTurn, 4, firstMinus_,
      firstPlus_, false);
  any_ = false;
}

void Stroker::end() {
  if (!open_) return;
  open_ = false;
  if (keep_) return;
  if (any_) {
    if (width_ > 3) {
      // A closed path is joined end to start; an open one gets its caps.
      if (lastX_ == startX_ && lastY_ == startY_)
        join(double(startX_), double(startY_), lastDir_, firstDir_, lastPlus_, lastMinus_, firstPlus_,
             firstMinus_);
      else
        capEnds();
    }
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
