#include "core/render/Drawing.h"

#include <algorithm>

#include "core/render/DeviceTransform.h"
#include "core/render/FillPainter.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

namespace {

constexpr Rgba kMissingRampRed{255, 0, 0, 255};

Rgba colorOf(uint32_t rgb, int alpha) {
  return Rgba{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb),
              static_cast<uint8_t>(std::clamp(alpha, 0, 100) * 255 / 100)};
}

}  // namespace

// ---- The command list ----------------------------------------------------------

bool Drawing::append(DrawOp op, int32_t a, int32_t b, int32_t c, int32_t d) {
  if (commands_.size() >= kMaxCommands) return false;
  if (commands_.size() == commands_.capacity()) {
    // Whole blocks of kGrowth commands, half again as many each time: a
    // script drawing in a loop must not copy the list at every block.
    const size_t want = commands_.size() + commands_.size() / 2 + kGrowth;
    commands_.reserve(std::min(kMaxCommands, want - want % kGrowth));
  }
  DrawCommand& cmd = commands_.emplace_back();
  cmd.op = op;
  cmd.v[0] = a;
  cmd.v[1] = b;
  cmd.v[2] = c;
  cmd.v[3] = d;
  return true;
}

void Drawing::grow(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const int64_t w = lineWidth_;
  x0 -= w;
  y0 -= w;
  x1 += w;
  y1 += w;
  if (!hasBounds_) {
    x0_ = x0;
    y0_ = y0;
    x1_ = x1;
    y1_ = y1;
    hasBounds_ = true;
    return;
  }
  x0_ = std::min(x0_, x0);
  y0_ = std::min(y0_, y0);
  x1_ = std::max(x1_, x1);
  y1_ = std::max(y1_, y1);
}

RECT Drawing::bounds() const {
  auto c = [](int64_t v) { return static_cast<Twips>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return RECT{c(x0_), c(x1_), c(y0_), c(y1_)};
}

void Drawing::beginFill(bool noFill, uint32_t rgb, int alpha) {
  if (commands_.size() + 2 > kMaxCommands) return;
  append(DrawOp::Separator);
  append(DrawOp::BeginFill, noFill ? 1 : 0, static_cast<int32_t>(rgb & 0xFFFFFF), std::clamp(alpha, 0, 100));
}

void Drawing::beginGradientFill(bool noFill, const DrawGradient& g) {
  if (commands_.size() + 2 > kMaxCommands) return;
  append(DrawOp::Separator);
  append(DrawOp::BeginGradientFill, noFill ? 1 : 0, static_cast<int32_t>(gradients_.size()));
  gradients_.push_back(g);
  gradients_.back().count = std::min<uint8_t>(g.count, 8);
}

void Drawing::moveTo(int32_t x, int32_t y) {
  if (commands_.size() + 2 > kMaxCommands) return;
  append(DrawOp::Separator);
  append(DrawOp::MoveTo, x, y);
  penX_ = x;
  penY_ = y;
}

void Drawing::lineTo(int32_t x, int32_t y) {
  if (!append(DrawOp::LineTo, x, y, 1)) return;
  grow(std::min(penX_, x), std::min(penY_, y), std::max(penX_, x), std::max(penY_, y));
  penX_ = x;
  penY_ = y;
}

void Drawing::curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y) {
  if (!append(DrawOp::CurveTo, cx, cy, x, y)) return;
  grow(std::min({penX_, cx, x}), std::min({penY_, cy, y}), std::max({penX_, cx, x}), std::max({penY_, cy, y}));
  penX_ = x;
  penY_ = y;
}

void Drawing::lineStyle(bool noLine, int32_t width, uint32_t rgb, int alpha) {
  width = std::clamp(width, 0, 255 * 20);
  if (!append(DrawOp::LineStyle, width, static_cast<int32_t>(rgb & 0xFFFFFF), std::clamp(alpha, 0, 100),
              noLine ? 1 : 0))
    return;
  lineWidth_ = noLine ? 0 : width;
}

void Drawing::endFill() {
  if (commands_.size() + 2 > kMaxCommands) return;
  append(DrawOp::Separator);
  append(DrawOp::EndFill);
}

void Drawing::clear() {
  std::vector<DrawCommand>().swap(commands_);
  std::vector<DrawGradient>().swap(gradients_);
  penX_ = penY_ = 0;
  lineWidth_ = 0;
  hasBounds_ = false;
  x0_ = y0_ = x1_ = y1_ = 0;
}

// ---- Replay -----------------------------------------------------------------------

uint32_t DrawingReplay::newFill(ShapeBuild& out) {
  const uint32_t f = out.addFill();
  if (f != kNoFill) out.fills()[f].styleNumber = std::min<uint32_t>(++styles_, 0xFFFF);
  return f;
}

void DrawingReplay::segment(const CurveEdge& e) {
  if (fill_ != kNoFill) edges_.add(e, fill_, kNoFill, rule_);
  if (stroker_.open()) stroker_.add(e);
}

void DrawingReplay::closeFill() {
  if (penX_ == startX_ && penY_ == startY_) return;
  CurveEdge e;
  e.straight = true;
  toDevice(m_, penX_, penY_, e.x0, e.y0);
  toDevice(m_, startX_, startY_, e.x1, e.y1);
  e.cx = (e.x0 + e.x1) >> 1;
  e.cy = (e.y0 + e.y1) >> 1;
  segment(e);
  penX_ = startX_;
  penY_ = startY_;
}

