// Static text: records of positioned glyph runs, each glyph built from its
// font's outline through the same edges as a shape.
#include <algorithm>

#include "core/render/FillPainter.h"
#include "core/render/RenderMatrix.h"
#include "core/render/ShapeParser.h"

namespace kivra {

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
  const bool rgba = in.tagCode == 33;
  uint32_t fill = mask_;  // a mask: every glyph clips
  uint32_t styles = 0;
  uint16_t fontId = 0;
  bool haveFont = false;
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
    // 1024 glyph units are the text height.
    MATRIX scale;
    scale.a = scale.d = static_cast<Fixed16>(height * 64);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t index = c.readUB(glyphBits);
      const int32_t advance = c.readSB(advanceBits);
      if (c.overrun()) return false;
      const uint8_t* records = nullptr;
      size_t length = 0;
      if (haveFont && fill != kNoFill && in.glyphs && in.glyphs->glyph(fontId, index, records, length)) {
        MATRIX g = scale;
        g.tx = x;
        g.ty = y;
        // A damaged glyph draws what was read of it; the rest still draws.
        (void)appendGlyph(records, length, concatMatrix(g, toDevice), fill);
        if (edges_.full()) {
          ok = false;
          break;
        }
      }
      x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x} + advance, INT32_MIN, INT32_MAX));
    }
  }
  m_ = in.matrix;
  return ok;
}

}  // namespace kivra
