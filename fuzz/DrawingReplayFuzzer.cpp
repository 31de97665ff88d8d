// Scripted drawings from arbitrary bytes: each command byte picks a drawing
// call, the bytes after it its numbers (small, huge, negative, NaN and
// infinite pixel values among them, turned into twips as scripts do). The
// drawing is replayed at several matrices, normal and as a mask, hit tested
// and swept into a small target; all must finish without a fault.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/render/Drawing.h"
#include "core/render/HitTest.h"
#include "core/render/raster/Rasterizer.h"
#include "core/script/NumberText.h"

namespace {

using namespace kivra;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int32_t word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return static_cast<int32_t>(v);
  }
  // A pixel value as a script could pass it.
  double pixels() {
    const uint8_t k = byte();
    switch (k & 15) {
      case 0: return std::numeric_limits<double>::quiet_NaN();
      case 1: return std::numeric_limits<double>::infinity();
      case 2: return -std::numeric_limits<double>::infinity();
      case 3: return 1e300;
      case 4: return -1e12;
      case 5: return static_cast<double>(word());
      case 6: return static_cast<double>(word()) / 65536.0;
      default: return static_cast<double>(static_cast<int8_t>(byte())) * 0.75 + (k >> 4);
    }
  }
  int32_t twips() { return toInteger32(pixels() * 20); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Reader r(data, size);
  Drawing d;
  int calls = 0;
  while (!r.done() && calls++ < 4096) {
    switch (r.byte() % 9) {
      case 0: {
        const uint8_t flags = r.byte();
        d.beginFill(flags & 1, static_cast<uint32_t>(r.word()), static_cast<int>(r.word()));
        break;
      }
      case 1: {
        DrawGradient g;
        const uint8_t flags = r.byte();
        g.radial = flags & 1;
        g.matrix = MATRIX{r.word(), r.word(), r.word(), r.word(), r.twips(), r.twips()};
        g.count = static_cast<uint8_t>(r.byte() % 12);
        for (int i = 0; i < 8; ++i) {
          g.records[i].ratio = r.byte();
          g.records[i].color = Rgba{r.byte(), r.byte(), r.byte(), r.byte()};
        }
        d.beginGradientFill(flags & 2, g);
        break;
      }
      case 2: d.moveTo(r.twips(), r.twips()); break;
      case 3: d.lineTo(r.twips(), r.twips()); break;
      case 4: {
        const int32_t cx = r.twips(), cy = r.twips(), x = r.twips(), y = r.twips();
        d.curveTo(cx, cy, x, y);
        break;
      }
      case 5: {
        const uint8_t flags = r.byte();
        d.lineStyle(flags & 1, r.twips(), static_cast<uint32_t>(r.word()), static_cast<int>(r.word()));
        break;
      }
      case 6: d.endFill(); break;
      case 7: if ((r.byte() & 7) == 0) d.clear(); break;
      default: break;
    }
  }
  (void)d.bounds();

  // Clip twips -> device sub-pixels at factor 4: a plain view, a rotated
  // and magnified one, a flat one and one at the limits.
  const MATRIX matrices[4] = {
      MATRIX{kFixedOne / 5, 0, 0, kFixedOne / 5, 0, 0},
      MATRIX{40000, 30000, -30000, 40000, 100, -60},
      MATRIX{0, 0, 0, 0, 64, 64},
      MATRIX{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
  };
  CXFORM half;
  half.flags = CXFORM::kHasMultipliers | CXFORM::kHasAddends;
  half.rMul = half.gMul = half.bMul = half.aMul = 128;
  half.rAdd = half.gAdd = half.bAdd = half.aAdd = -20;
  DrawingReplay replay;
  ShapeBuild build(1 << 16, 1 << 12);
  RenderTarget target;
  if (!target.create(48, 48, PixelFormat::Bgra32)) return 0;
  for (int i = 0; i < 8; ++i) {
    DrawingInstance in;
    in.matrix = matrices[i & 3];
    in.mask = i >= 4;
    in.factor = (i & 1) ? 1 : 4;
    if (i & 2) in.cxform = ColorTransform(half);
    (void)replay.build(d, in, build);
    (void)hitTestShape(build, 40, 40);
    Rasterizer raster;
    if (!raster.beginFrame(target, in.factor, ClipRect{0, 0, 48, 48})) return 0;
    raster.addObject(build, nullptr);
    raster.paint();
  }
  return 0;
}
