#pragma once
// Decodes shape and morph-shape bodies into a ShapeBuild: edges in device
// sub-pixels under the instance's matrix, fills in device colours under its
// colour transform. The body is read through a TagCursor, so a short or
// corrupt body ends the build with what was read; it never reads past the
// body. The parser keeps its style-index maps between builds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/format/TagCursor.h"
#include "core/render/EdgeBuilder.h"
#include "core/render/GlyphSource.h"
#include "core/render/ShapeBuild.h"
#include "core/render/Stroker.h"
#include "core/render/TextDraw.h"

namespace kivra {

class GlyphMaskMaker;
struct GlyphMask;

enum class BuildRole : uint8_t {
  Normal,
  Mask,  // a clipping layer: every fill becomes the one mask fill, no lines
};

struct ShapeInstance {
  uint16_t tagCode = 2;          // 2, 22, 32 (shapes), 46 (morph shape), 11 or 33 (static text)
  const uint8_t* body = nullptr;  // the tag body, starting at the character id
  size_t length = 0;
  MATRIX matrix;                 // shape twips -> device sub-pixels
  ColorTransform cxform;
  uint16_t ratio = 0;            // morph position 0..65535
  int factor = 4;                // anti-aliasing factor (1, 2 or 4)
  BuildRole role = BuildRole::Normal;
  BitmapSource* bitmaps = nullptr;
  GlyphSource* glyphs = nullptr;  // static text's fonts
  // Makes glyph masks for small upright text; null: glyphs as outlines
  // (hit tests, which need the exact ink).
  GlyphMaskMaker* maskMaker = nullptr;
  // Set: a text field's drawing (no body is read).
  const TextDraw* field = nullptr;
  // Vector output: lines kept as stroke runs, not outlines, and device
  // glyphs handed to `deviceText` (when set) instead of being drawn.
  bool keepStrokes = false;
  DeviceTextSink* deviceText = nullptr;
};

class ShapeParser {
 public:
  ShapeParser();
  // Clears `out` and builds it. Returns false when the body was short or
  // corrupt or a pool ran out; what was built still paints.
  [[nodiscard]] bool build(const ShapeInstance& in, ShapeBuild& out);
  // A font glyph: index-width byte and records only, filled with the non-zero
  // rule in one colour.
  [[nodiscard]] bool buildGlyph(const uint8_t* records, size_t length, const MATRIX& m, Rgba color, int factor,
                  ShapeBuild& out);

 private:
  struct Record;
  struct LineEntry {
    uint32_t fill = kNoFill;
    int32_t width = 0;  // device sub-pixels
  };
  // Static text records from the text matrix on (`c` after the bounds).
  [[nodiscard]] bool buildText(TagCursor& c, const ShapeInstance& in, ShapeBuild& out);
  // A text field's rectangles and glyphs.
  [[nodiscard]] bool buildField(const ShapeInstance& in, ShapeBuild& out);
  // A solid rectangle (twips, under m_) in a new fill; false when full.
  bool addFieldRect(ShapeBuild& out, const TextDrawRect& r, uint32_t& styles);
  // Appends one glyph's edges, filled with `fill`, under `m`.
  [[nodiscard]] bool appendGlyph(const uint8_t* records, size_t length, const MATRIX& m, uint32_t fill);
  // The same for a device glyph's outline (1024-unit em under `m`).
  void appendPath(const std::vector<GlyphPathCommand>& path, const MATRIX& m, uint32_t fill);
  // A glyph drawn from a mask: where, and what to draw instead should its
  // text's coverage image be refused.
  struct MaskedGlyph {
    const GlyphMask* mask;
    int x, y;  // device pixels of the mask's first column and row
    uint32_t fill;
    const uint8_t* records;  // embedded glyphs
    size_t length;
    DeviceGlyphs* device;    // device glyphs
    uint32_t index;
    MATRIX m;
  };
  // Draws one glyph: from a mask when `maker` can make one, else from its
  // outline. False when the edge pool ran out.
  // `code`: the character a device glyph stands for (0 when the glyphs
  // know it themselves).
  bool addTextGlyph(const ShapeInstance& in, GlyphMasks* store, uint16_t fontId, DeviceGlyphs* device, uint32_t index,
                    const MATRIX& m, uint32_t fill, uint32_t code = 0);
  // Turns the masked glyphs into one coverage fill per colour.
  bool finishMaskedGlyphs(ShapeBuild& out, uint32_t& styles);
  void appendMaskedOutline(const MaskedGlyph& g);
  [[nodiscard]] bool readRecord(TagCursor& c, Record& r, bool glyph);
  [[nodiscard]] bool readStyleArrays(TagCursor& c, ShapeBuild& out);
  [[nodiscard]] bool readMorphStyleArrays(TagCursor& c, ShapeBuild& out);
  uint32_t readFillStyle(TagCursor& c, ShapeBuild& out, bool morph);
  void readIndexBits(TagCursor& c);
  uint32_t newFill(ShapeBuild& out);
  void selectFills(uint32_t f0, uint32_t f1, bool morph);
  void edge(const CurveEdge& e);
  void finish(ShapeBuild& out);
  // The build's bounds: a box in twips under m_, in device sub-pixels.
  void setDeviceBounds(ShapeBuild& out, int64_t xmin, int64_t xmax, int64_t ymin, int64_t ymax);
  int32_t lerp(int32_t s, int32_t e) const;
  Rgba lerp(Rgba s, Rgba e) const;
  MATRIX lerp(const MATRIX& s, const MATRIX& e) const;
  Rgba deviceColor(Rgba c) const { return cx_.apply(c); }
  CurveEdge curve(int64_t penX, int64_t penY, const Record& r) const;
  // The last edge's anchor in twips and in device sub-pixels.
  struct DevicePoint {
    int64_t x = 0, y = 0, dx = 0, dy = 0;
    bool valid = false;
  };
  mutable DevicePoint anchor_;

  EdgeBuilder edges_;
  Stroker stroker_;
  // Current style arrays: index -> fill in the build (entry 0 is empty).
  std::vector<uint32_t> fills_;
  std::vector<LineEntry> lines_;
  unsigned fillBits_ = 0, lineBits_ = 0;
  uint32_t styleBase_ = 0;
  uint32_t fill0_ = kNoFill, fill1_ = kNoFill;
  FillRule rule_ = FillRule::EvenOdd;
  bool reversed_ = false;
  uint32_t mask_ = kNoFill;

  // Per-build inputs.
  MATRIX m_;
  ColorTransform cx_;
  bool rgba_ = false;
  bool glyph_ = false;
  bool suppressLines_ = false;
  int factor_ = 4;
  int64_t t_ = 0;  // morph fraction, 16.16
  BitmapSource* bitmaps_ = nullptr;
  std::vector<MaskedGlyph> masked_;
  std::vector<GlyphPathCommand> path_;
};

}  // namespace kivra
