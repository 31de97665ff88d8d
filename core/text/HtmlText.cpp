#include "core/text/HtmlText.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/format/TextEncoding.h"
#include "core/net/XmlTokenizer.h"

namespace kivra {

namespace {

// ---- Encodings ----------------------------------------------------------

void appendUtf8(uint32_t code, std::string& out) { text::appendUtf8CodePoint(code, out); }

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

// Reads the code at `i` and steps past it; a lone surrogate reads as U+FFFD.
uint32_t nextCode(std::u16string_view in, size_t& i) {
  const char16_t u = in[i++];
  if (isHighSurrogate(u) && i < in.size() && isLowSurrogate(in[i]))
    return 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (in[i++] - 0xDC00);
  if (isHighSurrogate(u) || isLowSurrogate(u)) return 0xFFFD;
  return u;
}

void utf16ToUtf8(std::u16string_view in, std::string& out) {
  for (size_t i = 0; i < in.size();) appendUtf8(nextCode(in, i), out);
}

// Bytes that are not well-formed UTF-8 read as U+FFFD, one per byte.
void utf8ToUtf16(std::string_view in, std::u16string& out) {
  const size_t n = in.size();
  auto cont = [&](size_t at) { return at < n && (static_cast<uint8_t>(in[at]) & 0xC0) == 0x80; };
  size_t i = 0;
  while (i < n) {
    const uint8_t b = static_cast<uint8_t>(in[i]);
    if (b < 0x80) {  // a stretch of ASCII at once
      size_t j = i + 1;
      while (j < n && static_cast<uint8_t>(in[j]) < 0x80) ++j;
      const size_t at = out.size();
      out.resize(at + (j - i));
      for (size_t k = i; k < j; ++k) out[at + k - i] = static_cast<char16_t>(static_cast<uint8_t>(in[k]));
      i = j;
      continue;
    }
    uint32_t code = 0;
    size_t len = 0;
    if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
      code = ((b & 0x1Fu) << 6) | (in[i + 1] & 0x3Fu);
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      code = ((b & 0x0Fu) << 12) | ((in[i + 1] & 0x3Fu) << 6) | (in[i + 2] & 0x3Fu);
      len = code >= 0x800 && (code < 0xD800 || code > 0xDFFF) ? 3 : 0;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      code = ((b & 0x07u) << 18) | ((in[i + 1] & 0x3Fu) << 12) | ((in[i + 2] & 0x3Fu) << 6) | (in[i + 3] & 0x3Fu);
      len = code >= 0x10000 && code <= 0x10FFFF ? 4 : 0;
    }
    if (len == 0) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += len;
  }
}

// The movie's narrow text: UTF-8, or code-page bytes for older movies.
struct Narrow {
  bool utf8 = true;
  const CodePage* codePage = nullptr;

  explicit Narrow(const HtmlOptions& o)
      : utf8(o.version >= 6), codePage(o.codePage ? o.codePage : &CodePage::windows1252()) {}

