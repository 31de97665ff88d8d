#pragma once
// The HTML form of a field's text: a small tag set read into format runs,
// and the runs written back as upper-case HTML. The two are not exact
// inverses: the writer always wraps paragraphs in P or LI, writes FONT
// attributes only where they change, line breaks all come back as line
// feeds, and a last paragraph gains its line feed.
//
// Narrow text is UTF-8 for movies of version 6 and later, and code-page
// bytes before (a unit the page lacks is written as its own one or two
// bytes, high byte first). Format strings (font, link, target) are UTF-8
// inside the buffer either way.
//
// Tab stops travel as decimal pixel values separated by commas
// ("TABSTOPS=\"40,80\""); reading also skips spaces around the numbers and
// ignores items without digits.
#include <cstddef>
#include <string>
#include <string_view>

#include "core/format/CodePage.h"
#include "core/text/TextBuffer.h"
#include "core/text/TextFormat.h"

namespace kivra {

struct HtmlOptions {
  int version = 6;  // movie version: after 5, UTF-8 text and TEXTFORMAT blocks
  const CodePage* codePage = nullptr;  // older movies' bytes; null: Windows-1252
};

// Generated HTML longer than this is cut short (closing tags still follow);
// only text built to be hostile gets there.
inline constexpr size_t kMaxHtmlLength = 64u << 20;

// Replaces `out`'s text and formats with those the HTML `html` describes,
// starting from `initial` with its paragraph alignment reset to left.
// Tags nest on a stack; a closing tag pops only when it matches the top.
// Malformed markup ends the text where the tokenizer stops. Formats whose
// strings add up past a budget (hostile input only) are not made: their text
// takes the format of the text before it.
void parseHtml(std::string_view html, const RunFormat& initial, const HtmlOptions& options, TextBuffer& out);

// The HTML of units [begin, end) of `text` (clamped); empty for an empty
// range. Linear in the units and runs written.
std::string generateHtml(const TextBuffer& text, size_t begin, size_t end, const HtmlOptions& options);

}  // namespace kivra
