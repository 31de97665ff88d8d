// Static text: records of positioned glyph runs. Small upright glyphs are
// copied from masks into one coverage image per colour; others are built
// from their outlines through the same edges as a shape.
#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/render/DeviceTransform.h"
#include "core/render/FillPainter.h"
#include "core/render/GlyphMasks.h"
#include "core/render/RenderMatrix.h"
#include "core/render/ShapeParser.h"

namespace kivra {

namespace {

int floorDiv(int64_t v, int d) { return static_cast<int>(v >= 0 ? v / d : -((-v + d - 1) / d)); }

// dst += src, saturating, over `stride` bytes (a multiple of 16).
inline void addCoverageRow(uint8_t* dst, const uint8_t* src, int stride) {
#if defined(__SSE2__)
  for (int k = 0; k < stride; k += 16) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + k));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), _mm_adds_epu8(d, v));
  }
#else
  for (int k = 0; k < stride; ++k) dst[k] = static_cast<uint8_t>(std::min(255, dst[k] + src[k]));
#endif
}

}  // namespace

bool ShapeParser::buildText(TagCursor& c, const ShapeInstance& in, ShapeBuild& out) {
  const MATRIX textMatrix = c.readMatrix();
  c.alignToByte();
  const unsigned glyphBits = c.readU8();
  const unsigned advanceBits = c.readU8();
  if (c.overrun() || glyphBits > 32 || advanceBits > 32) return false;
  // Text space -> instance -> device.
  const MATRIX toDevice = concatMatrix(textMatrix, in.matrix);
  glyph_ = true;
  rule_ = FillRule::NonZero;
  // Masks serve upright text under one uniform scale; a mask (clipping
  // layer) and hit tests need outlines.
  GlyphMasks* store = nullptr;
  if (in.maskMaker && in.glyphs && mask_ == kNoFill && toDevice.b == 0 && toDevice.c == 0 && toDevice.a == toDevice.d &&
      toDevice.a > 0)
    store = in.glyphs->masks();
  if (store) store->beginBuild();
  masked_.clear();
  const bool rgba = in.tagCode == 33;
  uint32_t fill = mask_;  // a mask: every glyph clips
  uint32_t styles = 0;
  uint16_t fontId = 0;
  bool haveFont = false;
  DeviceGlyphs* device = nullptr;
  int32_t x = 0, y = 0;
  uint32_t height = 0;
  bool ok = true;
  while (ok) {
    c.alignToByte();
    const uint8_t flags = c.readU8();
    if (c.overrun()) return false;
    if (flags == 0) break;
    if (flags & 0x08) {
      fontId = c.readU16();
      haveFont = true;
      device = in.glyphs ? in.glyphs->deviceGlyphs(fontId) : nullptr;
    }
    if (flags & 0x04) {
      const Rgba col = deviceColor(rgba ? c.readRgba() : c.readRgb());
      if (mask_ == kNoFill) {
        fill = out.addFill();
        if (fill == kNoFill) return false;
        FillStyle& f = out.fills()[fill];
        f.color = expand(premultiply(col));
        f.transparent = col.a < 255 || cx_.canLowerAlpha();
        f.styleNumber = std::min<uint32_t>(++styles, 0xFFFF);
      }
    }
    if (flags & 0x01) x = c.readS16();
    if (flags & 0x02) y = c.readS16();
    if (flags & 0x08) height = c.readU16();
    const uint32_t count = c.readU8();
    if (c.overrun()) return false;
    // 1024 glyph units are the text height; each glyph is this moved to
    // its place.
    MATRIX scale;
    scale.a = scale.d = static_cast<Fixed16>(height * 64);
    MATRIX g = concatMatrix(scale, toDevice);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t index = c.readUB(glyphBits);
      const int32_t advance = c.readSB(advanceBits);
      if (c.overrun()) return false;
      if (haveFont && fill != kNoFill && in.glyphs) {
        const auto at = transformPoint(toDevice, x, y);
        g.tx = at.x;
        g.ty = at.y;
        if (!addTextGlyph(in, store, fontId, device, index, g, fill)) {
          ok = false;
          break;
        }
      }
      x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x} + advance, INT32_MIN, INT32_MAX));
    }
  }
  if (!finishMaskedGlyphs(out, styles)) ok = false;
  m_ = in.matrix;
  return ok;
}

