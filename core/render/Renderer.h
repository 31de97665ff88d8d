#pragma once
// Draws one frame of display objects: the interface the display list calls.
//
// Per repaint: beginFrame (target, quality, view transform, dirty rectangle,
// background), then drawShape for every visible shape in depth order, then
// endFrame, which runs the sweep. A shape with a clip depth is a mask: it
// clips the shapes drawn after it up to and including that depth.
//
// Each display object may own a ShapeBuild (its render cache) and pass it
// with `rebuild` set when its character, matrix, colour transform or ratio
// changed; without one the renderer uses builds of its own, rebuilt every
// frame. Builds and tag bytes must stay alive until endFrame returns.
// Single-threaded: call from the player's main thread.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/render/Drawing.h"
#include "core/render/GlyphMasks.h"
#include "core/render/raster/Rasterizer.h"
#include "core/render/ShapeParser.h"

namespace kivra {

// Anti-aliasing factor of a quality setting: LOW 1, MEDIUM 2, HIGH and BEST 4.
int qualityFactor(int qualityCode);

struct ShapeDraw {
  uint16_t tagCode = 2;
  const uint8_t* body = nullptr;  // the definition tag body, from the character id
  size_t length = 0;
  MATRIX matrix;                  // object -> stage twips (all parents applied)
  CXFORM cxform;                  // all parents applied
  uint16_t ratio = 0;             // morph shapes
  uint16_t depth = 0;
  uint16_t clipDepth = 0;         // non-zero: this shape masks depths up to it
  bool maskPart = false;          // adds its outline to the mask begun last
  const Drawing* drawing = nullptr;  // set: drawn from this drawing, not from a body
  ShapeBuild* cache = nullptr;    // the object's render cache, or null
  BitmapSource* bitmaps = nullptr;  // the defining movie's bitmaps (else the renderer's)
  GlyphSource* glyphs = nullptr;    // the defining movie's fonts (static text, fields)
  const TextDraw* text = nullptr;   // set: a text field, drawn inside its clip
  bool rebuild = true;            // the cache is out of date
};

struct FrameSetup {
  int factor = 4;                 // 1, 2 or 4
  MATRIX view;                    // stage twips -> pixels (16.16 scale, pixel translation)
  ClipRect dirty;                 // pixels
  bool hasBackground = true;
  Rgba background{255, 255, 255, 255};
  // The yellow keyboard-focus frame, in pixels; drawn when not empty.
  ClipRect focus;
  int focusWidth = 3;  // its bands, in pixels (more on a high-density screen)
};

class Renderer {
 public:
  Renderer();
  void setBitmapSource(BitmapSource* bitmaps) { bitmaps_ = bitmaps; }
  Rasterizer& rasterizer() { return raster_; }

  [[nodiscard]] bool beginFrame(RenderTarget& target, const FrameSetup& setup);
  // Returns false when the shape's bytes were corrupt (what was read paints).
  [[nodiscard]] bool drawShape(const ShapeDraw& shape);
  // Starts an empty mask covering the shapes after it up to `clipDepth`;
  // shapes drawn with `maskPart` set then add their outlines to it (a
  // sprite used as a mask: the union of its shapes clips).
  void beginMask(uint16_t depth, uint16_t clipDepth);
  void endFrame();

  // The device matrix of an object: object -> stage -> device sub-pixels.
  MATRIX deviceMatrixFor(const MATRIX& object) const;
  // Hit test of a build against a point in device sub-pixels.
  [[nodiscard]] static bool hitTest(const ShapeBuild& build, int64_t x, int64_t y);

 private:
  ShapeBuild& scratch();
  void addRect(ShapeBuild& b, uint32_t fill, int x0, int y0, int x1, int y1);

  Rasterizer raster_;
  ShapeParser parser_;
  DrawingReplay replay_;
  GlyphMaskMaker glyphMasks_;
  BitmapSource* bitmaps_ = nullptr;
  FrameSetup setup_;
  MATRIX device_;
  bool active_ = false;
  std::vector<std::unique_ptr<ShapeBuild>> scratch_;
  size_t scratchUsed_ = 0;
  ShapeBuild background_;
  ShapeBuild focus_;
  struct MaskEntry {
    uint16_t clipDepth;
    const FillStyle* fill;
  };
  std::vector<MaskEntry> masks_;
};

}  // namespace kivra
