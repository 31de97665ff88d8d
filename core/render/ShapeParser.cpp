#include "core/render/ShapeParser.h"

#include <algorithm>
#include <cstdint>

#include "core/render/DeviceTransform.h"
#include "core/render/FillPainter.h"
#include "core/render/RenderMatrix.h"

namespace kivra {

namespace {

constexpr int64_t kPenLimit = int64_t{1} << 40;
constexpr Rgba kMissingBitmapRed{255, 0, 0, 255};

int64_t clampPen(int64_t v) { return std::clamp(v, -kPenLimit, kPenLimit); }

}  // namespace

struct ShapeParser::Record {
  enum Kind { End, Style, Edge } kind = End;
  uint32_t flags = 0;
  int32_t moveX = 0, moveY = 0;
  uint32_t fill0 = 0, fill1 = 0, line = 0;
  bool straight = true;
  int32_t cdx = 0, cdy = 0, adx = 0, ady = 0;
};

ShapeParser::ShapeParser() : stroker_(edges_) {
  fills_.reserve(256);
  lines_.reserve(256);
}

int32_t ShapeParser::lerp(int32_t s, int32_t e) const {
  return s + roundFixed16((static_cast<int64_t>(e) - s) * t_);
}

Rgba ShapeParser::lerp(Rgba s, Rgba e) const {
  auto ch = [&](uint8_t a, uint8_t b) { return static_cast<uint8_t>(clampInt(lerp(a, b), 0, 255)); };
  return Rgba{ch(s.r, e.r), ch(s.g, e.g), ch(s.b, e.b), ch(s.a, e.a)};
}

MATRIX ShapeParser::lerp(const MATRIX& s, const MATRIX& e) const {
  return MATRIX{lerp(s.a, e.a), lerp(s.b, e.b), lerp(s.c, e.c), lerp(s.d, e.d), lerp(s.tx, e.tx), lerp(s.ty, e.ty)};
}

uint32_t ShapeParser::newFill(ShapeBuild& out) { return out.addFill(); }

uint32_t ShapeParser::readFillStyle(TagCursor& c, ShapeBuild& out, bool morph) {
  // Written in place (the record is four cache lines); a build that is full
  // ends the parse, so the style's bytes need not be read.
  const uint32_t index = newFill(out);
  if (index == kNoFill) return kNoFill;
  FillStyle& f = out.fills()[index];
  const uint8_t type = c.readU8();
  f.type = type;
  bool transparent = cx_.canLowerAlpha();
  if (type & 0x10) {
    f.kind = FillKind::Gradient;
    MATRIX sm = c.readMatrix();
    if (morph) sm = lerp(sm, c.readMatrix());
    f.matrix = sm;
    const unsigned count = c.readU8();
    for (unsigned i = 0; i < count; ++i) {
      GradientRecord g;
      if (morph) {
        const uint8_t r0 = c.readU8();
        const Rgba c0 = c.readRgba();
        const uint8_t r1 = c.readU8();
        const Rgba c1 = c.readRgba();
        g.ratio = static_cast<uint8_t>(clampInt(lerp(r0, r1), 0, 255));
        g.color = t_ <= 0 ? c0 : (t_ >= 65536 ? c1 : lerp(c0, c1));
      } else {
        g.ratio = c.readU8();
        g.color = rgba_ ? c.readRgba() : c.readRgb();
      }
      // The painter sees at most 8 records; the rest are read and skipped.
      if (i < 8) {
        g.color = deviceColor(g.color);
        if (g.color.a < 255) transparent = true;
        f.gradient[f.gradientCount++] = g;
      }
    }
    f.color = expand(kMissingBitmapRed);
  } else if (type & 0x40) {
    f.bitmapId = c.readU16();
    MATRIX sm = c.readMatrix();
    if (morph) sm = lerp(sm, c.readMatrix());
    f.matrix = sm;
    std::shared_ptr<BitmapImage> image = bitmaps_ ? bitmaps_->bitmap(f.bitmapId) : nullptr;
    f.color = expand(kMissingBitmapRed);
    if (image && !image->empty()) {
      f.bitmap = out.holdBitmap(std::move(image));
      f.kind = FillKind::Bitmap;
      f.cxform = cx_;
      if (f.bitmap.hasAlpha) transparent = true;
    } else {
      // No pixels: the fallback colour.
      f.kind = FillKind::Solid;
      transparent = false;
    }
  } else {
    Rgba col;
    if (morph) {
      const Rgba s = c.readRgba();
      col = lerp(s, c.readRgba());
    } else {
      col = rgba_ ? c.readRgba() : c.readRgb();
    }
    col = deviceColor(col);
    if (col.a < 255) transparent = true;
    f.color = expand(premultiply(col));
  }
  f.transparent = transparent;
  return index;
}

bool ShapeParser::readStyleArrays(TagCursor& c, ShapeBuild& out) {
  c.alignToByte();
  uint32_t nFills = c.readU8();
  if (nFills == 255) nFills = c.readU16();
  fills_.assign(1, kNoFill);
  for (uint32_t i = 1; i <= nFills && !c.overrun(); ++i) {
    const uint32_t f = readFillStyle(c, out, false);
    if (f == kNoFill) return false;
    out.fills()[f].styleNumber = std::min<uint32_t>(styleBase_ + i, 0xFFFF);
    fills_.push_back(suppressLines_ ? mask_ : f);
  }
  uint32_t nLines = c.readU8();
  if (nLines == 255) nLines = c.readU16();
  lines_.assign(1, LineEntry{});
  for (uint32_t i = 1; i <= nLines && !c.overrun(); ++i) {
    const uint16_t w = c.readU16();
    const Rgba col = deviceColor(rgba_ ? c.readRgba() : c.readRgb());
    if (suppressLines_) {
      lines_.push_back(LineEntry{});
      continue;
    }
    const uint32_t f = newFill(out);
    if (f == kNoFill) return false;
    FillStyle& fs = out.fills()[f];
    fs.kind = FillKind::Solid;
    fs.color = expand(premultiply(col));
    fs.transparent = col.a < 255 || cx_.canLowerAlpha();
    fs.styleNumber = std::min<uint32_t>(styleBase_ + nFills + i, 0xFFFF);
    lines_.push_back(LineEntry{f, w == 0 ? 0 : transformLineWidth(m_, w)});
  }
  styleBase_ += nFills + nLines;
  readIndexBits(c);
  return !c.overrun();
}

bool ShapeParser::readMorphStyleArrays(TagCursor& c, ShapeBuild& out) {
  uint32_t nFills = c.readU8();
  if (nFills == 255) nFills = c.readU16();
  fills_.assign(1, kNoFill);
  for (uint32_t i = 1; i <= nFills && !c.overrun(); ++i) {
    const uint32_t f = readFillStyle(c, out, true);
    if (f == kNoFill) return false;
    out.fills()[f].styleNumber = std::min<uint32_t>(i, 0xFFFF);
    fills_.push_back(suppressLines_ ? mask_ : f);
  }
  uint32_t nLines = c.readU8();
  if (nLines == 255) nLines = c.readU16();
  lines_.assign(1, LineEntry{});
  for (uint32_t i = 1; i <= nLines && !c.overrun(); ++i) {
    const uint16_t w0 = c.readU16();
    const uint16_t w1 = c.readU16();
    const Rgba c0 = c.readRgba();
    const Rgba c1 = c.readRgba();
    if (suppressLines_) {
      lines_.push_back(LineEntry{});
      continue;
    }
    const Rgba col = deviceColor(lerp(c0, c1));
    const uint32_t f = newFill(out);
    if (f == kNoFill) return false;
    FillStyle& fs = out.fills()[f];
    fs.kind = FillKind::Solid;
    fs.color = expand(premultiply(col));
    fs.transparent = col.a < 255 || cx_.canLowerAlpha();
    fs.styleNumber = std::min<uint32_t>(nFills + i, 0xFFFF);
    const int32_t w = lerp(w0, w1);
    lines_.push_back(LineEntry{f, w <= 0 ? 0 : transformLineWidth(m_, w)});
  }
  return !c.overrun();
}

void ShapeParser::readIndexBits(TagCursor& c) {
  c.alignToByte();
  const uint8_t bits = c.readU8();
  fillBits_ = bits >> 4;
  lineBits_ = bits & 15;
}

bool ShapeParser::readRecord(TagCursor& c, Record& r, bool glyph) {
  r = Record{};
  uint64_t w = 0;
  const unsigned avail = c.overrun() ? 0 : c.peekBits64(w);
  if (avail >= 6 && (w >> 63)) {
    // An edge whose fields all lie in the next 64 bits below the limit (the
    // usual case): decoded from the word, the same values readSB gives.
    const unsigned n = static_cast<unsigned>(w >> 58 & 15) + 2;
    const bool straight = (w >> 62) & 1;
    const bool general = (w >> 57) & 1;
    const unsigned total = !straight ? 6 + 4 * n : (general ? 7 + 2 * n : 8 + n);
    if (total <= avail) {
      unsigned used = 6;
      auto sb = [&](unsigned bits) {
        const int32_t v = static_cast<int32_t>(static_cast<int64_t>(w << used) >> (64 - bits));
        used += bits;
        return v;
      };
      r.kind = Record::Edge;
      r.straight = straight;
      if (straight) {
        used = 7;
        if (general) {
          r.adx = sb(n);
          r.ady = sb(n);
        } else {
          const bool vertical = (w >> 56) & 1;
          used = 8;
          (vertical ? r.ady : r.adx) = sb(n);
        }
      } else {
        r.cdx = sb(n);
        r.cdy = sb(n);
        r.adx = sb(n);
        r.ady = sb(n);
      }
      c.skipBits(total);
      return true;
    }
  } else if (avail >= 6) {
    // A style change or the end, likewise when it fits in the word.
    const uint32_t flags = static_cast<uint32_t>(w >> 58 & 31);
    const unsigned moveBits = flags & 0x01 ? static_cast<unsigned>(w >> 53 & 31) : 0;
    const unsigned total = 6 + (flags & 0x01 ? 5 + 2 * moveBits : 0) + (flags & 0x02 ? fillBits_ : 0) +
                           (flags & 0x04 ? fillBits_ : 0) + (flags & 0x08 ? lineBits_ : 0);
    if (total <= avail) {
      unsigned used = 6;
      // Fields of zero bits read as zero, as readUB and readSB give them.
      auto ub = [&](unsigned bits) -> uint32_t {
        if (bits == 0) return 0;
        const uint32_t v = static_cast<uint32_t>((w << used) >> (64 - bits));
        used += bits;
        return v;
      };
      auto sb = [&](unsigned bits) -> int32_t {
        if (bits == 0) return 0;
        const int32_t v = static_cast<int32_t>(static_cast<int64_t>(w << used) >> (64 - bits));
        used += bits;
        return v;
      };
      r.flags = flags;
      r.kind = flags == 0 ? Record::End : Record::Style;
      if (flags & 0x01) {
        used = 11;
        r.moveX = sb(moveBits);
        r.moveY = sb(moveBits);
      }
      if (flags & 0x02) r.fill0 = ub(fillBits_);
      if (flags & 0x04) r.fill1 = ub(fillBits_);
      if (flags & 0x08) r.line = ub(lineBits_);
      if (glyph) r.flags &= ~0x10u;
      c.skipBits(total);
      return true;
    }
  }
  if (c.readBit()) {
    r.kind = Record::Edge;
    r.straight = c.readBit();
    const unsigned n = c.readUB(4) + 2;
    if (r.straight) {
      if (c.readBit()) {
        r.adx = c.readSB(n);
        r.ady = c.readSB(n);
      } else if (c.readBit()) {
        r.ady = c.readSB(n);
      } else {
        r.adx = c.readSB(n);
      }
    } else {
      r.cdx = c.readSB(n);
      r.cdy = c.readSB(n);
      r.adx = c.readSB(n);
      r.ady = c.readSB(n);
    }
    return !c.overrun();
  }
  r.flags = c.readUB(5);
  if (r.flags == 0) {
    r.kind = Record::End;
    return !c.overrun();
  }
  r.kind = Record::Style;
  if (r.flags & 0x01) {
    const unsigned n = c.readUB(5);
    r.moveX = c.readSB(n);
    r.moveY = c.readSB(n);
  }
  if (r.flags & 0x02) r.fill0 = c.readUB(fillBits_);
  if (r.flags & 0x04) r.fill1 = c.readUB(fillBits_);
  if (r.flags & 0x08) r.line = c.readUB(lineBits_);
  if (glyph) r.flags &= ~0x10u;
  return !c.overrun();
}

void ShapeParser::selectFills(uint32_t f0, uint32_t f1, bool morph) {
  if (morph && f0 == f1) f1 = kNoFill;
  if (f0 == kNoFill && f1 != kNoFill) {
    // Only the right-hand side is filled: the edge is reversed so every
    // one-sided edge carries its fill on the same side (winding rules need it).
    fill0_ = f1;
    fill1_ = kNoFill;
    reversed_ = true;
  } else {
    fill0_ = f0;
    fill1_ = f1;
    reversed_ = false;
  }
  if (fill0_ != kNoFill && fill1_ != kNoFill) {
    rule_ = FillRule::TwoFills;
    if (suppressLines_ || glyph_) {
      // A mask or glyph edge with its fill on both sides is interior.
      if (fill0_ == fill1_) fill0_ = fill1_ = kNoFill;
      rule_ = FillRule::NonZero;
    }
  } else {
    rule_ = (glyph_ || suppressLines_) ? FillRule::NonZero : FillRule::EvenOdd;
  }
}

void ShapeParser::edge(const CurveEdge& e) {
  if (fill0_ != kNoFill || fill1_ != kNoFill) {
    if (reversed_ && rule_ == FillRule::NonZero) {
      CurveEdge r = e;
      std::swap(r.x0, r.x1);
      std::swap(r.y0, r.y1);
      edges_.add(r, fill0_, fill1_, rule_);
    } else {
      edges_.add(e, fill0_, fill1_, rule_);
    }
  }
  if (stroker_.open()) stroker_.add(e);
}

CurveEdge ShapeParser::curve(int64_t penX, int64_t penY, const Record& r) const {
  CurveEdge e;
  e.straight = r.straight;
  // An edge starts where the last one ended: the same twips give the same
  // device point.
  if (anchor_.valid && anchor_.x == penX && anchor_.y == penY) {
    e.x0 = anchor_.dx;
    e.y0 = anchor_.dy;
  } else {
    toDevice(m_, penX, penY, e.x0, e.y0);
  }
  const int64_t cx = clampPen(penX + r.cdx), cy = clampPen(penY + r.cdy);
  toDevice(m_, cx, cy, e.cx, e.cy);
  const int64_t ax = clampPen(cx + r.adx), ay = clampPen(cy + r.ady);
  toDevice(m_, ax, ay, e.x1, e.y1);
  anchor_ = DevicePoint{ax, ay, e.x1, e.y1, true};
  if (e.straight) {
    e.cx = (e.x0 + e.x1) >> 1;
    e.cy = (e.y0 + e.y1) >> 1;
  }
  return e;
}

void ShapeParser::finish(ShapeBuild& out) {
  stroker_.end();
  prepareFills(out, m_, factor_);
}

void ShapeParser::setDeviceBounds(ShapeBuild& out, int64_t xa, int64_t xb, int64_t ya, int64_t yb) {
  const int64_t cxs[4] = {xa, xb, xa, xb}, cys[4] = {ya, ya, yb, yb};
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  for (int i = 0; i < 4; ++i) {
    int64_t dx, dy;
    toDevice(m_, cxs[i], cys[i], dx, dy);
    x0 = std::min(x0, dx); x1 = std::max(x1, dx);
    y0 = std::min(y0, dy); y1 = std::max(y1, dy);
  }
  out.setBounds(x0, y0, x1, y1);
}

bool ShapeParser::build(const ShapeInstance& in, ShapeBuild& out) {
  out.clear();
  m_ = in.matrix;
  anchor_.valid = false;
  cx_ = in.cxform;
  factor_ = in.factor;
  bitmaps_ = in.bitmaps;
  glyph_ = false;
  suppressLines_ = in.role == BuildRole::Mask;
  styleBase_ = 0;
  fill0_ = fill1_ = kNoFill;
  reversed_ = false;
  t_ = in.ratio;
  stroker_.keepRuns(in.keepStrokes ? &out : nullptr);
  const bool morph = in.tagCode == 46;
  rgba_ = in.tagCode == 32 || morph;
  edges_.begin(&out);
  mask_ = kNoFill;
  if (suppressLines_) {
    mask_ = out.addFill();
    FillStyle& mf = out.fills()[mask_];
    mf.kind = FillKind::Mask;
    mf.transparent = true;
    out.setMaskFill(mask_);
  }

  if (in.field) {
    const bool fieldOk = buildField(in, out);
    finish(out);
    return fieldOk && !out.truncated();
  }
  TagCursor c(in.body, static_cast<int64_t>(in.length));
  c.readU16();  // character id
  const RECT bounds = c.readRect();
  RECT endBounds = bounds;
  if (morph) endBounds = c.readRect();
  setDeviceBounds(out, std::min(bounds.xmin, endBounds.xmin), std::max(bounds.xmax, endBounds.xmax),
                  std::min(bounds.ymin, endBounds.ymin), std::max(bounds.ymax, endBounds.ymax));
  if (in.tagCode == 11 || in.tagCode == 33) {
    const bool textOk = buildText(c, in, out);
    finish(out);
    return textOk && !out.truncated();
  }

  bool ok = true;
  int64_t endOffsetPos = 0;
  uint32_t endOffset = 0;
  if (morph) {
    endOffset = c.readU32();
    endOffsetPos = c.position();
    ok = readMorphStyleArrays(c, out);
    readIndexBits(c);
  } else {
    ok = readStyleArrays(c, out);
  }
  if (!ok || c.overrun()) {
    finish(out);
    return false;
  }

  TagCursor endCursor(in.body, static_cast<int64_t>(in.length));
  unsigned endFillBits = 0, endLineBits = 0;
  if (morph) {
    endCursor.setPosition(endOffsetPos + endOffset);
    const uint8_t bits = endCursor.readU8();
    endFillBits = bits >> 4;
    endLineBits = bits & 15;
  }

  int64_t penX = 0, penY = 0, endX = 0, endY = 0;
  uint32_t sel0 = 0, sel1 = 0, selLine = 0;
  Record r, er;
  // Every record consumes bits, so the loop ends at the body's end at the latest.
  while (true) {
    if (!readRecord(c, r, false) || r.kind == Record::End) {
      ok = ok && r.kind == Record::End && !c.overrun();
      break;
    }
    if (r.kind == Record::Style) {
      if (r.flags & 0x01) {
        penX = r.moveX;
        penY = r.moveY;
      }
      if (r.flags & 0x02) sel0 = r.fill0;
      if (r.flags & 0x04) sel1 = r.fill1;
      if (r.flags & 0x08) selLine = r.line;
      if (r.flags & 0x10) {
        if (morph) {  // morph shapes carry one set of styles
          ok = false;
          break;
        }
        if (!readStyleArrays(c, out)) {
          ok = false;
          break;
        }
      }
      auto fillAt = [&](uint32_t i) { return i < fills_.size() ? fills_[i] : kNoFill; };
      if (r.flags & 0x16) selectFills(fillAt(sel0), fillAt(sel1), morph);
      if (r.flags & 0x19) {
        stroker_.end();
        const LineEntry le = selLine < lines_.size() ? lines_[selLine] : LineEntry{};
        if (le.fill != kNoFill && le.width > 0)
          stroker_.begin(std::max(le.width, factor_), le.fill, factor_);
      }
      continue;
    }
    // An edge.
    CurveEdge e = curve(penX, penY, r);
    const int64_t nextX = clampPen(penX + r.cdx + r.adx), nextY = clampPen(penY + r.cdy + r.ady);
    if (morph) {
      // The matching record of the end edges; a style change there moves
      // its pen and is followed by the edge.
      std::swap(fillBits_, endFillBits);
      std::swap(lineBits_, endLineBits);
      bool have = readRecord(endCursor, er, false);
      if (have && er.kind == Record::Style) {
        if (er.flags & 0x01) {
          endX = er.moveX;
          endY = er.moveY;
        }
        have = readRecord(endCursor, er, false);
      }
      std::swap(fillBits_, endFillBits);
      std::swap(lineBits_, endLineBits);
      if (!have || er.kind != Record::Edge) er = r;  // no partner: keep the start edge
      const CurveEdge ee = curve(endX, endY, er);
      endX = clampPen(endX + er.cdx + er.adx);
      endY = clampPen(endY + er.cdy + er.ady);
      CurveEdge m;
      m.x0 = e.x0 + roundFixed16((ee.x0 - e.x0) * t_);
      m.y0 = e.y0 + roundFixed16((ee.y0 - e.y0) * t_);
      m.cx = e.cx + roundFixed16((ee.cx - e.cx) * t_);
      m.cy = e.cy + roundFixed16((ee.cy - e.cy) * t_);
      m.x1 = e.x1 + roundFixed16((ee.x1 - e.x1) * t_);
      m.y1 = e.y1 + roundFixed16((ee.y1 - e.y1) * t_);
      m.straight = e.straight && ee.straight;
      e = m;
    }
    penX = nextX;
    penY = nextY;
    edge(e);
    if (edges_.full()) {
      ok = false;
      break;
    }
  }
  finish(out);
  return ok && !out.truncated();
}

bool ShapeParser::buildGlyph(const uint8_t* records, size_t length, const MATRIX& m, Rgba color, int factor,
                             ShapeBuild& out) {
  out.clear();
  m_ = m;
  cx_ = ColorTransform();
  factor_ = factor;
  glyph_ = true;
  suppressLines_ = false;
  reversed_ = false;
  fill0_ = fill1_ = kNoFill;
  edges_.begin(&out);
  stroker_.keepRuns(nullptr);
  const uint32_t f = out.addFill();
  if (f == kNoFill) return false;
  FillStyle& fs = out.fills()[f];
  fs.color = expand(premultiply(color));
  fs.transparent = color.a < 255;
  fs.styleNumber = 1;
  const bool ok = appendGlyph(records, length, m, f);
  prepareFills(out, m_, factor_);
  return ok;
}

bool ShapeParser::appendGlyph(const uint8_t* records, size_t length, const MATRIX& m, uint32_t fill) {
  m_ = m;
  anchor_.valid = false;
  fills_.assign({kNoFill, fill});
  lines_.assign(1, LineEntry{});
  fill0_ = fill1_ = kNoFill;
  TagCursor c(records, static_cast<int64_t>(length));
  readIndexBits(c);
  int64_t penX = 0, penY = 0;
  uint32_t sel0 = 0, sel1 = 0;
  Record r;
  bool ok = true;
  while (true) {
    if (!readRecord(c, r, true) || r.kind == Record::End) {
      ok = r.kind == Record::End && !c.overrun();
      break;
    }
    if (r.kind == Record::Style) {
      if (r.flags & 0x01) {
        penX = r.moveX;
        penY = r.moveY;
      }
      if (r.flags & 0x02) sel0 = r.fill0;
      if (r.flags & 0x04) sel1 = r.fill1;
      auto fillAt = [&](uint32_t i) { return i < fills_.size() ? fills_[i] : kNoFill; };
      if (r.flags & 0x06) selectFills(fillAt(sel0), fillAt(sel1), false);
      continue;
    }
    const CurveEdge e = curve(penX, penY, r);
    penX = clampPen(penX + r.cdx + r.adx);
    penY = clampPen(penY + r.cdy + r.ady);
    edge(e);
    if (edges_.full()) {
      ok = false;
      break;
    }
  }
  return ok;
}

}  // namespace kivra
