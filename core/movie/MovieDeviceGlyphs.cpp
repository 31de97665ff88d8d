#include "core/movie/MovieDeviceGlyphs.h"

#include "core/format/TagCursor.h"
#include "core/movie/MovieFonts.h"

namespace kivra {

namespace {

void appendUtf8(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::unique_ptr<MovieDeviceGlyphs> MovieDeviceGlyphs::open(FontSource& fonts, const uint8_t* info, size_t length,
                                                           bool tag62, bool unicode, const CodePage& codePage) {
  TagCursor c(info, static_cast<int64_t>(length));
  std::string name;
  const uint8_t nameLength = c.readU8();
  for (uint8_t i = 0; i < nameLength && !c.overrun(); ++i) name += static_cast<char>(c.readU8());
  const uint8_t flags = c.readU8();
  if (tag62) (void)c.readU8();  // language
  if (c.overrun()) return nullptr;
  auto glyphs = std::unique_ptr<MovieDeviceGlyphs>(new MovieDeviceGlyphs());
  glyphs->systemName_ = deviceFontName(name);
  if (glyphs->systemName_ == name && !unicode) {
    // Other names of older movies are in the system code page.
    std::u16string units;
    codePage.widen(name, units);
    glyphs->systemName_.clear();
    for (char16_t u : units) appendUtf8(u, glyphs->systemName_);
  }
  const bool wide = flags & 0x01;
  while (c.remaining() >= (wide ? 2 : 1)) {
    uint32_t code = wide ? c.readU16() : c.readU8();
    if (!unicode && code >= 0x80) {
      std::string bytes;
      if (code > 0xFF) bytes += static_cast<char>(code >> 8);
      bytes += static_cast<char>(code & 0xFF);
      std::u16string units;
      codePage.widen(bytes, units);
      code = units.empty() ? 0xFFFD : units[0];
    }
    glyphs->codes_.push_back(code);
  }
  glyphs->faceGlyphs_.assign(glyphs->codes_.size(), -1);
  glyphs->bold_ = flags & 0x02;
  glyphs->italic_ = flags & 0x04;
  glyphs->face_ = fonts.openDeviceFont(glyphs->systemName_, glyphs->bold_, glyphs->italic_);
  if (!glyphs->face_) return nullptr;
  return glyphs;
}

// The family the system chose: the one whose metrics laid the text out.
const std::string& MovieDeviceGlyphs::family() const {
  return face_->familyName().empty() ? systemName_ : face_->familyName();
}

uint32_t MovieDeviceGlyphs::faceGlyph(uint32_t index) {
  if (index >= codes_.size()) return 0;
  int64_t& g = faceGlyphs_[index];
  if (g < 0) g = face_->glyphIndex(codes_[index]);
  return static_cast<uint32_t>(g);
}

const GlyphCoverage* MovieDeviceGlyphs::coverage(uint32_t index, int pixelSize26_6) {
  const uint32_t g = faceGlyph(index);
  return g ? face_->coverage(g, pixelSize26_6) : nullptr;
}

bool MovieDeviceGlyphs::outline(uint32_t index, std::vector<GlyphPathCommand>& out) {
  out.clear();
  const uint32_t g = faceGlyph(index);
  return g && face_->outline(g, out);
}

}  // namespace kivra