  void toUnits(std::string_view bytes, std::u16string& out) const {
    if (utf8) utf8ToUtf16(bytes, out);
    else codePage->widen(bytes, out);
  }
  // Format strings are UTF-8 inside the buffer.
  std::string toFormatString(std::string_view bytes) const {
    if (utf8) return std::string(bytes);
    std::u16string units;
    codePage->widen(bytes, units);
    std::string s;
    utf16ToUtf8(units, s);
    return s;
  }
  void writeUnit(char16_t u, std::string& out) const {
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (!codePage->encode(u, out)) {
      if (u >= 256) out += static_cast<char>(u >> 8);
      out += static_cast<char>(u & 0xFF);
    }
  }
  void writeFormatString(const std::string& s, std::string& out) const {
    if (utf8) {
      out += s;
      return;
    }
    std::u16string units;
    utf8ToUtf16(s, units);
    for (char16_t u : units) writeUnit(u, out);
  }
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsFolded(std::string_view s, std::string_view lowerName) {
  if (s.size() != lowerName.size()) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (lower(s[i]) != lowerName[i]) return false;
  return true;
}

// ---- Reading --------------------------------------------------------------

enum Tag : uint8_t {
  kP, kEndP, kBr, kSbr, kA, kFont, kB, kI, kU, kEndB, kEndI, kEndA, kEndU, kEndFont, kLi, kEndLi,
  kTextFormat, kEndTextFormat, kTab, kUnknownTag,
};

constexpr std::string_view kTagNames[] = {
    "p", "/p", "br", "sbr", "a", "font", "b", "i", "u", "/b", "/i", "/a", "/u", "/font", "li", "/li",
    "textformat", "/textformat", "tab",
};

Tag tagOf(std::string_view name) {
  for (size_t k = 0; k < std::size(kTagNames); ++k)
    if (equalsFolded(name, kTagNames[k])) return static_cast<Tag>(k);
  return kUnknownTag;
}

TextAlign alignOf(std::string_view name) {
  if (equalsFolded(name, "right")) return TextAlign::Right;
  if (equalsFolded(name, "center")) return TextAlign::Center;
  return TextAlign::Left;
}

// A decimal number with an optional sign; absent without digits. Large
// magnitudes saturate, so pixel values stay in range once made twips.
struct Number {
  bool valid = false;
  char sign = 0;
  int64_t magnitude = 0;
  int64_t value() const { return sign == '-' ? -magnitude : magnitude; }
};

constexpr int64_t kMaxPixels = INT32_MAX / 20;

Number readNumber(std::string_view s) {
  Number n;
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) n.sign = s[i++];
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    n.valid = true;
    n.magnitude = std::min<int64_t>(n.magnitude * 10 + (s[i] - '0'), kMaxPixels);
  }
  return n;
}

std::vector<int32_t> readTabStops(std::string_view s) {
  std::vector<int32_t> stops;
  size_t i = 0;
  while (i <= s.size()) {
    size_t comma = s.find(',', i);
    if (comma == std::string_view::npos) comma = s.size();
    const Number n = readNumber(s.substr(i, comma - i));
    if (n.valid) stops.push_back(static_cast<int32_t>(n.value()));
    i = comma + 1;
  }
  return stops;
}

// The reader's own format: strings and tab lists as indices into pools, so
// saving it on the tag stack and comparing it cost a few words whatever the
// strings hold.
struct Fmt {
  uint32_t font = 0, url = 0, target = 0, tabs = 0;
  int32_t size = 0;
  uint32_t color = 0;
  int32_t leftMargin = 0, rightMargin = 0, indent = 0, leading = 0, blockIndent = 0;
  uint8_t bold = 0, italic = 0, underline = 0, align = 0, bullet = 0;
  bool operator==(const Fmt&) const = default;
};

struct FmtHash {
  size_t operator()(const Fmt& f) const {
    size_t h = 0;
    auto mix = [&h](uint64_t v) { h ^= std::hash<uint64_t>{}(v) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
    mix(uint64_t{f.font} << 32 | f.url);
    mix(uint64_t{f.target} << 32 | f.tabs);
    mix(uint64_t{static_cast<uint32_t>(f.size)} << 32 | f.color);
    mix(uint64_t{static_cast<uint32_t>(f.leftMargin)} << 32 | static_cast<uint32_t>(f.rightMargin));
    mix(uint64_t{static_cast<uint32_t>(f.indent)} << 32 | static_cast<uint32_t>(f.leading));
    mix(uint64_t{static_cast<uint32_t>(f.blockIndent)} << 32 |
        (f.bold | f.italic << 1 | f.underline << 2 | f.bullet << 3 | f.align << 4));
    return h;
  }
};

// The strings of the formats in the buffer's table, past which formats are
// no longer made (see parseHtml).
constexpr size_t kFormatBudget = 32u << 20;

class HtmlReader {
 public:
  HtmlReader(const RunFormat& initial, const HtmlOptions& options, TextBuffer& out)
      : narrow_(options), newer_(options.version > 5), out_(out) {
    Fmt f;
    f.font = internString(initial.chars.font);
    f.url = internString(initial.chars.url);
    f.target = internString(initial.chars.target);
    f.tabs = internTabs(initial.paragraph.tabStops);
    f.size = initial.chars.size;
    f.color = initial.chars.color;
    f.bold = initial.chars.bold;
    f.italic = initial.chars.italic;
    f.underline = initial.chars.underline;
    f.leftMargin = initial.paragraph.leftMargin;
    f.rightMargin = initial.paragraph.rightMargin;
    f.indent = initial.paragraph.indent;
    f.leading = initial.paragraph.leading;
    f.blockIndent = initial.paragraph.blockIndent;
    f.bullet = initial.paragraph.bullet;
    f.align = static_cast<uint8_t>(TextAlign::Left);
    current_ = internFmt(f);
  }

