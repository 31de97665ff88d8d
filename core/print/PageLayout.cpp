#include "core/print/PageLayout.h"

#include "core/view/ViewTransform.h"

namespace kivra {

void bitmapPageSize(int pageWidth, int pageHeight, int& width, int& height) {
  width = pageWidth > 0 ? pageWidth : 0;
  height = pageHeight > 0 ? pageHeight : 0;
  while (int64_t{width} * height * 3 > kMaxBitmapPageBytes) {
    width /= 2;
    height /= 2;
  }
}

int pageFactor(int width, int height, int quality) {
  // Sub-pixel coordinates stay within +-32000.
  constexpr int kLimit = 32000;
  int f = quality >= 2 ? 4 : (quality == 1 ? 2 : 1);
  while (f > 1 && (int64_t{width} * f > kLimit || int64_t{height} * f > kLimit)) f /= 2;
  return f;
}

MATRIX pageMatrix(const RECT& area, int width, int height, uint8_t modeAndAlign, int factor) {
  uint8_t mode = modeAndAlign & 0x0F;
  if (mode == static_cast<uint8_t>(ScaleMode::NoScale)) mode = static_cast<uint8_t>(ScaleMode::ShowAll);
  ViewRequest request;
  request.client = DeviceRect{0, 0, width, height};
  request.frame = area;
  request.modeAndAlign = static_cast<uint8_t>(mode | (modeAndAlign & 0xF0));
  request.quality = factor >= 4 ? 2 : (factor == 2 ? 1 : 0);
  return ViewTransform::compute(request).matrix;
}

}  // namespace kivra
