#include "core/net/UrlVariables.h"

#include "core/format/TextEncoding.h"
#include "core/net/UrlRecord.h"

namespace kivra {

namespace {

// Bytes in the UTF-8 sequence that starts with `b` (1 for anything else).
size_t sequenceLength(uint8_t b) {
  if (b >= 0xF0 && b <= 0xF4) return 4;
  if (b >= 0xE0 && b < 0xF0) return 3;
  if (b >= 0xC2 && b < 0xE0) return 2;
  return 1;
}

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string urlUnescape(std::string_view s, bool bytewise) {
  std::string out;
  out.reserve(s.size());
  auto width = [&](size_t at) {
    return bytewise ? size_t{1} : std::min(s.size() - at, sequenceLength(static_cast<uint8_t>(s[at])));
  };
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '+') {
      out += ' ';
      ++i;
    } else if (c != '%') {
      const size_t n = width(i);
      out.append(s.substr(i, n));
      i += n;
    } else if (i + 1 >= s.size()) {
      ++i;  // a "%" at the end
    } else if (hexDigitValue(s[i + 1]) < 0) {
      i += 1 + width(i + 1);  // "%" and the bad digit
    } else if (i + 2 >= s.size()) {
      i = s.size();
    } else if (hexDigitValue(s[i + 2]) < 0) {
      i += 2 + width(i + 2);  // all three
    } else {
      out += static_cast<char>(hexDigitValue(s[i + 1]) << 4 | hexDigitValue(s[i + 2]));
      i += 3;
    }
  }
  return out;
}

void decodeUrlVariables(std::string_view text, int version, bool useCodepage, const CodePage& page,
                        std::vector<UrlVariable>& out) {
  if (const size_t at = text.find("useCodepage"); at != std::string_view::npos && text.find("true", at) != text.npos)
    useCodepage = true;
  const bool codePageText = version < 6 || useCodepage;
  // From the code page into the movie's own encoding; UTF-8 stays.
  auto finish = [&](std::string s) {
    if (isAscii(s) || !codePageText) return s;
    return text::convert(s, true, version < 6, page);
  };
  size_t i = 0;
  while (i <= text.size()) {
    size_t end = text.find('&', i);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = text.substr(i, end - i);
    const size_t eq = pair.find('=');
    const std::string_view name = pair.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    if (!name.empty()) {
      std::string n = finish(urlUnescape(name, codePageText));
      if (!n.empty()) out.push_back(UrlVariable{std::move(n), finish(urlUnescape(value, codePageText))});
    }
    i = end + 1;
  }
}

std::string urlEscape(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
      out += c;
    } else if (b == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string encodeUrlText(std::string_view text, int version, bool useCodepage, const CodePage& page) {
  if (version >= 6 && useCodepage) return urlEscape(text::convert(text, false, true, page));
  return urlEscape(text);
}

std::string encodeUrlVariables(const std::vector<UrlVariable>& vars, int version, bool useCodepage,
                               const CodePage& page) {
  std::string out;
  for (const UrlVariable& v : vars) {
    if (!out.empty()) out += '&';
    out += encodeUrlText(v.name, version, useCodepage, page);
    out += '=';
    out += encodeUrlText(v.value, version, useCodepage, page);
  }
  return out;
}

void appendUrlVariables(std::string& url, const std::vector<UrlVariable>& vars, int version, bool useCodepage,
                        const CodePage& page) {
  // "http://host" names only a host: the path "/" comes first.
  if (const size_t scheme = url.find("://"); scheme != std::string::npos && url.find('/', scheme + 3) == url.npos)
    url += '/';
  bool joined = url.find_last_of("&=?") != std::string::npos;
  for (const UrlVariable& v : vars) {
    url += joined ? '&' : '?';
    joined = true;
    url += encodeUrlText(v.name, version, useCodepage, page);
    url += '=';
    url += encodeUrlText(v.value, version, useCodepage, page);
  }
}

}  // namespace kivra