  void read(std::string_view html) {
    XmlTokenizerOptions o;
    o.ignoreWhite = false;
    o.newerRules = newer_;
    o.utf8 = narrow_.utf8;
    XmlTokenizer tokenizer(html, o);
    XmlTokenData token;
    while (!full()) {
      const int kind = tokenizer.next(token);
      if (kind < 0) break;  // the end, or markup the tokenizer cannot read past
      if (kind == kXmlTokenText || kind == kXmlTokenCData) {
        if (pendingFormat_ != current_) flush();
        pendingFormat_ = current_;
        narrow_.toUnits(token.name, pending_);
      } else if (kind == kXmlTokenElement) {
        element(token);
      }
    }
    flush();
  }

 private:
  struct Saved {
    Tag tag;
    uint32_t format;
  };

  bool full() const { return out_.size() + pending_.size() >= TextBuffer::kMaxLength; }

  uint32_t internString(std::string s) {
    auto it = stringIndex_.find(s);
    if (it != stringIndex_.end()) return it->second;
    strings_.push_back(std::move(s));
    const uint32_t index = static_cast<uint32_t>(strings_.size() - 1);
    stringIndex_.emplace(strings_.back(), index);
    return index;
  }

  uint32_t internTabs(std::vector<int32_t> stops) {
    std::string key(reinterpret_cast<const char*>(stops.data()), stops.size() * sizeof(int32_t));
    auto it = tabsIndex_.find(key);
    if (it != tabsIndex_.end()) return it->second;
    tabs_.push_back(std::move(stops));
    const uint32_t index = static_cast<uint32_t>(tabs_.size() - 1);
    tabsIndex_.emplace(std::move(key), index);
    return index;
  }

  uint32_t internFmt(const Fmt& f) {
    auto it = fmtIndex_.find(f);
    if (it != fmtIndex_.end()) return it->second;
    const uint32_t index = static_cast<uint32_t>(fmts_.size());
    fmtIndex_.emplace(f, index);
    fmts_.push_back(f);
    bufferFormat_.push_back(kNoFormat);
    return index;
  }

  void push(Tag tag) { stack_.push_back(Saved{tag, current_}); }
  bool top(Tag tag) const { return !stack_.empty() && stack_.back().tag == tag; }
  void popIf(Tag opening) {
    if (!top(opening)) return;
    current_ = stack_.back().format;
    stack_.pop_back();
  }

  void appendText(std::u16string_view units) {
    if (units.empty()) return;
    if (pendingFormat_ != current_) flush();
    pendingFormat_ = current_;
    pending_ += units;
  }

  bool atLineStart() const {
    // The start of the text counts: a first item needs no break before it.
    if (!pending_.empty()) return TextBuffer::isLineBreak(pending_.back());
    return out_.empty() || TextBuffer::isLineBreak(out_.text().back());
  }

  RunFormat runFormat(const Fmt& f) const {
    RunFormat r;
    r.chars.font = strings_[f.font];
    r.chars.size = f.size;
    r.chars.color = f.color;
    r.chars.bold = f.bold;
    r.chars.italic = f.italic;
    r.chars.underline = f.underline;
    r.chars.url = strings_[f.url];
    r.chars.target = strings_[f.target];
    r.paragraph.align = static_cast<TextAlign>(f.align);
    r.paragraph.leftMargin = f.leftMargin;
    r.paragraph.rightMargin = f.rightMargin;
    r.paragraph.indent = f.indent;
    r.paragraph.leading = f.leading;
    r.paragraph.blockIndent = f.blockIndent;
    r.paragraph.bullet = f.bullet;
    r.paragraph.tabStops = tabs_[f.tabs];
    return r;
  }

