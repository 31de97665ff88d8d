#include "core/render/EdgeBuilder.h"

#include <algorithm>
#include <cstdlib>

namespace kivra {

namespace {

int64_t lerp16(int64_t a, int64_t b, int64_t t) { return a + (((b - a) * t) >> 16); }
int64_t mid(int64_t a, int64_t b) { return (a + b) >> 1; }  // arithmetic shift

void halve(const CurveEdge& e, CurveEdge& p, CurveEdge& q) {
  const int64_t ax = mid(e.x0, e.cx), ay = mid(e.y0, e.cy);
  const int64_t bx = mid(e.cx, e.x1), by = mid(e.cy, e.y1);
  const int64_t mx = mid(ax, bx), my = mid(ay, by);
  p = CurveEdge{e.x0, e.y0, ax, ay, mx, my, e.straight};
  q = CurveEdge{mx, my, bx, by, e.x1, e.y1, e.straight};
}

}  // namespace

void splitCurve(const CurveEdge& e, int64_t t, CurveEdge& p, CurveEdge& q) {
  const int64_t ax = lerp16(e.x0, e.cx, t), ay = lerp16(e.y0, e.cy, t);
  const int64_t bx = lerp16(e.cx, e.x1, t), by = lerp16(e.cy, e.y1, t);
  const int64_t mx = lerp16(ax, bx, t), my = lerp16(ay, by, t);
  p = CurveEdge{e.x0, e.y0, ax, ay, mx, my, e.straight};
  q = CurveEdge{mx, my, bx, by, e.x1, e.y1, e.straight};
}

bool EdgeBuilder::add(const CurveEdge& e, uint32_t fill0, uint32_t fill1, FillRule rule) {
  if (e.straight) return addLine(e.x0, e.y0, e.x1, e.y1, fill0, fill1, rule);
  if (full_) return false;
  fill0_ = fill0;
  fill1_ = fill1;
  rule_ = rule;
  addPiece(e, 0);
  return !full_;
}

void EdgeBuilder::addPiece(CurveEdge e, int depth) {
  if (full_) return;
  const bool down = e.y1 >= e.y0;
  const int64_t y0 = down ? e.y0 : e.y1;
  const int64_t y1 = down ? e.y1 : e.y0;
  if (!e.straight) {
    int64_t cy = e.cy;
    if (cy < y0 && y0 - cy < 3) {
      e.cy = y0;
    } else if (cy > y1 && cy - y1 < 3) {
      e.cy = y1;
    } else if (cy < y0 || cy > y1) {
      // Split at the vertical extremum, on the points in drawn order.
      if (depth + 1 > kMaxDepth) return;
      const int64_t den = e.y0 + e.y1 - 2 * cy;
      if (den == 0) return;
      int64_t t = ((e.y0 - cy) << 16) / den;
      t = std::clamp<int64_t>(t, 1, 0xFFFF);
      CurveEdge p, q;
      splitCurve(e, t, p, q);
      // The extremum is shared exactly by both halves and is each one's
      // control height.
      p.cy = p.y1;
      q.cy = q.y0;
      addPiece(p, depth + 1);
      addPiece(q, depth + 1);
      return;
    }
    if (y1 - y0 > 256) {
      if (depth + 1 > kMaxDepth) return;
      CurveEdge p, q;
      halve(e, p, q);
      addPiece(p, depth + 1);
      addPiece(q, depth + 1);
      return;
    }
  }
  if (y0 == y1) return;  // horizontal pieces never enter the scan

  // Far-edge handling: anything outside +-32000 is folded or split.
  if (inRange(e.x0) && inRange(e.x1) && inRange(e.y0) && inRange(e.y1) &&
      (e.straight || (inRange(e.cx) && inRange(e.cy)))) {
    storeInRange(e, down);
    return;
  }
  const int64_t bx0 = std::min({e.x0, e.x1, e.straight ? e.x0 : e.cx});
  const int64_t bx1 = std::max({e.x0, e.x1, e.straight ? e.x0 : e.cx});
  const int64_t by0 = std::min({e.y0, e.y1, e.straight ? e.y0 : e.cy});
  const int64_t by1 = std::max({e.y0, e.y1, e.straight ? e.y0 : e.cy});
  if (bx0 < -kLimit || bx1 > kLimit || by0 < -kLimit || by1 > kLimit) {
    if (by1 < -kLimit / 2 || by0 > kLimit / 2) return;
    if (bx1 < -kLimit / 2 || bx0 > kLimit / 2) {
      const int64_t x = bx1 < -kLimit / 2 ? -kLimit : kLimit;
      CurveEdge v{x, std::clamp(e.y0, -kLimit, kLimit), x, 0, x, std::clamp(e.y1, -kLimit, kLimit), true};
      if (v.y0 == v.y1) return;
      v.cy = mid(v.y0, v.y1);
      store(v, v.y1 > v.y0 ? 1 : -1);
      return;
    }
    if (depth < kMaxDepth) {
      CurveEdge p, q;
      halve(e, p, q);
      addPiece(p, depth + 1);
      addPiece(q, depth + 1);
      return;
    }
    // Out of depth: clamp into range (store does).
  }
  store(e, down ? 1 : -1);
}

// store for a piece whose points all lie within range and whose ends differ
// in y: nothing to clamp, and it cannot flatten.
void EdgeBuilder::storeInRange(const CurveEdge& e, bool down) {
  EdgeRecord* r = out_->addEdge();
  if (!r) {
    full_ = true;
    return;
  }
  r->x0 = static_cast<int16_t>(down ? e.x0 : e.x1);
  r->y0 = static_cast<int16_t>(down ? e.y0 : e.y1);
  r->x1 = static_cast<int16_t>(down ? e.x1 : e.x0);
  r->y1 = static_cast<int16_t>(down ? e.y1 : e.y0);
  if (e.straight) {
    r->cx = static_cast<int16_t>(mid(r->x0, r->x1));
    r->cy = static_cast<int16_t>(mid(r->y0, r->y1));
  } else {
    r->cx = static_cast<int16_t>(e.cx);
    r->cy = static_cast<int16_t>(std::clamp<int64_t>(e.cy, r->y0, r->y1));
  }
  const int32_t d = std::abs((r->x0 + r->x1) / 2 - r->cx);
  const int32_t f = std::abs((r->y0 + r->y1) / 2 - r->cy);
  r->straight = e.straight || (d + f - std::min(d, f) / 2) < 2;
  r->rule = rule_;
  r->direction = static_cast<int8_t>(down ? 1 : -1);
  r->fill0 = fill0_;
  r->fill1 = fill1_;
}

void EdgeBuilder::store(const CurveEdge& in, int direction) {
  auto c = [](int64_t v) { return std::clamp<int64_t>(v, -kLimit, kLimit); };
  const CurveEdge e{c(in.x0), c(in.y0), c(in.cx), c(in.cy), c(in.x1), c(in.y1), in.straight};
  if (e.y0 == e.y1) return;  // clamping flattened it
  storeInRange(e, direction > 0);
}

}  // namespace kivra
