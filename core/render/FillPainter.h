#pragma once
// Painting state for fills and the span routines that produce their pixels.
// Prepared once per build; a span routine is then called per run of pixels
// with no per-pixel setup.
#include <cstdint>

#include "core/render/ShapeBuild.h"

namespace kivra {

// Longest run a span routine produces in one call.
constexpr int kMaxChunk = 256;

// Gives every fill of a build its painting state: ramps and inverse
// mappings for gradients, samplers and colour tables for bitmaps.
// `device` maps shape twips to device sub-pixels at anti-aliasing `factor`.
void prepareFills(ShapeBuild& build, const MATRIX& device, int factor);

// Builds a 257-entry premultiplied ramp from up to 8 gradient records.
void buildGradientRamp(const GradientRecord* records, int count, GradientRamp& ramp);

// The colours of pixels [x, x + n) of pixel row y (n <= kMaxChunk).
void fetchSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out);

// A value in 16.16, saturated far beyond any coordinate a sampler uses.
int64_t toFixed16(double v);

// Bilinear weights for 3-bit fractions: four weights summing to 8.
struct BilinearWeights {
  uint8_t w[64][4];
};
const BilinearWeights& bilinearWeights();

}  // namespace kivra
