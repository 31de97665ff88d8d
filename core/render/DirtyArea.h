#pragma once
// The area of the stage to repaint: at most three rectangles in device
// sub-pixels. Each addition is grown by twice the anti-aliasing factor (edge
// coverage reaches beyond the bounds), clipped to the view, and then the
// cheapest pair is merged when that saves area, or always once four are held.
#include <cstdint>

namespace kivra {

struct DeviceRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  int64_t area() const { return empty() ? 0 : int64_t(right - left) * (bottom - top); }
  DeviceRect united(const DeviceRect& o) const;
  DeviceRect intersected(const DeviceRect& o) const;
  bool operator==(const DeviceRect&) const = default;
  // The pixels a rectangle of sub-pixels touches (a pixel partly inside
  // counts), for an anti-aliasing factor of `factor`.
  DeviceRect inPixels(int factor) const;
};

class DirtyArea {
 public:
  static constexpr int kMaxRects = 3;

  // view: the view rectangle in sub-pixels; aaFactor: 1, 2 or 4.
  void setView(const DeviceRect& view, int aaFactor);
  void add(DeviceRect r);
  // Covers the whole view.
  void addAll() { add(view_); }
  void clear();

  int count() const { return count_; }
  const DeviceRect& rect(int i) const { return rects_[i]; }
  // The union of everything added since the last clear.
  const DeviceRect& bounds() const { return union_; }
  bool empty() const { return count_ == 0; }

 private:
  DeviceRect view_;
  int aaFactor_ = 1;
  // One spare slot: a fourth rectangle is held only until the merge.
  DeviceRect rects_[kMaxRects + 1];
  int count_ = 0;
  DeviceRect union_;
};

}  // namespace kivra