  // Hands the pending text to the buffer. A format the buffer already has is
  // passed as the buffer's own copy, which it recognises without comparing;
  // its table is never rebuilt here, since appended text gives every new
  // format a run.
  void flush() {
    if (pending_.empty()) return;
    const size_t before = out_.size();
    int64_t& known = bufferFormat_[pendingFormat_];
    if (known != kNoFormat) {
      out_.append(pending_, out_.format(static_cast<uint32_t>(known)));
    } else {
      const Fmt& f = fmts_[pendingFormat_];
      const size_t weight = sizeof(RunFormat) + strings_[f.font].size() + strings_[f.url].size() +
                            strings_[f.target].size() + tabs_[f.tabs].size() * sizeof(int32_t);
      if (weight > budget_ && !out_.runs().empty()) {
        out_.append(pending_, out_.format(out_.runs().back().format));
      } else {
        budget_ -= std::min(weight, budget_);
        out_.append(pending_, runFormat(f));
      }
      if (out_.size() > before) known = out_.runs().back().format;
    }
    pending_.clear();
  }

  template <typename Change>
  void modify(Change change) {
    Fmt f = fmts_[current_];
    change(f);
    current_ = internFmt(f);
  }

  void element(const XmlTokenData& token) {
    const Tag tag = tagOf(token.name);
    switch (tag) {
      case kP:
        push(kP);
        for (const XmlAttribute& a : token.attributes)
          if (equalsFolded(a.name, "align"))
            modify([&](Fmt& f) { f.align = static_cast<uint8_t>(alignOf(a.value)); });
        paragraphOpen_ = true;
        break;
      case kEndP:
        if (!paragraphOpen_) break;
        appendText(u"\n");
        popIf(kP);
        paragraphOpen_ = false;
        break;
      case kBr: appendText(u"\n"); break;
      case kSbr: appendText(u"\r"); break;
      case kTab: appendText(u"\t"); break;
      case kA:
        push(kA);
        for (const XmlAttribute& a : token.attributes) {
          if (equalsFolded(a.name, "href")) {
            const uint32_t s = internString(narrow_.toFormatString(a.value));
            modify([s](Fmt& f) { f.url = s; });
          } else if (equalsFolded(a.name, "target")) {
            const uint32_t s = internString(narrow_.toFormatString(a.value));
            modify([s](Fmt& f) { f.target = s; });
          }
        }
        break;
      case kFont:
        push(kFont);
        for (const XmlAttribute& a : token.attributes) fontAttribute(a);
        break;
      case kB: push(kB); modify([](Fmt& f) { f.bold = 1; }); break;
      case kI: push(kI); modify([](Fmt& f) { f.italic = 1; }); break;
      case kU: push(kU); modify([](Fmt& f) { f.underline = 1; }); break;
      case kLi:
        if (!atLineStart()) appendText(u"\n");
        push(kLi);
        modify([](Fmt& f) { f.bullet = 1; });
        break;
      case kEndLi:
        if (!top(kLi)) break;
        appendText(u"\n");
        popIf(kLi);
        break;
      case kTextFormat:
        push(kTextFormat);
        for (const XmlAttribute& a : token.attributes) textFormatAttribute(a);
        break;
      case kEndTextFormat: popIf(kTextFormat); break;
      case kEndB: popIf(kB); break;
      case kEndI: popIf(kI); break;
      case kEndA: popIf(kA); break;
      case kEndU: popIf(kU); break;
      case kEndFont: popIf(kFont); break;
      case kUnknownTag: break;
    }
  }

