#include "core/render/DirtyArea.h"

#include <algorithm>

namespace kivra {

DeviceRect DeviceRect::united(const DeviceRect& o) const {
  if (empty()) return o;
  if (o.empty()) return *this;
  return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
}

namespace {
int floorDiv(int32_t v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }
}  // namespace

DeviceRect DeviceRect::inPixels(int factor) const {
  const int f = factor < 1 ? 1 : factor;
  return {floorDiv(left, f), floorDiv(top, f), -floorDiv(-right, f), -floorDiv(-bottom, f)};
}

DeviceRect DeviceRect::intersected(const DeviceRect& o) const {
  DeviceRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
  return r.empty() ? DeviceRect{} : r;
}

void DirtyArea::setView(const DeviceRect& view, int aaFactor) {
  view_ = view;
  aaFactor_ = aaFactor < 1 ? 1 : aaFactor;
}

void DirtyArea::clear() {
  count_ = 0;
  union_ = DeviceRect{};
}

void DirtyArea::add(DeviceRect r) {
  if (r.empty()) return;
  const int32_t grow = 2 * aaFactor_;
  r = DeviceRect{r.left - grow, r.top - grow, r.right + grow, r.bottom + grow}.intersected(view_);
  if (r.empty()) return;
  rects_[count_++] = r;
  union_ = union_.united(r);
  if (count_ < 2) return;

  // The pair whose union grows the covered area the least.
  int bestI = 0;
  int bestJ = 1;
  int64_t bestGrowth = INT64_MAX;
  for (int i = 0; i < count_; ++i) {
    for (int j = i + 1; j < count_; ++j) {
      const int64_t growth = rects_[i].united(rects_[j]).area() - rects_[i].area() - rects_[j].area();
      if (growth < bestGrowth) {
        bestGrowth = growth;
        bestI = i;
        bestJ = j;
      }
    }
  }
  if (bestGrowth < 0 || count_ > kMaxRects) {
    rects_[bestI] = rects_[bestI].united(rects_[bestJ]);
    rects_[bestJ] = rects_[--count_];
  }
}

}  // namespace kivra
