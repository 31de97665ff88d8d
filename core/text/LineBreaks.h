#pragma once
// Where word wrap may end a line: between which two characters a break is
// allowed. Movies of version 6 and later follow one rule over UTF-16 text;
// older movies use sets of system code-page characters when the field's font
// is double-byte, and otherwise break only after a space or a hyphen.
#include <cstdint>

namespace kivra {

class CodePage;

class LineBreakRule {
 public:
  // The four sets both rules test.
  enum class Set : uint8_t { NoBreakAfter, NoBreakBefore, Prefix, Postfix };

  // Movies of version 6 and later: the Unicode rule.
  static LineBreakRule unicode();
  // Older movies: the double-byte sets, used when the font is double-byte
  // and the code page is (`page->multibyte()`) and one of the two characters
  // is not ASCII; else space/hyphen only. `page` must outlive the rule.
  static LineBreakRule older(bool doubleByteFont, const CodePage* page);

  // Whether a line may break between `before` and `after` (UTF-16 units;
  // older text is converted to code-page codes through the page).
  bool allowed(char16_t before, char16_t after) const;

  // Membership in the sets, exposed for the tests of the tables.
  static bool inUnicodeSet(Set set, char16_t c);
  // `code`: a single byte, or lead byte × 256 + trail byte.
  static bool inDoubleByteSet(Set set, uint16_t code);

 private:
  enum class Kind : uint8_t { Unicode, DoubleByte, SpaceOrHyphen };
  LineBreakRule(Kind kind, const CodePage* page) : kind_(kind), page_(page) {}

  Kind kind_;
  const CodePage* page_;
};

}  // namespace kivra
