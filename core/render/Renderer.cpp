#include "core/render/Renderer.h"

#include <algorithm>

#include "core/render/FillPainter.h"
#include "core/render/HitTest.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

int qualityFactor(int code) { return 1 << (code & 3) > 4 ? 4 : 1 << (code & 3); }

Renderer::Renderer() : background_(16, 4), focus_(64, 4) { masks_.reserve(16); }

MATRIX Renderer::deviceMatrixFor(const MATRIX& object) const { return concatMatrix(object, device_); }

ShapeBuild& Renderer::scratch() {
  if (scratchUsed_ == scratch_.size()) scratch_.push_back(std::make_unique<ShapeBuild>());
  return *scratch_[scratchUsed_++];
}

void Renderer::addRect(ShapeBuild& b, uint32_t fill, int x0, int y0, int x1, int y1) {
  EdgeBuilder eb;
  eb.begin(&b);
  eb.add(CurveEdge{x0, y0, 0, 0, x0, y1, true}, fill, kNoFill, FillRule::EvenOdd);
  eb.add(CurveEdge{x1, y0, 0, 0, x1, y1, true}, fill, kNoFill, FillRule::EvenOdd);
}

bool Renderer::beginFrame(RenderTarget& target, const FrameSetup& setup) {
  setup_ = setup;
  const int a = setup.factor >= 4 ? 4 : (setup.factor >= 2 ? 2 : 1);
  setup_.factor = a;
  // The view translation is whole pixels, so device translations are
  // multiples of the factor.
  device_ = deviceMatrix(setup.view, a);
  scratchUsed_ = 0;
  masks_.clear();
  active_ = raster_.beginFrame(target, a, setup.dirty);
  if (!active_) return false;
  if (setup.hasBackground) {
    background_.clear();
    const uint32_t f = background_.addFill();
    FillStyle& fs = background_.fills()[f];
    fs.color = expand(premultiply(Rgba{setup.background.r, setup.background.g, setup.background.b, 255}));
    fs.transparent = false;
    const ClipRect& d = setup.dirty;
    addRect(background_, f, std::max(0, d.left) * a, std::max(0, d.top) * a, std::min(target.width(), d.right) * a,
            std::min(target.height(), d.bottom) * a);
    prepareFills(background_, device_, a);
    raster_.addObject(background_, nullptr);
  }
  return true;
}

void Renderer::beginMask(uint16_t depth, uint16_t clipDepth) {
  if (!active_) return;
  while (!masks_.empty() && masks_.back().clipDepth < depth) masks_.pop_back();
  const FillStyle* outer = masks_.empty() ? nullptr : masks_.back().fill;
  ShapeBuild& build = scratch();
  build.clear();
  const uint32_t f = build.addFill();
  if (f == kNoFill) return;
  FillStyle& mf = build.fills()[f];
  mf.kind = FillKind::Mask;
  mf.span = SpanKind::None;
  build.setMaskFill(f);
  raster_.addObject(build, outer);
  masks_.push_back(MaskEntry{clipDepth, &build.fills()[f]});
}

