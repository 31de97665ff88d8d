#include "tools/qvxs/Dumper.h"

#include <algorithm>
#include <cstdio>

#include "core/format/Inflater.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "tools/qvxs/Assembler.h"
#include "tools/qvxs/Compiler.h"
#include "tools/qvxs/SourceText.h"

namespace kivra::qvxs {

namespace {

using Lines = std::vector<std::string>;

struct NamedBit {
  uint32_t bit;
  const char* name;
};

constexpr NamedBit kClipEvents[] = {
    {0x1, "load"},          {0x2, "enterFrame"},     {0x4, "unload"},      {0x8, "mouseMove"},
    {0x10, "mouseDown"},    {0x20, "mouseUp"},       {0x40, "keyDown"},    {0x80, "keyUp"},
    {0x100, "data"},        {0x200, "initialize"},   {0x400, "press"},     {0x800, "release"},
    {0x1000, "releaseOutside"}, {0x2000, "rollOver"}, {0x4000, "rollOut"}, {0x8000, "dragOver"},
    {0x10000, "dragOut"},   {0x20000, "keyPress"},
};

constexpr NamedBit kButtonConditions[] = {
    {0x001, "idleToOverUp"},     {0x002, "overUpToIdle"},      {0x004, "overUpToOverDown"},
    {0x008, "overDownToOverUp"}, {0x010, "overDownToOutDown"}, {0x020, "outDownToOverDown"},
    {0x040, "outDownToIdle"},    {0x080, "idleToOverDown"},    {0x100, "overDownToIdle"},
};

// Flags of a DefineEditText word that no attribute stands for; the others
// (font, colour, maximum length, layout, text) show as their attributes.
constexpr NamedBit kEditTextFlags[] = {
    {0x0008, "readonly"}, {0x0010, "password"}, {0x0020, "multiline"}, {0x0040, "wordwrap"},
    {0x0100, "embed"},    {0x0200, "html"},     {0x0800, "border"},    {0x1000, "noselect"},
    {0x4000, "autosize"},
};
constexpr uint16_t kEditTextParts = 0x0001 | 0x0002 | 0x0004 | 0x0080 | 0x2000;

constexpr NamedBit kButtonStates[] = {{0x1, "up"}, {0x2, "over"}, {0x4, "down"}, {0x8, "hit"}};

template <size_t N>
std::string bitNames(uint32_t bits, const NamedBit (&table)[N]) {
  std::string s;
  for (const NamedBit& nb : table) {
    if (bits & nb.bit) {
      s += (s.empty() ? "" : ",") + std::string(nb.name);
      bits &= ~nb.bit;
    }
  }
  if (bits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", bits);
    s += (s.empty() ? "" : ",") + std::string(buf);
  }
  return s;
}

std::string rectText(const RECT& r) {
  return formatTwips(r.xmin) + "," + formatTwips(r.xmax) + "," + formatTwips(r.ymin) + "," + formatTwips(r.ymax);
}

// A format byte: 0x and two digits.
std::string hexByte(unsigned v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  return std::string("0x") + kDigits[(v >> 4) & 15] + kDigits[v & 15];
}

// Hex bytes as one word: bitmap payloads are long and go on one line.
std::string packedHex(const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    s[i * 2] = kDigits[p[i] >> 4];
    s[i * 2 + 1] = kDigits[p[i] & 15];
  }
  return s;
}

void join(std::string& line, const std::string& part) {
  if (!part.empty()) line += " " + part;
}

void indentInto(Lines& out, const Lines& in, int spaces) {
  for (const std::string& l : in) out.push_back(std::string(static_cast<size_t>(spaces), ' ') + l);
}

// An action block between "HEAD {" and "}"; false when it has no text form.
bool actionBlock(const std::string& head, const uint8_t* p, size_t n, Lines& out) {
  Lines body;
  if (!disassemble(p, n, 2, body)) return false;
  out.push_back(head + " {");
  out.insert(out.end(), body.begin(), body.end());
  out.push_back("}");
  return true;
}

class Dumper {
 public:
  Dumper(const uint8_t* base, int version, DumpStats* stats) : base_(base), version_(version), stats_(stats) {}
  // Tags of [start, end) up to the End tag, which is left implicit.
  // `complete` tells whether the stream ended with End as its last tag.
  // `rest` receives the position of the first byte not printed (after the
  // End tag, or at a cut-off tag).
  void stream(int64_t start, int64_t end, Lines& out, bool& endedCleanly, int64_t* rest = nullptr);

