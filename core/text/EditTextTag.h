#pragma once
// The body of a DefineEditText tag (after its character id): the field's box,
// its flag word and the parts the flags say are present. The field itself
// (text, layout, drawing) is built from this by the movie layer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/format/Records.h"

namespace kivra {

// Bits of a field's flag word. The low 16 bits come from the tag; the "has"
// bits only say which optional parts the tag carries.
enum EditTextFlag : uint32_t {
  kFieldHasFont = 0x0001,
  kFieldHasMaxLength = 0x0002,
  kFieldHasColor = 0x0004,
  kFieldReadOnly = 0x0008,  // a "dynamic" field; clear: an "input" field
  kFieldPassword = 0x0010,
  kFieldMultiline = 0x0020,
  kFieldWordWrap = 0x0040,
  kFieldHasText = 0x0080,
  kFieldEmbedFonts = 0x0100,  // drawn with the font's glyph outlines
  kFieldHtml = 0x0200,
  kFieldBorder = 0x0800,
  kFieldNoSelect = 0x1000,
  kFieldHasLayout = 0x2000,
  kFieldAutoSize = 0x4000,
  kFieldBackground = 0x80000,  // never in a tag: a bordered tag gets it
};

struct EditTextDefinition {
  RECT bounds;            // twips
  uint32_t flags = 0;     // the tag's 16-bit word; the border bit also sets the background bit
  uint16_t fontId = 0;    // with kFieldHasFont
  uint16_t height = 0;    // twips, with kFieldHasFont
  Rgba color{};           // with kFieldHasColor, as the tag has it
  uint16_t maxLength = 0;  // with kFieldHasMaxLength; 0 = unlimited
  // With kFieldHasLayout (twips). Align: 0 left, 1 right, 2 center; the
  // layout treats other values as left.
  uint8_t align = 0;
  uint16_t leftMargin = 0;
  uint16_t rightMargin = 0;
  int16_t indent = 0;
  int16_t leading = 0;
  std::string variable;     // always in the tag; may be empty
  std::string initialText;  // with kFieldHasText
  bool operator==(const EditTextDefinition&) const = default;
};

// Fills `out` from a tag body. False when the body is cut short before the
// variable name ends; the parts read in full stay in `out` and the others
// keep their defaults. Initial text cut off before its terminator is kept
// as far as it goes, since the field is complete without it.
bool parseEditTextTag(const uint8_t* body, size_t length, EditTextDefinition& out);

}  // namespace kivra
