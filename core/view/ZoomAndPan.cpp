#include "core/view/ZoomAndPan.h"

#include <algorithm>

namespace kivra {

namespace {
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

// The view never rotates: only its scale (a, d) and translation count.
void clientToMovie(const ViewTransform& view, int x, int y, int32_t& tx, int32_t& ty) {
  const int64_t px = static_cast<int64_t>(x) * view.aaFactor - view.matrix.tx;
  const int64_t py = static_cast<int64_t>(y) * view.aaFactor - view.matrix.ty;
  tx = static_cast<int32_t>((px << 16) / std::max<int32_t>(1, view.matrix.a));
  ty = static_cast<int32_t>((py << 16) / std::max<int32_t>(1, view.matrix.d));
}

void pixelsToTwips(const ViewTransform& view, int dx, int dy, int32_t& tx, int32_t& ty) {
  tx = static_cast<int32_t>((static_cast<int64_t>(dx) * view.aaFactor << 16) / std::max<int32_t>(1, view.matrix.a));
  ty = static_cast<int32_t>((static_cast<int64_t>(dy) * view.aaFactor << 16) / std::max<int32_t>(1, view.matrix.d));
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
