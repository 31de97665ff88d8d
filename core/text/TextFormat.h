#pragma once
// The formats of a field's text. Every character has a character format
// (font, size, colour, styles, link) and a paragraph format (alignment,
// margins, indents, tabs, bullet); a paragraph is laid out with the
// paragraph format of its first character. Sizes and distances are twips.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

enum class TextAlign : uint8_t { Left = 0, Right = 1, Center = 2 };

struct CharFormat {
  std::string font = "Times New Roman";  // UTF-8
  int32_t size = 240;                     // twips; the magnitude counts
  uint32_t color = 0xFF000000;            // ARGB
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::string url;
  std::string target;
  bool operator==(const CharFormat&) const = default;
};

struct ParagraphFormat {
  TextAlign align = TextAlign::Left;
  int32_t leftMargin = 0;
  int32_t rightMargin = 0;
  int32_t indent = 0;
  int32_t leading = 0;
  int32_t blockIndent = 0;
  bool bullet = false;
  std::vector<int32_t> tabStops;  // pixels from the left margin
  bool operator==(const ParagraphFormat&) const = default;
};

// What one character carries.
struct RunFormat {
  CharFormat chars;
  ParagraphFormat paragraph;
  bool operator==(const RunFormat&) const = default;
};

// A format as scripts exchange it (`TextFormat`): every property may be
// unset, which reads as null (not given, or mixed over a range).
struct TextFormatSpec {
  bool hasFont = false, hasSize = false, hasColor = false, hasUrl = false, hasTarget = false;
  bool hasBold = false, hasItalic = false, hasUnderline = false, hasAlign = false;
  bool hasLeftMargin = false, hasRightMargin = false, hasIndent = false, hasLeading = false;
  bool hasBlockIndent = false, hasTabStops = false, hasBullet = false;
  RunFormat value;

  // Everything set, from one character's format.
  static TextFormatSpec of(const RunFormat& f);
  // Unsets what differs from `f` (merging a range).
  void intersect(const RunFormat& f);
  // Writes what is set into `f`.
  void applyTo(RunFormat& f) const;
};

inline TextFormatSpec TextFormatSpec::of(const RunFormat& f) {
  TextFormatSpec s;
  s.hasFont = s.hasSize = s.hasColor = s.hasUrl = s.hasTarget = true;
  s.hasBold = s.hasItalic = s.hasUnderline = s.hasAlign = true;
  s.hasLeftMargin = s.hasRightMargin = s.hasIndent = s.hasLeading = true;
  s.hasBlockIndent = s.hasTabStops = s.hasBullet = true;
  s.value = f;
  return s;
}

inline void TextFormatSpec::intersect(const RunFormat& f) {
  const CharFormat& c = f.chars;
  const ParagraphFormat& p = f.paragraph;
  hasFont = hasFont && value.chars.font == c.font;
  hasSize = hasSize && value.chars.size == c.size;
  hasColor = hasColor && value.chars.color == c.color;
  hasUrl = hasUrl && value.chars.url == c.url;
  hasTarget = hasTarget && value.chars.target == c.target;
  hasBold = hasBold && value.chars.bold == c.bold;
  hasItalic = hasItalic && value.chars.italic == c.italic;
  hasUnderline = hasUnderline && value.chars.underline == c.underline;
  hasAlign = hasAlign && value.paragraph.align == p.align;
  hasLeftMargin = hasLeftMargin && value.paragraph.leftMargin == p.leftMargin;
  hasRightMargin = hasRightMargin && value.paragraph.rightMargin == p.rightMargin;
  hasIndent = hasIndent && value.paragraph.indent == p.indent;
  hasLeading = hasLeading && value.paragraph.leading == p.leading;
  hasBlockIndent = hasBlockIndent && value.paragraph.blockIndent == p.blockIndent;
  hasTabStops = hasTabStops && value.paragraph.tabStops == p.tabStops;
  hasBullet = hasBullet && value.paragraph.bullet == p.bullet;
}

inline void TextFormatSpec::applyTo(RunFormat& f) const {
  if (hasFont) f.chars.font = value.chars.font;
  if (hasSize) f.chars.size = value.chars.size;
  if (hasColor) f.chars.color = value.chars.color;
  if (hasUrl) f.chars.url = value.chars.url;
  if (hasTarget) f.chars.target = value.chars.target;
  if (hasBold) f.chars.bold = value.chars.bold;
  if (hasItalic) f.chars.italic = value.chars.italic;
  if (hasUnderline) f.chars.underline = value.chars.underline;
  if (hasAlign) f.paragraph.align = value.paragraph.align;
  if (hasLeftMargin) f.paragraph.leftMargin = value.paragraph.leftMargin;
  if (hasRightMargin) f.paragraph.rightMargin = value.paragraph.rightMargin;
  if (hasIndent) f.paragraph.indent = value.paragraph.indent;
  if (hasLeading) f.paragraph.leading = value.paragraph.leading;
  if (hasBlockIndent) f.paragraph.blockIndent = value.paragraph.blockIndent;
  if (hasTabStops) f.paragraph.tabStops = value.paragraph.tabStops;
  if (hasBullet) f.paragraph.bullet = value.paragraph.bullet;
}

}  // namespace kivra
