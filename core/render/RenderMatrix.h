#pragma once
// Matrix arithmetic for the renderer: point transforms with per-product
// rounding, concatenation, inversion for gradient and bitmap mappings, vector
// length and line width.
#include <cstdint>

#include "core/render/Fixed.h"

namespace kivra {

struct DevicePoint {
  SubPixel x = 0;
  SubPixel y = 0;
  bool operator==(const DevicePoint&) const = default;
};

// x' = a.x + c.y + tx, y' = b.x + d.y + ty; each product rounded on its own.
DevicePoint transformPoint(const MATRIX& m, int32_t x, int32_t y);

// outer after inner: the result maps a point through `inner` first.
MATRIX concatMatrix(const MATRIX& inner, const MATRIX& outer);

// Multiplies the translation by `scale` (used before a concatenation whose
// result is inverted at a finer resolution).
MATRIX scaleTranslation(const MATRIX& m, int32_t scale);

// The inverse; a singular matrix gives the identity.
MATRIX invertMatrix(const MATRIX& m);

// |(x, y)| = max . f(min / max) with f = sqrt(1 + t^2) from a 65-entry table
// with linear interpolation. Inputs may be negative, the most negative too;
// the result is >= 0 and stops at INT64_MAX.
int64_t vectorLength(int64_t x, int64_t y);

// A line width in twips transformed to device sub-pixels: the length of
// M.(w, w) scaled by 1/sqrt(2); a positive width never becomes 0.
int32_t transformLineWidth(const MATRIX& m, int32_t widthTwips);

// A view matrix mapping stage twips to device sub-pixels: `scale` pixels per
// twip in 16.16 and a translation in whole pixels, both multiplied by the
// anti-aliasing factor.
MATRIX deviceMatrix(const MATRIX& stageToPixels, int factor);

}  // namespace kivra
