// Fields without a display: text runs, layout (full and incremental),
// scrolling, the insertion rules and editing keys, on a font whose every
// glyph is half an em wide.
#include <gtest/gtest.h>

#include <random>

#include "core/text/EditField.h"

namespace kivra {
namespace {

class HalfEmFace : public TextFace {
 public:
  explicit HalfEmFace(std::u16string missing = u"") : missing_(std::move(missing)) {}
  int32_t advance(char16_t c) override { return hasGlyph(c) ? 512 : 0; }
  bool hasGlyph(char16_t c) override { return missing_.find(c) == std::u16string::npos; }
  TextFaceMetrics metrics() override { return {800, 200, 24}; }

 private:
  std::u16string missing_;
};

class HalfEmFonts : public TextFonts {
 public:
  explicit HalfEmFonts(std::u16string missing = u"") : face_(std::move(missing)) {}
  TextFace* face(const CharFormat&, bool) override { return &face_; }

 private:
  HalfEmFace face_;
};

RECT box(int32_t w, int32_t h) { return RECT{0, w, 0, h}; }

// 200-twip text: every unit is 100 twips wide, every line 199 high.
std::unique_ptr<EditField> makeField(int32_t w, int32_t h, uint32_t flags, std::u16string missing = u"") {
  auto f = std::make_unique<EditField>(std::make_shared<HalfEmFonts>(std::move(missing)), 6);
  RunFormat format;
  format.chars.size = 200;
  f->setInitialFormat(format);
  f->setBounds(box(w, h));
  f->setFlags(flags);
  return f;
}

std::vector<std::u16string> lineTexts(EditField& f) {
  std::vector<std::u16string> out;
  for (const TextLine& l : f.layout().lines()) out.push_back(f.text().substr(l.start, l.end - l.start));
  return out;
}

TEST(TextBufferTest, RunsFollowReplacementsAndRangesMergeFormats) {
  TextBuffer b;
  RunFormat plain, bold;
  bold.chars.bold = true;
  b.append(u"hello ", plain);
  b.append(u"bold", bold);
  b.append(u" world", plain);
  ASSERT_EQ(b.runs().size(), 3u);
  EXPECT_TRUE(b.formatAt(7, plain).chars.bold);
  // Replacing across the bold run's start: the new text takes its format,
  // the rest of the bold run moves with the text.
  b.replace(4, 7, u"XY", plain);
  EXPECT_EQ(b.text(), u"hellXYold world");
  EXPECT_FALSE(b.formatAt(5, plain).chars.bold);
  EXPECT_TRUE(b.formatAt(6, plain).chars.bold);
  EXPECT_TRUE(b.formatAt(8, plain).chars.bold);
  EXPECT_FALSE(b.formatAt(9, plain).chars.bold);
  TextFormatSpec mixed = b.formatOf(5, 8, plain);
  EXPECT_FALSE(mixed.hasBold);
  EXPECT_TRUE(mixed.hasSize);
  EXPECT_TRUE(b.formatOf(6, 9, plain).value.chars.bold);
  // Paragraph properties cover whole paragraphs.
  b.replace(0, 0, u"top\r", plain);
  TextFormatSpec right;
  right.hasAlign = true;
  right.value.paragraph.align = TextAlign::Right;
  b.applyFormat(6, 7, right);
  EXPECT_EQ(b.formatAt(3, plain).paragraph.align, TextAlign::Left);
  EXPECT_EQ(b.formatAt(4, plain).paragraph.align, TextAlign::Right);
  EXPECT_EQ(b.formatAt(b.size() - 1, plain).paragraph.align, TextAlign::Right);
  // Deleting everything leaves no runs.
  b.replace(0, b.size(), u"", plain);
  EXPECT_TRUE(b.runs().empty());
}

TEST(TextLayoutTest, WordWrapBreaksAfterSpacesAndCutsLongWords) {
  auto f = makeField(1000, 2000, kFieldWordWrap | kFieldMultiline);
  f->setText(u"aaa bbb ccc dddddddddddddd\ree");
  // Ten units fit a line; spaces after a break stay on its line.
  EXPECT_EQ(lineTexts(*f), (std::vector<std::u16string>{u"aaa bbb ", u"ccc ", u"dddddddddd", u"dddd\r", u"ee"}));
  const auto& lines = f->layout().lines();
  EXPECT_EQ(lines[0].width, 800);
  EXPECT_EQ(lines[1].top, 199);  // 156 + 39 + 4
  EXPECT_TRUE(lines[4].paragraphStart);
  EXPECT_FALSE(lines[2].paragraphStart);
  // Without word wrap only line breaks end lines.
  f->setFlag(kFieldWordWrap, false);
  EXPECT_EQ(lineTexts(*f).size(), 2u);
  EXPECT_EQ(f->layout().textWidth(), 2600);
  EXPECT_EQ(f->maxHScroll(), 1600);
  // A final line break leaves an empty last line for the caret.
  f->setText(u"one\r");
  EXPECT_EQ(lineTexts(*f), (std::vector<std::u16string>{u"one\r", u""}));
}

TEST(TextLayoutTest, AlignmentIndentsAndTabs) {
  auto f = makeField(1000, 2000, kFieldMultiline);
  f->setText(u"ab\rcd\r\tx");
  TextFormatSpec s;
  s.hasAlign = s.hasIndent = s.hasLeftMargin = true;
  s.value.paragraph.align = TextAlign::Right;
  s.value.paragraph.indent = 100;
  s.value.paragraph.leftMargin = 40;
  f->applyFormat(0, 1, s);
  s.value.paragraph.align = TextAlign::Center;
  f->applyFormat(3, 4, s);
  const auto& lines = f->layout().lines();
  // Right: start 140, usable to 1000, width 200 -> 1000 - 200 - 1.
  EXPECT_EQ(lines[0].x, 799);
  // Center: 140 + (860 - 200) / 2.
  EXPECT_EQ(lines[1].x, 470);
  // A tab without stops goes to the next multiple of four space widths.
  EXPECT_EQ(lines[2].width, 500);
}

// The field's incrementally updated lines equal a fresh layout of its text.
void expectSameAsFullLayout(EditField& f, int round) {
  TextLayout full;
  full.layout(f.buffer(), f.fonts(), f.layoutParams());
  const auto& a = f.layout().lines();
  const auto& c = full.lines();
  ASSERT_EQ(a.size(), c.size()) << "round " << round;
  for (size_t k = 0; k < a.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "round " << round << " line " << k);
    ASSERT_EQ(a[k].start, c[k].start);
    ASSERT_EQ(a[k].end, c[k].end);
    ASSERT_EQ(a[k].x, c[k].x);
    ASSERT_EQ(a[k].width, c[k].width);
    ASSERT_EQ(a[k].top, c[k].top);
    ASSERT_EQ(a[k].paragraphStart, c[k].paragraphStart);
  }
}

TEST(TextLayoutTest, IncrementalUpdatesMatchFullLayout) {
  auto f = makeField(1500, 2000, kFieldWordWrap | kFieldMultiline);
  std::mt19937 rng(7);
  const std::u16string alphabet = u"abc de\rf-g  ";
  std::u16string text;
  for (int i = 0; i < 600; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
  f->setText(text);
  for (int round = 0; round < 300; ++round) {
    const size_t n = f->text().size();
    const size_t b = n ? rng() % (n + 1) : 0;
    const size_t e = std::min(n, b + rng() % 4);
    std::u16string ins;
    for (size_t k = rng() % 4; k > 0; --k) ins.push_back(alphabet[rng() % alphabet.size()]);
    f->replaceRange(b, e, ins, f->newTextFormat());
    ASSERT_NO_FATAL_FAILURE(expectSameAsFullLayout(*f, round));
  }
}

// A paragraph is laid out in the format of its first unit even where later
// units (typed in another format) differ; edits deep inside long
// paragraphs must find that unit.
TEST(TextLayoutTest, IncrementalUpdatesKeepTheParagraphFormatOfItsFirstUnit) {
  auto f = makeField(1500, 2000, kFieldWordWrap | kFieldMultiline);
  std::mt19937 rng(11);
  const std::u16string alphabet = u"abc de f-g  ";
  std::u16string text;
  for (int p = 0; p < 4; ++p) {
    for (int i = 0; i < 300; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
    text.push_back(u'\r');
  }
  f->setText(text);
  TextFormatSpec s;
  s.hasAlign = s.hasIndent = s.hasLeftMargin = true;
  s.value.paragraph.align = TextAlign::Right;
  s.value.paragraph.indent = 300;
  s.value.paragraph.leftMargin = 200;
  f->applyFormat(301, 302, s);
  s.value.paragraph.align = TextAlign::Center;
  f->applyFormat(903, 904, s);
  for (int round = 0; round < 300; ++round) {
    const size_t n = f->text().size();
    // Deleted and typed line breaks join and split the paragraphs.
    const size_t b = n ? rng() % (n + 1) : 0;
    const size_t e = std::min(n, b + rng() % 3);
    std::u16string ins;
    for (size_t k = rng() % 3; k > 0; --k) ins.push_back(rng() % 40 ? alphabet[rng() % alphabet.size()] : u'\r');
    f->replaceRange(b, e, ins, f->newTextFormat());
    ASSERT_NO_FATAL_FAILURE(expectSameAsFullLayout(*f, round));
  }
  // The right-aligned paragraph kept its format through the edits.
  EXPECT_GT(f->layout().lines()[f->layout().lineOf(320)].x, 200);
}

TEST(EditFieldTest, ScrollingByLines) {
  // 199-twip lines in a 650-twip box: three lines show.
  auto f = makeField(1000, 650, kFieldMultiline);
  f->setText(u"1\r2\r3\r4\r5\r6\r7");
  EXPECT_EQ(f->maxScroll(), 4);
  EXPECT_EQ(f->bottomScroll(), 3);
  f->setScroll(99);
  EXPECT_EQ(f->scroll(), 4);
  EXPECT_EQ(f->bottomScroll(), 7);
  EXPECT_TRUE(f->takeScrolled());
  // Shorter text pulls the top line back.
  f->setText(u"1\r2\r3\r4");
  EXPECT_EQ(f->scroll(), 1);
  // A read-only field does not count an empty last line.
  f->setText(u"1\r2\r3\r");
  EXPECT_EQ(f->maxScroll(), 1);
  f->setFlag(kFieldReadOnly, true);
  EXPECT_EQ(f->maxScroll(), 0);
}

TEST(EditFieldTest, TypingRulesAndEditingKeys) {
  // Embedded glyphs without "b" or "Q": a typed "b" becomes "B", "q" stays.
  auto f = makeField(3000, 1000, kFieldEmbedFonts, u"bQ");
  f->setMaxChars(5);
  EXPECT_TRUE(f->type(u"abq"));
  EXPECT_EQ(f->text(), u"aBq");
  EXPECT_TRUE(f->takeChanged());
  // maxChars cuts typing only.
  EXPECT_TRUE(f->type(u"xyz"));
  EXPECT_EQ(f->text(), u"aBqxy");
  EXPECT_FALSE(f->type(u"z"));
  f->replaceSelection(u"zz");
  EXPECT_EQ(f->text(), u"aBqxyzz");
  // Scripts in version 6 keep what has no glyph.
  f->setText(u"bQ");
  EXPECT_EQ(f->text(), u"bQ");
  // Keys: shift-selection, backspace over it, Enter only when multiline.
  f->setText(u"hello world");
  f->setSelection(11, 11);
  f->key(EditKey::Home, false);
  EXPECT_EQ(f->caret(), 0u);
  for (int i = 0; i < 6; ++i) f->key(EditKey::Right, true);
  EXPECT_EQ(f->selectedText(), u"hello ");
  EXPECT_TRUE(f->key(EditKey::Backspace, false));
  EXPECT_EQ(f->text(), u"world");
  EXPECT_FALSE(f->key(EditKey::Enter, false));
  f->setMaxChars(0);
  f->setFlag(kFieldMultiline, true);
  EXPECT_TRUE(f->key(EditKey::Enter, false));
  EXPECT_EQ(f->text(), u"\rworld");
  f->selectWord(3);
  EXPECT_EQ(f->selectedText(), u"world");
  // Read-only fields move the caret but take no edits.
  f->setFlag(kFieldReadOnly, true);
  EXPECT_FALSE(f->key(EditKey::Delete, false));
}

}  // namespace
}  // namespace kivra
