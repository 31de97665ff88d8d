#include "core/text/TextLayout.h"

#include <algorithm>
#include <cstddef>

namespace kivra {

namespace {

// The format, face and vertical measures of the run being measured.
struct RunState {
  int run = -1;
  size_t end = 0;
  const RunFormat* format = nullptr;
  TextFace* face = nullptr;
  int32_t ascent = 0, descent = 0, leading = 0;
};

void enterRun(const TextBuffer& text, TextFonts& fonts, const LayoutParams& p, size_t i, RunState& s) {
  s.run = text.runAt(i);
  if (s.run < 0) {
    s.format = &p.fallback;
    s.end = SIZE_MAX;
  } else {
    s.format = &text.format(text.runs()[static_cast<size_t>(s.run)].format);
    s.end = text.runEnd(static_cast<size_t>(s.run));
  }
  s.face = fonts.face(s.format->chars, p.embedded);
  const int32_t size = s.format->chars.size;
  if (s.face) {
    const TextFaceMetrics m = s.face->metrics();
    s.ascent = scaleToSize(m.ascent, size);
    s.descent = scaleToSize(m.descent, size);
    s.leading = scaleToSize(m.leading, size);
  } else {
    s.ascent = scaleToSize(1024, size);
    s.descent = s.leading = 0;
  }
}

// The pen advance of unit `c` at pen `x` (tabs depend on where they start).
int32_t advanceOf(const RunState& s, const LayoutParams& p, char16_t c, int32_t x) {
  if (TextBuffer::isLineBreak(c)) return 0;
  if (!s.face) return 0;
  if (p.password) c = u'*';
  if (c == u'\t') {
    const ParagraphFormat& para = s.format->paragraph;
    const int32_t origin = p.bounds.xmin + para.leftMargin;
    for (int32_t stop : para.tabStops) {
      const int64_t at = int64_t{stop} * 20 + origin;
      if (at > x) return static_cast<int32_t>(std::min<int64_t>(at - x, INT32_MAX / 4));
    }
    if (!para.tabStops.empty()) return 0;
    const int32_t unit = std::max(1, 4 * scaleToSize(s.face->advance(u' '), s.format->chars.size));
    const int64_t rel = int64_t{x} - origin;
    const int64_t next = (rel >= 0 ? rel / unit + 1 : -((-rel) / unit)) * unit;
    return static_cast<int32_t>(std::clamp<int64_t>(next - rel, 0, INT32_MAX / 4));
  }
  return scaleToSize(s.face->advance(c), s.format->chars.size) & 0xFFFF;
}

int32_t addClamped(int32_t a, int32_t b) { return static_cast<int32_t>(std::clamp<int64_t>(int64_t{a} + b, INT32_MIN / 2, INT32_MAX / 2)); }

}  // namespace

size_t TextLayout::lineOf(size_t i) const {
  auto it = std::upper_bound(lines_.begin(), lines_.end(), i,
                             [](size_t v, const TextLine& l) { return v < l.start; });
  return it == lines_.begin() ? 0 : static_cast<size_t>(it - lines_.begin()) - 1;
}

void TextLayout::layout(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params) {
  measured_ = 0;
  lines_.clear();
  long matched = -1;
  run(text, fonts, params, 0, 0, true, lines_, nullptr, matched);
  finish(params);
}

void TextLayout::update(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t begin,
                        size_t removed, size_t added) {
  if (lines_.empty()) return layout(text, fonts, params);
  measured_ = 0;
  // A word may now fit on the line before the change: start there.
  size_t first = lineOf(begin);
  if (first > 0) --first;
  // Old line starts at or before `begin` are unchanged; the first one
  // must be a start the new text still has.
  const size_t from = std::min<size_t>(lines_[first].start, text.size());
  const bool paragraphStart = lines_[first].paragraphStart;
  // The paragraph's start from the old lines before the change (they still
  // hold), not by scanning back through a long paragraph's units.
  size_t paragraph = SIZE_MAX;
  if (from == lines_[first].start) {
    size_t k = first;
    while (k > 0 && !lines_[k].paragraphStart) --k;
    paragraph = lines_[k].paragraphStart ? lines_[k].start : SIZE_MAX;
  }
  std::vector<TextLine> fresh;
  long matched = -1;
  const int64_t shift = int64_t(added) - int64_t(removed);
  const Change change{&lines_, first + 1, begin, removed, added};
  run(text, fonts, params, from, paragraph, paragraphStart, fresh, &change, matched);
  std::vector<TextLine> next;
  next.reserve(lines_.size() + fresh.size());
  next.insert(next.end(), lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(first));
  next.insert(next.end(), fresh.begin(), fresh.end());
  if (matched >= 0) {
    for (size_t k = static_cast<size_t>(matched); k < lines_.size(); ++k) {
      TextLine l = lines_[k];
      l.start = static_cast<uint32_t>(int64_t{l.start} + shift);
      l.end = static_cast<uint32_t>(int64_t{l.end} + shift);
      next.push_back(l);
    }
  }
  lines_ = std::move(next);
  finish(params);
}

void TextLayout::run(const TextBuffer& text, TextFonts& fonts, const LayoutParams& p, size_t from,
                     size_t paragraphFrom, bool paragraphStart, std::vector<TextLine>& out, const Change* change,
                     long& matched) {
  const std::u16string& units = text.text();
  const size_t n = units.size();
  RunState rs;
  const std::vector<TextLine>* old = change ? change->old : nullptr;
  const size_t stopAfter = change ? change->begin + change->added : 0;
  const int64_t shift = change ? int64_t(change->added) - int64_t(change->removed) : 0;
  size_t oldNext = change ? change->oldFrom : 0;
  // Whether old line `k`, inside a paragraph, was laid out in paragraph
  // format `now`: that of its paragraph's first unit, if the change kept
  // that unit (units outside the change kept their formats).
  auto sameParagraphFormat = [&](size_t k, const ParagraphFormat& now) {
    while (k > 0 && !(*old)[k].paragraphStart) --k;
    size_t first = (*old)[k].start;
    if (first >= change->begin) {
      if (first < change->begin + change->removed) return false;
      first = first - change->removed + change->added;
    }
    return first < n && text.formatAt(first, p.fallback).paragraph == now;
  };
  // The paragraph format in force: that of the paragraph's first unit.
  if (paragraphFrom > from) paragraphFrom = text.paragraphStart(from);
  const RunFormat* para = &text.formatAt(paragraphFrom, p.fallback);
  size_t i = from;
  bool firstLine = true;
  while (firstLine || i < n) {
    firstLine = false;
    if (paragraphStart) para = &text.formatAt(i, p.fallback);
    // Stop when this line starts where an old line started (moved by the
    // change) once past the change: the old lines from there still hold.
    if (old && i > stopAfter) {
      while (oldNext < old->size() && int64_t{(*old)[oldNext].start} + shift < int64_t(i)) ++oldNext;
      if (oldNext < old->size() && int64_t{(*old)[oldNext].start} + shift == int64_t(i) &&
          (*old)[oldNext].paragraphStart == paragraphStart &&
          (paragraphStart || sameParagraphFormat(oldNext, para->paragraph))) {
        matched = static_cast<long>(oldNext);
        return;
      }
    }
    const ParagraphFormat& pf = para->paragraph;
    int32_t start = addClamped(p.bounds.xmin, pf.leftMargin);
    start = addClamped(start, pf.blockIndent);
    if (pf.bullet) start = addClamped(start, 720);
    if (paragraphStart) start = addClamped(start, pf.indent);
    start = std::min(start, p.bounds.xmax);
    const int32_t right = addClamped(p.bounds.xmax, -pf.rightMargin);

    TextLine line;
    line.start = static_cast<uint32_t>(i);
    line.paragraphStart = paragraphStart;
    int32_t x = start;
    size_t breakAt = 0;      // last allowed break inside the line, 0: none
    int32_t xAtBreak = 0;
    bool endsParagraph = false;
    size_t end = i;
    if (rs.run < 0 || i >= rs.end || (rs.run >= 0 && i < text.runs()[static_cast<size_t>(rs.run)].start))
      enterRun(text, fonts, p, i, rs);
    int32_t ascent = rs.ascent, descent = rs.descent, leading = rs.leading;
    while (end < n) {
      if (end >= rs.end) {
        enterRun(text, fonts, p, end, rs);
        ascent = std::max(ascent, rs.ascent);
        descent = std::max(descent, rs.descent);
        leading = std::max(leading, rs.leading);
      }
      const char16_t c = units[end];
      ++measured_;
      if (TextBuffer::isLineBreak(c)) {
        ++end;
        endsParagraph = true;
        break;
      }
      if (p.wordWrap && end > i && p.breaks(units[end - 1], c)) {
        breakAt = end;
        xAtBreak = x;
      }
      const int32_t w = advanceOf(rs, p, c, x);
      if (p.wordWrap && end > i && c != u' ' && int64_t{x} + w > right) {
        if (breakAt > i) {
          end = breakAt;
          x = xAtBreak;
        }
        // A space or line break after the break stays on this line.
        while (end < n && units[end] == u' ') {
          if (end >= rs.end || end < text.runs()[static_cast<size_t>(std::max(rs.run, 0))].start)
            enterRun(text, fonts, p, end, rs);
          x = addClamped(x, advanceOf(rs, p, u' ', x));
          ++end;
        }
        if (end < n && TextBuffer::isLineBreak(units[end])) {
          ++end;
          endsParagraph = true;
        }
        break;
      }
      x = addClamped(x, w);
      ++end;
    }
    if (end > i) {
      // Measures only of the runs this line kept.
      ascent = descent = leading = 0;
      RunState m;
      for (size_t k = i; k < end;) {
        enterRun(text, fonts, p, k, m);
        ascent = std::max(ascent, m.ascent);
        descent = std::max(descent, m.descent);
        leading = std::max(leading, m.leading);
        k = std::max(k + 1, std::min(m.end, end));
      }
    }
    line.end = static_cast<uint32_t>(end);
    line.width = x - start;
    line.ascent = ascent;
    line.descent = descent;
    line.leading = std::max(0, addClamped(leading, pf.leading));
    int32_t offset = 0;
    if (pf.align == TextAlign::Right) offset = right - start - line.width - 1;
    else if (pf.align == TextAlign::Center) offset = (right - start - line.width) >> 1;
    line.x = start + std::max(0, offset);
    out.push_back(line);
    paragraphStart = endsParagraph;
    if (end == i) break;  // nothing fits and nothing is left
    i = end;
    // The empty line after a final line break holds the caret.
    if (i == n && endsParagraph) firstLine = true;
  }
}

void TextLayout::finish(const LayoutParams& params) {
  (void)params;
  int32_t top = 0, width = 0;
  for (TextLine& l : lines_) {
    l.top = top;
    top = addClamped(top, l.height());
    width = std::max(width, l.width);
  }
  textWidth_ = width;
  textHeight_ = top;
}

int32_t TextLayout::unitX(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line,
                          size_t i) const {
  if (line >= lines_.size()) return 0;
  const TextLine& l = lines_[line];
  int32_t x = l.x;
  RunState rs;
  for (size_t k = l.start; k < std::min<size_t>(i, l.end) && k < text.size(); ++k) {
    if (rs.run < 0 || k >= rs.end) enterRun(text, fonts, params, k, rs);
    x = addClamped(x, advanceOf(rs, params, text.text()[k], x));
  }
  return x;
}

void TextLayout::unitPositions(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line,
                               std::vector<int32_t>& xs) const {
  xs.clear();
  if (line >= lines_.size()) return;
  const TextLine& l = lines_[line];
  int32_t x = l.x;
  RunState rs;
  xs.push_back(x);
  for (size_t k = l.start; k < l.end && k < text.size(); ++k) {
    if (rs.run < 0 || k >= rs.end) enterRun(text, fonts, params, k, rs);
    x = addClamped(x, advanceOf(rs, params, text.text()[k], x));
    xs.push_back(x);
  }
}

size_t TextLayout::unitAtX(const TextBuffer& text, TextFonts& fonts, const LayoutParams& params, size_t line,
                           int32_t x) const {
  if (line >= lines_.size()) return text.size();
  const TextLine& l = lines_[line];
  int32_t pen = l.x;
  RunState rs;
  size_t last = l.end;
  if (last > l.start && last <= text.size() && TextBuffer::isLineBreak(text.text()[last - 1])) --last;
  for (size_t k = l.start; k < last; ++k) {
    if (rs.run < 0 || k >= rs.end) enterRun(text, fonts, params, k, rs);
    const int32_t w = advanceOf(rs, params, text.text()[k], pen);
    if (x < pen + w / 2) return k;
    pen = addClamped(pen, w);
  }
  return last;
}

}  // namespace kivra