  void fontAttribute(const XmlAttribute& a) {
    if (equalsFolded(a.name, "face")) {
      const uint32_t s = internString(narrow_.toFormatString(a.value));
      modify([s](Fmt& f) { f.font = s; });
    } else if (equalsFolded(a.name, "color")) {
      if (a.value.empty() || a.value[0] != '#') return;
      uint32_t rgb = 0;
      size_t digits = 0;
      for (size_t i = 1; i < a.value.size(); ++i, ++digits) {
        const char c = lower(a.value[i]);
        const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0) break;
        rgb = rgb << 4 | static_cast<uint32_t>(v);
      }
      if (digits == 0) return;
      modify([rgb](Fmt& f) { f.color = 0xFF000000u | (rgb & 0xFFFFFFu); });
    } else if (equalsFolded(a.name, "size")) {
      const Number n = readNumber(a.value);
      if (!n.valid) return;
      modify([&n](Fmt& f) {
        const int64_t twips = n.magnitude * 20;
        const int64_t magnitude = f.size < 0 ? -int64_t{f.size} : int64_t{f.size};
        const int64_t size = n.sign == '+' ? magnitude + twips : n.sign == '-' ? magnitude - twips : twips;
        f.size = static_cast<int32_t>(std::clamp<int64_t>(size, 20, 2540));
      });
    }
  }

  void textFormatAttribute(const XmlAttribute& a) {
    if (equalsFolded(a.name, "tabstops")) {
      const uint32_t t = internTabs(readTabStops(a.value));
      modify([t](Fmt& f) { f.tabs = t; });
      return;
    }
    int32_t Fmt::*field = nullptr;
    if (equalsFolded(a.name, "leftmargin")) field = &Fmt::leftMargin;
    else if (equalsFolded(a.name, "rightmargin")) field = &Fmt::rightMargin;
    else if (equalsFolded(a.name, "indent")) field = &Fmt::indent;
    else if (equalsFolded(a.name, "blockindent")) field = &Fmt::blockIndent;
    else if (equalsFolded(a.name, "leading")) field = &Fmt::leading;
    if (!field) return;
    const Number n = readNumber(a.value);
    if (!n.valid) return;
    const int32_t twips = static_cast<int32_t>(n.value() * 20);
    modify([field, twips](Fmt& f) { f.*field = twips; });
  }

  static constexpr int64_t kNoFormat = -1;

  Narrow narrow_;
  bool newer_;
  TextBuffer& out_;
  std::deque<std::string> strings_;  // a deque keeps the keys' characters in place
  std::unordered_map<std::string_view, uint32_t> stringIndex_;
  std::deque<std::vector<int32_t>> tabs_;
  std::unordered_map<std::string, uint32_t> tabsIndex_;
  std::vector<Fmt> fmts_;
  std::unordered_map<Fmt, uint32_t, FmtHash> fmtIndex_;
  std::vector<int64_t> bufferFormat_;  // per format: its index in out_, or kNoFormat
  uint32_t current_ = 0;
  std::vector<Saved> stack_;
  std::u16string pending_;
  uint32_t pendingFormat_ = 0;
  size_t budget_ = kFormatBudget;
  bool paragraphOpen_ = false;
};

// ---- Writing --------------------------------------------------------------

constexpr size_t kMaxFontTags = 256;

class HtmlWriter {
 public:
  HtmlWriter(const TextBuffer& text, const HtmlOptions& options)
      : text_(text), narrow_(options), newer_(options.version >= 6) {}

  std::string write(size_t begin, size_t end) {
    const std::u16string& units = text_.text();
    size_t r = static_cast<size_t>(text_.runAt(begin));
    // Room for the text and every run's tags at once: growing a long string
    // step by step copies it over and over.
    size_t estimate = end - begin + 64;
    for (size_t k = r; k < text_.runs().size() && text_.runs()[k].start < end && estimate < kMaxHtmlLength; ++k) {
      const CharFormat& c = text_.format(text_.runs()[k].format).chars;
      estimate += c.font.size() + c.url.size() + c.target.size() + 64;
    }
    out_.reserve(std::min(estimate, kMaxHtmlLength + (1u << 20)));
    size_t runEnd = text_.runEnd(r);
    for (size_t i = begin; i < end && out_.size() <= kMaxHtmlLength;) {
      while (i >= runEnd) runEnd = text_.runEnd(++r);
      if (paragraph_ == kNone) {
        // A paragraph takes the format of its first unit.
        const uint32_t f = i == begin ? text_.runs()[static_cast<size_t>(text_.runAt(text_.paragraphStart(i)))].format
                                      : text_.runs()[r].format;
        startParagraph(text_.format(f).paragraph);
      }
      // A line break opens no run: reading gives it the paragraph's outer
      // format anyway, and this way HTML written, read and written again
      // comes out the same.
      if (TextBuffer::isLineBreak(units[i])) {
        endParagraph();
        ++i;
        continue;
      }
      if (!runOpen_ || openRun_ != r) {
        closeRun();
        openRun(r);
      }
      size_t j = i;
      const size_t stop = std::min(runEnd, end);
      while (j < stop && !TextBuffer::isLineBreak(units[j])) ++j;
      writeText(std::u16string_view(units).substr(i, j - i));
      i = j;
    }
    closeRun();
    closeFonts();
    if (paragraph_ != kNone) out_ += paragraph_ == kItem ? "</LI>" : "</P>";
    if (textFormatOpen_) out_ += "</TEXTFORMAT>";
    return std::move(out_);
  }

