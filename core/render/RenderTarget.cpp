#include "core/render/RenderTarget.h"

#include <algorithm>

namespace kivra {

bool RenderTarget::resize(int width, int height) {
  if (width < 0 || height < 0 || width > 32000 || height > 32000) return false;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<size_t>(width) * height, 0xFFFFFFFFu);
  return true;
}

void RenderTarget::fill(uint32_t argb) { std::fill(pixels_.begin(), pixels_.end(), argb); }

}  // namespace kivra
