#pragma once
// Span routines of bitmap fills: nearest or bilinear samples of a bitmap in
// any internal format, clipped or tiled, with the fill's colour tables.
#include <cstdint>

#include "core/render/FillStyle.h"

namespace kivra {

// The colours of pixels [x, x + n) of pixel row y (n <= 256).
void bitmapSpan(const FillStyle& f, int x, int y, int n, ExpandedPixel* out);

// Whether a fill's pixels can be copied straight into a 32-bit B, G, R, A
// row: an opaque 32-bit bitmap at one bitmap pixel per device pixel, not
// smoothed and without a colour transform.
bool copiesBitmapRows(const FillStyle& f);
// Copies pixels [x, x + n) of pixel row y into `dst` (copiesBitmapRows).
void copyBitmapSpan(const FillStyle& f, int x, int y, int n, uint32_t* dst);

}  // namespace kivra
