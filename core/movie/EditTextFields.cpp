#include "core/movie/EditTextFields.h"

#include <algorithm>

#include "core/format/TextEncoding.h"
#include "core/movie/Character.h"
#include "core/movie/DisplayObject.h"
#include "core/movie/MovieFonts.h"
#include "core/movie/TimelineContext.h"
#include "core/movie/TimelinePlayer.h"
#include "core/text/EditTextTag.h"
#include "core/text/HtmlText.h"

namespace kivra {

namespace {

uint32_t argbOf(const Rgba& c) {
  return uint32_t{c.a} << 24 | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

// The font a field names: its name and, unless the field is HTML, its
// style. A missing font leaves the default (a system font).
void fontFormat(TimelinePlayer& owner, uint16_t fontId, bool html, CharFormat& out) {
  Character* font = owner.dictionary().resolve(fontId);
  const Character::FontPart* f = font ? std::get_if<Character::FontPart>(&font->part) : nullptr;
  if (!f || f->name.empty()) return;
  out.font = f->name;
  if (html) return;
  if (font->tagCode == 48) {
    out.bold = f->flags & 0x01;
    out.italic = f->flags & 0x02;
  } else if (f->info && f->infoLength >= 1 && size_t{f->info[0]} + 2 <= f->infoLength) {
    const uint8_t infoFlags = f->info[1 + f->info[0]];
    out.bold = infoFlags & 0x02;
    out.italic = infoFlags & 0x04;
  }
}

std::shared_ptr<TextFonts> fontsOf(TimelinePlayer& owner) {
  return owner.fonts().textFonts();
}

}  // namespace

std::u16string fieldUnits(std::string_view text, int version, const CodePage& page) {
  std::u16string out;
  text::widen(text, version < 6, page, out);
  return out;
}

std::string fieldNarrow(std::u16string_view units, int version, const CodePage& page) {
  return text::narrow(units, version < 6, page);
}

std::unique_ptr<EditField> makeTagField(const Character& c, TimelinePlayer& owner, int version) {
  auto field = std::make_unique<EditField>(fontsOf(owner), version);
  EditTextDefinition def;
  if (c.tagBody && c.tagLength >= 2) (void)parseEditTextTag(c.tagBody + 2, c.tagLength - 2, def);
  else def.bounds = c.bounds;
  const bool html = def.flags & kFieldHtml;
  RunFormat format;
  if (def.flags & kFieldHasFont) {
    fontFormat(owner, def.fontId, html, format.chars);
    format.chars.size = def.height;
  }
  if (def.flags & kFieldHasColor) format.chars.color = argbOf(def.color);
  if (def.flags & kFieldHasLayout) {
    ParagraphFormat& p = format.paragraph;
    if (!html) p.align = def.align <= 2 ? static_cast<TextAlign>(def.align) : TextAlign::Left;
    p.leftMargin = def.leftMargin;
    p.rightMargin = def.rightMargin;
    p.indent = def.indent;
    p.leading = def.leading;
  }
  field->setInitialFormat(format);
  if (version < 6) {
    TextFace* face = field->fonts().face(format.chars, def.flags & kFieldEmbedFonts);
    field->setBreakRule(LineBreakRule::older(face && face->doubleByte(), &owner.context().codePage()));
  }
  field->setBounds(def.bounds);
  // The tag's own bits (has font, has text...) are kept with the others.
  field->setFlags(def.flags);
  if (def.flags & kFieldAutoSize) field->setAutoSize(AutoSize::Left);
  if (def.flags & kFieldHasMaxLength) field->setMaxChars(def.maxLength);
  field->setVariable(def.variable);
  if (def.flags & kFieldHasText) setFieldText(*field, def.initialText, html, owner.context().codePage());
  return field;
}

std::unique_ptr<EditField> makeScriptField(TimelinePlayer& owner, int version, const RECT& bounds) {
  auto field = std::make_unique<EditField>(fontsOf(owner), version);
  field->setInitialFormat(RunFormat{});
  field->setBounds(bounds);
  return field;
}

namespace {
// White space between tags collapses to one space (condenseWhite).
std::string condensed(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  bool inTag = false, space = false;
  for (char c : html) {
    if (c == '<') inTag = true;
    if (!inTag && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      space = true;
      continue;
    }
    if (space) out.push_back(' ');
    space = false;
    out.push_back(c);
    if (c == '>') inTag = false;
  }
  if (space) out.push_back(' ');
  return out;
}
}  // namespace

void setFieldText(EditField& field, std::string_view text, bool html, const CodePage& page) {
  if (!html) {
    field.setText(fieldUnits(text, field.version(), page));
    return;
  }
  std::string squeezed;
  if (field.condenseWhite()) {
    squeezed = condensed(text);
    text = squeezed;
  }
  TextBuffer parsed;
  HtmlOptions options;
  options.version = field.version();
  options.codePage = &page;
  RunFormat initial = field.initialFormat();
  initial.paragraph.align = TextAlign::Left;
  parseHtml(text, initial, options, parsed);
  field.setBuffer(std::move(parsed));
}

std::string fieldText(EditField& field, bool html, const CodePage& page) {
  if (!html) return fieldNarrow(field.text(), field.version(), page);
  HtmlOptions options;
  options.version = field.version();
  options.codePage = &page;
  return generateHtml(field.buffer(), 0, field.buffer().size(), options);
}

void drawField(EditField& field, MovieTextFonts& fonts, TextDraw& out) {
  out.clear();
  const RECT b = field.bounds();
  out.clip = b;
  if (field.hasFlag(kFieldBackground)) out.under.push_back(TextDrawRect{b, field.backgroundColor()});
  const TextLayout& layout = field.layout();
  const LayoutParams& params = field.layoutParams();
  const TextBuffer& text = field.buffer();
  const auto& lines = layout.lines();
  const size_t top = std::min<size_t>(static_cast<size_t>(std::max(0, field.scroll())), lines.size() - 1);
  const int32_t base = lines[top].top;
  const int32_t height = b.ymax - b.ymin;
  const bool embedded = field.hasFlag(kFieldEmbedFonts);
  const bool password = field.hasFlag(kFieldPassword);
  const bool showSelection = field.focused() && !field.hasFlag(kFieldNoSelect);
  const size_t selB = field.selectionBegin(), selE = field.selectionEnd();
  const int32_t dx = -field.hscroll();
  std::vector<int32_t> xs;
  for (size_t li = top; li < lines.size(); ++li) {
    const TextLine& line = lines[li];
    const int32_t y0 = line.top - base;
    if (li > top && y0 + line.ascent + line.descent > height) break;
    layout.unitPositions(text, fonts, params, li, xs);
    const int32_t baseline = b.ymin + y0 + line.ascent;
    int run = -1;
    size_t runEnd = 0;
    const RunFormat* format = &field.newTextFormat();
    MovieTextFace* face = nullptr;
    if (line.paragraphStart && line.start < text.size()) {
      // A bullet paragraph's first line has its bullet in the indent.
      const RunFormat& first = text.formatAt(line.start, field.newTextFormat());
      TextDrawGlyph g;
      MovieTextFace* bulletFace = first.paragraph.bullet ? fonts.face(first.chars, embedded) : nullptr;
      if (bulletFace && bulletFace->glyphOf(u'\u2022', g)) {
        g.x = line.x - 540 + dx;
        g.y = baseline;
        g.size = std::abs(first.chars.size);
        g.color = first.chars.color | 0xFF000000;
        g.code = u'\u2022';
        out.glyphs.push_back(g);
      }
    }
    for (size_t k = line.start; k < line.end && k < text.size(); ++k) {
      if (run < 0 || k >= runEnd) {
        run = text.runAt(k);
        runEnd = text.runEnd(static_cast<size_t>(run));
        format = &text.format(text.runs()[static_cast<size_t>(run)].format);
        face = fonts.face(format->chars, embedded);
      }
      const char16_t c = text.text()[k];
      if (TextBuffer::isLineBreak(c)) continue;
      const int32_t x0 = xs[k - line.start] + dx, x1 = xs[k - line.start + 1] + dx;
      const bool selected = showSelection && k >= selB && k < selE;
      if (selected)
        out.under.push_back(TextDrawRect{RECT{x0, x1, b.ymin + y0, b.ymin + y0 + line.ascent + line.descent}, 0xFF000000});
      uint32_t color = format->chars.color | 0xFF000000;
      if (selected) color = 0xFFFFFFFF;
      if (format->chars.underline && c != u'\t') {
        const int32_t thick = std::max(20, std::abs(format->chars.size) / 16);
        out.over.push_back(TextDrawRect{RECT{x0, x1, baseline + 20, baseline + 20 + thick}, color});
      }
      if (!face || c == u' ' || c == u'\t') continue;
      TextDrawGlyph g;
      if (!face->glyphOf(password ? u'*' : c, g)) continue;
      g.x = x0;
      g.y = baseline;
      g.size = std::abs(format->chars.size);
      g.color = color;
      g.code = password ? u'*' : c;
      out.glyphs.push_back(g);
    }
  }
  if (field.focused() && field.caretVisible() && selB == selE && !field.hasFlag(kFieldReadOnly)) {
    int32_t x, y, h;
    field.caretBox(x, y, h);
    if (x >= b.xmin - 20 && x <= b.xmax && y >= b.ymin - h && y < b.ymax)
      out.over.push_back(TextDrawRect{RECT{x, x + 20, y, y + h}, field.newTextFormat().chars.color | 0xFF000000});
  }
  if (field.hasFlag(kFieldBorder)) {
    const uint32_t c = field.borderColor();
    out.over.push_back(TextDrawRect{RECT{b.xmin, b.xmax, b.ymin, b.ymin + 20}, c});
    out.over.push_back(TextDrawRect{RECT{b.xmin, b.xmax, b.ymax - 20, b.ymax}, c});
    out.over.push_back(TextDrawRect{RECT{b.xmin, b.xmin + 20, b.ymin + 20, b.ymax - 20}, c});
    out.over.push_back(TextDrawRect{RECT{b.xmax - 20, b.xmax, b.ymin + 20, b.ymax - 20}, c});
  }
}

void syncFieldBox(DisplayObject& object) {
  if (EditField* f = object.editField()) object.setOwnBounds(f->bounds());
}

}  // namespace kivra
