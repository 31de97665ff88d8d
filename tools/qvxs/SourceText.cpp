#include "tools/qvxs/SourceText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivra::qvxs {

void Diagnostics::error(int line, const std::string& message) {
  messages_.push_back(file_ + ":" + std::to_string(line) + ": " + message);
}

std::string Diagnostics::text() const {
  std::string s;
  for (const std::string& m : messages_) s += m + "\n";
  return s;
}

namespace {
// Splits one line into words; quotes may appear inside a word (name="a b").
bool splitWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= n || line[i] == ';') break;
    std::string word;
    while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
      if (line[i] == ';') break;
      if (line[i] == '"') {
        word += line[i++];
        bool closed = false;
        while (i < n) {
          const char c = line[i++];
          word += c;
          if (c == '\\' && i < n) {
            word += line[i++];
          } else if (c == '"') {
            closed = true;
            break;
          }
        }
        if (!closed) {
          error = "unterminated string";
          return false;
        }
      } else {
        word += line[i++];
      }
    }
    words.push_back(word);
    if (i < n && line[i] == ';') break;
  }
  return true;
}
}  // namespace

bool parseNodes(const std::string& text, std::vector<Node>& out, Diagnostics& diag) {
  std::vector<std::vector<Node>*> stack{&out};
  std::vector<int> openedAt;
  size_t pos = 0;
  int lineNo = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') {
      if (eol == text.size()) break;
      continue;
    }
    Node node;
    node.line = lineNo;
    std::string error;
    if (!splitWords(line, node.words, error)) {
      diag.error(lineNo, error);
    } else if (!node.words.empty()) {
      if (node.words.size() == 1 && node.words[0] == "}") {
        if (stack.size() == 1) {
          diag.error(lineNo, "'}' without an open block");
        } else {
          stack.pop_back();
          openedAt.pop_back();
        }
      } else {
        if (node.words.back() == "{") {
          node.words.pop_back();
          node.hasBlock = true;
        }
        if (node.words.empty()) {
          diag.error(lineNo, "a block needs a directive before '{'");
        } else {
          stack.back()->push_back(std::move(node));
          if (stack.back()->back().hasBlock) {
            stack.push_back(&stack.back()->back().children);
            openedAt.push_back(lineNo);
          }
        }
      }
    }
    if (eol == text.size()) break;
  }
  if (stack.size() > 1) diag.error(openedAt.back(), "block opened here is never closed with '}'");
  return diag.ok();
}

Args::Args(const Node& node, Diagnostics& diag, size_t first) : line_(node.line), diag_(diag) {
  for (size_t i = first; i < node.words.size(); ++i) {
    const std::string& w = node.words[i];
    const size_t eq = w.find('=');
    const size_t quote = w.find('"');
    if (eq != std::string::npos && (quote == std::string::npos || eq < quote) && eq > 0) {
      entries_.push_back({w.substr(0, eq), w.substr(eq + 1)});
    } else if (!entries_.empty() || !flags_.empty()) {
      // Words after the first attribute are flags.
      flags_.push_back({w, ""});
    } else {
      positional_.push_back(w);
    }
  }
}

bool Args::flag(const std::string& name) {
  for (size_t i = 0; i < positional_.size(); ++i) {
    if (positional_[i] == name) {
      positional_.erase(positional_.begin() + static_cast<long>(i));
      return true;
    }
  }
  for (Entry& e : flags_) {
    if (!e.used && e.key == name) {
      e.used = true;
      return true;
    }
  }
  return false;
}

std::optional<std::string> Args::value(const std::string& key) {
  for (Entry& e : entries_) {
    if (!e.used && e.key == key) {
      e.used = true;
      return e.value;
    }
  }
  return std::nullopt;
}

bool Args::expect(size_t lo, size_t hi, const char* usage) {
  if (positional_.size() >= lo && positional_.size() <= hi) return true;
  diag_.error(line_, std::string("usage: ") + usage);
  return false;
}

void Args::finish() {
  for (const Entry& e : entries_)
    if (!e.used) diag_.error(line_, "unknown attribute '" + e.key + "'");
  for (const Entry& e : flags_)
    if (!e.used) diag_.error(line_, "unexpected word '" + e.key + "'");
}

