#include "core/movie/MovieTextFonts.h"

#include <cmath>
#include <unordered_map>

#include "core/movie/Character.h"
#include "core/movie/MovieFonts.h"

namespace kivra {

namespace {

// A tag 48 font: the code table maps characters to glyphs, the layout
// table gives advances and vertical metrics.
class EmbeddedFace : public MovieTextFace {
 public:
  EmbeddedFace(uint16_t fontId, uint8_t flags) : fontId_(fontId), flags_(flags) {}
  int32_t advance(char16_t c) override {
    auto it = glyphs_.find(c);
    if (it == glyphs_.end() || it->second >= advances_.size()) return 0;
    return advances_[it->second];
  }
  bool hasGlyph(char16_t c) override { return glyphs_.count(c) != 0; }
  TextFaceMetrics metrics() override { return metrics_; }
  bool doubleByte() const override { return flags_ & 0x40; }
  bool glyphOf(char16_t c, TextDrawGlyph& out) override {
    auto it = glyphs_.find(c);
    if (it == glyphs_.end()) return false;
    out.fontId = fontId_;
    out.device = nullptr;
    out.index = it->second;
    return true;
  }

  uint16_t fontId_;
  uint8_t flags_;
  std::unordered_map<char16_t, uint32_t> glyphs_;
  std::vector<int16_t> advances_;
  TextFaceMetrics metrics_{1024, 0, 0};
};

// The glyphs of a system face by the face's own glyph index.
class FaceGlyphs : public DeviceGlyphs {
 public:
  FaceGlyphs(std::shared_ptr<DeviceFace> face, bool bold, bool italic)
      : face_(std::move(face)), bold_(bold), italic_(italic) {}
  const GlyphCoverage* coverage(uint32_t index, int pixelSize26_6) override {
    return face_->coverage(index, pixelSize26_6);
  }
  bool outline(uint32_t index, std::vector<GlyphPathCommand>& out) override { return face_->outline(index, out); }
  const std::string& family() const override { return face_->familyName(); }
  bool bold() const override { return bold_; }
  bool italic() const override { return italic_; }

 private:
  std::shared_ptr<DeviceFace> face_;
  bool bold_, italic_;
};

class SystemFace : public MovieTextFace {
 public:
  SystemFace(std::shared_ptr<DeviceFace> face, bool bold, bool italic) : face_(face), glyphs_(face, bold, italic) {
    const DeviceFontMetrics m = face_->metrics();
    metrics_ = TextFaceMetrics{static_cast<int32_t>(std::lround(m.ascent)), static_cast<int32_t>(std::lround(m.descent)),
                               static_cast<int32_t>(std::lround(m.leading))};
  }
  int32_t advance(char16_t c) override {
    // Advances are asked for every unit laid out: kept per character.
    if (advances_.empty()) advances_.assign(0x10000, -1);
    int32_t& a = advances_[c];
    if (a < 0) {
      const uint32_t g = face_->glyphIndex(c);
      a = g ? static_cast<int32_t>(std::lround(face_->advance(g))) : 0;
    }
    return a;
  }
  bool hasGlyph(char16_t c) override { return face_->glyphIndex(c) != 0; }
  TextFaceMetrics metrics() override { return metrics_; }
  bool glyphOf(char16_t c, TextDrawGlyph& out) override {
    const uint32_t g = face_->glyphIndex(c);
    if (!g) return false;
    out.device = &glyphs_;
    out.fontId = 0;
    out.index = g;
    return true;
  }

 private:
  std::shared_ptr<DeviceFace> face_;
  FaceGlyphs glyphs_;
  std::vector<int32_t> advances_;
  TextFaceMetrics metrics_;
};

uint32_t readU16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }

}  // namespace

MovieTextFonts::~MovieTextFonts() = default;

std::unique_ptr<MovieTextFace> MovieTextFonts::embeddedFace(const Character& font) {
  const Character::FontPart* f = std::get_if<Character::FontPart>(&font.part);
  if (!f || !f->table) return nullptr;
  auto face = std::make_unique<EmbeddedFace>(font.id, f->flags);
  if (font.tagCode != 48) return face;  // glyphs without codes or advances
  // After the offsets: the code table's offset, then the glyphs, the codes
  // and the layout.
  const size_t entry = f->wideOffsets() ? 4 : 2;
  const size_t n = f->glyphCount;
  const size_t at = n * entry;
  if (at + entry > f->tableLength) return face;
  const uint8_t* p = f->table + at;
  const size_t codes = entry == 4 ? (size_t{p[0]} | size_t{p[1]} << 8 | size_t{p[2]} << 16 | size_t{p[3]} << 24)
                                  : readU16(p);
  const size_t codeSize = (f->flags & 0x04) ? 2 : 1;
  if (codes > f->tableLength || n * codeSize > f->tableLength - codes) return face;
  const uint8_t* c = f->table + codes;
  for (size_t i = 0; i < n; ++i) {
    const char16_t code = static_cast<char16_t>(codeSize == 2 ? readU16(c + 2 * i) : c[i]);
    face->glyphs_.emplace(code, static_cast<uint32_t>(i));
  }
  size_t layout = codes + n * codeSize;
  if ((f->flags & 0x80) && layout + 6 + 2 * n <= f->tableLength) {
    const uint8_t* l = f->table + layout;
    face->metrics_ = TextFaceMetrics{static_cast<int16_t>(readU16(l)), static_cast<int16_t>(readU16(l + 2)),
                                     static_cast<int16_t>(readU16(l + 4))};
    face->advances_.resize(n);
    for (size_t i = 0; i < n; ++i) face->advances_[i] = static_cast<int16_t>(readU16(l + 6 + 2 * i));
  }
  return face;
}

MovieTextFace* MovieTextFonts::face(const CharFormat& format, bool embedded) {
  auto key = std::make_tuple(embedded, format.bold, format.italic, format.font);
  auto it = faces_.find(key);
  if (it != faces_.end()) return it->second.get();
  std::unique_ptr<MovieTextFace> made;
  if (embedded) {
    const uint8_t style = static_cast<uint8_t>((format.bold ? 1 : 0) | (format.italic ? 2 : 0));
    std::shared_ptr<Character> font = fonts_.findFont(MovieFonts::keyForFont2(style, format.font));
    if (!font) font = fonts_.findFont(MovieFonts::keyForFont2(style | 0x40, format.font));
    if (font) made = embeddedFace(*font);
  } else if (system_) {
    std::shared_ptr<DeviceFace> f = system_->openDeviceFont(deviceFontName(format.font), format.bold, format.italic);
    if (f) made = std::make_unique<SystemFace>(std::move(f), format.bold, format.italic);
  }
  MovieTextFace* result = made.get();
  faces_.emplace(std::move(key), std::move(made));
  return result;
}

}  // namespace kivra
