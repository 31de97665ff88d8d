#pragma once
// Lines of a field's text inside its box: where each line starts and ends,
// its pen start after margins, indents and alignment, and its height.
// Distances are twips in the field's own coordinates.
//
// After a change the layout is redone from the line before the change and
// stops as soon as a new line starts where an old one did (shifted by the
// change): typing into a long text costs a few lines, not the whole text.
#include <cstdint>
#include <vector>

#include "core/format/Records.h"
#include "core/text/TextBuffer.h"
#include "core/text/TextFonts.h"

namespace kivra {

struct TextLine {
  uint32_t start = 0;
  uint32_t end = 0;        // past the last unit, its line break included
  int32_t x = 0;           // pen start (alignment applied)
  int32_t width = 0;       // without the final line break
  int32_t ascent = 0;
  int32_t descent = 0;
  int32_t leading = 0;     // below the descent, before the next line
  int32_t top = 0;         // from the top of the first line
  bool paragraphStart = true;
  int32_t height() const { return ascent + descent + leading; }
};

// Where a line may break (word wrap); null `allowed`: after a space or a
// hyphen only.
struct BreakRule {
  bool (*allowed)(const void* context, char16_t before, char16_t after) = nullptr;
  const void* context = nullptr;
  bool operator()(char16_t before, char16_t after) const {
    if (allowed) return allowed(context, before, after);
    return before == u' ' || before == u'-';
  }
};

struct LayoutParams {
  RECT bounds;                // twips
  bool wordWrap = false;
  bool password = false;      // every unit measures as "*"
  bool embedded = false;      // faces from the movie's fonts
  BreakRule breaks;
  RunFormat fallback;         // the format of an empty text
};

class TextLayout {
 public:
  // Lays out the whole text.
  void layout(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params);
  // Lays out again after units [begin, begin + removed) became `added`
  // units (the buffer already holds the new text).
  void update(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t begin, size_t removed,
              size_t added);

  // At least one line, even for an empty text.
  const std::vector<TextLine>& lines() const { return lines_; }
  int32_t textWidth() const { return textWidth_; }
  int32_t textHeight() const { return textHeight_; }
  // The line holding unit `i` (the last line for the text's end).
  size_t lineOf(size_t i) const;

  // The pen position before unit `i` of line `line` (twips from the field's
  // origin), and the unit nearest to `x` on the line (a caret position).
  int32_t unitX(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line, size_t i) const;
  size_t unitAtX(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line, int32_t x) const;

  // The pen position before each unit of line `line` and after its last
  // (`xs` gets end - start + 1 entries).
  void unitPositions(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line,
                     std::vector<int32_t>& xs) const;

  // Units laid out by the last call (for tests and benchmarks).
  size_t unitsMeasured() const { return measured_; }

 private:
  // What an update changed: old units [begin, begin + removed) became
  // `added` units; `old` holds the lines from before, `oldFrom` the first
  // that may still hold.
  struct Change {
    const std::vector<TextLine>* old = nullptr;
    size_t oldFrom = 0;
    size_t begin = 0, removed = 0, added = 0;
  };
  // Lays out lines from unit `from` (a line start, in the paragraph that
  // starts at `paragraphFrom`; past `from`: not known) until the text ends
  // or, after a change, a line starts where an old one did in the same
  // paragraph format; returns the index in the old lines of the line that
  // matched, or -1.
  void run(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t from, size_t paragraphFrom,
           bool paragraphStart, std::vector<TextLine>& out, const Change* change, long& matched);
  void finish(const LayoutParams& params);

  std::vector<TextLine> lines_;
  int32_t textWidth_ = 0;
  int32_t textHeight_ = 0;
  size_t measured_ = 0;
};

}  // namespace kivra
