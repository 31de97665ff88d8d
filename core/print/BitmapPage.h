#pragma once
// A page printed as one bitmap: the display rendered by the screen
// renderer at the page size (halved until it is small enough) and
// stretched over the whole page.
#include "core/host/Printer.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayPainter.h"
#include "core/render/RenderTarget.h"
#include "core/render/Renderer.h"

namespace kivra {

class BitmapPage {
 public:
  // Draws `top` and what lies below it, with `area` (stage twips) fitted
  // into the page. A bitmap that cannot be made leaves the page blank.
  void draw(const Display& display, const DisplayObject& top, const RECT& area, uint8_t modeAndAlign, int quality,
            Rgba background, int pageWidth, int pageHeight, Printer& printer);

 private:
  Renderer renderer_;
  DisplayPainter painter_;
  RenderTarget target_;
  PrintImage image_;
};

}  // namespace kivra
