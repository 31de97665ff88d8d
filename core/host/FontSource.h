#pragma once
// The host's fonts, for text that names a device font (a font of the
// system rather than one embedded in the movie). The core maps the generic
// names to system names first (deviceFontName); the host chooses the file
// and renders. All calls come on the player's thread.
//
// Units: design measures are in a 1024-unit em, the unit embedded fonts
// use, so text laid out with either kind of font scales the same way.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/render/GlyphSource.h"

namespace kivra {

// Ascent and descent are distances from the baseline, both positive;
// leading is the extra gap between lines. 1024-unit em.
struct DeviceFontMetrics {
  float ascent = 0;
  float descent = 0;
  float leading = 0;
};

// One face of a system font, shared by everyone who opened it.
class DeviceFace {
 public:
  virtual ~DeviceFace() = default;
  // The family the system chose, which may differ from the name asked for.
  virtual const std::string& familyName() const = 0;
  virtual DeviceFontMetrics metrics() const = 0;
  // 0 (the missing glyph) when the face has no glyph for the code point.
  virtual uint32_t glyphIndex(uint32_t codePoint) = 0;
  // Unhinted, so widths match those the movie was laid out with. 1024-unit
  // em; 0 for a glyph the face does not have.
  virtual float advance(uint32_t glyph) = 0;
  // Replaces `out` with the glyph's outline (curves as quadratics). False,
  // with `out` empty, when the glyph cannot be loaded; an empty outline
  // (a space) is true.
  virtual bool outline(uint32_t glyph, std::vector<GlyphPathCommand>& out) = 0;
  // The glyph hinted lightly and anti-aliased at `pixelSize26_6` (the em
  // height in 26.6 pixels). Null for an empty or missing glyph or a size
  // out of range. The face owns the result; it stays valid until the next
  // coverage() call on this face.
  virtual const GlyphCoverage* coverage(uint32_t glyph, int pixelSize26_6) = 0;
};

class FontSource {
 public:
  virtual ~FontSource() = default;
  // Whether the system has this font itself, not a stand-in for it.
  virtual bool hasDeviceFont(const std::string& name) = 0;
  // The face for a system font name in a style. A name the system lacks
  // gets its default sans face; null only when the host has no fonts at
  // all. The same (name, bold, italic) gives the same face.
  virtual std::shared_ptr<DeviceFace> openDeviceFont(const std::string& systemName, bool bold, bool italic) = 0;
};

// Has no fonts: text falls back to the movie's own.
class NullFontSource : public FontSource {
 public:
  bool hasDeviceFont(const std::string& name) override {
    (void)name;
    return false;
  }
  std::shared_ptr<DeviceFace> openDeviceFont(const std::string& systemName, bool bold, bool italic) override {
    (void)systemName;
    (void)bold;
    (void)italic;
    return nullptr;
  }
};

}  // namespace kivra
