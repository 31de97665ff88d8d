#include "core/print/BitmapPage.h"

#include <algorithm>

#include "core/print/PageLayout.h"

namespace kivra {

void BitmapPage::draw(const Display& display, const DisplayObject& top, const RECT& area, uint8_t modeAndAlign,
                      int quality, Rgba background, int pageWidth, int pageHeight, Printer& printer) {
  int width = 0, height = 0;
  bitmapPageSize(pageWidth, pageHeight, width, height);
  if (width <= 0 || height <= 0) return;
  if (!target_.create(width, height, PixelFormat::Bgra32)) return;
  const int factor = pageFactor(width, height, quality);
  // The renderer takes stage twips to whole pixels.
  MATRIX view = pageMatrix(area, width, height, modeAndAlign, factor);
  view.a /= factor;
  view.b /= factor;
  view.c /= factor;
  view.d /= factor;
  view.tx /= factor;
  view.ty /= factor;
  FrameSetup setup;
  setup.dirty = ClipRect{0, 0, width, height};
  setup.background = Rgba{background.r, background.g, background.b, 255};
  painter_.paintSubtree(display, top, view, factor, renderer_, target_, setup);

  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  image_.width = width;
  image_.height = height;
  image_.pixels.resize(count);
  for (int y = 0; y < height; ++y)
    std::copy(target_.row(y), target_.row(y) + width, image_.pixels.begin() + static_cast<ptrdiff_t>(y) * width);
  printer.drawImage(image_, 0, 0, pageWidth, pageHeight);
}

}  // namespace kivra