bool parseInt(const std::string& s, int64_t& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const bool hex = s.size() > 2 && (s.compare(0, 2, "0x") == 0 || s.compare(0, 3, "-0x") == 0);
  out = std::strtoll(s.c_str(), &end, hex ? 16 : 10);
  return errno == 0 && end && *end == 0;
}

bool parseDouble(const std::string& s, double& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  return end && *end == 0 && errno != ERANGE;
}

bool parseTwips(const std::string& s, int32_t& out) {
  int64_t v;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, "px") == 0) {
    if (!parseInt(s.substr(0, s.size() - 2), v)) return false;
    v *= 20;
  } else if (!parseInt(s, v)) {
    return false;
  }
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool parseColor(const std::string& s, Rgba& out, bool& hasAlpha) {
  if (s.size() != 7 && s.size() != 9) return false;
  if (s[0] != '#') return false;
  uint32_t v = 0;
  for (size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  hasAlpha = s.size() == 9;
  if (!hasAlpha) v = (v << 8) | 0xFF;
  out = Rgba{static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
             static_cast<uint8_t>(v)};
  return true;
}

bool parseQuoted(const std::string& s, std::string& out) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  out.clear();
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return false;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (i + 2 >= s.size()) return false;
    c = s[++i];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        if (i + 3 >= s.size()) return false;
        int64_t v;
        if (!parseInt("0x" + s.substr(i + 1, 2), v)) return false;
        out += static_cast<char>(v);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

std::vector<std::string> splitList(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

bool intArg(Args& a, const std::string& text, int64_t lo, int64_t hi, int64_t& out, const char* what) {
  if (!parseInt(text, out)) {
    a.diag().error(a.line(), std::string(what) + ": '" + text + "' is not a number");
    return false;
  }
  if (out < lo || out > hi) {
    a.diag().error(a.line(), std::string(what) + " " + text + " is out of range " + std::to_string(lo) + ".." +
                                 std::to_string(hi));
    return false;
  }
  return true;
}

bool stringArg(Args& a, const std::string& text, std::string& out, const char* what) {
  if (parseQuoted(text, out)) return true;
  a.diag().error(a.line(), std::string(what) + ": expected a quoted string, got '" + text + "'");
  return false;
}

bool colorArg(Args& a, const std::string& text, bool alphaAllowed, Rgba& out) {
  bool hasAlpha = false;
  if (!parseColor(text, out, hasAlpha)) {
    a.diag().error(a.line(), "'" + text + "' is not a colour (#rrggbb or #rrggbbaa)");
    return false;
  }
  if (hasAlpha && !alphaAllowed) {
    a.diag().error(a.line(), "colour '" + text + "' has alpha, but this tag stores RGB only");
    return false;
  }
  return true;
}

namespace {
bool pair(Args& a, const std::string& key, const std::string& text, bool fixed, int32_t& x, int32_t& y) {
  const std::vector<std::string> parts = splitList(text);
  bool ok = parts.size() == 2;
  for (size_t i = 0; ok && i < 2; ++i) {
    int32_t& dst = i == 0 ? x : y;
    if (fixed) {
      double d;
      ok = parseDouble(parts[i], d) && std::fabs(d) < 32768.0;
      if (ok) dst = static_cast<int32_t>(std::lround(d * 65536.0));
    } else {
      ok = parseTwips(parts[i], dst);
    }
  }
  if (!ok) a.diag().error(a.line(), key + "=" + text + ": expected two " + (fixed ? "numbers" : "coordinates"));
  return ok;
}
}  // namespace

std::optional<MATRIX> matrixArgs(Args& a, const std::string& prefix) {
  MATRIX m;
  bool any = a.flag(prefix + "matrix");
  double sx = 1, sy = 1;
  if (auto v = a.value(prefix + "scale")) {
    any = true;
    if (pair(a, prefix + "scale", *v, true, m.a, m.d)) {
      sx = m.a / 65536.0;
      sy = m.d / 65536.0;
    }
  }
  if (auto v = a.value(prefix + "skew")) {
    any = true;
    pair(a, prefix + "skew", *v, true, m.b, m.c);
  }
  if (auto v = a.value(prefix + "rotate")) {
    any = true;
    double deg;
    if (!parseDouble(*v, deg)) {
      a.diag().error(a.line(), prefix + "rotate=" + *v + ": expected degrees");
    } else {
      const double r = deg * M_PI / 180.0;
      m.a = static_cast<int32_t>(std::lround(sx * std::cos(r) * 65536.0));
      m.b = static_cast<int32_t>(std::lround(sx * std::sin(r) * 65536.0));
      m.c = static_cast<int32_t>(std::lround(-sy * std::sin(r) * 65536.0));
      m.d = static_cast<int32_t>(std::lround(sy * std::cos(r) * 65536.0));
    }
  }
  if (auto v = a.value(prefix + "at")) {
    any = true;
    pair(a, prefix + "at", *v, false, m.tx, m.ty);
  }
  if (!any) return std::nullopt;
  return m;
}

std::optional<CXFORM> cxformArgs(Args& a, bool withAlpha) {
  CXFORM c;
  bool any = a.flag("cxform");
  auto channels = [&](const char* key, int16_t& r, int16_t& g, int16_t& b, int16_t& al) {
    auto v = a.value(key);
    if (!v) return false;
    any = true;
    const std::vector<std::string> parts = splitList(*v);
    if (parts.size() != 3 && !(withAlpha && parts.size() == 4)) {
      a.diag().error(a.line(), std::string(key) + "=" + *v + ": expected r,g,b" + (withAlpha ? "[,a]" : ""));
      return false;
    }
    int16_t* dst[] = {&r, &g, &b, &al};
    for (size_t i = 0; i < parts.size(); ++i) {
      int64_t n;
      if (!intArg(a, parts[i], -16384, 16383, n, key)) return false;
      *dst[i] = static_cast<int16_t>(n);
    }
    return true;
  };
  if (channels("mul", c.rMul, c.gMul, c.bMul, c.aMul)) c.flags |= CXFORM::kHasMultipliers;
  if (channels("add", c.rAdd, c.gAdd, c.bAdd, c.aAdd)) c.flags |= CXFORM::kHasAddends;
  if (!any) return std::nullopt;
  return c;
}

std::string quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string formatColor(const Rgba& c, bool withAlpha) {
  char buf[16];
  if (withAlpha && c.a != 255)
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
  else
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
}

std::string formatTwips(int32_t v) {
  if (v != 0 && v % 20 == 0) return std::to_string(v / 20) + "px";
  return std::to_string(v);
}

std::string formatDouble(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[40];
  // Plain notation for ordinary magnitudes: "20", not "2e+01".
  const bool plain = v == 0 || (std::fabs(v) >= 1e-5 && std::fabs(v) < 1e15);
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    if (plain && precision < 17 && std::strchr(buf, 'e')) continue;
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

std::string formatFloat(float v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[40];
  for (int precision = 1; precision <= 9; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, static_cast<double>(v));
    if (std::strtof(buf, nullptr) == v) break;
  }
  return buf;
}

std::string formatMatrix(const MATRIX& m, const std::string& prefix) {
  std::string s;
  auto add = [&](const std::string& part) { s += (s.empty() ? "" : " ") + part; };
  if (m.a != kFixedOne || m.d != kFixedOne)
    add(prefix + "scale=" + formatDouble(m.a / 65536.0) + "," + formatDouble(m.d / 65536.0));
  if (m.b != 0 || m.c != 0) add(prefix + "skew=" + formatDouble(m.b / 65536.0) + "," + formatDouble(m.c / 65536.0));
  if (m.tx != 0 || m.ty != 0) add(prefix + "at=" + formatTwips(m.tx) + "," + formatTwips(m.ty));
  return s;
}

std::string formatCxform(const CXFORM& c, bool withAlpha) {
  std::string s;
  auto channels = [&](const char* key, int r, int g, int b, int a) {
    if (!s.empty()) s += " ";
    s += std::string(key) + "=" + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
    if (withAlpha) s += "," + std::to_string(a);
  };
  if (c.flags & CXFORM::kHasMultipliers) channels("mul", c.rMul, c.gMul, c.bMul, c.aMul);
  if (c.flags & CXFORM::kHasAddends) channels("add", c.rAdd, c.gAdd, c.bAdd, c.aAdd);
  return s.empty() ? "cxform" : s;
}

}  // namespace kivra::qvxs
