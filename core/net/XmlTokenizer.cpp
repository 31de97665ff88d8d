#include "core/net/XmlTokenizer.h"

#include <array>
#include <cstring>

#include "core/format/TextEncoding.h"

namespace kivra {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsFolded(std::string_view text, size_t at, std::string_view lowerPrefix) {
  if (at > text.size() || text.size() - at < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i)
    if (lower(text[at + i]) != lowerPrefix[i]) return false;
  return true;
}

size_t findFrom(std::string_view text, size_t from, std::string_view what) {
  if (from > text.size()) return std::string_view::npos;
  return text.find(what, from);
}

// A numeric entity never needs more: longer runs are not entities, and a
// bounded look-ahead keeps a flood of ampersands linear.
constexpr size_t kMaxEntityLength = 16;

void appendUtf8(uint32_t code, std::string& out) { text::appendUtf8CodePoint(code, out); }

// Appends the character an entity name stands for; false for an unknown name.
bool appendEntity(std::string_view name, bool utf8, std::string& out) {
  if (name.size() >= 2 && name[0] == '#') {
    uint32_t code = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') return false;
      code = code * 10 + static_cast<uint32_t>(name[i] - '0');  // at most 15 digits: checked below
      if (code > 0x10FFFF) return false;
    }
    if (utf8) {
      appendUtf8(code, out);
    } else if (code < 256) {
      out += static_cast<char>(code);
    } else {
      if (code > 0xFFFF) return false;
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    }
    return true;
  }
  if (name == "amp") out += '&';
  else if (name == "quot") out += '"';
  else if (name == "apos") out += '\'';
  else if (name == "lt") out += '<';
  else if (name == "gt") out += '>';
  else if (name == "nbsp") out += utf8 ? "\xC2\xA0" : "\xA0";
  else return false;
  return true;
}

}  // namespace

void decodeXmlEntities(std::string_view in, bool utf8, std::string& out) {
  size_t i = 0;
  const size_t n = in.size();
  while (i < n) {
    const void* hit = std::memchr(in.data() + i, '&', n - i);
    if (!hit) {
      out.append(in.data() + i, n - i);
      return;
    }
    const size_t amp = static_cast<size_t>(static_cast<const char*>(hit) - in.data());
    out.append(in.data() + i, amp - i);
    const size_t limit = n - (amp + 1) < kMaxEntityLength ? n - (amp + 1) : kMaxEntityLength;
    const void* semi = std::memchr(in.data() + amp + 1, ';', limit);
    if (semi) {
      const size_t end = static_cast<size_t>(static_cast<const char*>(semi) - in.data());
      if (appendEntity(in.substr(amp + 1, end - amp - 1), utf8, out)) {
        i = end + 1;
        continue;
      }
    }
    out += '&';
    i = amp + 1;
  }
}

void escapeXmlText(std::string_view in, std::string& out) {
  // Most text has nothing to escape: find the next byte that needs it with
  // one table lookup per byte and copy the run before it at once.
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : {'&', '"', '\'', '<', '>'}) t[c] = true;
    return t;
  }();
  size_t start = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    if (!kEscaped[static_cast<unsigned char>(in[i])]) continue;
    out.append(in.data() + start, i - start);
    switch (in[i]) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '<': out += "&lt;"; break;
      default: out += "&gt;"; break;
    }
    start = i + 1;
  }
  out.append(in.data() + start, in.size() - start);
}

bool XmlTokenizer::startsWith(std::string_view lowerPrefix) const { return equalsFolded(text_, pos_, lowerPrefix); }

int XmlTokenizer::next(XmlTokenData& token) {
  const size_t n = text_.size();
  for (;;) {
    token.name.clear();
    token.attributes.clear();
    token.empty = false;
    if (pos_ >= n) return kXmlTokenEnd;
    if (options_.ignoreWhite) {
      size_t p = pos_;
      while (p < n && isSpace(text_[p])) ++p;
      if (p >= n) {
        pos_ = n;
        // Older movies read the empty rest as one more text token.
        if (options_.newerRules) return kXmlTokenEnd;
      } else if (text_[p] == '<') {
        pos_ = p;
      }
    }
    if (pos_ >= n || text_[pos_] != '<') {
      const void* lt = pos_ < n ? std::memchr(text_.data() + pos_, '<', n - pos_) : nullptr;
      const size_t end = lt ? static_cast<size_t>(static_cast<const char*>(lt) - text_.data()) : n;
      decodeXmlEntities(text_.substr(pos_ < n ? pos_ : n, end - (pos_ < n ? pos_ : n)), options_.utf8, token.name);
      pos_ = end;
      return kXmlTokenText;
    }
    if (startsWith("<?xml")) return readDeclaration(token);
    if (startsWith("<!doctype")) {
      int depth = 0;
      for (size_t p = pos_; p < n; ++p) {
        if (text_[p] == '<') {
          ++depth;
        } else if (text_[p] == '>' && --depth == 0) {
          token.name.assign(text_.data() + pos_, p + 1 - pos_);
          pos_ = p + 1;
          return kXmlTokenDocType;
        }
      }
      pos_ = n;
      return kXmlDocTypeOpen;
    }
    if (startsWith("<![cdata[")) {
      const size_t end = findFrom(text_, pos_ + 9, "]]>");
      if (end == std::string_view::npos) {
        pos_ = n;
        return kXmlCDataOpen;
      }
      token.name.assign(text_.data() + pos_ + 9, end - pos_ - 9);
      pos_ = end + 3;
      return kXmlTokenCData;
    }
    if (startsWith("<!--")) {
      const size_t end = findFrom(text_, pos_ + 4, "-->");
      if (end == std::string_view::npos) {
        pos_ = n;
        return kXmlCommentOpen;
      }
      pos_ = end + 3;
      continue;
    }
    return readTag(token);
  }
}

