#include "core/text/TextBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

namespace kivra {

int TextBuffer::runAt(size_t i) const {
  if (runs_.empty()) return -1;
  auto it = std::upper_bound(runs_.begin(), runs_.end(), i,
                             [](size_t v, const TextRun& r) { return v < r.start; });
  if (it == runs_.begin()) return 0;
  return static_cast<int>(it - runs_.begin()) - 1;
}

const RunFormat& TextBuffer::formatAt(size_t i, const RunFormat& fallback) const {
  const int r = runAt(i);
  return r < 0 ? fallback : formats_[runs_[static_cast<size_t>(r)].format];
}

namespace {

size_t mix(size_t h, size_t v) { return h ^ (v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2)); }

size_t hashFormat(const RunFormat& f) {
  const CharFormat& c = f.chars;
  const ParagraphFormat& p = f.paragraph;
  const std::hash<std::string> str;
  size_t h = str(c.font);
  h = mix(h, static_cast<size_t>(static_cast<uint32_t>(c.size)));
  h = mix(h, c.color);
  h = mix(h, (c.bold ? 1u : 0u) | (c.italic ? 2u : 0u) | (c.underline ? 4u : 0u) | (p.bullet ? 8u : 0u) |
                 (static_cast<size_t>(p.align) << 4));
  h = mix(h, str(c.url));
  h = mix(h, str(c.target));
  for (int32_t v : {p.leftMargin, p.rightMargin, p.indent, p.leading, p.blockIndent})
    h = mix(h, static_cast<uint32_t>(v));
  for (int32_t v : p.tabStops) h = mix(h, static_cast<uint32_t>(v));
  return h;
}

}  // namespace

uint32_t TextBuffer::intern(const RunFormat& f) {
  // A format handed out by format() (a caller copying runs) is its own index.
  const std::less<const RunFormat*> before;
  if (!formats_.empty() && !before(&f, formats_.data()) && before(&f, formats_.data() + formats_.size()))
    return static_cast<uint32_t>(&f - formats_.data());
  // Text is mostly added in the format just used.
  if (!runs_.empty() && formats_[runs_.back().format] == f) return runs_.back().format;
  const size_t h = hashFormat(f);
  auto [lo, hi] = formatIndex_.equal_range(h);
  for (auto it = lo; it != hi; ++it)
    if (formats_[it->second] == f) return it->second;
  // A table far larger than the runs holds formats no run uses: rebuild it.
  if (formats_.size() >= 64 && formats_.size() > runs_.size() * 2 + 16) rebuildFormats();
  formats_.push_back(f);
  const uint32_t index = static_cast<uint32_t>(formats_.size() - 1);
  formatIndex_.emplace(h, index);
  return index;
}

void TextBuffer::rebuildFormats() {
  // The table's formats are distinct, so old indices map to new ones directly.
  constexpr uint32_t kUnused = UINT32_MAX;
  std::vector<uint32_t> remap(formats_.size(), kUnused);
  std::vector<RunFormat> kept;
  kept.reserve(runs_.size() + 1);
  for (TextRun& r : runs_) {
    if (remap[r.format] == kUnused) {
      remap[r.format] = static_cast<uint32_t>(kept.size());
      kept.push_back(std::move(formats_[r.format]));
    }
    r.format = remap[r.format];
  }
  formats_ = std::move(kept);
  formatIndex_.clear();
  for (size_t k = 0; k < formats_.size(); ++k) formatIndex_.emplace(hashFormat(formats_[k]), static_cast<uint32_t>(k));
}

size_t TextBuffer::splitAt(size_t i) {
  const int r = runAt(i);
  const size_t k = static_cast<size_t>(r);
  if (runs_[k].start == i) return k;
  runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(k) + 1, TextRun{static_cast<uint32_t>(i), runs_[k].format});
  return k + 1;
}

void TextBuffer::mergeRuns() {
  size_t out = 0;
  for (size_t k = 0; k < runs_.size(); ++k) {
    const TextRun r = runs_[k];
    const size_t end = k + 1 < runs_.size() ? runs_[k + 1].start : text_.size();
    if (end <= r.start && !(text_.empty() && k == 0)) continue;  // empty run
    if (out > 0 && runs_[out - 1].format == r.format) continue;
    runs_[out++] = r;
  }
  runs_.resize(out);
  if (text_.empty()) runs_.clear();
  else if (!runs_.empty()) runs_[0].start = 0;
}

