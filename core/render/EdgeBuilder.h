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
  // is exhausted.
  bool add(const CurveEdge& e, uint32_t fill0, uint32_t fill1, FillRule rule);
  bool full() const { return full_; }

 private:
  void addPiece(CurveEdge e, int depth);
  void store(const CurveEdge& e, int direction);
  ShapeBuild* out_ = nullptr;
  uint32_t fill0_ = kNoFill, fill1_ = kNoFill;
  FillRule rule_ = FillRule::EvenOdd;
  bool full_ = false;
};

// Splits a quadratic at t (16.16) into two halves, on the points as given.
void splitCurve(const CurveEdge& e, int64_t t, CurveEdge& first, CurveEdge& second);

}  // namespace kivra
