#include "core/text/EditField.h"

#include <algorithm>

#include "core/text/RestrictSet.h"

namespace kivra {

namespace {

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
char16_t swapCase(char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : (c >= u'A' && c <= u'Z' ? c + 32 : c); }
bool isWordUnit(char16_t c) {
  return c == u'_' || (c >= u'0' && c <= u'9') || isAsciiLetter(c) || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

}  // namespace

namespace {
bool breakAllowed(const void* rule, char16_t before, char16_t after) {
  return static_cast<const LineBreakRule*>(rule)->allowed(before, after);
}
}  // namespace

EditField::EditField(std::shared_ptr<TextFonts> fonts, int version)
    : fonts_(std::move(fonts)),
      version_(version),
      breakRule_(version >= 6 ? LineBreakRule::unicode() : LineBreakRule::older(false, nullptr)) {
  params_.breaks = BreakRule{breakAllowed, &breakRule_};
}

void EditField::setBreakRule(const LineBreakRule& rule) {
  breakRule_ = rule;
  layoutValid_ = false;
  touch();
}
EditField::~EditField() = default;

void EditField::setFlag(uint32_t f, bool on) { setFlags(on ? flags_ | f : flags_ & ~f); }

void EditField::setFlags(uint32_t flags) {
  if (flags == flags_) return;
  const uint32_t layoutBits = kFieldWordWrap | kFieldPassword | kFieldEmbedFonts | kFieldMultiline;
  if ((flags ^ flags_) & layoutBits) layoutValid_ = false;
  flags_ = flags;
  if (!layoutValid_) {
    layout();
    clampScroll();
  }
  touch();
}

void EditField::setBounds(const RECT& r) {
  if (r.xmin == bounds_.xmin && r.xmax == bounds_.xmax && r.ymin == bounds_.ymin && r.ymax == bounds_.ymax) return;
  bounds_ = r;
  layoutValid_ = false;
  touch();
}

void EditField::setBorderColor(uint32_t argb) {
  borderColor_ = argb;
  touch();
}

void EditField::setBackgroundColor(uint32_t argb) {
  backgroundColor_ = argb;
  touch();
}

void EditField::setTextColor(uint32_t argb) {
  newFormat_.chars.color = argb;
  TextFormatSpec spec;
  spec.hasColor = true;
  spec.value.chars.color = argb;
  text_.applyFormat(0, text_.size(), spec);
  touch();
}

void EditField::setAutoSize(AutoSize a) {
  autoSize_ = a;
  layoutValid_ = false;
  touch();
}

void EditField::setRestrict(std::optional<std::u16string> source) {
  if (!source) restrict_.reset();
  else restrict_ = std::make_shared<const RestrictSet>(*source);
}

void EditField::setInitialFormat(const RunFormat& f) {
  initialFormat_ = f;
  newFormat_ = f;
  layoutValid_ = false;
}

// ---- Text ------------------------------------------------------------------

std::u16string EditField::vet(std::u16string_view units, bool typed) {
  std::u16string out;
  out.reserve(units.size());
  const bool embedded = hasFlag(kFieldEmbedFonts);
  TextFace* face = embedded ? fonts_->face(newFormat_.chars, true) : nullptr;
  auto usable = [&](char16_t c) {
    if (embedded && (!face || !face->hasGlyph(c))) return false;
    return !typed || !restrict_ || restrict_->allows(c);
  };
  for (char16_t c : units) {
    if (TextBuffer::isLineBreak(c) || usable(c)) out.push_back(c);
    else if (!typed && version_ >= 6) out.push_back(c);  // scripts may put in what no glyph shows
    else if (isAsciiLetter(c) && usable(swapCase(c))) out.push_back(swapCase(c));
  }
  return out;
}

void EditField::changedText(size_t begin, size_t removed, size_t added) {
  if (layoutValid_) {
    params_.password = hasFlag(kFieldPassword);
    layout_.update(text_, *fonts_, params_, begin, removed, added);
    if (autoSize_ != AutoSize::None) applyAutoSize();
  }
  anchor_ = std::min(anchor_, text_.size());
  caret_ = std::min(caret_, text_.size());
  clampScroll();
  touch();
}

void EditField::replaceRange(size_t begin, size_t end, std::u16string_view units, const RunFormat& format) {
  begin = std::min(begin, text_.size());
  end = std::clamp(end, begin, text_.size());
  const size_t before = text_.size();
  text_.replace(begin, end, units, format);
  const size_t added = text_.size() - (before - (end - begin));
  anchor_ = caret_ = begin + added;
  changedText(begin, end - begin, added);
}

void EditField::clearText() {
  if (text_.empty()) return;
  const size_t n = text_.size();
  text_.clear();
  anchor_ = caret_ = 0;
  changedText(0, n, 0);
}

void EditField::setBuffer(TextBuffer text) {
  text_ = std::move(text);
  anchor_ = std::min(anchor_, text_.size());
  caret_ = std::min(caret_, text_.size());
  layoutValid_ = false;
  layout();
  clampScroll();
  touch();
}

void EditField::setText(std::u16string_view units) {
  const std::u16string vetted = vet(units, false);
  const RunFormat format = text_.empty() ? newFormat_ : text_.formatAt(0, newFormat_);
  const size_t n = text_.size();
  text_.clear();
  text_.append(vetted, format);
  anchor_ = std::min(anchor_, text_.size());
  caret_ = std::min(caret_, text_.size());
  if (layoutValid_) layoutValid_ = false;
  (void)n;
  layout();
  clampScroll();
  touch();
}

void EditField::replaceSelection(std::u16string_view units) {
  const std::u16string vetted = vet(units, false);
  replaceRange(selectionBegin(), selectionEnd(), vetted, newFormat_);
}

bool EditField::type(std::u16string_view units) {
  std::u16string vetted = vet(units, true);
  const size_t b = selectionBegin(), e = selectionEnd();
  if (maxChars_ > 0) {
    const size_t kept = text_.size() - (e - b);
    const size_t room = kept >= maxChars_ ? 0 : maxChars_ - kept;
    if (vetted.size() > room) vetted.resize(room);
  }
  if (vetted.empty() && b == e) return false;
  if (vetted.empty() && !units.empty()) return false;  // everything refused: the selection stays
  replaceRange(b, e, vetted, newFormat_);
  showCaret();
  changed_ = true;
  return true;
}

void EditField::applyFormat(size_t begin, size_t end, const TextFormatSpec& spec) {
  text_.applyFormat(begin, end, spec);
  layoutValid_ = false;
  layout();
  clampScroll();
  touch();
}

// ---- Selection and keys ------------------------------------------------------

void EditField::setSelection(size_t anchor, size_t caret) {
  anchor = std::min(anchor, text_.size());
  caret = std::min(caret, text_.size());
  if (anchor == anchor_ && caret == caret_) return;
  anchor_ = anchor;
  caret_ = caret;
  touch();
}

std::u16string EditField::selectedText() const {
  return text_.text().substr(selectionBegin(), selectionEnd() - selectionBegin());
}

void EditField::selectWord(size_t i) {
  const std::u16string& t = text_.text();
  i = std::min(i, t.size());
  size_t b = i, e = i;
  if (i < t.size() && isWordUnit(t[i])) {
    while (b > 0 && isWordUnit(t[b - 1])) --b;
    while (e < t.size() && isWordUnit(t[e])) ++e;
  } else if (i < t.size()) {
    e = i + 1;
  }
  setSelection(b, e);
}

void EditField::moveCaret(size_t to, bool extend) {
  to = std::min(to, text_.size());
  setSelection(extend ? anchor_ : to, to);
  showCaret();
}

bool EditField::key(EditKey k, bool shift) {
  const TextLayout& l = layout();
  const size_t n = text_.size();
  const bool editable = !hasFlag(kFieldReadOnly);
  const size_t line = l.lineOf(caret_);
  auto toLine = [&](long target) {
    target = std::clamp<long>(target, 0, static_cast<long>(l.lines().size()) - 1);
    const int32_t x = l.unitX(text_, *fonts_, params_, line, caret_);
    return l.unitAtX(text_, *fonts_, params_, static_cast<size_t>(target), x);
  };
  switch (k) {
    case EditKey::Left:
      if (!shift && anchor_ != caret_) moveCaret(selectionBegin(), false);
      else moveCaret(caret_ > 0 ? caret_ - 1 : 0, shift);
      return false;
    case EditKey::Right:
      if (!shift && anchor_ != caret_) moveCaret(selectionEnd(), false);
      else moveCaret(caret_ + 1, shift);
      return false;
    case EditKey::Up: moveCaret(toLine(static_cast<long>(line) - 1), shift); return false;
    case EditKey::Down: moveCaret(toLine(static_cast<long>(line) + 1), shift); return false;
    case EditKey::PageUp: moveCaret(toLine(static_cast<long>(line) - visibleLines(topLine_)), shift); return false;
    case EditKey::PageDown: moveCaret(toLine(static_cast<long>(line) + visibleLines(topLine_)), shift); return false;
    case EditKey::Home: moveCaret(l.lines()[line].start, shift); return false;
    case EditKey::End: {
      size_t e = l.lines()[line].end;
      if (e > l.lines()[line].start && e <= n && TextBuffer::isLineBreak(text_.text()[e - 1])) --e;
      moveCaret(e, shift);
      return false;
    }
    case EditKey::Backspace:
    case EditKey::Delete: {
      if (!editable) return false;
      size_t b = selectionBegin(), e = selectionEnd();
      if (b == e) {
        if (k == EditKey::Backspace) {
          if (b == 0) return false;
          --b;
        } else {
          if (e >= n) return false;
          ++e;
        }
      }
      replaceRange(b, e, u"", newFormat_);
      showCaret();
      changed_ = true;
      return true;
    }
    case EditKey::Enter:
      if (!editable || !hasFlag(kFieldMultiline)) return false;
      return type(u"\r");
  }
  return false;
}

// ---- Layout and scrolling ------------------------------------------------------

const TextLayout& EditField::layout() {
  if (!layoutValid_) {
    params_.bounds = bounds_;
    params_.wordWrap = hasFlag(kFieldWordWrap);
    params_.password = hasFlag(kFieldPassword);
    params_.embedded = hasFlag(kFieldEmbedFonts);
    params_.fallback = newFormat_;
    layout_.layout(text_, *fonts_, params_);
    layoutValid_ = true;
    if (autoSize_ != AutoSize::None) applyAutoSize();
  }
  return layout_;
}

void EditField::applyAutoSize() {
  int32_t right = bounds_.xmin;
  for (const TextLine& line : layout_.lines()) right = std::max(right, line.x + line.width);
  const int32_t width = right - bounds_.xmin + newFormat_.paragraph.rightMargin;
  RECT r = bounds_;
  r.ymax = r.ymin + layout_.textHeight();
  if (!hasFlag(kFieldWordWrap)) {
    const int32_t old = bounds_.xmax - bounds_.xmin;
    if (autoSize_ == AutoSize::Left) r.xmax = r.xmin + width;
    else if (autoSize_ == AutoSize::Right) r.xmin = r.xmax - width;
    else {
      r.xmin = bounds_.xmin + (old - width) / 2;
      r.xmax = r.xmin + width;
    }
  }
  if (r.xmin == bounds_.xmin && r.xmax == bounds_.xmax && r.ymax == bounds_.ymax) return;
  bounds_ = r;
  params_.bounds = r;
  // Alignment depends on the width just found.
  layout_.layout(text_, *fonts_, params_);
  touch();
}

int32_t EditField::visibleLines(int32_t top) {
  const auto& lines = layout().lines();
  const int32_t height = bounds_.ymax - bounds_.ymin;
  int32_t count = 0;
  int64_t used = 0;
  for (size_t k = static_cast<size_t>(std::max(0, top)); k < lines.size(); ++k) {
    used += lines[k].ascent + lines[k].descent;
    if (used > height && count > 0) break;
    used += lines[k].leading;
    ++count;
  }
  return std::max(1, count);
}

int32_t EditField::maxScroll() {
  const auto& lines = layout().lines();
  long last = static_cast<long>(lines.size()) - 1;
  if (hasFlag(kFieldReadOnly) && last > 0 && lines[static_cast<size_t>(last)].start == lines[static_cast<size_t>(last)].end)
    --last;
  const int32_t height = bounds_.ymax - bounds_.ymin;
  long top = last;
  int64_t used = lines[static_cast<size_t>(last)].ascent + lines[static_cast<size_t>(last)].descent;
  while (top > 0) {
    const TextLine& above = lines[static_cast<size_t>(top - 1)];
    const int64_t next = used + above.height();
    if (next > height) break;
    used = next;
    --top;
  }
  return static_cast<int32_t>(std::clamp<long>(top, 0, last));
}

int32_t EditField::bottomScroll() { return topLine_ + visibleLines(topLine_); }

void EditField::setScroll(int32_t topLine) {
  const int32_t t = std::clamp(topLine, 0, maxScroll());
  if (t == topLine_) return;
  topLine_ = t;
  scrolled_ = true;
  touch();
}

int32_t EditField::maxHScroll() {
  if (hasFlag(kFieldWordWrap)) return 0;
  return std::max(0, layout().textWidth() - (bounds_.xmax - bounds_.xmin));
}

void EditField::setHScroll(int32_t twips) {
  int32_t h = std::clamp(twips, 0, maxHScroll());
  if (hasFlag(kFieldWordWrap) || (hasFlag(kFieldNoSelect) && !hasFlag(kFieldBackground))) h = 0;
  if (h == hscroll_) return;
  hscroll_ = h;
  scrolled_ = true;
  touch();
}

void EditField::clampScroll() {
  const int32_t t = std::clamp(topLine_, 0, maxScroll());
  const int32_t h = std::clamp(hscroll_, 0, maxHScroll());
  if (t != topLine_ || h != hscroll_) scrolled_ = true;
  topLine_ = t;
  hscroll_ = h;
}

void EditField::showCaret() {
  const TextLayout& l = layout();
  const int32_t line = static_cast<int32_t>(l.lineOf(caret_));
  if (line < topLine_) setScroll(line);
  else if (line >= bottomScroll()) {
    int32_t top = topLine_;
    while (top < line && top + visibleLines(top) <= line) ++top;
    setScroll(top);
  }
  if (!hasFlag(kFieldWordWrap)) {
    const int32_t x = l.unitX(text_, *fonts_, params_, static_cast<size_t>(line), caret_) - bounds_.xmin;
    const int32_t width = bounds_.xmax - bounds_.xmin;
    if (x < hscroll_) setHScroll(x);
    else if (x > hscroll_ + width - 40) setHScroll(x - width + 40);
  }
}

size_t EditField::unitAt(int32_t x, int32_t y) {
  const TextLayout& l = layout();
  const auto& lines = l.lines();
  const int32_t base = lines[static_cast<size_t>(std::min<size_t>(topLine_, lines.size() - 1))].top;
  const int64_t at = int64_t{y} - bounds_.ymin + base;
  size_t line = static_cast<size_t>(std::min<size_t>(topLine_, lines.size() - 1));
  if (at < lines[line].top) {
    // Above the visible lines: stays on the top line.
  } else {
    while (line + 1 < lines.size() && at >= lines[line + 1].top) ++line;
  }
  return l.unitAtX(text_, *fonts_, params_, line, x + hscroll_);
}

void EditField::caretBox(int32_t& x, int32_t& top, int32_t& height) {
  const TextLayout& l = layout();
  const size_t line = l.lineOf(caret_);
  const TextLine& tl = l.lines()[line];
  const int32_t base = l.lines()[static_cast<size_t>(std::min<size_t>(topLine_, l.lines().size() - 1))].top;
  x = l.unitX(text_, *fonts_, params_, line, caret_) - hscroll_;
  top = bounds_.ymin + tl.top - base;
  height = tl.ascent + tl.descent;
}

void EditField::setCaretVisible(bool on) {
  if (on == caretVisible_) return;
  caretVisible_ = on;
  touch();
}

void EditField::setFocused(bool on) {
  if (on == focused_) return;
  focused_ = on;
  caretVisible_ = on;
  touch();
}

}  // namespace kivra