void TextBuffer::replace(size_t begin, size_t end, std::u16string_view units, const RunFormat& format) {
  begin = std::min(begin, text_.size());
  end = std::clamp(end, begin, text_.size());
  const size_t room = kMaxLength - (text_.size() - (end - begin));
  if (units.size() > room) units = units.substr(0, room);
  const size_t removed = end - begin, added = units.size();
  if (removed == 0 && added == 0) return;
  const uint32_t f = added ? intern(format) : 0;
  if (removed == 0 && begin == text_.size()) {
    // Appending: no run moves.
    if (runs_.empty() || runs_.back().format != f) runs_.push_back(TextRun{static_cast<uint32_t>(begin), f});
    text_.append(units);
    return;
  }
  // Runs inside the removed range collapse to its start; later runs shift.
  std::vector<TextRun> next;
  next.reserve(runs_.size() + 2);
  bool placed = false;
  auto place = [&] {
    if (placed || !added) return;
    next.push_back(TextRun{static_cast<uint32_t>(begin), f});
    placed = true;
  };
  for (size_t k = 0; k < runs_.size(); ++k) {
    const size_t s = runs_[k].start;
    const size_t e = k + 1 < runs_.size() ? runs_[k + 1].start : text_.size();
    if (e <= begin && !(e == begin && s == begin)) {
      next.push_back(runs_[k]);
      continue;
    }
    if (s < begin) next.push_back(runs_[k]);  // keeps its part before the change
    place();
    if (e > end) {  // its part after the change
      next.push_back(TextRun{static_cast<uint32_t>(std::max(s, end) - removed + added), runs_[k].format});
    }
  }
  place();
  text_.replace(begin, removed, units);
  runs_ = std::move(next);
  mergeRuns();
}

void TextBuffer::clear() {
  text_.clear();
  runs_.clear();
  formats_.clear();
  formatIndex_.clear();
}

size_t TextBuffer::paragraphStart(size_t i) const {
  i = std::min(i, text_.size());
  while (i > 0 && !isLineBreak(text_[i - 1])) --i;
  return i;
}

size_t TextBuffer::paragraphEnd(size_t i) const {
  while (i < text_.size()) {
    if (isLineBreak(text_[i])) return i + 1;
    ++i;
  }
  return text_.size();
}

TextFormatSpec TextBuffer::formatOf(size_t begin, size_t end, const RunFormat& fallback) const {
  begin = std::min(begin, text_.size());
  end = std::clamp(end, begin, text_.size());
  if (begin == end) {
    const size_t at = begin > 0 && begin == text_.size() ? begin - 1 : begin;
    return TextFormatSpec::of(formatAt(at, fallback));
  }
  int r = runAt(begin);
  TextFormatSpec spec = TextFormatSpec::of(formats_[runs_[static_cast<size_t>(r)].format]);
  for (size_t k = static_cast<size_t>(r) + 1; k < runs_.size() && runs_[k].start < end; ++k)
    spec.intersect(formats_[runs_[k].format]);
  return spec;
}

void TextBuffer::applyRange(size_t begin, size_t end, const TextFormatSpec& spec, bool chars, bool paragraph) {
  if (begin >= end) return;
  size_t first = splitAt(begin);
  size_t last = end < text_.size() ? splitAt(end) : runs_.size();
  for (size_t k = first; k < last; ++k) {
    RunFormat f = formats_[runs_[k].format];
    if (chars) {
      RunFormat merged = f;
      spec.applyTo(merged);
      f.chars = merged.chars;
    }
    if (paragraph) {
      RunFormat merged = f;
      spec.applyTo(merged);
      f.paragraph = merged.paragraph;
    }
    runs_[k].format = intern(f);
  }
  mergeRuns();
}

void TextBuffer::applyFormat(size_t begin, size_t end, const TextFormatSpec& spec) {
  begin = std::min(begin, text_.size());
  end = std::clamp(end, begin, text_.size());
  if (text_.empty()) return;
  applyRange(begin, end, spec, true, false);
  const bool paragraph = spec.hasAlign || spec.hasLeftMargin || spec.hasRightMargin || spec.hasIndent ||
                         spec.hasLeading || spec.hasBlockIndent || spec.hasTabStops || spec.hasBullet;
  if (paragraph) {
    const size_t p0 = paragraphStart(begin);
    const size_t p1 = paragraphEnd(end > begin ? end - 1 : begin);
    applyRange(p0, std::max(p1, p0 + (p0 < text_.size() ? 1 : 0)), spec, false, true);
  }
}

}  // namespace kivra
