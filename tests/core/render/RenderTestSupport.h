#pragma once
// Helpers for the renderer tests: shape bodies from the authoring kit and a
// one-call frame render.
#include <cstdint>
#include <string>
#include <vector>

#include "core/render/Renderer.h"
#include "tools/kit/Shape.h"
#include "tools/kit/Tags.h"

namespace kivra::test {

inline std::vector<uint8_t> shapeBody(const kit::ShapeBuilder& b, int version = 3, uint16_t id = 1) {
  std::string error;
  return kit::defineShapeBody(id, b.bounds(), b.shape(), version == 3, error);
}

inline uint16_t shapeTag(int version) { return version == 1 ? 2 : (version == 2 ? 22 : 32); }

// A view where one twip is `pixelsPerTwip` pixels (16.16).
inline MATRIX view(Fixed16 pixelsPerTwip) {
  MATRIX m;
  m.a = m.d = pixelsPerTwip;
  return m;
}

struct DrawItem {
  std::vector<uint8_t> body;
  uint16_t tag = 32;
  MATRIX matrix;
  CXFORM cxform;
  uint16_t ratio = 0;
  uint16_t depth = 1;
  uint16_t clipDepth = 0;
};

inline ShapeDraw shapeDraw(const DrawItem& it) {
  ShapeDraw d;
  d.tagCode = it.tag;
  d.body = it.body.data();
  d.length = it.body.size();
  d.matrix = it.matrix;
  d.cxform = it.cxform;
  d.ratio = it.ratio;
  d.depth = it.depth;
  d.clipDepth = it.clipDepth;
  return d;
}

inline void renderItems(RenderTarget& target, int factor, const std::vector<DrawItem>& items, MATRIX v,
                        bool background = true, Rgba bg = Rgba{255, 255, 255, 255},
                        const RasterKernels* kernels = nullptr, const BitmapSource* bitmaps = nullptr) {
  Renderer r;
  if (kernels) r.rasterizer().setKernels(*kernels);
  r.setBitmapSource(bitmaps);
  FrameSetup s;
  s.factor = factor;
  s.view = v;
  s.dirty = ClipRect{0, 0, target.width(), target.height()};
  s.hasBackground = background;
  s.background = bg;
  r.beginFrame(target, s);
  for (const DrawItem& it : items) r.drawShape(shapeDraw(it));
  r.endFrame();
}

inline uint32_t argbAt(const RenderTarget& t, int x, int y) { return t.row(y)[x]; }

}  // namespace kivra::test