bool DrawingReplay::build(const Drawing& drawing, const DrawingInstance& in, ShapeBuild& out) {
  out.clear();
  edges_.begin(&out);
  stroker_.keepRuns(in.keepStrokes ? &out : nullptr);
  m_ = in.matrix;
  penX_ = penY_ = startX_ = startY_ = 0;
  fill_ = kNoFill;
  styles_ = 0;
  rule_ = in.mask ? FillRule::NonZero : FillRule::EvenOdd;
  uint32_t maskFill = kNoFill;
  if (in.mask) {
    maskFill = out.addFill();
    if (maskFill == kNoFill) return false;
    FillStyle& mf = out.fills()[maskFill];
    mf.kind = FillKind::Mask;
    mf.transparent = true;
    out.setMaskFill(maskFill);
  }
  if (drawing.hasBounds()) {
    const RECT b = drawing.bounds();
    const int64_t xs[4] = {b.xmin, b.xmax, b.xmin, b.xmax}, ys[4] = {b.ymin, b.ymin, b.ymax, b.ymax};
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (int i = 0; i < 4; ++i) {
      int64_t dx, dy;
      toDevice(m_, xs[i], ys[i], dx, dy);
      x0 = std::min(x0, dx);
      x1 = std::max(x1, dx);
      y0 = std::min(y0, dy);
      y1 = std::max(y1, dy);
    }
    // Strokes reach a little past the points: widths are rounded up to a pixel.
    const int64_t pad = 2 * in.factor;
    out.setBounds(x0 - pad, y0 - pad, x1 + pad, y1 + pad);
  }
  const ColorTransform& cx = in.cxform;
  const int factor = std::clamp(in.factor, 1, 4);
  uint32_t lineFill = kNoFill;
  int32_t lineWidth = 0;
  const std::vector<DrawGradient>& gradients = drawing.gradients();

  for (const DrawCommand& c : drawing.commands()) {
    switch (c.op) {
      case DrawOp::BeginFill:
      case DrawOp::BeginGradientFill: {
        if (fill_ != kNoFill) closeFill();
        fill_ = kNoFill;
        startX_ = penX_;
        startY_ = penY_;
        if (c.v[0]) break;  // no fill
        const bool gradient = c.op == DrawOp::BeginGradientFill;
        if (gradient && static_cast<uint32_t>(c.v[1]) >= gradients.size()) break;
        if (in.mask) {
          fill_ = maskFill;
          break;
        }
        fill_ = newFill(out);
        if (fill_ == kNoFill) break;
        FillStyle& f = out.fills()[fill_];
        if (gradient) {
          const DrawGradient& g = gradients[static_cast<size_t>(c.v[1])];
          f.kind = FillKind::Gradient;
          f.type = g.radial ? 0x12 : 0x10;
          f.matrix = g.matrix;
          bool transparent = cx.canLowerAlpha();
          for (unsigned i = 0; i < g.count && i < 8; ++i) {
            GradientRecord r = g.records[i];
            r.color = cx.apply(r.color);
            if (r.color.a < 255) transparent = true;
            f.gradient[f.gradientCount++] = r;
          }
          f.transparent = transparent;
          f.color = expand(kMissingRampRed);
        } else {
          const Rgba col = cx.apply(colorOf(static_cast<uint32_t>(c.v[1]), c.v[2]));
          f.kind = FillKind::Solid;
          f.transparent = col.a < 255 || cx.canLowerAlpha();
          f.color = expand(premultiply(col));
        }
        break;
      }
      case DrawOp::MoveTo:
        if (fill_ != kNoFill) closeFill();
        penX_ = startX_ = c.v[0];
        penY_ = startY_ = c.v[1];
        if (stroker_.open()) {
          // A move ends the stroke; the next one has the same style.
          stroker_.end();
          stroker_.begin(std::max(lineWidth, factor), lineFill, factor);
        }
        break;
      case DrawOp::LineTo:
      case DrawOp::CurveTo: {
        CurveEdge e;
        toDevice(m_, penX_, penY_, e.x0, e.y0);
        int64_t x, y;
        if (c.op == DrawOp::LineTo) {
          x = c.v[0];
          y = c.v[1];
          toDevice(m_, x, y, e.x1, e.y1);
          e.straight = true;
          e.cx = (e.x0 + e.x1) >> 1;
          e.cy = (e.y0 + e.y1) >> 1;
        } else {
          toDevice(m_, c.v[0], c.v[1], e.cx, e.cy);
          x = c.v[2];
          y = c.v[3];
          toDevice(m_, x, y, e.x1, e.y1);
          e.straight = false;
        }
        segment(e);
        penX_ = x;
        penY_ = y;
        break;
      }
      case DrawOp::LineStyle: {
        stroker_.end();
        lineFill = kNoFill;
        if (c.v[3] || in.mask) break;  // no line
        lineFill = newFill(out);
        if (lineFill == kNoFill) break;
        const Rgba col = cx.apply(colorOf(static_cast<uint32_t>(c.v[1]), c.v[2]));
        FillStyle& f = out.fills()[lineFill];
        f.kind = FillKind::Solid;
        f.transparent = col.a < 255 || cx.canLowerAlpha();
        f.color = expand(premultiply(col));
        lineWidth = transformLineWidth(m_, c.v[0]);
        stroker_.begin(std::max(lineWidth, factor), lineFill, factor);
        break;
      }
      case DrawOp::EndFill:
        if (fill_ != kNoFill) closeFill();
        fill_ = kNoFill;
        break;
      case DrawOp::Separator:
        break;
    }
    if (edges_.full() || out.truncated()) break;
  }
  if (fill_ != kNoFill) closeFill();
  fill_ = kNoFill;
  stroker_.end();
  prepareFills(out, m_, factor);
  return !edges_.full() && !out.truncated();
}

}  // namespace kivra
