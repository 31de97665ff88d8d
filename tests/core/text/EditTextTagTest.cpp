// DefineEditText bodies: the parts the flag word announces, in their order,
// and bodies cut short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text/EditTextTag.h"
#include "tools/kit/ByteWriter.h"
#include "tools/kit/RecordWriter.h"

using namespace kivra;
using Bytes = std::vector<uint8_t>;

namespace {

EditTextDefinition sample() {
  EditTextDefinition d;
  d.bounds = RECT{-40, 4000, -20, 1200};
  d.fontId = 0x1234;
  d.height = 360;
  d.color = Rgba{0x11, 0x22, 0x33, 0x40};
  d.maxLength = 0xBEEF;
  d.align = 7;
  d.leftMargin = 100;
  d.rightMargin = 0xFFFF;
  d.indent = -200;
  d.leading = -3;
  d.variable = "_root.score";
  d.initialText = "Hi\nthere";
  return d;
}

// The body for `word`, with the parts of `d` the word announces.
Bytes body(uint16_t word, const EditTextDefinition& d) {
  kit::ByteWriter w;
  kit::writeRect(w, d.bounds);
  w.u16(word);
  if (word & kFieldHasFont) {
    w.u16(d.fontId);
    w.u16(d.height);
  }
  if (word & kFieldHasColor) kit::writeRgba(w, d.color);
  if (word & kFieldHasMaxLength) w.u16(d.maxLength);
  if (word & kFieldHasLayout) {
    w.u8(d.align);
    w.u16(d.leftMargin);
    w.u16(d.rightMargin);
    w.s16(d.indent);
    w.s16(d.leading);
  }
  w.string(d.variable);
  if (word & kFieldHasText) w.string(d.initialText);
  return w.take();
}

// What parsing should give: the parts announced, defaults elsewhere.
EditTextDefinition expected(uint32_t word, const EditTextDefinition& d) {
  EditTextDefinition e;
  e.bounds = d.bounds;
  e.flags = word | (word & kFieldBorder ? uint32_t{kFieldBackground} : 0u);
  if (word & kFieldHasFont) {
    e.fontId = d.fontId;
    e.height = d.height;
  }
  if (word & kFieldHasColor) e.color = d.color;
  if (word & kFieldHasMaxLength) e.maxLength = d.maxLength;
  if (word & kFieldHasLayout) {
    e.align = d.align;
    e.leftMargin = d.leftMargin;
    e.rightMargin = d.rightMargin;
    e.indent = d.indent;
    e.leading = d.leading;
  }
  e.variable = d.variable;
  if (word & kFieldHasText) e.initialText = d.initialText;
  return e;
}

constexpr uint16_t kPartBits[] = {kFieldHasFont, kFieldHasColor, kFieldHasMaxLength, kFieldHasLayout, kFieldHasText};

}  // namespace

// Every subset of the optional parts, with and without the border, and with
// the other bits (those without a name too) around them.
TEST(EditTextTag, EveryCombinationOfPartsReadsInOrder) {
  const EditTextDefinition d = sample();
  for (unsigned mask = 0; mask < 64; ++mask) {
    uint16_t word = mask & 32 ? 0xFFFF & ~(kFieldHasFont | kFieldHasColor | kFieldHasMaxLength | kFieldHasLayout |
                                           kFieldHasText)
                              : kFieldPassword;
    for (int i = 0; i < 5; ++i)
      if (mask & (1u << i)) word |= kPartBits[i];
    const Bytes b = body(word, d);
    EditTextDefinition out;
    out.variable = "left over";
    EXPECT_TRUE(parseEditTextTag(b.data(), b.size(), out));
    EXPECT_EQ(out, expected(word, d)) << "word " << word;
    EXPECT_EQ(out.flags, mask & 32 ? 0x80000u | word : word);
  }
}

// Every prefix of a body with every part: the parse fails until the
// variable name's terminator is there, keeps each part that is whole, and
// keeps as much of the initial text as there is.
TEST(EditTextTag, CutOffBodies) {
  const EditTextDefinition d = sample();
  const uint16_t word = kFieldHasFont | kFieldHasColor | kFieldHasMaxLength | kFieldHasLayout | kFieldHasText |
                        kFieldBorder;
  const Bytes full = body(word, d);
  kit::ByteWriter rect;
  kit::writeRect(rect, d.bounds);
  const size_t rectEnd = rect.size();
  const size_t fontEnd = rectEnd + 2 + 4, colorEnd = fontEnd + 4, maxEnd = colorEnd + 2, layoutEnd = maxEnd + 9;
  const size_t variableEnd = layoutEnd + d.variable.size() + 1;
  ASSERT_EQ(full.size(), variableEnd + d.initialText.size() + 1);
  for (size_t n = 0; n <= full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
    EditTextDefinition out;
    const bool ok = parseEditTextTag(cut.data(), cut.size(), out);
    EXPECT_EQ(ok, n >= variableEnd) << n;
    EditTextDefinition e = expected(word, d);
    if (n < rectEnd + 2) e = EditTextDefinition{};
    if (n < fontEnd) e.fontId = e.height = 0;
    if (n < colorEnd) e.color = Rgba{};
    if (n < maxEnd) e.maxLength = 0;
    if (n < layoutEnd) {
      e.align = 0;
      e.leftMargin = e.rightMargin = 0;
      e.indent = e.leading = 0;
    }
    e.variable = n <= layoutEnd ? "" : d.variable.substr(0, n - layoutEnd);
    e.initialText = n <= variableEnd ? "" : d.initialText.substr(0, n - variableEnd);
    EXPECT_EQ(out, e) << "length " << n;
  }
  EditTextDefinition out;
  EXPECT_FALSE(parseEditTextTag(nullptr, 100, out));
}