 private:
  bool tagText(const TagHeader& h, Lines& out);
  bool styles(TagCursor& c, bool rgba, Lines& out);
  bool records(TagCursor& c, bool rgba, bool allowNewStyles, Lines& out);
  bool morph(TagCursor& c, const TagHeader& h, Lines& out);
  bool button(TagCursor& c, const TagHeader& h, bool second, Lines& out);
  bool place2(TagCursor& c, const TagHeader& h, Lines& out);
  bool font(TagCursor& c, const TagHeader& h, Lines& out);
  bool fontInfo(TagCursor& c, const TagHeader& h, Lines& out);
  bool text(TagCursor& c, const TagHeader& h, Lines& out);
  bool editText(TagCursor& c, const TagHeader& h, Lines& out);
  bool reproduces(const Lines& lines, const TagHeader& h) const;

  const uint8_t* base_;
  int version_;
  DumpStats* stats_;
};

bool Dumper::reproduces(const Lines& lines, const TagHeader& h) const {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  Diagnostics diag;
  std::vector<Node> nodes;
  if (!parseNodes(text, nodes, diag)) return false;
  kit::TagStream out;
  if (!compileTags(nodes, version_, out, diag)) return false;
  const std::vector<uint8_t>& b = out.bytes();
  return static_cast<int64_t>(b.size()) == h.end - h.start && std::equal(b.begin(), b.end(), base_ + h.start);
}

void Dumper::stream(int64_t start, int64_t end, Lines& out, bool& endedCleanly, int64_t* rest) {
  TagCursor c(base_, end);
  c.setPosition(start);
  endedCleanly = false;
  if (rest) *rest = end;
  while (c.position() < end) {
    TagHeader h;
    if (c.readTagHeader(h) != TagRead::Tag) {
      // A truncated tag: keep the remaining bytes so nothing is lost.
      out.push_back("; the stream ends inside a tag header or body");
      if (rest) *rest = c.position();
      return;
    }
    if (h.code == 0) {
      endedCleanly = h.end == end && h.length == 0 && !h.longForm;
      if (rest) *rest = h.end;
      if (!endedCleanly) {
        if (h.length == 0 && !h.longForm) {
          out.push_back("end");
        } else {
          if (rest) *rest = h.start;
        }
      }
      return;
    }
    Lines lines;
    const bool ok = tagText(h, lines) && !lines.empty();
    if (ok && h.longForm && h.length < 0x3F) lines.front() = "@long " + lines.front();
    if (stats_) ++stats_->tags;
    if (ok && reproduces(lines, h)) {
      out.insert(out.end(), lines.begin(), lines.end());
    } else {
      if (stats_) ++stats_->rawTags;
      std::string line = std::string(h.longForm && h.length < 0x3F ? "@long " : "") + "raw " + std::to_string(h.code);
      join(line, hexBytes(base_ + h.bodyStart, h.length));
      const char* name = tagName(h.code);
      line += std::string(" ; ") + (name ? name : "unknown tag");
      out.push_back(line);
    }
    c.setPosition(h.end);
  }
}

bool Dumper::styles(TagCursor& c, bool rgba, Lines& out) {
  auto count = [&]() -> unsigned {
    unsigned n = c.readU8();
    return n == 255 ? c.readU16() : n;
  };
  auto color = [&]() { return formatColor(rgba ? c.readRgba() : c.readRgb(), rgba); };
  const unsigned fills = count();
  for (unsigned i = 0; i < fills && !c.overrun(); ++i) {
    const uint8_t type = c.readU8();
    std::string line;
    if (type & 0x10) {
      const MATRIX m = c.readMatrix();
      line = type == 0x12 ? "fill radial" : "fill linear";
      const unsigned stops = c.readU8();
      for (unsigned s = 0; s < stops && !c.overrun(); ++s) {
        const unsigned ratio = c.readU8();
        line += " " + std::to_string(ratio) + ":" + color();
      }
      join(line, formatMatrix(m));
    } else if (type & 0x40) {
      const unsigned id = c.readU16();
      line = "fill bitmap " + std::to_string(id);
      if (type & 0x01) line += " clipped";
      if (type & 0x02) line += " nosmooth";
      join(line, formatMatrix(c.readMatrix()));
    } else {
      line = "fill solid " + color();
    }
    out.push_back(line);
  }
  const unsigned lines = count();
  for (unsigned i = 0; i < lines && !c.overrun(); ++i) {
    const unsigned width = c.readU16();
    out.push_back("line " + std::to_string(width) + " " + color());
  }
  return !c.overrun();
}

bool Dumper::records(TagCursor& c, bool rgba, bool allowNewStyles, Lines& out) {
  c.alignToByte();
  unsigned fillBits = c.readUB(4);
  unsigned lineBits = c.readUB(4);
  int32_t x = 0, y = 0;
  while (!c.overrun()) {
    if (c.readBit()) {
      const bool straight = c.readBit();
      const unsigned n = c.readUB(4) + 2;
      if (straight) {
        int32_t dx = 0, dy = 0;
        if (c.readBit()) {
          dx = c.readSB(n);
          dy = c.readSB(n);
        } else if (c.readBit()) {
          dy = c.readSB(n);
        } else {
          dx = c.readSB(n);
        }
        x += dx;
        y += dy;
        out.push_back("lineto " + formatTwips(x) + "," + formatTwips(y));
      } else {
        const int32_t cx = x + c.readSB(n);
        const int32_t cy = y + c.readSB(n);
        x = cx + c.readSB(n);
        y = cy + c.readSB(n);
        out.push_back("curveto " + formatTwips(cx) + "," + formatTwips(cy) + "," + formatTwips(x) + "," +
                      formatTwips(y));
      }
      continue;
    }
    const unsigned flags = c.readUB(5);
    if (flags == 0) return !c.overrun();
    std::string line = "style";
    if (flags & 0x01) {
      const unsigned n = c.readUB(5);
      x = c.readSB(n);
      y = c.readSB(n);
      line += " moveto=" + formatTwips(x) + "," + formatTwips(y);
    }
    if (flags & 0x02) line += " fill0=" + std::to_string(c.readUB(fillBits));
    if (flags & 0x04) line += " fill1=" + std::to_string(c.readUB(fillBits));
    if (flags & 0x08) line += " line=" + std::to_string(c.readUB(lineBits));
    if (flags & 0x10) {
      if (!allowNewStyles) return false;
      out.push_back(line + " newstyles");
      c.alignToByte();
      Lines arrays;
      if (!styles(c, rgba, arrays)) return false;
      indentInto(out, arrays, 2);
      fillBits = c.readUB(4);
      lineBits = c.readUB(4);
      continue;
    }
    out.push_back(line);
  }
  return false;
}

bool Dumper::morph(TagCursor& c, const TagHeader& h, Lines& out) {
  const unsigned id = c.readU16();
  const RECT start = c.readRect();
  const RECT end = c.readRect();
  const uint32_t offset = c.readU32();
  const int64_t endEdges = c.position() + offset;
  out.push_back("morph " + std::to_string(id) + " startbounds=" + rectText(start) + " endbounds=" + rectText(end) +
                " {");
  auto count = [&]() -> unsigned {
    unsigned n = c.readU8();
    return n == 255 ? c.readU16() : n;
  };
  const unsigned fills = count();
  for (unsigned i = 0; i < fills && !c.overrun(); ++i) {
    const uint8_t type = c.readU8();
    std::string line;
    if (type & 0x10) {
      const MATRIX sm = c.readMatrix();
      const MATRIX em = c.readMatrix();
      line = type == 0x12 ? "  fill radial" : "  fill linear";
      const unsigned stops = c.readU8();
      for (unsigned s = 0; s < stops && !c.overrun(); ++s) {
        const unsigned r0 = c.readU8();
        const Rgba c0 = c.readRgba();
        const unsigned r1 = c.readU8();
        const Rgba c1 = c.readRgba();
        line += " " + std::to_string(r0) + ":" + formatColor(c0, true) + ">" + std::to_string(r1) + ":" +
                formatColor(c1, true);
      }
      join(line, formatMatrix(sm));
      join(line, formatMatrix(em, "end"));
    } else if (type & 0x40) {
      line = "  fill bitmap " + std::to_string(c.readU16());
      if (type & 0x01) line += " clipped";
      if (type & 0x02) line += " nosmooth";
      const MATRIX sm = c.readMatrix();
      join(line, formatMatrix(sm));
      join(line, formatMatrix(c.readMatrix(), "end"));
    } else {
      const Rgba c0 = c.readRgba();
      line = "  fill solid " + formatColor(c0, true) + " " + formatColor(c.readRgba(), true);
    }
    out.push_back(line);
  }
  const unsigned lines = count();
  for (unsigned i = 0; i < lines && !c.overrun(); ++i) {
    const unsigned w0 = c.readU16();
    const unsigned w1 = c.readU16();
    const Rgba c0 = c.readRgba();
    out.push_back("  line " + std::to_string(w0) + " " + std::to_string(w1) + " " + formatColor(c0, true) + " " +
                  formatColor(c.readRgba(), true));
  }
  Lines edges;
  out.push_back("  startedges");
  if (!records(c, true, false, edges)) return false;
  indentInto(out, edges, 4);
  edges.clear();
  if (endEdges < c.position() || endEdges > h.end) return false;
  c.setPosition(endEdges);
  out.push_back("  endedges");
  if (!records(c, true, false, edges)) return false;
  indentInto(out, edges, 4);
  out.push_back("}");
  return !c.overrun();
}

bool Dumper::button(TagCursor& c, const TagHeader& h, bool second, Lines& out) {
  const unsigned id = c.readU16();
  std::string head = (second ? "button2 " : "button ") + std::to_string(id);
  if (second) {
    const uint8_t flags = c.readU8();
    if (flags & ~1u) return false;
    if (flags & 1) head += " menu";
    c.readU16();  // the action offset is recomputed
  }
  out.push_back(head + " {");
  while (!c.overrun()) {
    const uint8_t states = c.readU8();
    if (states == 0) break;
    const unsigned cid = c.readU16();
    const unsigned depth = c.readU16();
    std::string line = "  record " + bitNames(states, kButtonStates) + " " + std::to_string(cid) + " " +
                       std::to_string(depth);
    join(line, formatMatrix(c.readMatrix()));
    if (second) {
      const CXFORM cx = c.readCxform(true);
      if (cx.flags) join(line, formatCxform(cx, true));
    }
    out.push_back(line);
  }
  if (c.overrun()) return false;
  const uint8_t* p = base_ + c.position();
  if (!second) {
    const size_t n = static_cast<size_t>(h.end - c.position());
    if (!(n == 1 && p[0] == 0)) {
      Lines block;
      if (!actionBlock("actions", p, n, block)) return false;
      indentInto(out, block, 2);
    }
  } else {
    while (c.position() < h.end) {
      const int64_t recordStart = c.position();
      const unsigned size = c.readU16();
      const unsigned cond = c.readU16();
      const int64_t next = size ? recordStart + size : h.end;
      if (c.overrun() || next > h.end || next < c.position()) return false;
      std::string line = "on";
      if (cond & 0x1FF) line += " " + bitNames(cond & 0x1FF, kButtonConditions);
      if (cond >> 9) line += " key=" + std::to_string(cond >> 9);
      Lines block;
      if (!actionBlock(line, base_ + c.position(), static_cast<size_t>(next - c.position()), block)) return false;
      indentInto(out, block, 2);
      c.setPosition(next);
      if (size == 0) break;
    }
  }
  out.push_back("}");
  return true;
}

bool Dumper::place2(TagCursor& c, const TagHeader& h, Lines& out) {
  const uint8_t flags = c.readU8();
  std::string line = "place2 " + std::to_string(c.readU16());
  if (flags & 0x01) line += " move";
  if (flags & 0x02) line += " id=" + std::to_string(c.readU16());
  if (flags & 0x04) {
    const std::string m = formatMatrix(c.readMatrix());
    line += " " + (m.empty() ? std::string("matrix") : m);
  }
  if (flags & 0x08) line += " " + formatCxform(c.readCxform(true), true);
  if (flags & 0x10) line += " ratio=" + std::to_string(c.readU16());
  if (flags & 0x20) line += " name=" + quote(c.readString());
  if (flags & 0x40) line += " clipdepth=" + std::to_string(c.readU16());
  if (!(flags & 0x80)) {
    out.push_back(line);
    return !c.overrun() && c.position() == h.end;
  }
  const bool wide = version_ >= 6;
  auto events = [&]() { return wide ? c.readU32() : c.readU16(); };
  c.readU16();
  const uint32_t all = events();
  Lines records;
  uint32_t seen = 0;
  while (!c.overrun()) {
    const uint32_t ev = events();
    if (ev == 0) break;
    seen |= ev;
    const uint32_t size = c.readU32();
    const int64_t next = c.position() + size;
    if (next > h.end) return false;
    std::string head = "on " + bitNames(ev, kClipEvents);
    if (ev & 0x20000) head += " key=" + std::to_string(c.readU8());
    Lines block;
    if (next < c.position() ||
        !actionBlock(head, base_ + c.position(), static_cast<size_t>(next - c.position()), block))
      return false;
    indentInto(records, block, 2);
    c.setPosition(next);
  }
  if (all != seen) line += " allevents=" + bitNames(all, kClipEvents);
  out.push_back(line + " {");
  out.insert(out.end(), records.begin(), records.end());
  out.push_back("}");
  return !c.overrun();
}

// Font and text tags. Glyph shapes are printed as hex, one glyph a line: the
// font file they came from is not in the movie.
bool Dumper::font(TagCursor& c, const TagHeader& h, Lines& out) {
  const uint8_t* base = base_;
  const unsigned id = c.readU16();
  const bool second = h.code == 48;
  std::string line = std::string(second ? "font " : "font1 ") + std::to_string(id);
  uint8_t flags = 0;
  unsigned count = 0;
  bool wideOffsets = false, wideCodes = false;
  if (second) {
    flags = c.readU8();
    const unsigned language = c.readU8();
    const unsigned nameLength = c.readU8();
    std::string name;
    for (unsigned i = 0; i < nameLength && !c.overrun(); ++i) name += static_cast<char>(c.readU8());
    count = c.readU16();
    wideOffsets = flags & 0x08;
    wideCodes = flags & 0x04;
    line += " name=" + quote(name);
    if (flags & 0x01) line += " bold";
    if (flags & 0x02) line += " italic";
    if (wideCodes) line += " wide";
    if (wideOffsets) line += " wideoffsets";
    if (language != 1) line += " language=" + std::to_string(language);
    if (flags & 0x70) line += " flags=" + std::to_string(flags & 0x70);
  }
  if (c.overrun()) return false;
  const int64_t table = c.position();
  std::vector<int64_t> offsets;
  if (!second && c.position() == h.end) {
    // No glyphs at all: a device font's tag 10.
    out.push_back(line + " {");
    out.push_back("}");
    return true;
  }
  if (!second) {
    const unsigned first = c.readU16();
    count = first / 2;
    offsets.push_back(first);
    for (unsigned i = 1; i < count && !c.overrun(); ++i) offsets.push_back(c.readU16());
  } else {
    for (unsigned i = 0; i <= count && !c.overrun(); ++i) offsets.push_back(wideOffsets ? c.readU32() : c.readU16());
  }
  if (c.overrun()) return false;
  // Where the glyphs end: the code table, or the end of a tag 10 body.
  const int64_t glyphsEnd = second ? table + offsets.back() : h.end;
  if (!second) offsets.push_back(glyphsEnd - table);
  std::vector<unsigned> codes(count);
  c.setPosition(glyphsEnd);
  if (second) {
    for (unsigned i = 0; i < count && !c.overrun(); ++i) codes[i] = wideCodes ? c.readU16() : c.readU8();
  }
  Lines glyphs;
  std::vector<std::string> extras(count);
  if (second && (flags & 0x80)) {
    const int ascent = static_cast<int16_t>(c.readU16());
    const int descent = static_cast<int16_t>(c.readU16());
    const int leading = static_cast<int16_t>(c.readU16());
    line += " layout=" + std::to_string(ascent) + "," + std::to_string(descent) + "," + std::to_string(leading);
    for (unsigned i = 0; i < count && !c.overrun(); ++i)
      extras[i] = " advance=" + std::to_string(static_cast<int16_t>(c.readU16()));
    for (unsigned i = 0; i < count && !c.overrun(); ++i) extras[i] += " bounds=" + rectText(c.readRect());
    if (c.readU16() != 0) return false;  // kerning pairs have no text form
  }
  if (c.overrun() || c.position() != h.end) return false;
  for (unsigned i = 0; i < count; ++i) {
    const int64_t from = table + offsets[i], to = table + offsets[i + 1];
    if (from > to || from < table || to > glyphsEnd) return false;
    std::string g = "glyph ";
    if (second) g += std::to_string(codes[i]) + " ";
    g += packedHex(base + from, static_cast<size_t>(to - from)) + extras[i];
    glyphs.push_back(g);
  }
  out.push_back(line + " {");
  indentInto(out, glyphs, 2);
  out.push_back("}");
  return true;
}

bool Dumper::fontInfo(TagCursor& c, const TagHeader& h, Lines& out) {
  const unsigned id = c.readU16();
  const unsigned nameLength = c.readU8();
  std::string name;
  for (unsigned i = 0; i < nameLength && !c.overrun(); ++i) name += static_cast<char>(c.readU8());
  const unsigned flags = c.readU8();
  std::string line = std::string(h.code == 62 ? "fontinfo2 " : "fontinfo ") + std::to_string(id) + " name=" + quote(name);
  if (flags & 0x02) line += " bold";
  if (flags & 0x04) line += " italic";
  if (flags & 0x01) line += " wide";
  if (h.code == 62) {
    const unsigned language = c.readU8();
    if (language != 1) line += " language=" + std::to_string(language);
  }
  if (flags & 0xF8) line += " flags=" + std::to_string(flags & 0xF8);
  std::string codes;
  while (!c.overrun() && c.position() < h.end) codes += (codes.empty() ? "" : ",") + std::to_string((flags & 1) ? c.readU16() : c.readU8());
  if (c.overrun()) return false;
  out.push_back(line + " codes=" + codes);
  return true;
}

bool Dumper::text(TagCursor& c, const TagHeader& h, Lines& out) {
  const bool rgba = h.code == 33;
  const unsigned id = c.readU16();
  const RECT bounds = c.readRect();
  std::string line = std::string(rgba ? "text2 " : "text ") + std::to_string(id) + " bounds=" + rectText(bounds);
  join(line, formatMatrix(c.readMatrix()));
  const unsigned glyphBits = c.readU8();
  const unsigned advanceBits = c.readU8();
  if (glyphBits > 32 || advanceBits > 32) return false;
  Lines runs;
  while (!c.overrun()) {
    const unsigned flags = c.readU8();
    if (flags == 0) break;
    if ((flags & 0xF0) != 0x80) return false;
    std::string run = "run";
    if (flags & 0x08) run += " font=" + std::to_string(c.readU16());
    if (flags & 0x04) run += " color=" + formatColor(rgba ? c.readRgba() : c.readRgb(), rgba);
    if (flags & 0x01) run += " x=" + std::to_string(static_cast<int16_t>(c.readU16()));
    if (flags & 0x02) run += " y=" + std::to_string(static_cast<int16_t>(c.readU16()));
    if (flags & 0x08) run += " height=" + std::to_string(c.readU16());
    const unsigned count = c.readU8();
    std::string glyphs, advances;
    for (unsigned i = 0; i < count && !c.overrun(); ++i) {
      glyphs += (i ? "," : "") + std::to_string(c.readUB(glyphBits));
      advances += (i ? "," : "") + std::to_string(c.readSB(advanceBits));
    }
    c.alignToByte();
    if (count) run += " glyphs=" + glyphs + " advances=" + advances;
    runs.push_back(run);
  }
  if (c.overrun() || c.position() != h.end) return false;
  out.push_back(line + " {");
  indentInto(out, runs, 2);
  out.push_back("}");
  return true;
}

bool Dumper::editText(TagCursor& c, const TagHeader& h, Lines& out) {
  std::string line = "edittext " + std::to_string(c.readU16());
  line += " bounds=" + rectText(c.readRect());
  const unsigned word = c.readU16();
  if (word & 0x0001) {
    const unsigned font = c.readU16();
    line += " font=" + std::to_string(font) + " height=" + std::to_string(c.readU16());
  }
  if (word & 0x0004) line += " color=" + formatColor(c.readRgba(), true);
  if (word & 0x0002) line += " maxlen=" + std::to_string(c.readU16());
  if (word & 0x2000) {
    static constexpr const char* kAligns[] = {"left", "right", "center"};
    const unsigned align = c.readU8();
    line += " align=" + (align < 3 ? std::string(kAligns[align]) : std::to_string(align));
    const unsigned left = c.readU16();
    line += " margins=" + std::to_string(left) + "," + std::to_string(c.readU16());
    line += " indent=" + std::to_string(c.readS16());
    line += " leading=" + std::to_string(c.readS16());
  }
  const std::string variable = c.readString();
  if (!variable.empty()) line += " var=" + quote(variable);
  if (word & 0x0080) line += " text=" + quote(c.readString());
  if (word & ~kEditTextParts) line += " flags=" + bitNames(word & ~kEditTextParts, kEditTextFlags);
  if (c.overrun() || c.position() != h.end) return false;
  out.push_back(line);
  return true;
}

bool Dumper::tagText(const TagHeader& h, Lines& out) {
  TagCursor c(base_, h.end, version_);
  c.setPosition(h.bodyStart);
  const uint8_t* body = base_ + h.bodyStart;
  const size_t n = h.length;
  switch (static_cast<TagCode>(h.code)) {
    case TagCode::ShowFrame:
      out.push_back("showframe");
      return true;
    case TagCode::SetBackgroundColor:
      out.push_back("background " + formatColor(c.readRgb(), false));
      break;
    case TagCode::FrameLabel:
      out.push_back("label " + quote(c.readString()));
      break;
    case TagCode::PlaceObject: {
      const unsigned id = c.readU16();
      std::string line = "place " + std::to_string(id) + " " + std::to_string(c.readU16());
      join(line, formatMatrix(c.readMatrix()));
      if (c.position() < h.end) join(line, formatCxform(c.readCxform(false), false));
      out.push_back(line);
      break;
    }
    case TagCode::PlaceObject2:
      return place2(c, h, out);
    case TagCode::RemoveObject: {
      const unsigned id = c.readU16();
      out.push_back("remove " + std::to_string(id) + " " + std::to_string(c.readU16()));
      break;
    }
    case TagCode::RemoveObject2:
      out.push_back("remove2 " + std::to_string(c.readU16()));
      break;
    case TagCode::DefineShape:
    case TagCode::DefineShape2:
    case TagCode::DefineShape3: {
      const bool rgba = h.code == 32;
      const char* name = h.code == 2 ? "shape" : h.code == 22 ? "shape2" : "shape3";
      const unsigned id = c.readU16();
      const RECT bounds = c.readRect();
      out.push_back(std::string(name) + " " + std::to_string(id) + " bounds=" + rectText(bounds) + " {");
      Lines inner;
      if (!styles(c, rgba, inner) || !records(c, rgba, true, inner)) return false;
      indentInto(out, inner, 2);
      out.push_back("}");
      return c.position() == h.end;
    }
    case TagCode::DefineMorphShape:
      return morph(c, h, out);
    case TagCode::DefineButton:
    case TagCode::DefineButton2:
      return button(c, h, h.code == 34, out);
    case TagCode::DefineSprite: {
      const unsigned id = c.readU16();
      const unsigned frames = c.readU16();
      if (c.overrun()) return false;
      out.push_back("sprite " + std::to_string(id) + " frames=" + std::to_string(frames) + " {");
      Lines inner;
      bool clean = false;
      stream(c.position(), h.end, inner, clean);
      if (!clean) return false;
      indentInto(out, inner, 2);
      out.push_back("}");
      return true;
    }
    case TagCode::DoAction:
      return actionBlock("actions", body, n, out);
    case TagCode::DoInitAction: {
      const unsigned id = c.readU16();
      return !c.overrun() && actionBlock("initactions " + std::to_string(id), body + 2, n - 2, out);
    }
    case TagCode::ExportAssets:
    case TagCode::ImportAssets: {
      std::string line = h.code == 56 ? "export" : "import " + quote(c.readString());
      const unsigned count = c.readU16();
      for (unsigned i = 0; i < count && !c.overrun(); ++i) {
        const unsigned id = c.readU16();
        line += " " + std::to_string(id) + " " + quote(c.readString());
      }
      out.push_back(line);
      break;
    }
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2: {
      // The payload as it is: the image file it came from is not in the movie.
      const unsigned id = c.readU16();
      const unsigned format = c.readU8();
      const unsigned width = c.readU16();
      const unsigned height = c.readU16();
      std::string line = std::string(h.code == 36 ? "lossless2 " : "lossless ") + std::to_string(id) +
                         " format=" + std::to_string(format) + " size=" + std::to_string(width) + "x" +
                         std::to_string(height);
      if (format <= 3) line += " colors=" + std::to_string(c.readU8() + 1u);
      if (c.overrun()) return false;
      const size_t used = static_cast<size_t>(c.position() - h.bodyStart);
      out.push_back(line + " zlib=" + packedHex(body + used, n - used));
      return true;
    }
    case TagCode::JPEGTables:
      out.push_back("jpegtables data=" + packedHex(body, n));
      return true;
    case TagCode::DefineBits:
    case TagCode::DefineBitsJPEG2: {
      const unsigned id = c.readU16();
      if (c.overrun()) return false;
      out.push_back(std::string(h.code == 6 ? "bits " : "jpeg ") + std::to_string(id) + " data=" +
                    packedHex(body + 2, n - 2));
      return true;
    }
    case TagCode::DefineBitsJPEG3: {
      const unsigned id = c.readU16();
      const uint32_t length = c.readU32();
      if (c.overrun() || length > n - 6) return false;
      out.push_back("jpeg3 " + std::to_string(id) + " data=" + packedHex(body + 6, length) +
                    " alpha=" + packedHex(body + 6 + length, n - 6 - length));
      return true;
    }
    case TagCode::DefineSound: {
      const unsigned id = c.readU16();
      const unsigned format = c.readU8();
      const uint32_t samples = c.readU32();
      // MP3 seek samples other than 0 have no text form.
      if ((format >> 4) == 2 && c.readU16() != 0) return false;
      if (c.overrun()) return false;
      const size_t used = static_cast<size_t>(c.position() - h.bodyStart);
      out.push_back("sound " + std::to_string(id) + " format=" + hexByte(format) + " samples=" +
                    std::to_string(samples) + " data=" + packedHex(body + used, n - used));
      return true;
    }
    case TagCode::StartSound: {
      std::string line = "startsound " + std::to_string(c.readU16());
      const unsigned flags = c.readU8();
      if (flags & 0xC0) return false;
      if (flags & 0x01) line += " in=" + std::to_string(c.readU32());
      if (flags & 0x02) line += " out=" + std::to_string(c.readU32());
      if (flags & 0x04) line += " loops=" + std::to_string(c.readU16());
      if (flags & 0x08) {
        const unsigned count = c.readU8();
        if (count == 0) return false;
        line += " envelope=";
        for (unsigned i = 0; i < count && !c.overrun(); ++i) {
          const uint32_t at = c.readU32();
          const unsigned left = c.readU16();
          line += (i ? "," : "") + std::to_string(at) + ":" + std::to_string(left) + ":" + std::to_string(c.readU16());
        }
      }
      if (flags & 0x10) line += " nomultiple";
      if (flags & 0x20) line += " stop";
      out.push_back(line);
      break;
    }
    case TagCode::DefineButtonSound: {
      // Only entries with an empty SoundInfo have a text form.
      std::string line = "buttonsound " + std::to_string(c.readU16());
      for (int i = 0; i < 4; ++i) {
        const unsigned id = c.readU16();
        line += " " + std::to_string(id);
        if (id && c.readU8() != 0) return false;
      }
      out.push_back(line);
      break;
    }
    case TagCode::SoundStreamHead: {
      const unsigned playback = c.readU8();
      const unsigned format = c.readU8();
      const unsigned perBlock = c.readU16();
      if ((format >> 4) == 2 && c.readU16() != 0) return false;
      std::string line = "streamhead format=" + hexByte(format) + " perblock=" + std::to_string(perBlock);
      if (playback != format) line += " playback=" + hexByte(playback);
      out.push_back(line);
      break;
    }
    case TagCode::SoundStreamBlock:
      out.push_back("streamblock data=" + packedHex(body, n));
      return true;
    case TagCode::DefineFont:
    case TagCode::DefineFont2:
      return font(c, h, out);
    case TagCode::DefineFontInfo:
    case TagCode::DefineFontInfo2:
      return fontInfo(c, h, out);
    case TagCode::DefineText:
    case TagCode::DefineText2:
      return text(c, h, out);
    case TagCode::DefineEditText:
      return editText(c, h, out);
    default:
      return false;
  }
  return !c.overrun() && c.position() == h.end;
}

}  // namespace

