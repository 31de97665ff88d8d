#include "core/script/ScriptString.h"

#include "core/script/ScriptValue.h"

namespace kivra {


ScriptString::ScriptString(std::string_view text, bool legacy) : text_(text), legacy_(legacy) {
  for (unsigned char c : text_) {
    if (c >= 0x80) ascii_ = false;
    if (c == ':' || c == '.' || c == '/') pathChars_ = true;
  }
}

bool ScriptString::fits(std::string_view text, bool legacyOrigin) {
  // Never more units than bytes, so only long texts are counted.
  if (text.size() <= kMaxUnits) return true;
  if (legacyOrigin) return false;  // one unit a byte in the code page
  size_t units = 0;
  for (unsigned char c : text) {
    // A character's first byte counts; one of four bytes makes two units.
    units += (c & 0xC0) != 0x80;
    units += c >= 0xF0;
  }
  return units <= kMaxUnits;
}

ScriptValue ScriptValue::string(std::string_view text, bool legacyOrigin) {
  if (!ScriptString::fits(text, legacyOrigin)) return ScriptValue();
  return adoptString(ScriptString::make(text, legacyOrigin));
}

ScriptString* ScriptString::make(std::string_view text, bool legacyOrigin) {
  if (text.empty()) return nullptr;
  return new ScriptString(text, legacyOrigin);
}

ScriptString* ScriptString::concat(const ScriptString* a, const ScriptString* b, bool legacyOrigin,
                                   const CodePage& cp) {
  // Text that is all ASCII or already in the target encoding is copied as it
  // is, and the flags of the whole follow from those of the parts.
  if ((a->ascii_ || a->legacy_ == legacyOrigin) && (b->ascii_ || b->legacy_ == legacyOrigin)) {
    if (a->text_.size() + b->text_.size() > kMaxUnits) {
      if (a->ascii_ && b->ascii_) return nullptr;
      std::string whole = a->text_ + b->text_;
      if (!fits(whole, legacyOrigin)) return nullptr;
      return make(whole, legacyOrigin);
    }
    ScriptString* s = new ScriptString(std::string_view(), legacyOrigin);
    s->text_.reserve(a->text_.size() + b->text_.size());
    s->text_.append(a->text_).append(b->text_);
    s->ascii_ = a->ascii_ && b->ascii_;
    s->pathChars_ = a->pathChars_ || b->pathChars_;
    return s;
  }
  std::string t = text::convert(a->text_, a->legacy_, legacyOrigin, cp);
  t += text::convert(b->text_, b->legacy_, legacyOrigin, cp);
  if (!fits(t, legacyOrigin)) return nullptr;
  return make(t, legacyOrigin);
}

std::u16string ScriptString::units(const CodePage& cp) const {
  std::u16string out;
  text::widen(text_, legacy_, cp, out);
  return out;
}

uint32_t ScriptString::nameHash(std::string_view s) {
  uint32_t h = 0;
  for (char c : s) h = (h << 4) ^ (h >> 28) ^ static_cast<uint8_t>(foldCase(c));
  return h;
}


}  // namespace kivra
