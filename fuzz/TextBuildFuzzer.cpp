// Static text from arbitrary bytes against a font from arbitrary bytes: the
// first byte picks the tag (11 or 33), the role, the offset width, the
// anti-aliasing factor, whether glyphs may come from masks and whether the
// font is a device font (its bytes then a font information body, drawn by
// a stand-in face); the next two give the font's length and the third
// its glyph count; then the font's offset table and glyphs, then the text
// body from the character id on. Building, hit testing and sweeping must
// stay inside both.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/movie/Character.h"
#include "core/movie/MovieDeviceGlyphs.h"
#include "core/movie/MovieFonts.h"
#include "core/render/GlyphMasks.h"
#include "core/render/ShapeParser.h"
#include "fuzz/BuildAndSweep.h"

namespace {

using namespace kivra;

// Every glyph a small box: coverage, outline and metrics without a system.
class BoxFace : public DeviceFace {
 public:
  BoxFace() {
    box_.width = 5;
    box_.height = 7;
    box_.left = 1;
    box_.top = 7;
    box_.pitch = 6;
    box_.pixels.assign(42, 200);
  }
  const std::string& familyName() const override { return name_; }
  DeviceFontMetrics metrics() const override { return DeviceFontMetrics{900, 200, 0}; }
  uint32_t glyphIndex(uint32_t codePoint) override { return codePoint % 7; }
  float advance(uint32_t glyph) override { return float(glyph) * 100; }
  bool outline(uint32_t glyph, std::vector<GlyphPathCommand>& out) override {
    const float s = 100.0f + float(glyph) * 50;
    out = {{GlyphPathVerb::Move, 0, 0}, {GlyphPathVerb::Line, s, 0}, {GlyphPathVerb::Quadratic, s, -s, s * 2, -s / 2},
           {GlyphPathVerb::Line, 0, 0}};
    return true;
  }
  const GlyphCoverage* coverage(uint32_t glyph, int pixelSize26_6) override {
    return glyph && pixelSize26_6 > 0 ? &box_ : nullptr;
  }

 private:
  std::string name_ = "Box";
  GlyphCoverage box_;
};

class BoxFonts : public FontSource {
 public:
  bool hasDeviceFont(const std::string&) override { return true; }
  std::shared_ptr<DeviceFace> openDeviceFont(const std::string&, bool, bool) override {
    return std::make_shared<BoxFace>();
  }
};

// The movie's fonts, with font 1 drawn by `device` when there is one.
class WithDevice : public GlyphSource {
 public:
  WithDevice(MovieFonts& fonts, DeviceGlyphs* device) : fonts_(fonts), device_(device) {}
  bool glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) override {
    return fonts_.glyph(fontId, index, records, length);
  }
  DeviceGlyphs* deviceGlyphs(uint16_t fontId) override { return fontId == 1 ? device_ : nullptr; }
  GlyphMasks* masks() override { return fonts_.masks(); }

 private:
  MovieFonts& fonts_;
  DeviceGlyphs* device_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 4) return 0;
  const uint8_t mode = data[0];
  size_t fontLength = size_t{data[1]} | size_t{data[2]} << 8;
  const uint32_t glyphCount = data[3];
  data += 4;
  size -= 4;
  if (fontLength > size) fontLength = size;

  Dictionary dictionary;
  MovieFonts fonts(dictionary);
  auto font = std::make_shared<Character>();
  font->id = 1;
  font->kind = CharacterKind::Font;
  Character::FontPart& part = font->part.emplace<Character::FontPart>();
  part.table = data;
  part.tableLength = fontLength;
  part.glyphCount = glyphCount;
  part.flags = (mode & 0x10) ? 0x08 : 0;
  (void)dictionary.define(font);

  ShapeInstance in;
  in.tagCode = (mode & 1) ? 33 : 11;
  in.role = (mode & 2) ? BuildRole::Mask : BuildRole::Normal;
  in.factor = (mode & 4) ? 1 : 4;
  in.matrix.a = in.matrix.d = (mode & 8) ? kFixedOne / 5 : kFixedOne / 20 * in.factor;
  in.body = data + fontLength;
  in.length = size - fontLength;
  BoxFonts system;
  std::unique_ptr<MovieDeviceGlyphs> device;
  if (mode & 0x40)
    device = MovieDeviceGlyphs::open(system, data, fontLength, mode & 0x80, mode & 0x10, CodePage::windows1252());
  WithDevice glyphs(fonts, device.get());
  in.glyphs = &glyphs;
  GlyphMaskMaker maker;
  if (mode & 0x20) in.maskMaker = &maker;
  fuzz::buildAndSweep(in);
  return 0;
}
