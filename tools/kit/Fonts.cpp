#include "tools/kit/Fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/kit/RecordWriter.h"

namespace kivra::kit {

namespace {

// Turns outline segments into glyph records. Points are rounded once, and
// edges go between rounded points, so the deltas add up exactly.
class OutlineSink {
 public:
  explicit OutlineSink(double scale) : scale_(scale) {}
  std::vector<ShapeRecord> records;
  RECT bounds;
  bool any = false;

  void moveTo(double x, double y) {
    const auto [px, py] = point(x, y);
    ShapeRecord r;
    r.moveTo = std::make_pair(px, py);
    if (!filled_) r.fill1 = 1;
    filled_ = true;
    records.push_back(r);
    x_ = px;
    y_ = py;
    fx_ = x;
    fy_ = y;
  }
  void lineTo(double x, double y) {
    const auto [px, py] = point(x, y);
    fx_ = x;
    fy_ = y;
    if (px == x_ && py == y_) return;
    ShapeRecord r;
    r.kind = ShapeRecord::Kind::Straight;
    r.dx = px - x_;
    r.dy = py - y_;
    records.push_back(r);
    x_ = px;
    y_ = py;
  }
  void conicTo(double cx, double cy, double x, double y) {
    const auto [qx, qy] = point(cx, cy);
    const auto [px, py] = point(x, y);
    fx_ = x;
    fy_ = y;
    if (px == x_ && py == y_ && qx == x_ && qy == y_) return;
    ShapeRecord r;
    r.kind = ShapeRecord::Kind::Curve;
    r.dx = qx - x_;
    r.dy = qy - y_;
    r.ax = px - qx;
    r.ay = py - qy;
    records.push_back(r);
    x_ = px;
    y_ = py;
  }
  // A cubic becomes two quadratics, one per half (split at t = 1/2).
  void cubicTo(double c1x, double c1y, double c2x, double c2y, double x, double y) {
    const double p0x = fx_, p0y = fy_;
    const double abx = (p0x + c1x) / 2, aby = (p0y + c1y) / 2;
    const double bcx = (c1x + c2x) / 2, bcy = (c1y + c2y) / 2;
    const double cdx = (c2x + x) / 2, cdy = (c2y + y) / 2;
    const double abcx = (abx + bcx) / 2, abcy = (aby + bcy) / 2;
    const double bcdx = (bcx + cdx) / 2, bcdy = (bcy + cdy) / 2;
    const double mx = (abcx + bcdx) / 2, my = (abcy + bcdy) / 2;
    // Control of the quadratic closest to a cubic (p0, c1, c2, p3).
    auto control = [](double a, double b, double c, double d) { return (3 * (b + c) - (a + d)) / 4; };
    conicTo(control(p0x, abx, abcx, mx), control(p0y, aby, abcy, my), mx, my);
    conicTo(control(mx, bcdx, cdx, x), control(my, bcdy, cdy, y), x, y);
  }

 private:
  std::pair<int32_t, int32_t> point(double x, double y) {
    const auto px = static_cast<int32_t>(std::lround(x * scale_));
    const auto py = static_cast<int32_t>(std::lround(-y * scale_));
    if (!any) bounds = RECT{px, px, py, py};
    any = true;
    bounds.xmin = std::min(bounds.xmin, px);
    bounds.xmax = std::max(bounds.xmax, px);
    bounds.ymin = std::min(bounds.ymin, py);
    bounds.ymax = std::max(bounds.ymax, py);
    return {px, py};
  }
  double scale_;
  int32_t x_ = 0, y_ = 0;
  double fx_ = 0, fy_ = 0;  // last point in font units
  bool filled_ = false;
};

int moveToCb(const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->moveTo(to->x, to->y);
  return 0;
}
int lineToCb(const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->lineTo(to->x, to->y);
  return 0;
}
int conicToCb(const FT_Vector* c, const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->conicTo(c->x, c->y, to->x, to->y);
  return 0;
}
int cubicToCb(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  static_cast<OutlineSink*>(user)->cubicTo(c1->x, c1->y, c2->x, c2->y, to->x, to->y);
  return 0;
}

std::string codeText(uint32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", code);
  std::string s;
  if (code >= 0x20 && code < 0x7F) s = "'" + std::string(1, static_cast<char>(code)) + "' ";
  return s + "(" + buf + ")";
}

// An open face, closed when it goes out of scope.
class Face {
 public:
  Face(const std::string& path, std::string& error) {
    if (FT_Init_FreeType(&library_)) {
      error = "cannot start the font library";
      library_ = nullptr;
      return;
    }
    if (FT_New_Face(library_, path.c_str(), 0, &face_)) {
      error = "cannot read font file \"" + path + "\"";
      face_ = nullptr;
    }
  }
  ~Face() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
  }
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  FT_Face get() const { return face_; }
  double scale() const { return static_cast<double>(kEmSquare) / face_->units_per_EM; }

