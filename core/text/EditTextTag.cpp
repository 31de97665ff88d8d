#include "core/text/EditTextTag.h"

#include "core/format/TagCursor.h"

namespace kivra {

bool parseEditTextTag(const uint8_t* body, size_t length, EditTextDefinition& out) {
  out = EditTextDefinition{};
  TagCursor c(body, body ? static_cast<int64_t>(length) : 0);
  const RECT bounds = c.readRect();
  const uint16_t word = c.readU16();
  if (c.overrun()) return false;
  out.bounds = bounds;
  out.flags = word;
  if (word & kFieldBorder) out.flags |= kFieldBackground;

  // Each part is stored only when all of its bytes were there.
  if (word & kFieldHasFont) {
    const uint16_t font = c.readU16();
    const uint16_t height = c.readU16();
    if (c.overrun()) return false;
    out.fontId = font;
    out.height = height;
  }
  if (word & kFieldHasColor) {
    const Rgba color = c.readRgba();
    if (c.overrun()) return false;
    out.color = color;
  }
  if (word & kFieldHasMaxLength) {
    const uint16_t maxLength = c.readU16();
    if (c.overrun()) return false;
    out.maxLength = maxLength;
  }
  if (word & kFieldHasLayout) {
    const uint8_t align = c.readU8();
    const uint16_t left = c.readU16();
    const uint16_t right = c.readU16();
    const int16_t indent = c.readS16();
    const int16_t leading = c.readS16();
    if (c.overrun()) return false;
    out.align = align;
    out.leftMargin = left;
    out.rightMargin = right;
    out.indent = indent;
    out.leading = leading;
  }
  out.variable = c.readString();
  if (c.overrun()) return false;
  if (word & kFieldHasText) out.initialText = c.readString();
  return true;
}

}  // namespace kivra
