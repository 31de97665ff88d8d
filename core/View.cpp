#include "core/View.h"

#include <algorithm>

namespace kivra {

namespace {
constexpr int32_t kMinFramedSize = 16;  // twips; keeps the scale finite

// Rounds v to the nearest multiple of f (f > 0).
int32_t snapTo(int64_t v, int f) {
  const int64_t half = f / 2;
  const int64_t q = v >= 0 ? (v + half) / f : -((-v + half) / f);
  return static_cast<int32_t>(q * f);
}

// The translation that puts the chosen edge (or the centre) of [lo, hi]
// twips, scaled, on the same edge of [0, size] sub-pixels.
int32_t alignAxis(int32_t lo, int32_t hi, Fixed16 scale, int64_t size, bool first, bool second, int f) {
  int64_t t;
  if (first)
    t = -((static_cast<int64_t>(lo) * scale) >> 16);
  else if (second)
    t = size - ((static_cast<int64_t>(hi) * scale) >> 16);
  else
    t = size / 2 - ((static_cast<int64_t>(lo) + hi) * scale >> 17);
  return snapTo(t, f);
}

// Shifts [lo, hi] into [min, max], then clips it there.
void fitAxis(int32_t& lo, int32_t& hi, int32_t min, int32_t max) {
  if (lo < min) {
    hi += min - lo;
    lo = min;
  }
  if (hi > max) {
    lo -= hi - max;
    hi = max;
  }
  lo = std::max(lo, min);
}
}  // namespace

ViewTransform computeView(int clientWidth, int clientHeight, const RECT& framed, ScaleMode mode,
                          uint8_t align, int factor) {
  ViewTransform v;
  v.factor = factor > 0 ? factor : 1;
  const int32_t fw = std::max(framed.xmax - framed.xmin, kMinFramedSize);
  const int32_t fh = std::max(framed.ymax - framed.ymin, kMinFramedSize);
  if (clientWidth <= 0 || clientHeight <= 0) {
    clientWidth = fw / 20;
    clientHeight = fh / 20;
  }
  const int64_t w = static_cast<int64_t>(clientWidth) * v.factor;
  const int64_t h = static_cast<int64_t>(clientHeight) * v.factor;
  int64_t sx = (w << 16) / fw;
  int64_t sy = (h << 16) / fh;
  switch (mode) {
    case ScaleMode::ShowAll:
      sx = sy = std::min(sx, sy);
      break;
    case ScaleMode::NoBorder:
      sx = sy = std::max(sx, sy);
      break;
    case ScaleMode::ExactFit:
      break;
    case ScaleMode::NoScale:
      sx = sy = (static_cast<int64_t>(v.factor) << 16) / 20;
      break;
  }
  v.scaleX = static_cast<Fixed16>(std::clamp<int64_t>(sx, 1, INT32_MAX));
  v.scaleY = static_cast<Fixed16>(std::clamp<int64_t>(sy, 1, INT32_MAX));
  v.translateX = alignAxis(framed.xmin, framed.xmax, v.scaleX, w, align & kAlignLeft,
                           align & kAlignRight, v.factor);
  v.translateY = alignAxis(framed.ymin, framed.ymax, v.scaleY, h, align & kAlignTop,
                           align & kAlignBottom, v.factor);
  return v;
}

void clientToMovie(const ViewTransform& view, int x, int y, int32_t& tx, int32_t& ty) {
  const int64_t px = static_cast<int64_t>(x) * view.factor - view.translateX;
  const int64_t py = static_cast<int64_t>(y) * view.factor - view.translateY;
  tx = static_cast<int32_t>((px << 16) / view.scaleX);
  ty = static_cast<int32_t>((py << 16) / view.scaleY);
}

RECT visibleRectangle(const ViewTransform& view, int clientWidth, int clientHeight) {
  RECT r;
  clientToMovie(view, 0, 0, r.xmin, r.ymin);
  clientToMovie(view, clientWidth, clientHeight, r.xmax, r.ymax);
  return r;
}

bool zoomRectangle(const RECT& visible, const RECT& frame, Fixed16 factor, int32_t cx,
                   int32_t cy, int clientWidth, int clientHeight, RECT& out) {
  const int64_t w = std::max<int64_t>((static_cast<int64_t>(visible.xmax - visible.xmin) * factor) >> 16, clientWidth);
  const int64_t h = std::max<int64_t>((static_cast<int64_t>(visible.ymax - visible.ymin) * factor) >> 16, clientHeight);
  RECT r;
  r.xmin = static_cast<int32_t>(cx - w / 2);
  r.xmax = static_cast<int32_t>(r.xmin + w);
  r.ymin = static_cast<int32_t>(cy - h / 2);
  r.ymax = static_cast<int32_t>(r.ymin + h);
  fitAxis(r.xmin, r.xmax, frame.xmin, frame.xmax);
  fitAxis(r.ymin, r.ymax, frame.ymin, frame.ymax);
  if (r.xmax <= r.xmin || r.ymax <= r.ymin) return false;
  if (r.xmin <= frame.xmin && r.ymin <= frame.ymin && r.xmax >= frame.xmax && r.ymax >= frame.ymax)
    return false;
  out = r;
  return true;
}

RECT panRectangle(const RECT& zoom, const RECT& frame, int32_t dx, int32_t dy) {
  RECT r = zoom;
  r.xmin += dx;
  r.xmax += dx;
  r.ymin += dy;
  r.ymax += dy;
  fitAxis(r.xmin, r.xmax, frame.xmin, frame.xmax);
  fitAxis(r.ymin, r.ymax, frame.ymin, frame.ymax);
  return r;
}

}  // namespace kivra
