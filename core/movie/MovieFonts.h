#pragma once
// The fonts of one movie: glyph outlines for static text (the renderer's
// glyph source) and the font-name registry through which text fields find
// embedded fonts by name and style.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>

#include "core/movie/TimelineContext.h"
#include "core/movie/MovieDeviceGlyphs.h"
#include "core/movie/MovieTextFonts.h"
#include "core/render/GlyphMasks.h"

namespace kivra {

class Dictionary;
struct Character;

class MovieFonts : public GlyphSource {
 public:
  explicit MovieFonts(Dictionary& dictionary) : dictionary_(dictionary) {}

  bool glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) override;
  GlyphMasks* masks() override { return &masks_; }
  DeviceGlyphs* deviceGlyphs(uint16_t fontId) override;
  // Where fonts without outlines find their glyphs (the player's system
  // fonts and code page, asked when a font is first drawn); null: they
  // draw nothing.
  void setContext(TimelineContext* context) { context_ = context; }
  // What this movie's text fields measure and draw with.
  std::shared_ptr<MovieTextFonts> textFonts();

  // Registers a name under a style key unless the key is taken.
  void registerName(const std::string& key, std::shared_ptr<Character> font);
  // The font registered under a key (style character + name), or null.
  std::shared_ptr<Character> findFont(const std::string& key) const;
  size_t registeredCount() const { return registry_.size(); }
  // Every registered name.
  void fontNames(std::set<std::string>& out) const {
    for (const auto& [key, font] : registry_) out.insert(key.substr(1));
  }

  // Style keys: one character, 32 + style bits, before the name.
  static std::string keyForFont2(uint8_t flags, const std::string& name);
  static std::string keyForFontInfo(uint8_t flags, const std::string& name);

 private:
  Dictionary& dictionary_;
  std::map<std::string, std::shared_ptr<Character>> registry_;
  GlyphMasks masks_;
  TimelineContext* context_ = nullptr;
  // By font character; null where the system had no face.
  std::map<const Character*, std::unique_ptr<MovieDeviceGlyphs>> device_;
  std::shared_ptr<MovieTextFonts> textFonts_;
};

// The system font a device font name in a movie stands for: the generic
// names (letters compared without case) and the Japanese generic names in
// Shift-JIS or UTF-8; any other name as given. Names come back in UTF-8.
std::string deviceFontName(const std::string& name);

}  // namespace kivra
