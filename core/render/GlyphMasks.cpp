#include "core/render/GlyphMasks.h"

#include <algorithm>
#include <cstring>


namespace kivra {

namespace {

int floorDiv(int v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }
int ceilDiv(int v, int d) { return -floorDiv(-v, d); }

}  // namespace

const GlyphMask* GlyphMaskMaker::embedded(GlyphMasks& store, const uint8_t* records, size_t length, Fixed16 scale,
                                          int phaseX, int phaseY, int factor) {
  const GlyphMasks::Key key{records, 0, scale, static_cast<uint8_t>(phaseX), static_cast<uint8_t>(phaseY),
                            static_cast<uint8_t>(factor)};
  if (const GlyphMask* m = store.find(key)) return m;
  if (scale <= 0 || int64_t{scale} * 1024 / 65536 > int64_t{kMaxEmPixels} * factor) return nullptr;
  MATRIX m;
  m.a = m.d = scale;
  m.tx = phaseX;
  m.ty = phaseY;
  // A damaged glyph is masked as far as it was read, as its outline would be drawn.
  (void)parser_.buildGlyph(records, length, m, Rgba{255, 255, 255, 255}, factor, build_);
  GlyphMask mask;
  if (build_.edges().empty()) {
    build_.clear();
    return &store.insert(key, std::move(mask));
  }
  int x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
  for (const EdgeRecord& e : build_.edges()) {
    x0 = std::min({x0, int{e.x0}, int{e.x1}, int{e.cx}});
    x1 = std::max({x1, int{e.x0}, int{e.x1}, int{e.cx}});
    y0 = std::min({y0, int{e.y0}, int{e.y1}, int{e.cy}});
    y1 = std::max({y1, int{e.y0}, int{e.y1}, int{e.cy}});
  }
  const int left = floorDiv(x0, factor), top = floorDiv(y0, factor);
  const int width = ceilDiv(x1, factor) - left, height = ceilDiv(y1, factor) - top;
  // Outlines reaching far beyond the em are drawn as outlines.
  if (width <= 0 || height <= 0 || width > 4 * kMaxEmPixels || height > 4 * kMaxEmPixels) {
    build_.clear();
    return nullptr;
  }
  m.tx = phaseX - left * factor;
  m.ty = phaseY - top * factor;
  (void)parser_.buildGlyph(records, length, m, Rgba{255, 255, 255, 255}, factor, build_);
  if (target_.width() != width || target_.height() != height) {
    if (!target_.create(width, height, PixelFormat::Bgra32)) {
      build_.clear();
      return nullptr;
    }
  }
  target_.fill(0);
  if (raster_.beginFrame(target_, factor, ClipRect{0, 0, width, height})) {
    raster_.addObject(build_, nullptr);
    raster_.paint();
  }
  build_.clear();
  mask.left = left;
  mask.top = top;
  mask.width = width;
  mask.height = height;
  mask.stride = (width + 15) & ~15;
  mask.coverage.assign(static_cast<size_t>(mask.stride) * static_cast<size_t>(height), 0);
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = target_.row(y);
    uint8_t* out = mask.coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.stride);
    for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>(row[x] >> 24);
  }
  return &store.insert(key, std::move(mask));
}

const GlyphMask* GlyphMaskMaker::device(GlyphMasks& store, DeviceGlyphs& glyphs, uint32_t index, int size26_6) {
  const GlyphMasks::Key key{&glyphs, index, size26_6, 0, 0, 0};
  if (const GlyphMask* m = store.find(key)) return m;
  if (size26_6 <= 0 || size26_6 > kMaxEmPixels * 64) return nullptr;
  GlyphMask mask;
  const GlyphCoverage* g = glyphs.coverage(index, size26_6);
  if (g && g->width > 0 && g->height > 0 && g->pitch >= g->width &&
      g->pixels.size() >= static_cast<size_t>(g->pitch) * static_cast<size_t>(g->height - 1) + static_cast<size_t>(g->width)) {
    mask.left = g->left;
    mask.top = -g->top;
    mask.width = g->width;
    mask.height = g->height;
    mask.stride = (g->width + 15) & ~15;
    mask.coverage.assign(static_cast<size_t>(mask.stride) * static_cast<size_t>(g->height), 0);
    for (int y = 0; y < g->height; ++y)
      std::memcpy(mask.coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(mask.stride),
                  g->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(g->pitch), static_cast<size_t>(g->width));
  }
  return &store.insert(key, std::move(mask));
}

}  // namespace kivra