bool ShapeParser::addTextGlyph(const ShapeInstance& in, GlyphMasks* store, uint16_t fontId, DeviceGlyphs* device,
                               uint32_t index, const MATRIX& m, uint32_t fill, uint32_t code) {
  if (device && in.deviceText && fill != kNoFill && fill != mask_ &&
      in.deviceText->deviceGlyph(*device, index, code ? code : device->character(index), m, fill))
    return true;
  MaskedGlyph g{nullptr, 0, 0, fill, nullptr, 0, device, index, m};
  if (!device && !in.glyphs->glyph(fontId, index, g.records, g.length)) return true;  // nothing to draw
  if (store) {
    if (device) {
      // The system renders at whole pixels: the pen is snapped to one.
      const double em = double(m.a) * 1024.0 / 65536.0 / factor_;
      const int size = static_cast<int>(std::lround(em * 64));
      g.mask = in.maskMaker->device(*store, *device, index, size);
      if (g.mask) {
        g.x = static_cast<int>(std::lround(double(m.tx) / factor_)) + g.mask->left;
        g.y = static_cast<int>(std::lround(double(m.ty) / factor_)) + g.mask->top;
      }
    } else {
      // The mask is made at the origin's sub-pixel phase, so it covers what
      // the outline would cover here.
      const int px = floorDiv(m.tx, factor_), py = floorDiv(m.ty, factor_);
      g.mask = in.maskMaker->embedded(*store, g.records, g.length, m.a, m.tx - px * factor_, m.ty - py * factor_,
                                      factor_);
      if (g.mask) {
        g.x = px + g.mask->left;
        g.y = py + g.mask->top;
      }
    }
    if (g.mask) {
      if (g.mask->width > 0) masked_.push_back(g);
      return true;
    }
  }
  appendMaskedOutline(g);
  return !edges_.full();
}

void ShapeParser::appendMaskedOutline(const MaskedGlyph& g) {
  if (g.device) {
    if (g.device->outline(g.index, path_)) appendPath(path_, g.m, g.fill);
  } else {
    // A damaged glyph draws what was read of it; the rest still draws.
    (void)appendGlyph(g.records, g.length, g.m, g.fill);
  }
}

bool ShapeParser::finishMaskedGlyphs(ShapeBuild& out, uint32_t& styles) {
  // One coverage image per colour, in the order the colours were first met.
  for (size_t first = 0; first < masked_.size(); ++first) {
    const uint32_t colour = masked_[first].fill;
    if (colour == kNoFill) continue;
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (size_t i = first; i < masked_.size(); ++i) {
      const MaskedGlyph& g = masked_[i];
      if (g.fill != colour) continue;
      x0 = std::min<int64_t>(x0, g.x);
      y0 = std::min<int64_t>(y0, g.y);
      x1 = std::max<int64_t>(x1, int64_t{g.x} + g.mask->width);
      y1 = std::max<int64_t>(y1, int64_t{g.y} + g.mask->height);
    }
    const int64_t width = x1 - x0, height = y1 - y0;
    // Past the build's coverage limit the glyphs are drawn as outlines.
    const uint32_t f = uint64_t(width) * uint64_t(height) <= ShapeBuild::kMaxCoveragePixels ? out.addFill() : kNoFill;
    if (f != kNoFill) out.fills()[f].styleNumber = std::min<uint32_t>(++styles, 0xFFFF);
    const int32_t image = f != kNoFill ? out.addCoverage(static_cast<int>(x0), static_cast<int>(y0),
                                                         static_cast<int>(width), static_cast<int>(height))
                                       : -1;
    if (image < 0) {
      // No image: these glyphs are drawn from their outlines.
      for (size_t i = first; i < masked_.size(); ++i) {
        if (masked_[i].fill != colour) continue;
        appendMaskedOutline(masked_[i]);
        masked_[i].fill = kNoFill;
      }
      if (edges_.full()) return false;
      continue;
    }
    FillStyle& fs = out.fills()[f];
    const FillStyle& solid = out.fills()[colour];
    fs.kind = FillKind::Coverage;
    fs.color = solid.color;
    fs.transparent = true;
    fs.coverage = image;
    CoverageImage& img = out.coverage(image);
    for (size_t i = first; i < masked_.size(); ++i) {
      MaskedGlyph& g = masked_[i];
      if (g.fill != colour) continue;
      // Glyphs that touch add up, as their outlines would cover together.
      // A row's padding adds zeros past its end (into the next row or the
      // image's spare bytes).
      const uint8_t* src = g.mask->coverage.data();
      uint8_t* dst = img.coverage.data() + static_cast<size_t>(g.y - y0) * static_cast<size_t>(width) +
                     static_cast<size_t>(g.x - x0);
      for (int row = 0; row < g.mask->height; ++row) {
        addCoverageRow(dst, src, g.mask->stride);
        src += g.mask->stride;
        dst += width;
      }
      g.fill = kNoFill;
    }
    const int64_t a = factor_;
    edges_.addLine(x0 * a, y0 * a, x0 * a, y1 * a, f, kNoFill, FillRule::EvenOdd);
    edges_.addLine(x1 * a, y0 * a, x1 * a, y1 * a, f, kNoFill, FillRule::EvenOdd);
    if (edges_.full()) return false;
  }
  masked_.clear();
  return true;
}

