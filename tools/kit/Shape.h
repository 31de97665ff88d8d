#pragma once
// Shape and morph-shape bodies: style arrays and bit-packed shape records.
// Index widths are the fewest bits that hold the current array counts.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/format/Records.h"
#include "tools/kit/ByteWriter.h"

namespace kivra::kit {

enum FillType : uint8_t {
  kFillSolid = 0x00,
  kFillLinear = 0x10,
  kFillRadial = 0x12,
  kFillBitmapTiled = 0x40,
  kFillBitmapClipped = 0x41,
  kFillBitmapNoSmooth = 0x02,  // or-ed into a bitmap type
};

struct GradientStop {
  uint8_t ratio = 0;
  Rgba color;
};

struct FillStyle {
  uint8_t type = kFillSolid;
  Rgba color;                        // solid
  MATRIX matrix;                     // gradient or bitmap space
  std::vector<GradientStop> stops;   // gradient
  uint16_t bitmapId = 0;             // bitmap

  static FillStyle solid(Rgba c);
  static FillStyle linear(std::vector<GradientStop> stops, MATRIX m = {});
  static FillStyle radial(std::vector<GradientStop> stops, MATRIX m = {});
  static FillStyle bitmap(uint16_t id, MATRIX m = {}, bool clipped = false, bool smooth = true);
  bool isGradient() const { return type & 0x10; }
  bool isBitmap() const { return !isGradient() && (type & 0x40); }
};

struct LineStyle {
  uint16_t width = 20;
  Rgba color;
};

struct StyleArrays {
  std::vector<FillStyle> fills;
  std::vector<LineStyle> lines;
};

struct ShapeRecord {
  enum class Kind : uint8_t { StyleChange, Straight, Curve };
  Kind kind = Kind::StyleChange;
  // Style change: each optional is written when set.
  std::optional<std::pair<int32_t, int32_t>> moveTo;  // absolute twips
  std::optional<uint32_t> fill0, fill1, line;
  std::optional<StyleArrays> newStyles;
  // Edges, relative to the previous point: straight uses dx, dy; a curve
  // goes by the control delta (dx, dy) and then the anchor delta (ax, ay).
  int32_t dx = 0, dy = 0, ax = 0, ay = 0;
};

struct Shape {
  StyleArrays styles;
  std::vector<ShapeRecord> records;
};

// Builds shape records from absolute coordinates.
class ShapeBuilder {
 public:
  // Styles are numbered from 1 in the order added; returns the index.
  uint32_t addFill(const FillStyle& f);
  uint32_t addLine(const LineStyle& l);
  ShapeBuilder& moveTo(int32_t x, int32_t y);
  ShapeBuilder& setFill0(uint32_t i);
  ShapeBuilder& setFill1(uint32_t i);
  ShapeBuilder& setLine(uint32_t i);
  // Starts new style arrays; styles added afterwards go into them.
  ShapeBuilder& newStyles();
  ShapeBuilder& lineTo(int32_t x, int32_t y);
  ShapeBuilder& curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
  // An axis-aligned rectangle filled with fill 1 from (x0, y0) to (x1, y1).
  ShapeBuilder& rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t fill, uint32_t line = 0);
  const Shape& shape() const { return shape_; }
  // The bounding box of every point, grown by half the widest line.
  RECT bounds() const;

 private:
  ShapeRecord& styleRecord();
  StyleArrays& current();
  void touch(int32_t x, int32_t y);
  Shape shape_;
  int currentStyles_ = -1;  // record holding the arrays styles go into; -1 = the first arrays
  int32_t x_ = 0, y_ = 0;
  bool any_ = false;
  RECT box_;
  uint16_t widest_ = 0;
};

// Shape body after the bounds: styles, index widths, records, end record.
void writeShape(ByteWriter& w, const Shape& s, bool rgba);
// Only the index-width byte and the records (glyphs, morph edges).
void writeShapeRecords(ByteWriter& w, const std::vector<ShapeRecord>& records, unsigned fillBits,
                       unsigned lineBits, bool rgba);
void writeStyleArrays(ByteWriter& w, const StyleArrays& s, bool rgba);
// The index widths for arrays of the given counts.
unsigned indexBits(size_t count);

struct MorphFillStyle {
  uint8_t type = kFillSolid;
  Rgba startColor, endColor;
  MATRIX startMatrix, endMatrix;
  std::vector<GradientStop> startStops, endStops;  // same count
  uint16_t bitmapId = 0;
};

struct MorphLineStyle {
  uint16_t startWidth = 20, endWidth = 20;
  Rgba startColor, endColor;
};

struct MorphShape {
  RECT startBounds, endBounds;
  std::vector<MorphFillStyle> fills;
  std::vector<MorphLineStyle> lines;
  std::vector<ShapeRecord> startEdges, endEdges;
};

// The DefineMorphShape body after the id.
void writeMorphShape(ByteWriter& w, const MorphShape& m);

}  // namespace kivra::kit
