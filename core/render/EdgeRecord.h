#pragma once
// Edges as the shape builder stores them and the sweep reads them: quadratic
// pieces oriented downward (y0 < y1), in device sub-pixels within +-32000.
#include <cstdint>

#include "core/render/Fixed.h"

namespace kivra {

enum class FillRule : uint8_t {
  TwoFills = 0,  // fill 0 on one side, fill 1 on the other: toggle both
  EvenOdd = 1,   // one fill, toggled
  NonZero = 2,   // one fill, winding count (glyphs, strokes, masks)
};

constexpr uint32_t kNoFill = 0xFFFFFFFFu;

struct EdgeRecord {
  int16_t x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
  bool straight = true;
  FillRule rule = FillRule::EvenOdd;
  int8_t direction = 1;  // +1 when the edge ran downward as drawn
  uint32_t fill0 = kNoFill;  // indices into the build's fills
  uint32_t fill1 = kNoFill;
};

// One edge record of a shape before orientation: a quadratic from start
// through control to anchor. A straight edge has its control at the midpoint.
struct CurveEdge {
  int64_t x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
  bool straight = false;
};

}  // namespace kivra
