#pragma once
// What a text field draws, already laid out by the text layer: solid
// rectangles (background, selection, underlines, caret, border) and placed
// glyphs, in the field's own twips, drawn inside `clip`. Items are drawn in
// this order: `under` rectangles, glyphs, `over` rectangles.
#include <cstdint>
#include <vector>

#include "core/format/Records.h"
#include "core/render/GlyphSource.h"

namespace kivra {

struct TextDrawRect {
  RECT rect;
  uint32_t color = 0xFF000000;  // ARGB
};

struct TextDrawGlyph {
  int32_t x = 0;  // pen on the baseline, twips
  int32_t y = 0;
  int32_t size = 240;           // em height, twips
  uint32_t color = 0xFF000000;  // ARGB
  uint32_t index = 0;           // glyph index in its font
  uint16_t fontId = 0;          // embedded glyphs: the movie's font
  DeviceGlyphs* device = nullptr;  // device glyphs (fontId unused)
  uint32_t code = 0;               // the character shown (vector output sets it as text)
};

struct TextDraw {
  RECT clip;
  std::vector<TextDrawRect> under;
  std::vector<TextDrawGlyph> glyphs;
  std::vector<TextDrawRect> over;
  void clear() {
    under.clear();
    glyphs.clear();
    over.clear();
  }
};

}  // namespace kivra
