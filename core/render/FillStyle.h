#pragma once
// The renderer's fill record: one per fill or line colour of a shape build,
// already in device colours, plus its painting state (filled in by
// FillPainter) and its state in the sweep (owned by the Rasterizer).
#include <cstdint>
#include <memory>
#include <vector>

#include "core/render/ColorTransform.h"
#include "core/render/Fixed.h"
#include "core/render/bitmap/BitmapImage.h"

namespace kivra {

// The sweep's stacking key: (layer << 16) | style number.
using OrderKey = uint32_t;

// Coverage: the colour weighted by a coverage image in device pixels (text
// drawn from glyph masks).
enum class FillKind : uint8_t { Solid = 0, Bitmap = 1, Gradient = 2, Mask = 3, Coverage = 4 };

struct GradientRecord {
  uint8_t ratio = 0;
  Rgba color;  // straight (not premultiplied), transform applied
};

// Ratio positions 0..256 inclusive, premultiplied.
struct GradientRamp {
  ExpandedPixel entry[257];
};

// Resolves bitmap character ids for bitmap fills. Implemented by the
// dictionary owner: decodes on first use; returns null for a missing or
// non-bitmap character and an empty image when the pixels could not be had.
class BitmapSource {
 public:
  virtual ~BitmapSource() = default;
  virtual std::shared_ptr<BitmapImage> bitmap(uint16_t characterId) = 0;
};

// 8-bit coverage over a rectangle of device pixels.
struct CoverageImage {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> coverage;  // width x height, top row first
};

// Per-fill colour lookup tables for transformed bitmaps.
struct ColorTables {
  uint8_t r[256], g[256], b[256], a[256];
};

// How a fill produces pixels.
enum class SpanKind : uint8_t { None, Solid, Linear, Radial, Bitmap, Coverage };

// What the sweep reads for every edge crossing comes first, so that it
// shares one cache line (the record is aligned to a line).
struct alignas(64) FillStyle {
  FillKind kind = FillKind::Solid;
  uint8_t type = 0;             // the type byte as read
  bool transparent = false;
  SpanKind span = SpanKind::None;  // how it paints (FillPainter)

  // ---- Sweep state (Rasterizer) ----
  bool active = false;
  bool plainOpaque = false;     // opaque, solid, unmasked: paints alone
  int32_t counter = 0;
  OrderKey orderKey = 0;
  ExpandedPixel color = 0;      // premultiplied; the fallback for gradients and bitmaps
  const FillStyle* maskLink = nullptr;
  FillStyle* nextActive = nullptr;
  // Its active edges: 2 x their winding + their toggles modulo 2, zero when
  // they close on the current row. On rows where some fill's edges do not
  // close, the sweep looks ahead: this fill's count at the row's end and the
  // crossing from which it stays on.
  int32_t rowBalance = 0;
  uint32_t probeStamp = 0;
  int32_t probeCounter = 0;
  int32_t openFrom = 0;

  uint32_t styleNumber = 0;
  uint8_t gradientCount = 0;
  GradientRecord gradient[8];
  MATRIX matrix;                // gradient or bitmap space -> shape twips
  uint16_t bitmapId = 0;
  BitmapPixels bitmap;          // locked by the build while it holds them
  ColorTransform cxform;        // kept for bitmap fills

  // ---- Painting state (FillPainter) ----
  bool smooth = false;
  bool clipped = false;
  bool directCopy = false;      // rows copy straight into 32-bit targets
  int32_t ramp = -1;            // index into the build's ramps
  int32_t tables = -1;          // index into the build's colour tables
  int32_t coverage = -1;        // index into the build's coverage images
  bool unpremultiply = false;   // bitmap tables need straight colours
  // Inverse mapping from device pixels: u = ua.x + uc.y + ut (and v); for
  // gradients in gradient units x 256, for bitmaps in bitmap pixels x 65536.
  double ua = 0, ub = 0, uc = 0, ud = 0, ut = 0, vt = 0;
  const GradientRamp* rampPtr = nullptr;
  const ColorTables* tablePtr = nullptr;
  const CoverageImage* coveragePtr = nullptr;
};

}  // namespace kivra
