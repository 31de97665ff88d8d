#pragma once
// Writers for the primitive records, each with the minimal bit counts.
#include "core/format/Records.h"
#include "tools/kit/ByteWriter.h"

namespace kivra::kit {

void writeRect(ByteWriter& w, const RECT& r);
// Scale and rotate-skew fields are written only when they differ from
// identity; the translation is always written.
void writeMatrix(ByteWriter& w, const MATRIX& m);
// The flags byte of `c` decides which halves are written. Without alpha the
// alpha multiplier and addend are left out.
void writeCxform(ByteWriter& w, const CXFORM& c, bool withAlpha);
void writeRgb(ByteWriter& w, const Rgba& c);
void writeRgba(ByteWriter& w, const Rgba& c);
inline void writeColor(ByteWriter& w, const Rgba& c, bool withAlpha) {
  withAlpha ? writeRgba(w, c) : writeRgb(w, c);
}

// Convenience constructors.
MATRIX translate(Twips x, Twips y);
MATRIX scaleTranslate(double sx, double sy, Twips x, Twips y);
// Scale, then rotate by `degrees` (counter-clockwise in movie space), then move.
MATRIX rotateScaleTranslate(double degrees, double sx, double sy, Twips x, Twips y);
Fixed16 toFixed16(double v);
constexpr Rgba rgb(uint8_t r, uint8_t g, uint8_t b) { return Rgba{r, g, b, 255}; }

}  // namespace kivra::kit
