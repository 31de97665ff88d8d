#pragma once
// An edit text field without its place on the display: flags, colours,
// text and formats, layout, scrolling, the selection and the insertion
// rules for typing and for scripts. The movie layer places it, draws it and
// binds it to a variable; the script layer reads and writes its properties.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/text/EditTextTag.h"
#include "core/text/LineBreaks.h"
#include "core/text/TextBuffer.h"
#include "core/text/TextLayout.h"

namespace kivra {

class RestrictSet;


enum class AutoSize : uint8_t { None, Left, Center, Right };

// Keys an input field handles itself.
enum class EditKey : uint8_t { Left, Right, Up, Down, Home, End, PageUp, PageDown, Backspace, Delete, Enter };

class EditField {
 public:
  EditField(std::shared_ptr<TextFonts> fonts, int version);
  ~EditField();

  int version() const { return version_; }
  uint32_t flags() const { return flags_; }
  bool hasFlag(uint32_t f) const { return (flags_ & f) != 0; }
  void setFlag(uint32_t f, bool on);
  void setFlags(uint32_t flags);

  const RECT& bounds() const { return bounds_; }
  void setBounds(const RECT& r);
  uint32_t borderColor() const { return borderColor_; }
  uint32_t backgroundColor() const { return backgroundColor_; }
  void setBorderColor(uint32_t argb);
  void setBackgroundColor(uint32_t argb);
  // Sets the colour of the whole text and of new text.
  void setTextColor(uint32_t argb);
  uint32_t textColor() const { return newFormat_.chars.color; }

  // 0: unlimited; counts only for typing.
  uint32_t maxChars() const { return maxChars_; }
  void setMaxChars(uint32_t n) { maxChars_ = n; }
  AutoSize autoSize() const { return autoSize_; }
  void setAutoSize(AutoSize a);
  int32_t tabIndex() const { return tabIndex_; }  // -1: unset
  void setTabIndex(int32_t i) { tabIndex_ = i; }
  bool condenseWhite() const { return condenseWhite_; }
  void setCondenseWhite(bool on) { condenseWhite_ = on; }
  const std::string& variable() const { return variable_; }
  void setVariable(std::string name) { variable_ = std::move(name); }

  // Restriction on typed characters; null: none.
  const RestrictSet* restrict() const { return restrict_.get(); }
  void setRestrict(std::optional<std::u16string> source);

  // The format the field started with (from its tag or a default), and the
  // one new text takes.
  const RunFormat& initialFormat() const { return initialFormat_; }
  void setInitialFormat(const RunFormat& f);
  const RunFormat& newTextFormat() const { return newFormat_; }
  void setNewTextFormat(const RunFormat& f) { newFormat_ = f; }

  // Where word wrap may break lines (by default the rule of the version:
  // older movies break only after spaces and hyphens).
  void setBreakRule(const LineBreakRule& rule);

  // ---- Text
  const TextBuffer& buffer() const { return text_; }
  const std::u16string& text() const { return text_.text(); }
  // Replaces the whole text, as a script does (no restrict, no maxChars).
  void setText(std::u16string_view units);
  // Replaces the selection, as a script does.
  void replaceSelection(std::u16string_view units);
  // Typed text: restrict set, case swap and maxChars apply. True when the
  // text changed.
  bool type(std::u16string_view units);
  // Replaces [begin, end) with `units` already vetted, in `format`; the
  // caret goes after them. For the HTML reader and the edit commands.
  void replaceRange(size_t begin, size_t end, std::u16string_view units, const RunFormat& format);
  void clearText();
  // Replaces the text and its formats (HTML text, made elsewhere).
  void setBuffer(TextBuffer text);
  // Format changes (setTextFormat); relayouts.
  void applyFormat(size_t begin, size_t end, const TextFormatSpec& spec);

  // ---- Selection (unit indices; begin may follow end after a backward drag)
  size_t selectionBegin() const { return std::min(anchor_, caret_); }
  size_t selectionEnd() const { return std::max(anchor_, caret_); }
  size_t caret() const { return caret_; }
  void setSelection(size_t anchor, size_t caret);
  void selectAll() { setSelection(0, text_.size()); }
  std::u16string selectedText() const;
  // The word around unit `i` (double-click).
  void selectWord(size_t i);
  // Editing keys of an input field; true when the text changed.
  bool key(EditKey k, bool shift);

  // ---- Layout and scrolling
  const TextLayout& layout();
  const LayoutParams& layoutParams() const { return params_; }
  TextFonts& fonts() { return *fonts_; }
  int32_t scroll() const { return topLine_; }  // 0-based top line
  int32_t maxScroll();                         // 0-based
  int32_t bottomScroll();                      // 1-based, as scripts read it
  void setScroll(int32_t topLine);             // clamped
  int32_t hscroll() const { return hscroll_; }
  int32_t maxHScroll();
  void setHScroll(int32_t twips);
  // Scrolls so that the caret shows.
  void showCaret();
  // The unit under a point in field coordinates (twips).
  size_t unitAt(int32_t x, int32_t y);
  // The caret's place (twips, field coordinates): x, top and height.
  void caretBox(int32_t& x, int32_t& top, int32_t& height);

  // ---- Change tracking for the layers above
  // Bumped whenever something drawn changes.
  uint64_t revision() const { return revision_; }
  void touch() { ++revision_; }
  // Set by typing and edit keys (onChanged), and by scroll changes
  // (onScroller); cleared by the reader.
  bool takeChanged() { return std::exchange(changed_, false); }
  bool takeScrolled() { return std::exchange(scrolled_, false); }

  // What a bound variable last gave the field (kept by the binding).
  std::string& boundValue() { return boundValue_; }
  bool boundOnce() const { return boundOnce_; }
  void setBoundOnce() { boundOnce_ = true; }

  // The caret shows (toggled by the frame clock while focused).
  bool caretVisible() const { return caretVisible_; }
  void setCaretVisible(bool on);
  bool focused() const { return focused_; }
  void setFocused(bool on);

 private:
  // Which of `units` may go in (embedded glyphs, restrict, case swap).
  std::u16string vet(std::u16string_view units, bool typed);
  void changedText(size_t begin, size_t removed, size_t added);
  void clampScroll();
  void applyAutoSize();
  void moveCaret(size_t to, bool extend);
  // Lines visible from `top` (at least 1).
  int32_t visibleLines(int32_t top);

  std::shared_ptr<TextFonts> fonts_;
  int version_ = 6;
  uint32_t flags_ = 0;
  RECT bounds_;
  uint32_t borderColor_ = 0xFF000000;
  uint32_t backgroundColor_ = 0xFFFFFFFF;
  uint32_t maxChars_ = 0;
  AutoSize autoSize_ = AutoSize::None;
  int32_t tabIndex_ = -1;
  bool condenseWhite_ = false;
  std::string variable_;
  std::shared_ptr<const RestrictSet> restrict_;
  RunFormat initialFormat_;
  RunFormat newFormat_;
  TextBuffer text_;
  TextLayout layout_;
  LayoutParams params_;
  LineBreakRule breakRule_;
  bool layoutValid_ = false;
  int32_t topLine_ = 0;
  int32_t hscroll_ = 0;
  size_t anchor_ = 0;
  size_t caret_ = 0;
  uint64_t revision_ = 1;
  bool changed_ = false;
  bool scrolled_ = false;
  std::string boundValue_;
  bool boundOnce_ = false;
  bool caretVisible_ = false;
  bool focused_ = false;
};

}  // namespace kivra