bool dumpMovie(const std::vector<uint8_t>& file, std::string& text, std::string& error, DumpStats* stats) {
  if (file.size() < 8 || !((file[0] == 'X' || file[0] == 'Z') && file[1] == 'V' && file[2] == 'Q')) {
    error = "not a movie: the file does not start with XVQ or ZVQ";
    return false;
  }
  const uint32_t length = file[4] | (file[5] << 8) | (file[6] << 16) | (static_cast<uint32_t>(file[7]) << 24);
  if (length < 8) {
    error = "the header's file length is below 8";
    return false;
  }
  const bool compressed = file[0] == 'Z';
  std::vector<uint8_t> plain(file.begin(), file.begin() + 8);
  if (compressed) {
    Inflater inflater;
    plain.resize(length);
    size_t consumed = 0;
    const size_t made = inflater.inflate(file.data() + 8, file.size() - 8, &consumed, plain.data() + 8, length - 8);
    if (made != length - 8) {
      error = "the compressed body inflates to " + std::to_string(made + 8) + " bytes, the header says " +
              std::to_string(length);
      return false;
    }
  } else {
    if (file.size() != length) {
      error = "the file has " + std::to_string(file.size()) + " bytes, the header says " + std::to_string(length);
      return false;
    }
    plain = file;
  }
  const int version = plain[3];
  TagCursor c(plain.data(), static_cast<int64_t>(plain.size()), version);
  c.setPosition(8);
  const RECT frame = c.readRect();
  const unsigned rate = c.readU16();
  const unsigned frames = c.readU16();
  if (c.overrun()) {
    error = "the movie ends inside its header";
    return false;
  }
  std::string header = "movie version=" + std::to_string(version);
  if (frame.xmin == 0 && frame.ymin == 0 && frame.xmax % 20 == 0 && frame.ymax % 20 == 0 && frame.xmax >= 0 &&
      frame.ymax >= 0)
    header += " size=" + std::to_string(frame.xmax / 20) + "x" + std::to_string(frame.ymax / 20);
  else
    header += " rect=" + rectText(frame);
  header += " rate=" + formatDouble(rate / 256.0) + " frames=" + std::to_string(frames);
  if (compressed) header += " compressed";
  Lines lines{header};
  Dumper d(plain.data(), version, stats);
  bool clean = false;
  int64_t rest = 0;
  d.stream(c.position(), static_cast<int64_t>(plain.size()), lines, clean, &rest);
  if (!clean) {
    // Keep whatever the tags did not cover, so the movie is rebuilt exactly.
    const size_t from = static_cast<size_t>(std::max<int64_t>(rest, c.position()));
    lines.push_back("trailing " + hexBytes(plain.data() + from, plain.size() - from));
  }
  text.clear();
  for (const std::string& l : lines) text += l + "\n";
  return true;
}

}  // namespace kivra::qvxs
