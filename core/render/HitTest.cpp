#include "core/render/HitTest.h"

#include <algorithm>
#include <cstdlib>

namespace kivra {

namespace {

struct Piece {
  int64_t x0, y0, cx, cy, x1, y1;
};

// Crossings of the ray from (px, py) toward +x with one monotonic piece.
int crossings(const Piece& p, int64_t px, int64_t py, int depth) {
  const int64_t bx0 = std::min({p.x0, p.cx, p.x1}), bx1 = std::max({p.x0, p.cx, p.x1});
  const int64_t by0 = std::min({p.y0, p.cy, p.y1}), by1 = std::max({p.y0, p.cy, p.y1});
  if (bx1 < px) return 0;  // entirely left of the point
  const bool inside = px >= bx0 && px <= bx1 && py >= by0 && py <= by1;
  if (inside && (bx1 - bx0) + (by1 - by0) > 4 && depth < 12) {
    const int64_t ax = (p.x0 + p.cx) >> 1, ay = (p.y0 + p.cy) >> 1;
    const int64_t bx = (p.cx + p.x1) >> 1, by = (p.cy + p.y1) >> 1;
    const int64_t mx = (ax + bx) >> 1, my = (ay + by) >> 1;
    return crossings(Piece{p.x0, p.y0, ax, ay, mx, my}, px, py, depth + 1) +
           crossings(Piece{mx, my, bx, by, p.x1, p.y1}, px, py, depth + 1);
  }
  const int64_t lo = std::min(p.y0, p.y1), hi = std::max(p.y0, p.y1);
  if (py < lo || py >= hi) return 0;
  if (inside) {
    // Small piece straddling the point: decide on its chord.
    const int64_t dy = p.y1 - p.y0;
    if (dy == 0) return 0;
    const int64_t xAt = p.x0 + (p.x1 - p.x0) * (py - p.y0) / dy;
    return xAt >= px ? 1 : 0;
  }
  return 1;
}

}  // namespace

bool hitTestShape(const ShapeBuild& build, int64_t x, int64_t y) {
  if (build.hasBounds() &&
      (x < build.boundsXMin() || x > build.boundsXMax() || y < build.boundsYMin() || y > build.boundsYMax()))
    return false;
  // Per-fill counters, kept sparse: at most a few fills cross any ray, so
  // they are tracked in a small fixed table.
  constexpr int kSlots = 64;
  uint32_t ids[kSlots];
  int32_t counts[kSlots];
  int used = 0;
  auto counter = [&](uint32_t fill) -> int32_t* {
    for (int i = 0; i < used; ++i)
      if (ids[i] == fill) return &counts[i];
    if (used == kSlots) return nullptr;
    ids[used] = fill;
    counts[used] = 0;
    return &counts[used++];
  };
  for (const EdgeRecord& e : build.edges()) {
    if (!(e.y0 <= y && y < e.y1)) continue;
    const Piece p{e.x0, e.y0, e.cx, e.cy, e.x1, e.y1};
    if (!crossings(p, x, y, 0)) continue;
    switch (e.rule) {
      case FillRule::TwoFills:
        if (e.fill0 != kNoFill)
          if (int32_t* c = counter(e.fill0)) *c ^= 1;
        if (e.fill1 != kNoFill)
          if (int32_t* c = counter(e.fill1)) *c ^= 1;
        break;
      case FillRule::EvenOdd:
        if (e.fill0 != kNoFill)
          if (int32_t* c = counter(e.fill0)) *c ^= 1;
        break;
      case FillRule::NonZero:
        if (e.fill0 != kNoFill)
          if (int32_t* c = counter(e.fill0)) *c += e.direction;
        break;
    }
  }
  for (int i = 0; i < used; ++i)
    if (counts[i]) return true;
  return false;
}

}  // namespace kivra
