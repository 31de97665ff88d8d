#pragma once
// A field's text as UTF-16 units with its formats kept as runs: each run
// starts at a unit and lasts until the next; neighbouring runs differ.
// Replacing text costs the length of the text moved plus the number of
// runs, so typing into a long field stays cheap.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/text/TextFormat.h"

namespace kivra {

struct TextRun {
  uint32_t start = 0;
  uint32_t format = 0;  // index into the buffer's format table
};

class TextBuffer {
 public:
  // The longest text a buffer holds; longer text is cut.
  static constexpr size_t kMaxLength = 16u << 20;

  const std::u16string& text() const { return text_; }
  size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }
  const std::vector<TextRun>& runs() const { return runs_; }
  const RunFormat& format(uint32_t index) const { return formats_[index]; }

  // The run holding unit `i` (the last run for the end of the text); -1
  // for an empty buffer.
  int runAt(size_t i) const;
  // The format of unit `i`; `fallback` for an empty buffer.
  const RunFormat& formatAt(size_t i, const RunFormat& fallback) const;
  // Where run `r` ends.
  size_t runEnd(size_t r) const { return r + 1 < runs_.size() ? runs_[r + 1].start : text_.size(); }

  // Replaces units [begin, end) (clamped) with `units`, which take `format`.
  void replace(size_t begin, size_t end, std::u16string_view units, const RunFormat& format);
  void append(std::u16string_view units, const RunFormat& format) {
    replace(text_.size(), text_.size(), units, format);
  }
  void clear();

  // The start of the paragraph holding unit `i` and the end of the one
  // holding unit `i` (after its line break, or the end of the text).
  size_t paragraphStart(size_t i) const;
  size_t paragraphEnd(size_t i) const;

  // What every unit of [begin, end) shares; an empty range gives the format
  // of `begin` (or of the text's end).
  TextFormatSpec formatOf(size_t begin, size_t end, const RunFormat& fallback) const;
  // Character properties go to [begin, end), paragraph properties to the
  // whole paragraphs it touches.
  void applyFormat(size_t begin, size_t end, const TextFormatSpec& spec);

  static bool isLineBreak(char16_t c) { return c == u'\n' || c == u'\r'; }

 private:
  // The index of `f` in the table, added if new. A format passed back from
  // format() is found without a comparison.
  uint32_t intern(const RunFormat& f);
  void rebuildFormats();
  // Makes a run start at `i` (0 < i < size); returns its index.
  size_t splitAt(size_t i);
  void mergeRuns();
  void applyRange(size_t begin, size_t end, const TextFormatSpec& spec, bool chars, bool paragraph);

  std::u16string text_;
  std::vector<TextRun> runs_;
  std::vector<RunFormat> formats_;
  // Hash of a format -> its index, so a new format costs its own size, not
  // the size of the table.
  std::unordered_multimap<size_t, uint32_t> formatIndex_;
};

}  // namespace kivra
