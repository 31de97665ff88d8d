#pragma once
// Where text finds its glyphs: outlines embedded in the movie, or a system
// face standing in for a font the movie names without outlines (a device
// font). The renderer draws small upright glyphs from coverage masks made
// once per size and kept by the glyph source (GlyphMasks); everything else
// from outlines through the edge pipeline.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/format/Records.h"

namespace kivra {

class GlyphMasks;

enum class GlyphPathVerb : uint8_t { Move, Line, Quadratic };

// One step of a glyph outline, in 1024-unit em with y down (as shape
// coordinates are): `Move` and `Line` use (x, y); `Quadratic` curves through
// the control point (cx, cy) to (x, y). Each contour is closed explicitly.
struct GlyphPathCommand {
  GlyphPathVerb verb = GlyphPathVerb::Move;
  float x = 0;
  float y = 0;
  float cx = 0;
  float cy = 0;
};

// A glyph rendered at one pixel size: 8-bit coverage, `height` rows of
// `pitch` bytes (the first `width` of each used), top row first. `left` is
// the distance from the pen to the first column, `top` from the baseline up
// to the first row, both in pixels; `advance26_6` is the pen advance in 26.6
// pixels at this size.
struct GlyphCoverage {
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int pitch = 0;
  int32_t advance26_6 = 0;
  std::vector<uint8_t> pixels;
};

// The glyphs of a device font, by the movie's glyph index.
class DeviceGlyphs {
 public:
  virtual ~DeviceGlyphs() = default;
  // Hinted lightly and anti-aliased at `pixelSize26_6` (the em in 26.6
  // pixels); null for an empty or missing glyph or a size out of range.
  // Valid until the next call.
  virtual const GlyphCoverage* coverage(uint32_t index, int pixelSize26_6) = 0;
  // The outline (false, `out` empty, when the glyph cannot be had).
  virtual bool outline(uint32_t index, std::vector<GlyphPathCommand>& out) = 0;
  // The system font, for output that sets text itself (a printer): its
  // family (empty when unknown: the glyphs are drawn) and style.
  virtual const std::string& family() const = 0;
  virtual bool bold() const { return false; }
  virtual bool italic() const { return false; }
  // The character glyph `index` stands for; 0 when these glyphs do not know.
  virtual uint32_t character(uint32_t index) const {
    (void)index;
    return 0;
  }
};

// Takes device-font glyphs out of a build to be set as text (vector
// output). `m` maps the glyph's 1024-unit em to device sub-pixels, its
// origin the pen on the baseline; `fill` is the build's fill the glyph
// would have painted with (its colour and stacking place). False: not
// taken (no family or character known), the glyph is drawn as usual.
class DeviceTextSink {
 public:
  virtual ~DeviceTextSink() = default;
  virtual bool deviceGlyph(DeviceGlyphs& glyphs, uint32_t index, uint32_t code, const MATRIX& m, uint32_t fill) = 0;
};

class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // The records of glyph `index` of font `fontId`, starting with the
  // index-width byte; false for a missing font or glyph (nothing is drawn).
  virtual bool glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) = 0;
  // The system glyphs of a font that has no outlines of its own; null for
  // embedded and missing fonts.
  virtual DeviceGlyphs* deviceGlyphs(uint16_t fontId) {
    (void)fontId;
    return nullptr;
  }
  // Masks made from this source's glyphs, kept as long as the source;
  // null: every glyph is drawn from its outline.
  virtual GlyphMasks* masks() { return nullptr; }
};

}  // namespace kivra
