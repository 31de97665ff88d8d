#pragma once
// Draws the display tree with the renderer. The renderer takes a flat list
// of shapes in which a mask covers the shapes that follow it up to its clip
// depth; the tree's masks cover later siblings (and everything inside them).
// So the painter numbers the shapes in drawing order and turns each mask's
// sibling range into the range of those numbers. A sprite used as a mask
// draws nothing: the shapes inside it together form its mask.
#include <vector>

#include "core/movie/Display.h"
#include "core/render/Renderer.h"
#include "core/render/TextDraw.h"

namespace kivra {

class DisplayPainter {
 public:
  // Draws every shape of the display into the target; the frame setup's
  // view is taken from the display. With `cullOutside`, shapes whose
  // display bounds miss the setup's dirty rectangle are skipped (a partial
  // repaint; the bounds must be current, Display::update has run).
  // `pixelRatio` is target pixels per client pixel (a high-density screen):
  // the view is scaled by it, and the setup's dirty and focus rectangles
  // are already in target pixels.
  void paint(const Display& display, Renderer& renderer, RenderTarget& target, FrameSetup setup,
             bool cullOutside = false, double pixelRatio = 1.0);
  // Draws one object and everything below it (a printed page) under
  // `stageToPixels` (stage twips to whole pixels) instead of the view.
  void paintSubtree(const Display& display, const DisplayObject& top, const MATRIX& stageToPixels, int factor,
                    Renderer& renderer, RenderTarget& target, FrameSetup setup);

  // One shape (or mask) in drawing order.
  struct Item {
    const DisplayObject* object;
    MATRIX matrix;
    CXFORM cxform;
    uint32_t maskEnd;  // masks: the last item number they cover, else 0
    bool maskPart;     // a shape inside a masking sprite: adds to that mask
    bool drawing;      // the object's scripted drawing, not its character
  };

 private:
  // `cull`: shapes whose display bounds (the display's sub-pixels) miss it
  // are skipped; null draws them all.
  void paintItems(Renderer& renderer, RenderTarget& target, const FrameSetup& setup, const DeviceRect* cull);

  std::vector<Item> items_;  // kept between frames to avoid reallocating
  TextDraw text_;            // the field being drawn
};

}  // namespace kivra
