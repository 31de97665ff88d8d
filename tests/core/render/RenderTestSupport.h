#pragma once
// Helpers for the renderer tests: shape bodies from the authoring kit and a
// one-call frame render.
#include <cstdint>
#include <memory>
#include <random>
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

// A 32-bit bitmap image from premultiplied 0xAARRGGBB words.
inline std::shared_ptr<BitmapImage> argbImage(int w, int h, const uint32_t* argb, bool transparent) {
  auto image = std::make_shared<BitmapImage>();
  if (!image->create(kBitmapBgra32, uint32_t(w), uint32_t(h))) return image;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = argb[y * w + x];
      uint8_t* p = image->row(uint32_t(y)) + 4 * x;
      p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
    }
  image->setTransparent(transparent);
  return image;
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

// Draws for generated scenes. Pinned pixel hashes depend on the exact
// sequence, so every helper draws in a fixed order.
struct SceneRandom {
  std::mt19937 rng;
  explicit SceneRandom(uint32_t seed) : rng(seed) {}
  int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  Rgba colour(bool translucent) {
    Rgba c{uint8_t((*this)(0, 255)), uint8_t((*this)(0, 255)), uint8_t((*this)(0, 255)), 255};
    if (translucent) c.a = uint8_t((*this)(0, 255));
    return c;
  }
  // A three-stop gradient under a random matrix.
  uint32_t addGradient(kit::ShapeBuilder& b, bool linear) {
    MATRIX gm;
    gm.a = (*this)(100, 4000);
    gm.d = (*this)(100, 4000);
    gm.b = (*this)(-1000, 1000);
    gm.tx = (*this)(0, 3000);
    gm.ty = (*this)(0, 2000);
    std::vector<kit::GradientStop> stops = {{0, colour((*this)(0, 1))},
                                            {uint8_t((*this)(1, 254)), colour((*this)(0, 1))},
                                            {255, colour((*this)(0, 1))}};
    return b.addFill(linear ? kit::FillStyle::linear(stops, gm) : kit::FillStyle::radial(stops, gm));
  }
  // One item in four gets an alpha multiplier and a red addend.
  void maybeCxform(DrawItem& it) {
    if ((*this)(0, 3) != 0) return;
    it.cxform.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
    it.cxform.aMul = int16_t((*this)(0, 256));
    it.cxform.rAdd = int16_t((*this)(-100, 100));
  }
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
                        const RasterKernels* kernels = nullptr, BitmapSource* bitmaps = nullptr) {
  Renderer r;
  if (kernels) r.rasterizer().setKernels(*kernels);
  r.setBitmapSource(bitmaps);
  FrameSetup s;
  s.factor = factor;
  s.view = v;
  s.dirty = ClipRect{0, 0, target.width(), target.height()};
  s.hasBackground = background;
  s.background = bg;
  EXPECT_TRUE(r.beginFrame(target, s));
  for (const DrawItem& it : items) EXPECT_TRUE(r.drawShape(shapeDraw(it)));
  r.endFrame();
}

inline uint32_t argbAt(const RenderTarget& t, int x, int y) { return t.row(y)[x]; }

}  // namespace kivra::test
