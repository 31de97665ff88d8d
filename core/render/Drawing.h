#pragma once
// A clip's scripted drawing: the list of drawing calls made on it, kept as
// commands and replayed into a ShapeBuild whenever the clip is drawn, hit
// tested or used as a mask, so that the clip's matrix and colour transform
// are baked in as they are for shapes.
//
// Coordinates and widths are twips. Every call is recorded as it came;
// replay closes fills and strokes lines, so the list never needs rewriting.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/Records.h"
#include "core/render/EdgeBuilder.h"
#include "core/render/ShapeBuild.h"
#include "core/render/Stroker.h"

namespace kivra {

enum class DrawOp : uint32_t {
  BeginFill = 0,
  BeginGradientFill = 1,
  MoveTo = 2,
  LineTo = 3,
  CurveTo = 4,
  LineStyle = 5,
  EndFill = 6,
  Separator = 7,  // before every fill, moveTo and endFill; replay skips it
};

// Five words: the type and up to four values.
struct DrawCommand {
  DrawOp op = DrawOp::Separator;
  int32_t v[4] = {0, 0, 0, 0};
};

// The values of one beginGradientFill call.
struct DrawGradient {
  bool radial = false;
  MATRIX matrix;  // gradient square -> clip twips
  uint8_t count = 0;
  GradientRecord records[8];  // straight colours, alpha 0..255
};

class Drawing {
 public:
  // Calls past this many commands are ignored: a script looping on lineTo
  // must not eat the memory.
  static constexpr size_t kMaxCommands = size_t{1} << 20;
  static constexpr size_t kGrowth = 50;

  // No colour: a fill that paints nothing (lines still draw).
  void beginFill(bool noFill, uint32_t rgb, int alpha);
  void beginGradientFill(bool noFill, const DrawGradient& g);
  void moveTo(int32_t x, int32_t y);
  void lineTo(int32_t x, int32_t y);
  void curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
  // Width in twips; with noLine the lines that follow are not drawn.
  void lineStyle(bool noLine, int32_t width, uint32_t rgb, int alpha);
  void endFill();
  void clear();

  bool empty() const { return commands_.empty(); }
  const std::vector<DrawCommand>& commands() const { return commands_; }
  const std::vector<DrawGradient>& gradients() const { return gradients_; }
  // Grown by every line and curve (widened by the line width); false while
  // nothing was drawn.
  bool hasBounds() const { return hasBounds_; }
  RECT bounds() const;
  int32_t penX() const { return penX_; }
  int32_t penY() const { return penY_; }

 private:
  bool append(DrawOp op, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0);
  void grow(int64_t x0, int64_t y0, int64_t x1, int64_t y1);

  std::vector<DrawCommand> commands_;
  std::vector<DrawGradient> gradients_;
  int32_t penX_ = 0, penY_ = 0;
  int32_t lineWidth_ = 0;
  bool hasBounds_ = false;
  int64_t x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
};

struct DrawingInstance {
  MATRIX matrix;  // clip twips -> device sub-pixels
  ColorTransform cxform;
  int factor = 4;
  bool mask = false;  // a clipping layer: every fill is the one mask fill, no lines
  bool keepStrokes = false;  // vector output: lines as stroke runs, not outlines
};

// Replays drawings into builds; keeps its edge builder and stroker between
// builds.
class DrawingReplay {
 public:
  DrawingReplay() : stroker_(edges_) {}
  // Clears `out` and builds it. Returns false when a pool ran out; what
  // was built still paints.
  bool build(const Drawing& drawing, const DrawingInstance& in, ShapeBuild& out);

 private:
  void segment(const CurveEdge& e);
  void closeFill();
  uint32_t newFill(ShapeBuild& out);

  EdgeBuilder edges_;
  Stroker stroker_;
  // Per build.
  MATRIX m_;
  int64_t penX_ = 0, penY_ = 0, startX_ = 0, startY_ = 0;
  uint32_t fill_ = kNoFill;
  bool fillOpen_ = false;
  FillRule rule_ = FillRule::EvenOdd;
  uint32_t styles_ = 0;
};

}  // namespace kivra