void ShapeParser::appendPath(const std::vector<GlyphPathCommand>& path, const MATRIX& m, uint32_t fill) {
  selectFills(fill, kNoFill, false);
  anchor_.valid = false;
  const double a = m.a / 65536.0, b = m.b / 65536.0, c = m.c / 65536.0, d = m.d / 65536.0;
  auto dx = [&](double x, double y) { return static_cast<int64_t>(std::llround(std::clamp(a * x + c * y + m.tx, -1e12, 1e12))); };
  auto dy = [&](double x, double y) { return static_cast<int64_t>(std::llround(std::clamp(b * x + d * y + m.ty, -1e12, 1e12))); };
  int64_t px = 0, py = 0;
  for (const GlyphPathCommand& p : path) {
    const int64_t x = dx(p.x, p.y), y = dy(p.x, p.y);
    if (p.verb == GlyphPathVerb::Line) {
      edge(CurveEdge{px, py, (px + x) >> 1, (py + y) >> 1, x, y, true});
    } else if (p.verb == GlyphPathVerb::Quadratic) {
      edge(CurveEdge{px, py, dx(p.cx, p.cy), dy(p.cx, p.cy), x, y, false});
    }
    px = x;
    py = y;
    if (edges_.full()) return;
  }
}

}  // namespace kivra

namespace kivra {

bool ShapeParser::addFieldRect(ShapeBuild& out, const TextDrawRect& r, uint32_t& styles) {
  uint32_t fill = mask_;
  if (mask_ == kNoFill) {
    fill = out.addFill();
    if (fill == kNoFill) return false;
    const Rgba col = deviceColor(Rgba{static_cast<uint8_t>(r.color >> 16), static_cast<uint8_t>(r.color >> 8),
                                      static_cast<uint8_t>(r.color), static_cast<uint8_t>(r.color >> 24)});
    FillStyle& f = out.fills()[fill];
    f.color = expand(premultiply(col));
    f.transparent = col.a < 255 || cx_.canLowerAlpha();
    f.styleNumber = std::min<uint32_t>(++styles, 0xFFFF);
  }
  selectFills(fill, kNoFill, false);
  anchor_.valid = false;
  const int32_t xs[5] = {r.rect.xmin, r.rect.xmax, r.rect.xmax, r.rect.xmin, r.rect.xmin};
  const int32_t ys[5] = {r.rect.ymin, r.rect.ymin, r.rect.ymax, r.rect.ymax, r.rect.ymin};
  for (int i = 0; i < 4; ++i) {
    int64_t x0, y0, x1, y1;
    toDevice(m_, xs[i], ys[i], x0, y0);
    toDevice(m_, xs[i + 1], ys[i + 1], x1, y1);
    edge(CurveEdge{x0, y0, (x0 + x1) >> 1, (y0 + y1) >> 1, x1, y1, true});
  }
  return !edges_.full();
}

bool ShapeParser::buildField(const ShapeInstance& in, ShapeBuild& out) {
  const TextDraw& t = *in.field;
  setDeviceBounds(out, t.clip.xmin, t.clip.xmax, t.clip.ymin, t.clip.ymax);
  uint32_t styles = 0;
  rule_ = FillRule::NonZero;
  for (const TextDrawRect& r : t.under)
    if (!addFieldRect(out, r, styles)) return false;
  if (!t.glyphs.empty() && in.glyphs) {
    glyph_ = true;
    const MATRIX toDevice = in.matrix;
    GlyphMasks* store = nullptr;
    if (in.maskMaker && mask_ == kNoFill && toDevice.b == 0 && toDevice.c == 0 && toDevice.a == toDevice.d &&
        toDevice.a > 0)
      store = in.glyphs->masks();
    if (store) store->beginBuild();
    masked_.clear();
    uint32_t fill = mask_;
    uint32_t color = 0;
    bool haveColor = false;
    for (const TextDrawGlyph& gl : t.glyphs) {
      if (mask_ == kNoFill && (!haveColor || gl.color != color)) {
        // One fill per run of a colour; masked glyphs of one colour share
        // a coverage image whatever fill they came with.
        color = gl.color;
        haveColor = true;
        fill = out.addFill();
        if (fill == kNoFill) return false;
        const Rgba col = deviceColor(Rgba{static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                                          static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 24)});
        FillStyle& f = out.fills()[fill];
        f.color = expand(premultiply(col));
        f.transparent = col.a < 255 || cx_.canLowerAlpha();
        f.styleNumber = std::min<uint32_t>(++styles, 0xFFFF);
      }
      MATRIX scale;
      scale.a = scale.d = static_cast<Fixed16>(std::clamp<int64_t>(int64_t{gl.size} * 64, 0, INT32_MAX));
      MATRIX g = concatMatrix(scale, toDevice);
      const auto at = transformPoint(toDevice, gl.x, gl.y);
      g.tx = at.x;
      g.ty = at.y;
      if (!addTextGlyph(in, store, gl.fontId, gl.device, gl.index, g, fill, gl.code)) return false;
    }
    // Coverage images of a colour share the colour of its first fill.
    if (!finishMaskedGlyphs(out, styles)) return false;
    glyph_ = false;
  }
  rule_ = FillRule::NonZero;
  for (const TextDrawRect& r : t.over)
    if (!addFieldRect(out, r, styles)) return false;
  return true;
}

}  // namespace kivra
