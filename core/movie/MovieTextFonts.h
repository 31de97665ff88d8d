#pragma once
// The fonts text fields of one movie lay out and draw with: embedded fonts
// found by name and style in the movie's registry (their code table and
// advances), or the system's face for a name. Faces are made on first use
// and kept as long as the movie's fonts.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/host/FontSource.h"
#include "core/render/TextDraw.h"
#include "core/text/TextFonts.h"

namespace kivra {

class MovieFonts;
struct Character;

// A face that can also say which glyph draws a character.
class MovieTextFace : public TextFace {
 public:
  // Fills in the glyph's font and index; false when nothing draws it.
  virtual bool glyphOf(char16_t c, TextDrawGlyph& out) = 0;
};

class MovieTextFonts : public TextFonts {
 public:
  // `system`: null when the host has no fonts (device text measures and
  // draws nothing).
  MovieTextFonts(MovieFonts& fonts, FontSource* system) : fonts_(fonts), system_(system) {}
  ~MovieTextFonts() override;

  MovieTextFace* face(const CharFormat& format, bool embedded) override;
  // The embedded face of one font character (for tests and the font list).
  static std::unique_ptr<MovieTextFace> embeddedFace(const Character& font);

 private:
  MovieFonts& fonts_;
  FontSource* system_;
  std::map<std::tuple<bool, bool, bool, std::string>, std::unique_ptr<MovieTextFace>> faces_;
};

}  // namespace kivra
