// Static text from arbitrary bytes against a font from arbitrary bytes: the
// first byte picks the tag (11 or 33), the role, the offset width, the
// anti-aliasing factor and whether glyphs may come from masks; the next two give the font's length and the third
// its glyph count; then the font's offset table and glyphs, then the text
// body from the character id on. Building, hit testing and sweeping must
// stay inside both.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/movie/Character.h"
#include "core/movie/MovieFonts.h"
#include "core/render/GlyphMasks.h"
#include "core/render/ShapeParser.h"
#include "fuzz/BuildAndSweep.h"

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
  in.glyphs = &fonts;
  GlyphMaskMaker maker;
  if (mode & 0x20) in.maskMaker = &maker;
  fuzz::buildAndSweep(in);
  return 0;
}
