#pragma once
// What layout and insertion ask of fonts: advances and vertical metrics in
// a 1024-unit em, and whether a character has a glyph. The movie layer
// answers from the movie's embedded fonts or from the system's faces; the
// text folder never sees either.
#include <cstdint>

#include "core/text/TextFormat.h"

namespace kivra {

struct TextFaceMetrics {
  int32_t ascent = 0;  // up from the baseline
  int32_t descent = 0;
  int32_t leading = 0;
};

class TextFace {
 public:
  virtual ~TextFace() = default;
  // The pen advance of a character, 1024-unit em (0 without a glyph).
  virtual int32_t advance(char16_t c) = 0;
  virtual bool hasGlyph(char16_t c) = 0;
  virtual TextFaceMetrics metrics() = 0;
  // Glyphs come from the movie's outlines (the font has the double-byte
  // flag for older movies' line breaking).
  virtual bool doubleByte() const { return false; }
};

class TextFonts {
 public:
  virtual ~TextFonts() = default;
  // The face of a format: an embedded font found by name and style when
  // `embedded`, else the system face for the name. Null when there is none
  // (its text measures and draws nothing). Owned by the fonts; valid while
  // they live.
  virtual TextFace* face(const CharFormat& format, bool embedded) = 0;
};

// A pen distance in twips at `size` (its magnitude).
inline int32_t scaleToSize(int32_t units, int32_t size) {
  const int64_t s = size < 0 ? -int64_t{size} : size;
  return static_cast<int32_t>(int64_t{units} * s / 1024);
}

}  // namespace kivra
