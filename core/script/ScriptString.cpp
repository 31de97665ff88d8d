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


namespace text {

void appendUtf8(uint32_t u, std::string& out) {
  u &= 0xFFFF;
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (u >> 6)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (u >> 12)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

uint32_t decodeUtf8(std::string_view s, size_t& pos) {
  const uint8_t b = static_cast<uint8_t>(s[pos]);
  int extra = 0;
  uint32_t u = 0;
  if (b < 0x80) {
    ++pos;
    return b;
  } else if (b >= 0xC0 && b < 0xE0) {
    extra = 1;
    u = b & 0x1F;
  } else if (b >= 0xE0 && b < 0xF0) {
    extra = 2;
    u = b & 0x0F;
  } else {
    ++pos;
    return 0xFFFD;
  }
  ++pos;
  for (int i = 0; i < extra; ++i) {
    if (pos >= s.size() || (static_cast<uint8_t>(s[pos]) & 0xC0) != 0x80) return 0xFFFD;
    u = (u << 6) | (static_cast<uint8_t>(s[pos]) & 0x3F);
    ++pos;
  }
  return u;
}

void widen(std::string_view s, bool legacy, const CodePage& cp, std::u16string& out) {
  if (legacy) {
    cp.widen(s, out);
    return;
  }
  out.reserve(out.size() + s.size());
  size_t pos = 0;
  while (pos < s.size()) out.push_back(static_cast<char16_t>(decodeUtf8(s, pos)));
}

std::string narrow(std::u16string_view units, bool legacy, const CodePage& cp) {
  std::string out;
  out.reserve(units.size());
  for (char16_t u : units) {
    if (legacy) {
      if (!cp.encode(u, out)) out.push_back('?');
    } else {
      appendUtf8(u, out);
    }
  }
  return out;
}

std::string convert(std::string_view s, bool fromLegacy, bool toLegacy, const CodePage& cp) {
  bool ascii = true;
  for (char c : s)
    if (static_cast<uint8_t>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii || fromLegacy == toLegacy) return std::string(s);
  std::u16string u;
  widen(s, fromLegacy, cp, u);
  return narrow(u, toLegacy, cp);
}

}  // namespace text
}  // namespace kivra
