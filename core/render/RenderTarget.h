#pragma once
// The off-screen bitmap the renderer draws into and the host copies to the
// window: premultiplied 32-bit pixels, 0xAARRGGBB in native byte order, rows
// stored top-down.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivra {

class RenderTarget {
 public:
  bool resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  uint32_t* row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* pixels() const { return pixels_.data(); }
  void fill(uint32_t argb);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace kivra
