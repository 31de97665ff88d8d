#include "core/format/TextEncoding.h"

namespace kivra {

namespace text {

void appendUtf8CodePoint(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

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

bool utf16WithMarkToUtf8(std::string_view bytes, std::string& out) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  const bool be = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  const bool le = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  if (!be && !le) return false;
  out.clear();
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    appendUtf8(le ? (byte(i + 1) << 8 | byte(i)) : (byte(i) << 8 | byte(i + 1)), out);
  return true;
}

}  // namespace text

}  // namespace kivra
