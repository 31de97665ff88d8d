#pragma once
// Where a printed area lands on the page, and the size of bitmap pages.
#include <cstdint>

#include "core/format/Records.h"

namespace kivra {

// Bitmap pages are rendered at the page size, halved (both sides, integer
// division) while width x height x 3 exceeds this many bytes.
constexpr int64_t kMaxBitmapPageBytes = 0x7FFFFF;
void bitmapPageSize(int pageWidth, int pageHeight, int& width, int& height);

// The largest anti-aliasing factor (1, 2 or 4, at most 1 << quality) that
// keeps a page of that size inside the renderer's sub-pixel range.
int pageFactor(int width, int height, int quality);

// Stage twips to page sub-pixels (pixels x factor): the area fitted into
// (0, 0, width, height) with the scale mode and alignment, noScale fitted
// as showAll.
MATRIX pageMatrix(const RECT& area, int width, int height, uint8_t modeAndAlign, int factor);

}  // namespace kivra
