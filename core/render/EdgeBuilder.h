#pragma once
// Turns curve edges into EdgeRecords: orients them downward, splits curves at
// their vertical extremum and into pieces at most 256 rows tall, drops
// horizontal pieces, and folds pieces far outside the +-32000 range onto the
// range's sides so every stored coordinate fits in 16 bits.
#include <cstdint>

#include "core/render/EdgeRecord.h"
#include "core/render/ShapeBuild.h"

namespace kivra {

class EdgeBuilder {
 public:
  static constexpr int kMaxDepth = 16;
  static constexpr int64_t kLimit = 32000;

  void begin(ShapeBuild* out) { out_ = out; full_ = false; }
  // Adds one edge with its fills and rule. Returns false once the edge pool
  // is exhausted; builders go on adding and ask full() once at the end.
  bool add(const CurveEdge& e, uint32_t fill0, uint32_t fill1, FillRule rule);
  // A straight edge between integer points, stored at once when it lies
  // within range (stroke outlines are mostly these).
  bool addLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t fill0, uint32_t fill1, FillRule rule) {
    if (full_) return false;
    fill0_ = fill0;
    fill1_ = fill1;
    rule_ = rule;
    if (y0 == y1) return true;  // horizontal edges never enter the scan
    if (!(inRange(x0) && inRange(x1) && inRange(y0) && inRange(y1))) {
      addPiece(CurveEdge{x0, y0, (x0 + x1) >> 1, (y0 + y1) >> 1, x1, y1, true}, 0);
      return !full_;
    }
    EdgeRecord* r = out_->addEdge();
    if (!r) {
      full_ = true;
      return false;
    }
    const bool down = y1 > y0;
    r->x0 = static_cast<int16_t>(down ? x0 : x1);
    r->y0 = static_cast<int16_t>(down ? y0 : y1);
    r->x1 = static_cast<int16_t>(down ? x1 : x0);
    r->y1 = static_cast<int16_t>(down ? y1 : y0);
    r->cx = static_cast<int16_t>((int32_t{r->x0} + r->x1) >> 1);
    r->cy = static_cast<int16_t>((int32_t{r->y0} + r->y1) >> 1);
    r->straight = true;
    r->rule = rule;
    r->direction = down ? 1 : -1;
    r->fill0 = fill0;
    r->fill1 = fill1;
    return true;
  }
  bool full() const { return full_; }
  // -kLimit <= v <= kLimit
  static bool inRange(int64_t v) { return static_cast<uint64_t>(v + kLimit) <= static_cast<uint64_t>(2 * kLimit); }

 private:
  void addPiece(CurveEdge e, int depth);
  // Clamps every point into range first (far edges); a piece that clamping
  // flattens is dropped.
  void store(const CurveEdge& e, int direction);
  void storeInRange(const CurveEdge& e, bool down);
  ShapeBuild* out_ = nullptr;
  uint32_t fill0_ = kNoFill, fill1_ = kNoFill;
  FillRule rule_ = FillRule::EvenOdd;
  bool full_ = false;
};

// Splits a quadratic at t (16.16) into two halves, on the points as given.
void splitCurve(const CurveEdge& e, int64_t t, CurveEdge& first, CurveEdge& second);

}  // namespace kivra
