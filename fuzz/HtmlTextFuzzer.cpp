// HTML field text from arbitrary bytes, read as a movie of version 5 and as
// one of version 6. Reading, writing the result and writing a range must
// finish; reading what was written must give the first text and formats
// back, up to what the written form cannot carry:
// - carriage returns come back as line feeds, and a last paragraph gains a
//   line feed (every paragraph is closed);
// - a line break's own format is dropped: it takes the paragraph's format
//   and the initial character format;
// - a paragraph keeps the paragraph format of its first unit; items keep no
//   alignment; older movies keep only the alignment;
// - a target without a link is dropped;
// - format strings holding quotes, ampersands, "<" or line breaks are
//   written as they are and break the markup: such texts are not compared.
// From the second reading on, the written HTML must be stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/text/HtmlText.h"

namespace {

using kivra::CharFormat;
using kivra::HtmlOptions;
using kivra::ParagraphFormat;
using kivra::RunFormat;
using kivra::TextBuffer;

RunFormat initialFormat() {
  RunFormat f;
  f.chars.font = "Arial";
  f.chars.size = 240;
  f.chars.color = 0xFF000000;
  return f;
}

bool writable(const std::string& s) { return s.find_first_of("\"&<\r\n") == std::string::npos; }

bool comparable(const TextBuffer& b) {
  for (const kivra::TextRun& r : b.runs()) {
    const CharFormat& c = b.format(r.format).chars;
    if (!writable(c.font) || !writable(c.url) || !writable(c.target)) return false;
  }
  return true;
}

ParagraphFormat carried(ParagraphFormat p, int version, const RunFormat& initial) {
  if (version >= 6) {
    if (p.bullet) p.align = kivra::TextAlign::Left;
    return p;
  }
  const kivra::TextAlign align = p.align;
  p = initial.paragraph;
  p.align = align;
  return p;
}

void check(std::string_view html, int version, size_t from, size_t to) {
  const RunFormat initial = initialFormat();
  HtmlOptions options;
  options.version = version;
  TextBuffer first;
  kivra::parseHtml(html, initial, options, first);
  const std::string written = kivra::generateHtml(first, 0, first.size(), options);
  (void)kivra::generateHtml(first, from % (first.size() + 1), to % (first.size() + 1), options);
  if (!comparable(first)) return;

  TextBuffer second;
  kivra::parseHtml(written, initial, options, second);
  const std::u16string& a = first.text();
  const std::u16string& b = second.text();
  const bool gainsBreak = !a.empty() && !TextBuffer::isLineBreak(a.back());
  if (b.size() != a.size() + (gainsBreak ? 1 : 0)) std::abort();
  ParagraphFormat paragraph;
  for (size_t i = 0; i < b.size(); ++i) {
    const bool inFirst = i < a.size();
    const bool lineBreak = !inFirst || TextBuffer::isLineBreak(a[i]);
    if (inFirst && (i == 0 || TextBuffer::isLineBreak(a[i - 1])))
      paragraph = carried(first.formatAt(i, initial).paragraph, version, initial);
    if (b[i] != (lineBreak ? u'\n' : a[i])) std::abort();
    RunFormat expected;
    expected.paragraph = paragraph;
    if (lineBreak) {
      expected.chars = initial.chars;
    } else {
      expected.chars = first.formatAt(i, initial).chars;
      if (expected.chars.url.empty()) expected.chars.target = initial.chars.target;
    }
    if (!(second.formatAt(i, initial) == expected)) std::abort();
  }

  const std::string rewritten = kivra::generateHtml(second, 0, second.size(), options);
  TextBuffer third;
  kivra::parseHtml(rewritten, initial, options, third);
  if (kivra::generateHtml(third, 0, third.size(), options) != rewritten) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes pick a range to write; the rest is the HTML.
  const size_t from = data[0], to = data[1];
  const std::string_view html(reinterpret_cast<const char*>(data + 2), size - 2);
  check(html, 5, from, to);
  check(html, 6, from, to);
  return 0;
}