int XmlTokenizer::readDeclaration(XmlTokenData& token) {
  const size_t n = text_.size();
  const size_t end = findFrom(text_, pos_ + 5, "?>");
  if (end == std::string_view::npos) {
    pos_ = n;
    return kXmlDeclarationOpen;
  }
  const std::string_view decl = text_.substr(pos_, end + 2 - pos_);
  pos_ = end + 2;
  if (options_.newerRules) {
    // Text handed to newer movies is already converted: an encoding it was
    // converted from no longer describes it, so the declaration drops it.
    for (size_t at = 0; at < decl.size(); ++at) {
      if (!equalsFolded(decl, at, "encoding=")) continue;
      size_t p = at + 9;
      const char quote = p < decl.size() && (decl[p] == '"' || decl[p] == '\'') ? decl[p] : 0;
      if (quote) ++p;
      size_t after = 0;
      if (equalsFolded(decl, p, "iso-8859-1")) after = p + 10;
      else if (equalsFolded(decl, p, "shift-jis")) after = p + 9;
      if (after && quote) after = after < decl.size() && decl[after] == quote ? after + 1 : 0;
      if (after) {
        token.name.assign(decl.data(), at);
        token.name.append(decl.data() + after, decl.size() - after);
        return kXmlTokenDeclaration;
      }
      break;
    }
  }
  token.name.assign(decl.data(), decl.size());
  return kXmlTokenDeclaration;
}

int XmlTokenizer::readTag(XmlTokenData& token) {
  const size_t n = text_.size();
  size_t p = pos_ + 1;
  const size_t nameStart = p;
  while (p < n && !isSpace(text_[p]) && text_[p] != '>' && !(text_[p] == '/' && p + 1 < n && text_[p + 1] == '>'))
    ++p;
  if (p >= n || p == nameStart) {
    pos_ = n;
    return kXmlMalformedElement;
  }
  decodeXmlEntities(text_.substr(nameStart, p - nameStart), options_.utf8, token.name);
  auto fail = [this, n](int status) {
    pos_ = n;
    return status;
  };
  for (;;) {
    while (p < n && isSpace(text_[p])) ++p;
    if (p >= n) return fail(kXmlMalformedElement);
    if (text_[p] == '>') {
      pos_ = p + 1;
      return kXmlTokenElement;
    }
    if (text_[p] == '/' && p + 1 < n && text_[p + 1] == '>') {
      token.empty = true;
      pos_ = p + 2;
      return kXmlTokenElement;
    }
    const size_t attrStart = p;
    while (p < n && !isSpace(text_[p]) && text_[p] != '=' && text_[p] != '>') ++p;
    if (p >= n || p == attrStart) return fail(kXmlMalformedElement);
    const size_t attrEnd = p;
    while (p < n && isSpace(text_[p])) ++p;
    if (p >= n || text_[p] != '=') return fail(kXmlMalformedElement);
    ++p;
    while (p < n && isSpace(text_[p])) ++p;
    if (p >= n || (text_[p] != '"' && text_[p] != '\'')) return fail(kXmlMalformedElement);
    const char quote = text_[p++];
    const size_t valueStart = p;
    for (;; ++p) {
      if (p >= n || text_[p] == '\r' || text_[p] == '\n') return fail(kXmlValueOpen);
      if (text_[p] == '<') return fail(kXmlMalformedElement);
      if (text_[p] == quote) break;
    }
    XmlAttribute& a = token.attributes.emplace_back();
    decodeXmlEntities(text_.substr(attrStart, attrEnd - attrStart), options_.utf8, a.name);
    decodeXmlEntities(text_.substr(valueStart, p - valueStart), options_.utf8, a.value);
    ++p;
  }
}

}  // namespace kivra
