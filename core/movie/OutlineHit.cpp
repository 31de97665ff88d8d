#include "core/movie/OutlineHit.h"

#include "core/movie/TimelinePlayer.h"
#include "core/render/HitTest.h"
#include "core/view/ViewTransform.h"

namespace kivra {

bool OutlineHit::covers(const Character& c, const MATRIX& device, uint16_t ratio, int64_t x, int64_t y) {
  if (!c.tagBody) return false;
  ShapeInstance in;
  in.tagCode = c.tagCode;
  in.body = c.tagBody;
  in.length = c.tagLength;
  in.matrix = device;
  in.ratio = ratio;
  in.factor = factor_;
  in.glyphs = c.owner ? &c.owner->fonts() : nullptr;
  (void)parser_.build(in, build_);  // a corrupt shape is tested as far as it was read
  const bool hit = hitTestShape(build_, x, y);
  build_.clear();
  return hit;
}

bool OutlineHit::coversDrawing(const Drawing& d, const MATRIX& device, int64_t x, int64_t y) {
  if (d.empty() || !d.hasBounds()) return false;
  DrawingInstance in;
  in.matrix = device;
  in.factor = factor_;
  (void)replay_.build(d, in, build_);  // a build cut short is tested as far as it went
  const bool hit = hitTestShape(build_, x, y);
  build_.clear();
  return hit;
}

bool insideBox(const MATRIX& device, const RECT& bounds, int64_t x, int64_t y) {
  const RECT r = transformRect(device, bounds);
  return x >= r.xmin && x <= r.xmax && y >= r.ymin && y <= r.ymax;
}

}  // namespace kivra
