#pragma once
// Embedded fonts and static text: glyph outlines read from TrueType or
// OpenType files, and the font and text tag bodies. Glyphs live on a
// 1024-unit em square, y down, in the units of shape record twips.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/format/Records.h"
#include "tools/kit/Shape.h"

namespace kivra::kit {

constexpr int kEmSquare = 1024;

struct Glyph {
  uint32_t code = 0;
  std::vector<uint8_t> shape;  // index-width byte, then the records
  int16_t advance = 0;         // em units
  RECT bounds;                 // em units
};

struct Font {
  std::string name;
  uint8_t language = 0;
  bool bold = false, italic = false;
  bool wideCodes = false, wideOffsets = false;
  bool layout = false;  // tag 48 only
  uint8_t extraFlags = 0;  // flag bits without a name, kept as they are
  int16_t ascent = 0, descent = 0, leading = 0;
  std::vector<Glyph> glyphs;
};

// The glyph shape bytes of outline records: one fill, no lines.
std::vector<uint8_t> glyphShape(const std::vector<ShapeRecord>& records);

// Reads the glyphs of `codes` (Unicode) from a font file, with the font's
// family name and metrics. A code the font lacks is an error.
bool loadFontFile(const std::string& path, const std::vector<uint32_t>& codes, Font& out, std::string& error);
// The outline records of one code, for tests and tools that draw glyphs.
bool glyphOutline(const std::string& path, uint32_t code, std::vector<ShapeRecord>& records, RECT& bounds,
                  int& advance, std::string& error);

// DefineFont (10): the offset table and the glyph shapes.
std::vector<uint8_t> defineFontBody(uint16_t id, const Font& f, std::string& error);
// DefineFontInfo (13) or, with a language, DefineFontInfo2 (62).
std::vector<uint8_t> defineFontInfoBody(uint16_t id, const Font& f, bool withLanguage, std::string& error);
// DefineFont2 (48).
std::vector<uint8_t> defineFont2Body(uint16_t id, const Font& f, std::string& error);

struct TextRun {
  std::optional<uint16_t> fontId;  // with height
  uint16_t height = 0;
  std::optional<Rgba> color;
  std::optional<int16_t> x, y;
  std::vector<uint32_t> glyphs;  // indices into the font
  std::vector<int32_t> advances; // twips, one per glyph
};

struct StaticText {
  RECT bounds;
  MATRIX matrix;
  std::vector<TextRun> runs;
};

// DefineText (11) or DefineText2 (33, RGBA colours). Index and advance widths
// are the fewest bits that fit; a run of more than 255 glyphs goes into
// several records.
std::vector<uint8_t> defineTextBody(uint16_t id, const StaticText& t, bool rgba, std::string& error);

// UTF-8 to code points; false on a malformed sequence.
bool decodeUtf8(const std::string& s, std::vector<uint32_t>& out);

}  // namespace kivra::kit
