#pragma once
// The glyphs of a font the movie defines without outlines: its font
// information names a system font and gives each glyph index a character
// code; the system's face draws them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/format/CodePage.h"
#include "core/host/FontSource.h"
#include "core/render/GlyphSource.h"

namespace kivra {

class MovieDeviceGlyphs : public DeviceGlyphs {
 public:
  // From a font information body after the font id (name, flags, the
  // language byte of tag 62, codes). `unicode`: the codes and name are
  // Unicode (tag 62, or a movie of version 6 on); else they are in
  // `codePage`. Null when the body is short or the host has no face.
  static std::unique_ptr<MovieDeviceGlyphs> open(FontSource& fonts, const uint8_t* info, size_t length, bool tag62,
                                                 bool unicode, const CodePage& codePage);

  const GlyphCoverage* coverage(uint32_t index, int pixelSize26_6) override;
  bool outline(uint32_t index, std::vector<GlyphPathCommand>& out) override;
  const std::string& family() const override;
  bool bold() const override { return bold_; }
  bool italic() const override { return italic_; }
  uint32_t character(uint32_t index) const override { return index < codes_.size() ? codes_[index] : 0; }
  const std::string& systemName() const { return systemName_; }
  size_t glyphCount() const { return codes_.size(); }

 private:
  // The face's glyph for a movie glyph index; 0 (missing) past the codes.
  uint32_t faceGlyph(uint32_t index);

  std::shared_ptr<DeviceFace> face_;
  std::string systemName_;
  bool bold_ = false, italic_ = false;
  std::vector<uint32_t> codes_;      // Unicode, by glyph index
  std::vector<int64_t> faceGlyphs_;  // -1 until looked up
};

}  // namespace kivra
