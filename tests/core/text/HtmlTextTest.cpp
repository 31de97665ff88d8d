#include "core/text/HtmlText.h"

#include <gtest/gtest.h>

#include <string>

namespace kivra {
namespace {

RunFormat arial() {
  RunFormat f;
  f.chars.font = "Arial";
  f.chars.size = 240;
  f.chars.color = 0xFF000000;
  return f;
}

TextBuffer parse(std::string_view html, int version = 6, const RunFormat& initial = arial()) {
  TextBuffer b;
  HtmlOptions o;
  o.version = version;
  parseHtml(html, initial, o, b);
  return b;
}

std::string generate(const TextBuffer& b, int version = 6) {
  HtmlOptions o;
  o.version = version;
  return generateHtml(b, 0, b.size(), o);
}

const RunFormat& at(const TextBuffer& b, size_t i) { return b.formatAt(i, arial()); }

TEST(HtmlTextTest, ReadingFollowsTheTagsAndTheirStack) {
  // Bold then plain: two runs, and the second is the initial format.
  TextBuffer b = parse("<b>bold</b> text");
  EXPECT_EQ(b.text(), u"bold text");
  ASSERT_EQ(b.runs().size(), 2u);
  EXPECT_TRUE(at(b, 0).chars.bold);
  EXPECT_EQ(at(b, 4), arial());

  // Sizes: relative to the magnitude, clamped to 1..127 points.
  RunFormat twelve = arial();
  twelve.chars.size = -240;
  b = parse("<font size=\"+2\">a</font><FONT SIZE='200'>b</FONT><font size=\"-50\">c</font><font size=\"x\">d</font>",
            6, twelve);
  EXPECT_EQ(at(b, 0).chars.size, 280);
  EXPECT_EQ(at(b, 1).chars.size, 2540);
  EXPECT_EQ(at(b, 2).chars.size, 20);
  EXPECT_EQ(at(b, 3).chars.size, -240);  // not a number: unchanged

  // Stray closing tags change nothing; a closing tag that is not on top
  // leaves the stack (and the format) alone.
  RunFormat right = arial();
  right.paragraph.align = TextAlign::Right;
  b = parse("a</i></p></li><i>b</b>c</i>d", 6, right);
  EXPECT_EQ(b.text(), u"abcd");
  EXPECT_EQ(at(b, 0), arial());  // alignment reset to left
  EXPECT_TRUE(at(b, 2).chars.italic);
  EXPECT_EQ(at(b, 3), arial());

  // Breaks in every spelling, with whitespace before "/>" and ">".
  b = parse("x<br />y<BR >z<br/>w<sbr>v<tab/>u<span>t</span>");
  EXPECT_EQ(b.text(), u"x\ny\nz\nw\rv\tut");

  // Paragraphs, items, links, colours and text formats.
  b = parse("<p align=\"CENTER\" >c</p><li>one</li><li>two</li>"
            "<a href=\"u?a=1&amp;b\" target=\"_t\"><font face=\"Mono\" color=\"#12aBcD\">l</font></a>"
            "<textformat leftmargin=\"2\" RIGHTMARGIN=\"3\" indent=\"-4\" blockindent=\"5\" leading=\"6\""
            " tabstops=\"10, 20,,x,30\">t</textformat>");
  EXPECT_EQ(b.text(), u"c\none\ntwo\nlt");
  EXPECT_EQ(at(b, 0).paragraph.align, TextAlign::Center);
  EXPECT_EQ(at(b, 1).paragraph.align, TextAlign::Center);  // the line feed comes before "p" is popped
  EXPECT_TRUE(at(b, 2).paragraph.bullet);
  EXPECT_TRUE(at(b, 5).paragraph.bullet);  // the item's own line feed
  EXPECT_FALSE(at(b, 10).paragraph.bullet);
  const CharFormat& link = at(b, 10).chars;
  EXPECT_EQ(link.url, "u?a=1&b");
  EXPECT_EQ(link.target, "_t");
  EXPECT_EQ(link.font, "Mono");
  EXPECT_EQ(link.color, 0xFF12ABCDu);
  const ParagraphFormat& tf = at(b, 11).paragraph;
  EXPECT_EQ(tf.leftMargin, 40);
  EXPECT_EQ(tf.rightMargin, 60);
  EXPECT_EQ(tf.indent, -80);
  EXPECT_EQ(tf.blockIndent, 100);
  EXPECT_EQ(tf.leading, 120);
  EXPECT_EQ(tf.tabStops, (std::vector<int32_t>{10, 20, 30}));

  // Malformed markup ends the text where reading stops.
  b = parse("ok<b x>no");
  EXPECT_EQ(b.text(), u"ok");

  // Older movies: code-page bytes, numeric entities as bytes.
  b = parse("\xE9\x80&#233;&nbsp;", 5);
  EXPECT_EQ(b.text(), u"\u00E9\u20AC\u00E9\u00A0");
  b = parse("\xC3\xA9&#20013;", 6);
  EXPECT_EQ(b.text(), u"\u00E9\u4E2D");
}

TEST(HtmlTextTest, WritingIsByteExactInBothEncodings) {
  EXPECT_EQ(generate(TextBuffer()), "");

  RunFormat center = arial();
  center.paragraph.align = TextAlign::Center;
  RunFormat link = center;
  link.chars.bold = true;
  link.chars.url = "http://x";
  RunFormat big = center;
  big.chars.size = 280;
  big.chars.color = 0xFFFF0000;
  RunFormat item = arial();
  item.paragraph.bullet = true;
  item.paragraph.leftMargin = 200;
  item.paragraph.tabStops = {40, 80};
  TextBuffer b;
  b.append(u"Hi ", center);
  b.append(u"you", link);
  b.append(u" <&>'\"\n", big);
  b.append(u"item\r", item);
  b.append(u"\u00E9\u20AC\u4E2D\u00A0", arial());

  EXPECT_EQ(generate(b, 6),
            "<P ALIGN=\"CENTER\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">Hi "
            "<A HREF=\"http://x\" TARGET=\"\"><B>you</B></A>"
            "<FONT SIZE=\"14\" COLOR=\"#FF0000\"> &lt;&amp;&gt;&apos;&quot;</FONT></FONT></P>"
            "<TEXTFORMAT LEFTMARGIN=\"10\" TABSTOPS=\"40,80\"><LI><FONT FACE=\"Arial\" SIZE=\"12\" "
            "COLOR=\"#000000\">item</FONT></LI></TEXTFORMAT>"
            "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">"
            "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD&nbsp;</FONT></P>");
  EXPECT_EQ(generate(b, 5),
            "<P ALIGN=\"CENTER\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">Hi "
            "<A HREF=\"http://x\" TARGET=\"\"><B>you</B></A>"
            "<FONT SIZE=\"14\" COLOR=\"#FF0000\"> &lt;&amp;&gt;&apos;&quot;</FONT></FONT></P>"
            "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">item</FONT></P>"
            "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">\xE9\x80\x4E\x2D&nbsp;</FONT></P>");

  // A range starts its paragraph with the paragraph's format; going back
  // to a font still open closes the ones above it.
  EXPECT_EQ(generateHtml(b, 1, 4, HtmlOptions{}),
            "<P ALIGN=\"CENTER\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">i "
            "<A HREF=\"http://x\" TARGET=\"\"><B>y</B></A></FONT></P>");
  TextBuffer fonts;
  RunFormat red = arial();
  red.chars.color = 0xFFFF0000;
  RunFormat redBig = red;
  redBig.chars.size = 400;
  fonts.append(u"a", arial());
  fonts.append(u"b", red);
  fonts.append(u"c", redBig);
  fonts.append(u"d", arial());
  EXPECT_EQ(generate(fonts),
            "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"12\" COLOR=\"#000000\">a<FONT COLOR=\"#FF0000\">b"
            "<FONT SIZE=\"20\">c</FONT></FONT>d</FONT></P>");
}

TEST(HtmlTextTest, EveryTagSurvivesARoundTrip) {
  const std::string doc =
      "<textformat leftmargin='1' rightmargin='2' indent='3' blockindent='4' leading='5' tabstops='6,7'>"
      "<p align='right'><font face='Serif' size='20' color='#00FF00'>big <b>b<i>bi<u>biu</u></i></b></font>"
      "<a href='go' target='there'>link</a><tab>&amp;&lt;&gt;&quot;&apos;&nbsp;</p></textformat>"
      "<li>item<sbr>two</li><p>x<br>y</p><p></p>last";
  const TextBuffer first = parse(doc);
  const std::string html = generate(first);
  const TextBuffer second = parse(html);
  EXPECT_EQ(generate(second), html);
  // Only the line break kinds and the last paragraph's own line feed differ.
  std::u16string expected = first.text();
  for (char16_t& c : expected)
    if (c == u'\r') c = u'\n';
  EXPECT_EQ(second.text(), expected + u"\n");
  for (size_t i = 0; i < first.size(); ++i) {
    if (TextBuffer::isLineBreak(first.text()[i])) continue;
    EXPECT_EQ(at(second, i).chars, at(first, i).chars) << i;
    EXPECT_EQ(at(second, i).paragraph, at(first, first.paragraphStart(i)).paragraph) << i;
  }
  EXPECT_EQ(at(first, 0).paragraph.tabStops, (std::vector<int32_t>{6, 7}));
  EXPECT_EQ(at(first, 0).chars.size, 400);
}

// Quadratic work here would run for minutes (the test's timeout catches
// it); the speed itself is measured by the benchmarks.
TEST(HtmlTextTest, HostileInputStaysCheap) {
  // 100,000 open tags, never closed, then as many stray closers.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<font size=\"+1\"><b>";
  deep += "deep";
  for (int i = 0; i < 100000; ++i) deep += "</i>";
  TextBuffer b = parse(deep);
  EXPECT_EQ(b.text(), u"deep");
  EXPECT_EQ(at(b, 0).chars.size, 2540);
  EXPECT_EQ(generate(b), "<P ALIGN=\"LEFT\"><FONT FACE=\"Arial\" SIZE=\"127\" COLOR=\"#000000\"><B>deep</B></FONT></P>");

  // 16 MB of short runs and paragraphs: linear both ways.
  std::string big;
  while (big.size() < (16u << 20)) big += "Lorem ipsum dolor sit amet, <b>consectetur</b> &amp; <i>elit</i><br>";
  b = parse(big);
  EXPECT_EQ(b.runs().size(), big.size() / 68 * 4 + 1);
  EXPECT_GT(generate(b).size(), big.size());

  // A long link over many runs: the written HTML is capped.
  std::string links = "<a href=\"" + std::string(1 << 14, 'u') + "\">";
  for (int i = 0; i < 4000; ++i) links += "<b>x</b>y";
  b = parse(links);
  EXPECT_EQ(b.runs().size(), 8000u);
  EXPECT_LE(generate(b).size(), kMaxHtmlLength + (1u << 15));
}

}  // namespace
}  // namespace kivra
