#pragma once
// A page printed as vectors: every shape's fills become device paths in
// stacking order, filled by the printer; lines are stroked by the
// printer's round pen; device-font glyphs are set as text in the system
// font; gradient and bitmap fills are rendered by our own span code into a
// picture clipped to their path; masks and text field bounds become clip
// paths.
#include <functional>
#include <string>
#include <vector>

#include "core/host/Printer.h"
#include "core/movie/Display.h"
#include "core/render/Drawing.h"
#include "core/render/RenderTarget.h"
#include "core/render/Renderer.h"
#include "core/render/ShapeBuild.h"
#include "core/render/ShapeParser.h"
#include "core/render/TextDraw.h"

namespace kivra {

// The cubic equivalent of a quadratic piece: its two control points, each
// 2/3 of the way from an end to the quadratic control point (2/3 x d as
// (d x 43690) / 65536, rounded to nearest).
struct CubicControls {
  int64_t x1, y1, x2, y2;
};
CubicControls cubicFromQuadratic(int64_t x0, int64_t y0, int64_t cx, int64_t cy, int64_t x1, int64_t y1);

// A premultiplied colour made plain for paper: each channel x 255 / alpha
// for partial alpha; alpha 255 unchanged.
PrintColor plainColor(ExpandedPixel premultiplied);

class VectorPage {
 public:
  using DebugLog = std::function<void(const std::string&)>;
  explicit VectorPage(DebugLog log) : log_(std::move(log)) {}

  void draw(const Display& display, const DisplayObject& top, const RECT& area, uint8_t modeAndAlign,
            Rgba background, int pageWidth, int pageHeight, Printer& printer);

  // One shape's fill `index` as a device path (sub-pixels / factor).
  static void fillPath(const ShapeBuild& build, uint32_t index, int factor, PrintPath& out);
  // Stroke run `index` of a build as an open device path.
  static void strokePath(const ShapeBuild& build, uint32_t index, int factor, PrintPath& out);

 private:
  class Walker;
  // Collects the device glyphs of a build, to be set as text.
  class TextCollector : public DeviceTextSink {
   public:
    struct Glyph {
      DeviceGlyphs* font;
      uint32_t code;
      MATRIX m;
      uint32_t fill;
    };
    bool deviceGlyph(DeviceGlyphs& glyphs, uint32_t index, uint32_t code, const MATRIX& m, uint32_t fill) override;
    std::vector<Glyph> glyphs;
  };
  // Draws what fill `index` paints: its path, its lines, its text.
  void drawFill(const ShapeDraw& draw, const DisplayWalkItem& item, uint32_t index);
  void drawText(uint32_t fill, PrintColor color);
  // The draw record of an object (false when it draws nothing itself).
  bool drawOf(const DisplayObject& object, bool drawing, ShapeDraw& out);
  // Builds `draw` under `device` (stage twips to sub-pixels) into build_.
  bool build(const ShapeDraw& draw, const MATRIX& object, const CXFORM& cxform, bool mask);
  void drawObject(const DisplayWalkItem& item, bool drawing);
  void drawImageFill(const ShapeDraw& draw, const DisplayWalkItem& item, const PrintPath& path);
  // The outline of a mask and everything below it.
  void maskPath(const Display& display, const DisplayObject& mask, PrintPath& out);

  DebugLog log_;
  Printer* printer_ = nullptr;
  const Display* display_ = nullptr;
  MATRIX device_;  // stage twips -> page sub-pixels
  int factor_ = 4;
  int pageWidth_ = 0, pageHeight_ = 0;
  ShapeParser parser_;
  DrawingReplay replay_;
  ShapeBuild build_;
  TextDraw text_;
  Renderer renderer_;
  RenderTarget target_;
  PrintImage image_;
  PrintPath path_;
  PrintText printText_;
  TextCollector collector_;
  std::vector<uint32_t> order_;
  // Per fill, its first stroke run; per run, the next of the same fill.
  std::vector<uint32_t> firstStroke_, nextStroke_;
};

}  // namespace kivra