 private:
  enum Paragraph { kNone, kPlain, kItem };
  struct FontKey {
    uint32_t face;
    int32_t size;
    uint32_t color;
    bool operator==(const FontKey&) const = default;
  };

  void number(int64_t v) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, res.ptr);
  }

  // Alignment and bullets travel in P and LI: a paragraph differs from the
  // default for TEXTFORMAT only when the block would carry a value.
  static bool hasTextFormat(const ParagraphFormat& p) {
    return p.leftMargin || p.rightMargin || p.indent || p.leading || p.blockIndent || !p.tabStops.empty();
  }

  void startParagraph(const ParagraphFormat& p) {
    if (newer_) {
      if (textFormatOpen_) out_ += "</TEXTFORMAT>";
      textFormatOpen_ = hasTextFormat(p);
      if (textFormatOpen_) {
        out_ += "<TEXTFORMAT";
        const std::pair<std::string_view, int32_t> values[] = {
            {" LEFTMARGIN=\"", p.leftMargin}, {" RIGHTMARGIN=\"", p.rightMargin}, {" INDENT=\"", p.indent},
            {" LEADING=\"", p.leading},       {" BLOCKINDENT=\"", p.blockIndent},
        };
        for (const auto& [name, twips] : values) {
          if (twips == 0) continue;
          out_ += name;
          number(twips / 20);
          out_ += '"';
        }
        if (!p.tabStops.empty()) {
          out_ += " TABSTOPS=\"";
          for (size_t k = 0; k < p.tabStops.size(); ++k) {
            if (k) out_ += ',';
            number(p.tabStops[k]);
          }
          out_ += '"';
        }
        out_ += '>';
      }
    }
    if (newer_ && p.bullet) {
      out_ += "<LI>";
      paragraph_ = kItem;
      return;
    }
    out_ += "<P ALIGN=\"";
    out_ += p.align == TextAlign::Right ? "RIGHT" : p.align == TextAlign::Center ? "CENTER" : "LEFT";
    out_ += "\">";
    paragraph_ = kPlain;
  }

  void endParagraph() {
    closeRun();
    closeFonts();
    out_ += paragraph_ == kItem ? "</LI>" : "</P>";
    paragraph_ = kNone;
  }

  // Faces compare by number, so a long face costs its length once per format.
  uint32_t faceId(uint32_t format) {
    auto known = faceOfFormat_.find(format);
    if (known != faceOfFormat_.end()) return known->second;
    const std::string& face = text_.format(format).chars.font;
    const uint32_t id = faceIds_.emplace(face, static_cast<uint32_t>(faceIds_.size())).first->second;
    faceOfFormat_.emplace(format, id);
    return id;
  }

  void openRun(size_t r) {
    const uint32_t format = text_.runs()[r].format;
    const CharFormat& c = text_.format(format).chars;
    const FontKey key{faceId(format), c.size, c.color};
    if (fonts_.empty() || !(fonts_.back() == key)) {
      auto found = std::find(fonts_.begin(), fonts_.end(), key);
      if (found != fonts_.end()) {
        for (size_t k = static_cast<size_t>(found - fonts_.begin()) + 1; k < fonts_.size(); ++k) out_ += "</FONT>";
        fonts_.erase(found + 1, fonts_.end());
      } else {
        if (fonts_.size() == kMaxFontTags) {  // no deeper: the top gives way
          out_ += "</FONT>";
          fonts_.pop_back();
        }
        // What changed from the run before, which is the top of the stack.
        const bool first = fonts_.empty();
        out_ += "<FONT";
        if (first || fonts_.back().face != key.face) {
          out_ += " FACE=\"";
          narrow_.writeFormatString(c.font, out_);
          out_ += '"';
        }
        if (first || fonts_.back().size != key.size) {
          out_ += " SIZE=\"";
          number((c.size < 0 ? -int64_t{c.size} : int64_t{c.size}) / 20);
          out_ += '"';
        }
        if (first || fonts_.back().color != key.color) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          out_ += " COLOR=\"#";
          for (int shift = 20; shift >= 0; shift -= 4) out_ += kHex[(c.color >> shift) & 0xF];
          out_ += '"';
        }
        out_ += '>';
        fonts_.push_back(key);
      }
    }
    if (!c.url.empty()) {
      out_ += "<A HREF=\"";
      narrow_.writeFormatString(c.url, out_);
      out_ += "\" TARGET=\"";
      narrow_.writeFormatString(c.target, out_);
      out_ += "\">";
    }
    if (c.bold) out_ += "<B>";
    if (c.italic) out_ += "<I>";
    if (c.underline) out_ += "<U>";
    runOpen_ = true;
    openRun_ = r;
  }

  void closeRun() {
    if (!runOpen_) return;
    const CharFormat& c = text_.format(text_.runs()[openRun_].format).chars;
    if (c.underline) out_ += "</U>";
    if (c.italic) out_ += "</I>";
    if (c.bold) out_ += "</B>";
    if (!c.url.empty()) out_ += "</A>";
    runOpen_ = false;
  }

  void closeFonts() {
    for (size_t k = 0; k < fonts_.size(); ++k) out_ += "</FONT>";
    fonts_.clear();
  }

  static bool plain(char16_t u) {
    return u < 0x80 && u != u'&' && u != u'"' && u != u'\'' && u != u'<' && u != u'>';
  }

  void writeText(std::u16string_view units) {
    for (size_t i = 0; i < units.size();) {
      // Most text is plain ASCII: copy a stretch of it at once.
      size_t j = i;
      while (j < units.size() && plain(units[j])) ++j;
      if (j > i) {
        const size_t at = out_.size();
        out_.resize(at + (j - i));
        char* dst = out_.data() + at;
        for (size_t k = i; k < j; ++k) *dst++ = static_cast<char>(units[k]);
        i = j;
        continue;
      }
      const char16_t u = units[i];
      switch (u) {
        case u'&': out_ += "&amp;"; ++i; continue;
        case u'"': out_ += "&quot;"; ++i; continue;
        case u'\'': out_ += "&apos;"; ++i; continue;
        case u'<': out_ += "&lt;"; ++i; continue;
        case u'>': out_ += "&gt;"; ++i; continue;
        case u'\u00A0': out_ += "&nbsp;"; ++i; continue;
        default: break;
      }
      if (newer_) {
        appendUtf8(nextCode(units, i), out_);
      } else {
        narrow_.writeUnit(u, out_);
        ++i;
      }
    }
  }

  const TextBuffer& text_;
  Narrow narrow_;
  bool newer_;
  std::string out_;
  Paragraph paragraph_ = kNone;
  bool textFormatOpen_ = false;
  bool runOpen_ = false;
  size_t openRun_ = 0;
  std::vector<FontKey> fonts_;
  std::unordered_map<uint32_t, uint32_t> faceOfFormat_;
  std::unordered_map<std::string_view, uint32_t> faceIds_;
};

}  // namespace

void parseHtml(std::string_view html, const RunFormat& initial, const HtmlOptions& options, TextBuffer& out) {
  out.clear();
  HtmlReader reader(initial, options, out);
  reader.read(html);
}

std::string generateHtml(const TextBuffer& text, size_t begin, size_t end, const HtmlOptions& options) {
  end = std::min(end, text.size());
  if (begin >= end) return {};
  return HtmlWriter(text, options).write(begin, end);
}

}  // namespace kivra