bool Renderer::drawShape(const ShapeDraw& s) {
  if (!active_) return false;
  while (!masks_.empty() && masks_.back().clipDepth < s.depth) masks_.pop_back();
  if (s.maskPart && masks_.empty()) return true;  // no mask to add to
  const FillStyle* mask = masks_.empty() ? nullptr : masks_.back().fill;
  ShapeBuild& build = s.cache ? *s.cache : scratch();
  bool ok = true;
  if (s.drawing && (!s.cache || s.rebuild)) {
    DrawingInstance in;
    in.matrix = deviceMatrixFor(s.matrix);
    in.cxform = ColorTransform(s.cxform);
    in.factor = setup_.factor;
    in.mask = s.clipDepth || s.maskPart;
    ok = replay_.build(*s.drawing, in, build);
  } else if (!s.cache || s.rebuild) {
    ShapeInstance in;
    in.tagCode = s.tagCode;
    in.body = s.body;
    in.length = s.length;
    in.matrix = deviceMatrixFor(s.matrix);
    in.cxform = ColorTransform(s.cxform);
    in.ratio = s.ratio;
    in.factor = setup_.factor;
    in.role = s.clipDepth || s.maskPart ? BuildRole::Mask : BuildRole::Normal;
    in.bitmaps = s.bitmaps ? s.bitmaps : bitmaps_;
    in.glyphs = s.glyphs;
    in.maskMaker = &glyphMasks_;
    in.field = s.text;
    ok = parser_.build(in, build);
  }
  if (s.text && !s.maskPart && !s.clipDepth) {
    // A field draws only inside its box: the box is a mask of its own,
    // itself inside the mask in force.
    ShapeBuild& box = scratch();
    box.clear();
    const uint32_t f = box.addFill();
    if (f != kNoFill) {
      FillStyle& mf = box.fills()[f];
      mf.kind = FillKind::Mask;
      mf.span = SpanKind::None;
      box.setMaskFill(f);
      const MATRIX m = deviceMatrixFor(s.matrix);
      const RECT& r = s.text->clip;
      const int32_t xs[5] = {r.xmin, r.xmax, r.xmax, r.xmin, r.xmin};
      const int32_t ys[5] = {r.ymin, r.ymin, r.ymax, r.ymax, r.ymin};
      EdgeBuilder eb;
      eb.begin(&box);
      for (int i = 0; i < 4; ++i) {
        const DevicePoint a = transformPoint(m, xs[i], ys[i]), b = transformPoint(m, xs[i + 1], ys[i + 1]);
        eb.add(CurveEdge{a.x, a.y, (a.x + b.x) >> 1, (a.y + b.y) >> 1, b.x, b.y, true}, f, kNoFill, FillRule::NonZero);
      }
      raster_.addObject(box, mask);
      mask = &box.fills()[f];
    }
  }
  if (s.maskPart) {
    // Every edge winds the shared mask fill, so the parts unite.
    raster_.addObject(build, nullptr, const_cast<FillStyle*>(mask));
    return ok;
  }
  raster_.addObject(build, mask);
  if (s.clipDepth && build.maskFill() != kNoFill)
    masks_.push_back(MaskEntry{s.clipDepth, &build.fills()[build.maskFill()]});
  return ok;
}

void Renderer::endFrame() {
  if (!active_) return;
  const ClipRect& f = setup_.focus;
  if (f.right > f.left && f.bottom > f.top) {
    focus_.clear();
    const uint32_t fill = focus_.addFill();
    FillStyle& fs = focus_.fills()[fill];
    fs.color = expand(Rgba{255, 255, 0, 255});
    fs.styleNumber = 1;
    const int a = setup_.factor, t = std::max(1, setup_.focusWidth) * a;
    const int x0 = f.left * a, y0 = f.top * a, x1 = f.right * a, y1 = f.bottom * a;
    // Four bands (three client pixels wide) along the inside of the focus bounds.
    addRect(focus_, fill, x0, y0, x1, std::min(y1, y0 + t));
    addRect(focus_, fill, x0, std::max(y0, y1 - t), x1, y1);
    addRect(focus_, fill, x0, y0 + t, std::min(x1, x0 + t), y1 - t);
    addRect(focus_, fill, std::max(x0, x1 - t), y0 + t, x1, y1 - t);
    // The bands share one fill: each is its own even-odd pair of edges, so
    // overlapping pairs must not cancel; the side bands stay between the
    // top and bottom ones.
    prepareFills(focus_, device_, a);
    raster_.addObject(focus_, nullptr);
  }
  raster_.paint();
  // Scratch builds are made anew each frame: the bitmaps they read may be
  // released until then.
  for (size_t i = 0; i < scratchUsed_ && i < scratch_.size(); ++i) scratch_[i]->releaseBitmaps();
  active_ = false;
}

bool Renderer::hitTest(const ShapeBuild& build, int64_t x, int64_t y) { return hitTestShape(build, x, y); }

}  // namespace kivra
