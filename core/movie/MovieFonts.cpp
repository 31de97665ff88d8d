#include "core/movie/MovieFonts.h"

#include "core/format/CaseInsensitive.h"
#include "core/movie/Character.h"

namespace kivra {

bool MovieFonts::glyph(uint16_t fontId, uint32_t index, const uint8_t*& records, size_t& length) {
  Character* c = dictionary_.resolve(fontId);
  if (!c || c->kind != CharacterKind::Font) return false;
  const Character::FontPart* f = c->font();
  if (!f || !f->table || index >= f->glyphCount) return false;
  const size_t entry = f->wideOffsets() ? 4 : 2;
  const size_t at = static_cast<size_t>(index) * entry;
  if (at + entry > f->tableLength) return false;
  const uint8_t* p = f->table + at;
  const size_t offset = entry == 4 ? (size_t{p[0]} | size_t{p[1]} << 8 | size_t{p[2]} << 16 | size_t{p[3]} << 24)
                                   : (size_t{p[0]} | size_t{p[1]} << 8);
  if (offset >= f->tableLength) return false;
  records = f->table + offset;
  length = f->tableLength - offset;
  return true;
}

DeviceGlyphs* MovieFonts::deviceGlyphs(uint16_t fontId) {
  FontSource* system = context_ ? context_->deviceFonts() : nullptr;
  if (!system) return nullptr;
  const Character* c = dictionary_.resolve(fontId);
  const Character::FontPart* f = c && c->kind == CharacterKind::Font ? std::get_if<Character::FontPart>(&c->part) : nullptr;
  // Only a font without outlines whose information names a system font.
  if (!f || f->glyphCount != 0 || !f->info) return nullptr;
  auto it = device_.find(c);
  if (it == device_.end()) {
    it = device_.emplace(c, MovieDeviceGlyphs::open(*system, f->info, f->infoLength, f->infoTag == 62,
                                                    f->infoUnicode, context_->codePage()))
             .first;
  }
  return it->second.get();
}

std::shared_ptr<MovieTextFonts> MovieFonts::textFonts() {
  if (!textFonts_) textFonts_ = std::make_shared<MovieTextFonts>(*this, context_ ? context_->deviceFonts() : nullptr);
  return textFonts_;
}

void MovieFonts::registerName(const std::string& key, std::shared_ptr<Character> font) {
  registry_.emplace(key, std::move(font));
}

std::shared_ptr<Character> MovieFonts::findFont(const std::string& key) const {
  auto it = registry_.find(key);
  return it == registry_.end() ? nullptr : it->second;
}

std::string MovieFonts::keyForFont2(uint8_t flags, const std::string& name) {
  return std::string(1, static_cast<char>(32 + (flags & 0x43))) + name;
}

std::string MovieFonts::keyForFontInfo(uint8_t flags, const std::string& name) {
  const int style = ((flags >> 5) & 1) << 6 | ((flags >> 1) & 3);
  return std::string(1, static_cast<char>(32 + style)) + name;
}

std::string deviceFontName(const std::string& name) {
  if (equalsIgnoringCase(name, "_sans")) return "Arial";
  if (equalsIgnoringCase(name, "_serif")) return "Times New Roman";
  if (equalsIgnoringCase(name, "_typewriter")) return "Courier New";
  struct Japanese {
    const char* shiftJis;
    const char* utf8;
    const char* system;
  };
  // _gothic, _fixed-width gothic, _mincho.
  static const Japanese kNames[] = {
      {"_\x83\x53\x83\x56\x83\x62\x83\x4e", "_\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf",
       "\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf"},
      {"_\x93\x99\x95\x9d", "_\xe7\xad\x89\xe5\xb9\x85",
       "\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf"},
      {"_\x96\xbe\x92\xa9", "_\xe6\x98\x8e\xe6\x9c\x9d", "\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe6\x98\x8e\xe6\x9c\x9d"},
  };
  for (const Japanese& j : kNames)
    if (name == j.shiftJis || name == j.utf8) return j.system;
  return name;
}

}  // namespace kivra