  bool glyph(uint32_t code, OutlineSink& sink, int& advance, const std::string& path, std::string& error) {
    const FT_UInt index = FT_Get_Char_Index(face_, code);
    if (index == 0) {
      error = "character " + codeText(code) + " is not in \"" + path + "\"";
      return false;
    }
    if (FT_Load_Glyph(face_, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) ||
        face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
      error = "character " + codeText(code) + " has no outline in \"" + path + "\"";
      return false;
    }
    static const FT_Outline_Funcs kFuncs = {moveToCb, lineToCb, conicToCb, cubicToCb, 0, 0};
    if (FT_Outline_Decompose(&face_->glyph->outline, &kFuncs, &sink)) {
      error = "character " + codeText(code) + ": the outline cannot be read";
      return false;
    }
    advance = static_cast<int>(std::lround(face_->glyph->metrics.horiAdvance * scale()));
    return true;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

int16_t clamp16(long v) { return static_cast<int16_t>(std::clamp<long>(v, -32768, 32767)); }

void writeName(ByteWriter& w, const std::string& name) {
  if (name.size() > 255) w.fail("a font name is at most 255 bytes");
  w.u8(static_cast<uint8_t>(name.size()));
  w.bytes(reinterpret_cast<const uint8_t*>(name.data()), std::min<size_t>(name.size(), 255));
}

void writeCodes(ByteWriter& w, const Font& f) {
  for (const Glyph& g : f.glyphs) {
    if (f.wideCodes) {
      if (g.code > 0xFFFF) w.fail("character code " + codeText(g.code) + " is above 16 bits");
      w.u16(static_cast<uint16_t>(g.code));
    } else {
      if (g.code > 0xFF) w.fail("character " + codeText(g.code) + " needs wide codes");
      w.u8(static_cast<uint8_t>(g.code));
    }
  }
}

std::vector<uint8_t> finish(ByteWriter& w, std::string& error) {
  if (!w.error().empty()) error = w.error();
  return w.take();
}

}  // namespace

std::vector<uint8_t> glyphShape(const std::vector<ShapeRecord>& records) {
  ByteWriter w;
  writeShapeRecords(w, records, 1, 0, false);
  return w.take();
}

bool glyphOutline(const std::string& path, uint32_t code, std::vector<ShapeRecord>& records, RECT& bounds,
                  int& advance, std::string& error) {
  Face face(path, error);
  if (!face.get()) return false;
  OutlineSink sink(face.scale());
  if (!face.glyph(code, sink, advance, path, error)) return false;
  records = std::move(sink.records);
  bounds = sink.bounds;
  return true;
}

bool loadFontFile(const std::string& path, const std::vector<uint32_t>& codes, Font& out, std::string& error) {
  Face face(path, error);
  if (!face.get()) return false;
  const FT_Face f = face.get();
  const double scale = face.scale();
  if (out.name.empty() && f->family_name) out.name = f->family_name;
  out.ascent = clamp16(std::lround(f->ascender * scale));
  out.descent = clamp16(std::lround(-f->descender * scale));
  out.leading = clamp16(std::max(0L, std::lround((f->height - f->ascender + f->descender) * scale)));
  out.glyphs.clear();
  for (uint32_t code : codes) {
    OutlineSink sink(scale);
    int advance = 0;
    if (!face.glyph(code, sink, advance, path, error)) return false;
    Glyph g;
    g.code = code;
    g.shape = glyphShape(sink.records);
    g.advance = clamp16(advance);
    g.bounds = sink.bounds;
    out.glyphs.push_back(std::move(g));
  }
  return true;
}

std::vector<uint8_t> defineFontBody(uint16_t id, const Font& f, std::string& error) {
  ByteWriter w;
  w.u16(id);
  size_t offset = f.glyphs.size() * 2;
  for (const Glyph& g : f.glyphs) {
    if (offset > 0xFFFF) w.fail("the glyphs of a DefineFont font pass 64 KB");
    w.u16(static_cast<uint16_t>(offset));
    offset += g.shape.size();
  }
  for (const Glyph& g : f.glyphs) w.bytes(g.shape);
  return finish(w, error);
}

std::vector<uint8_t> defineFontInfoBody(uint16_t id, const Font& f, bool withLanguage, std::string& error) {
  ByteWriter w;
  w.u16(id);
  writeName(w, f.name);
  w.u8(static_cast<uint8_t>(f.extraFlags | (f.italic ? 0x04 : 0) | (f.bold ? 0x02 : 0) | (f.wideCodes ? 0x01 : 0)));
  if (withLanguage) w.u8(f.language);
  writeCodes(w, f);
  return finish(w, error);
}

std::vector<uint8_t> defineFont2Body(uint16_t id, const Font& f, std::string& error) {
  ByteWriter w;
  w.u16(id);
  w.u8(static_cast<uint8_t>(f.extraFlags | (f.layout ? 0x80 : 0) | (f.wideOffsets ? 0x08 : 0) |
                            (f.wideCodes ? 0x04 : 0) | (f.italic ? 0x02 : 0) | (f.bold ? 0x01 : 0)));
  w.u8(f.language);
  writeName(w, f.name);
  if (f.glyphs.size() > 0xFFFF) w.fail("more than 65535 glyphs");
  w.u16(static_cast<uint16_t>(f.glyphs.size()));
  const size_t entry = f.wideOffsets ? 4 : 2;
  size_t offset = (f.glyphs.size() + 1) * entry;
  auto writeOffset = [&](size_t v) {
    if (f.wideOffsets) {
      w.u32(static_cast<uint32_t>(v));
    } else {
      if (v > 0xFFFF) w.fail("the glyphs pass 64 KB: use wide offsets");
      w.u16(static_cast<uint16_t>(v));
    }
  };
  for (const Glyph& g : f.glyphs) {
    writeOffset(offset);
    offset += g.shape.size();
  }
  writeOffset(offset);  // the code table
  for (const Glyph& g : f.glyphs) w.bytes(g.shape);
  writeCodes(w, f);
  if (f.layout) {
    w.s16(f.ascent);
    w.s16(f.descent);
    w.s16(f.leading);
    for (const Glyph& g : f.glyphs) w.s16(g.advance);
    for (const Glyph& g : f.glyphs) writeRect(w, g.bounds);
    w.u16(0);  // no kerning pairs
  }
  return finish(w, error);
}

std::vector<uint8_t> defineTextBody(uint16_t id, const StaticText& t, bool rgba, std::string& error) {
  ByteWriter w;
  w.u16(id);
  writeRect(w, t.bounds);
  writeMatrix(w, t.matrix);
  unsigned glyphBits = 1, advanceBits = 1;
  for (const TextRun& r : t.runs) {
    if (r.glyphs.size() != r.advances.size()) w.fail("a text run needs one advance per glyph");
    for (uint32_t g : r.glyphs) glyphBits = std::max(glyphBits, unsignedBits(g));
    for (int32_t a : r.advances) advanceBits = std::max(advanceBits, signedBits(a));
  }
  if (glyphBits > 32 || advanceBits > 32) w.fail("glyph index or advance too large");
  w.u8(static_cast<uint8_t>(glyphBits));
  w.u8(static_cast<uint8_t>(advanceBits));
  for (const TextRun& r : t.runs) {
    const size_t count = std::min(r.glyphs.size(), r.advances.size());
    size_t at = 0;
    do {
      const size_t n = std::min<size_t>(count - at, 255);
      uint8_t flags = 0x80;
      const bool first = at == 0;
      if (first) {
        flags |= (r.fontId ? 0x08 : 0) | (r.color ? 0x04 : 0) | (r.y ? 0x02 : 0) | (r.x ? 0x01 : 0);
        w.u8(flags);
        if (r.fontId) w.u16(*r.fontId);
        if (r.color) writeColor(w, *r.color, rgba);
        if (r.x) w.s16(*r.x);
        if (r.y) w.s16(*r.y);
        if (r.fontId) w.u16(r.height);
      } else {
        w.u8(flags);
      }
      w.u8(static_cast<uint8_t>(n));
      for (size_t i = at; i < at + n; ++i) {
        w.ub(glyphBits, r.glyphs[i]);
        w.sb(advanceBits, r.advances[i]);
      }
      w.align();
      at += n;
    } while (at < count);
  }
  w.u8(0);
  return finish(w, error);
}

bool decodeUtf8(const std::string& s, std::vector<uint32_t>& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0) return false;
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      if (i + static_cast<size_t>(k) >= s.size()) return false;
      const auto d = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    out.push_back(code);
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

}  // namespace kivra::kit
