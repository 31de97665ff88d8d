#include "tools/kit/Shape.h"

#include <algorithm>

#include "tools/kit/RecordWriter.h"

namespace kivra::kit {

FillStyle FillStyle::solid(Rgba c) {
  FillStyle f;
  f.color = c;
  return f;
}

FillStyle FillStyle::linear(std::vector<GradientStop> stops, MATRIX m) {
  FillStyle f;
  f.type = kFillLinear;
  f.stops = std::move(stops);
  f.matrix = m;
  return f;
}

FillStyle FillStyle::radial(std::vector<GradientStop> stops, MATRIX m) {
  FillStyle f = linear(std::move(stops), m);
  f.type = kFillRadial;
  return f;
}

FillStyle FillStyle::bitmap(uint16_t id, MATRIX m, bool clipped, bool smooth) {
  FillStyle f;
  f.type = static_cast<uint8_t>((clipped ? kFillBitmapClipped : kFillBitmapTiled) | (smooth ? 0 : kFillBitmapNoSmooth));
  f.bitmapId = id;
  f.matrix = m;
  return f;
}

unsigned indexBits(size_t count) { return unsignedBits(static_cast<uint32_t>(count)); }

namespace {
void writeCount(ByteWriter& w, size_t count) {
  if (count > 0xFFFF) return w.fail("more than 65535 styles in one array");
  // 255 is the escape to a u16 count.
  if (count < 255) {
    w.u8(static_cast<uint8_t>(count));
  } else {
    w.u8(255);
    w.u16(static_cast<uint16_t>(count));
  }
}

void writeFill(ByteWriter& w, const FillStyle& f, bool rgba) {
  w.u8(f.type);
  if (f.isGradient()) {
    writeMatrix(w, f.matrix);
    if (f.stops.size() > 255) return w.fail("more than 255 gradient stops");
    w.u8(static_cast<uint8_t>(f.stops.size()));
    for (const GradientStop& s : f.stops) {
      w.u8(s.ratio);
      writeColor(w, s.color, rgba);
    }
  } else if (f.isBitmap()) {
    w.u16(f.bitmapId);
    writeMatrix(w, f.matrix);
  } else {
    writeColor(w, f.color, rgba);
  }
}

unsigned edgeBits(std::initializer_list<int32_t> values, ByteWriter& w) {
  unsigned n = 2;
  for (int32_t v : values) n = std::max(n, signedBits(v));
  if (n > 17) w.fail("edge delta too large (at most 17 bits)");
  return n;
}
}  // namespace

void writeStyleArrays(ByteWriter& w, const StyleArrays& s, bool rgba) {
  writeCount(w, s.fills.size());
  for (const FillStyle& f : s.fills) writeFill(w, f, rgba);
  writeCount(w, s.lines.size());
  for (const LineStyle& l : s.lines) {
    w.u16(l.width);
    writeColor(w, l.color, rgba);
  }
}

void writeShapeRecords(ByteWriter& w, const std::vector<ShapeRecord>& records, unsigned fillBits,
                       unsigned lineBits, bool rgba) {
  if (fillBits > 15 || lineBits > 15) w.fail("style index width above 15 bits");
  w.ub(4, fillBits & 15);
  w.ub(4, lineBits & 15);
  for (const ShapeRecord& r : records) {
    switch (r.kind) {
      case ShapeRecord::Kind::StyleChange: {
        const unsigned flags = (r.moveTo ? 0x01 : 0) | (r.fill0 ? 0x02 : 0) | (r.fill1 ? 0x04 : 0) |
                               (r.line ? 0x08 : 0) | (r.newStyles ? 0x10 : 0);
        if (flags == 0) {
          w.fail("a style change with no fields would read as the end of the shape");
          break;
        }
        w.bit(false);
        w.ub(5, flags);
        if (r.moveTo) {
          const unsigned n = std::max(signedBits(r.moveTo->first), signedBits(r.moveTo->second));
          w.ub(5, n);
          w.sb(n, r.moveTo->first);
          w.sb(n, r.moveTo->second);
        }
        if (r.fill0) w.ub(fillBits, *r.fill0);
        if (r.fill1) w.ub(fillBits, *r.fill1);
        if (r.line) w.ub(lineBits, *r.line);
        if (r.newStyles) {
          w.align();
          writeStyleArrays(w, *r.newStyles, rgba);
          fillBits = indexBits(r.newStyles->fills.size());
          lineBits = indexBits(r.newStyles->lines.size());
          w.ub(4, fillBits);
          w.ub(4, lineBits);
        }
        break;
      }
      case ShapeRecord::Kind::Straight: {
        w.bit(true);
        w.bit(true);
        const bool general = r.dx != 0 && r.dy != 0;
        const unsigned n = general ? edgeBits({r.dx, r.dy}, w) : edgeBits({r.dx + r.dy}, w);
        w.ub(4, (n - 2) & 15);
        w.bit(general);
        if (general) {
          w.sb(n, r.dx);
          w.sb(n, r.dy);
        } else {
          const bool vertical = r.dx == 0 && r.dy != 0;
          w.bit(vertical);
          w.sb(n, vertical ? r.dy : r.dx);
        }
        break;
      }
      case ShapeRecord::Kind::Curve: {
        w.bit(true);
        w.bit(false);
        const unsigned n = edgeBits({r.dx, r.dy, r.ax, r.ay}, w);
        w.ub(4, (n - 2) & 15);
        w.sb(n, r.dx);
        w.sb(n, r.dy);
        w.sb(n, r.ax);
        w.sb(n, r.ay);
        break;
      }
    }
  }
  w.ub(6, 0);  // end record
  w.align();
}

void writeShape(ByteWriter& w, const Shape& s, bool rgba) {
  writeStyleArrays(w, s.styles, rgba);
  writeShapeRecords(w, s.records, indexBits(s.styles.fills.size()), indexBits(s.styles.lines.size()), rgba);
}

void writeMorphShape(ByteWriter& w, const MorphShape& m) {
  writeRect(w, m.startBounds);
  writeRect(w, m.endBounds);
  const size_t offsetAt = w.size();
  w.u32(0);
  const size_t afterOffset = w.size();
  writeCount(w, m.fills.size());
  for (const MorphFillStyle& f : m.fills) {
    w.u8(f.type);
    if (f.type & 0x10) {
      writeMatrix(w, f.startMatrix);
      writeMatrix(w, f.endMatrix);
      if (f.startStops.size() != f.endStops.size()) w.fail("morph gradient start and end stop counts differ");
      const size_t count = std::min(f.startStops.size(), f.endStops.size());
      if (count > 255) w.fail("more than 255 gradient stops");
      w.u8(static_cast<uint8_t>(count));
      for (size_t i = 0; i < count; ++i) {
        w.u8(f.startStops[i].ratio);
        writeRgba(w, f.startStops[i].color);
        w.u8(f.endStops[i].ratio);
        writeRgba(w, f.endStops[i].color);
      }
    } else if (f.type & 0x40) {
      w.u16(f.bitmapId);
      writeMatrix(w, f.startMatrix);
      writeMatrix(w, f.endMatrix);
    } else {
      writeRgba(w, f.startColor);
      writeRgba(w, f.endColor);
    }
  }
  writeCount(w, m.lines.size());
  for (const MorphLineStyle& l : m.lines) {
    w.u16(l.startWidth);
    w.u16(l.endWidth);
    writeRgba(w, l.startColor);
    writeRgba(w, l.endColor);
  }
  const unsigned fillBits = indexBits(m.fills.size());
  const unsigned lineBits = indexBits(m.lines.size());
  writeShapeRecords(w, m.startEdges, fillBits, lineBits, true);
  w.patchU32(offsetAt, static_cast<uint32_t>(w.size() - afterOffset));
  writeShapeRecords(w, m.endEdges, fillBits, lineBits, true);
}

// ShapeBuilder

StyleArrays& ShapeBuilder::current() {
  return currentStyles_ < 0 ? shape_.styles : *shape_.records[currentStyles_].newStyles;
}

uint32_t ShapeBuilder::addFill(const FillStyle& f) {
  current().fills.push_back(f);
  return static_cast<uint32_t>(current().fills.size());
}

uint32_t ShapeBuilder::addLine(const LineStyle& l) {
  current().lines.push_back(l);
  widest_ = std::max(widest_, l.width);
  return static_cast<uint32_t>(current().lines.size());
}

ShapeRecord& ShapeBuilder::styleRecord() {
  // Consecutive style settings share one record, unless a field repeats.
  // Indices in a record with new arrays would be read against the old ones.
  if (shape_.records.empty() || shape_.records.back().kind != ShapeRecord::Kind::StyleChange ||
      shape_.records.back().newStyles)
    shape_.records.emplace_back();
  return shape_.records.back();
}

void ShapeBuilder::touch(int32_t x, int32_t y) {
  if (!any_) {
    box_ = RECT{x, x, y, y};
    any_ = true;
    return;
  }
  box_.xmin = std::min(box_.xmin, x);
  box_.xmax = std::max(box_.xmax, x);
  box_.ymin = std::min(box_.ymin, y);
  box_.ymax = std::max(box_.ymax, y);
}

ShapeBuilder& ShapeBuilder::moveTo(int32_t x, int32_t y) {
  ShapeRecord* r = &styleRecord();
  if (r->moveTo) r = &shape_.records.emplace_back();
  r->moveTo = {x, y};
  x_ = x;
  y_ = y;
  touch(x, y);
  return *this;
}

ShapeBuilder& ShapeBuilder::setFill0(uint32_t i) {
  ShapeRecord* r = &styleRecord();
  if (r->fill0) r = &shape_.records.emplace_back();
  r->fill0 = i;
  return *this;
}

ShapeBuilder& ShapeBuilder::setFill1(uint32_t i) {
  ShapeRecord* r = &styleRecord();
  if (r->fill1) r = &shape_.records.emplace_back();
  r->fill1 = i;
  return *this;
}

ShapeBuilder& ShapeBuilder::setLine(uint32_t i) {
  ShapeRecord* r = &styleRecord();
  if (r->line) r = &shape_.records.emplace_back();
  r->line = i;
  return *this;
}

ShapeBuilder& ShapeBuilder::newStyles() {
  ShapeRecord& r = shape_.records.emplace_back();
  r.newStyles = StyleArrays{};
  currentStyles_ = static_cast<int>(shape_.records.size() - 1);
  return *this;
}

ShapeBuilder& ShapeBuilder::lineTo(int32_t x, int32_t y) {
  ShapeRecord& r = shape_.records.emplace_back();
  r.kind = ShapeRecord::Kind::Straight;
  r.dx = x - x_;
  r.dy = y - y_;
  x_ = x;
  y_ = y;
  touch(x, y);
  return *this;
}

ShapeBuilder& ShapeBuilder::curveTo(int32_t cx, int32_t cy, int32_t x, int32_t y) {
  ShapeRecord& r = shape_.records.emplace_back();
  r.kind = ShapeRecord::Kind::Curve;
  r.dx = cx - x_;
  r.dy = cy - y_;
  r.ax = x - cx;
  r.ay = y - cy;
  x_ = x;
  y_ = y;
  touch(cx, cy);
  touch(x, y);
  return *this;
}

ShapeBuilder& ShapeBuilder::rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t fill, uint32_t line) {
  moveTo(x0, y0);
  setFill1(fill);
  if (line) setLine(line);
  return lineTo(x1, y0).lineTo(x1, y1).lineTo(x0, y1).lineTo(x0, y0);
}

RECT ShapeBuilder::bounds() const {
  if (!any_) return RECT{};
  const int32_t half = widest_ / 2;
  return RECT{box_.xmin - half, box_.xmax + half, box_.ymin - half, box_.ymax + half};
}

}  // namespace kivra::kit
