// Where word wrap may break a line: the break sets and the two rules.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/format/CodePage.h"
#include "core/text/LineBreaks.h"

using kivra::CodePage;
using kivra::LineBreakRule;
using Set = LineBreakRule::Set;

namespace {

// Codes written as the lists are: hex codes and "LO-HI" ranges.
std::set<uint32_t> listed(const std::string& text) {
  std::set<uint32_t> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    const size_t dash = word.find('-');
    const uint32_t lo = std::stoul(word.substr(0, dash), nullptr, 16);
    const uint32_t hi = dash == std::string::npos ? lo : std::stoul(word.substr(dash + 1), nullptr, 16);
    for (uint32_t c = lo; c <= hi; ++c) out.insert(c);
  }
  return out;
}

// Every code is checked, so members and their neighbours alike.
template <class In>
void expectExactly(const std::string& list, size_t count, In in, const char* name) {
  const std::set<uint32_t> members = listed(list);
  EXPECT_EQ(members.size(), count) << name;
  size_t found = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    const bool member = members.count(c) != 0;
    EXPECT_EQ(in(c), member) << name << " " << std::hex << c;
    found += member;
  }
  EXPECT_EQ(found, count) << name;
}

const char* kNoBreakAfter =
    "0028 005B 007B 00A0 0F0C 0F3A 0F3C 169B 2007 2011 201A 201E 202F 2045 207D 208D 2329 3008 300A 300C 300E "
    "3010 3014 3016 3018 301A 301D FD3E FE35 FE37 FE39 FE3B FE3D FE3F FE41 FE43 FE59 FE5B FE5D FEFF FF08 FF3B "
    "FF5B FF62";
const char* kNoBreakBefore =
    "0021 0029 002C 002E 003A 003B 003F 005D 007D 00A0 0589 0E5A 0E5B 0F0C 0F3B 0F3D 169C 17D4 17D6-17DA 2007 "
    "2011 202F 203C 2044 2046 207E 208E 232A 3001 3002 3005 3009 300B 300D 300F 3011 3015 3017 3019 301B 301C "
    "301E 301F 3041 3043 3045 3047 3049 3063 3083 3085 3087 308E 309B-309E 30A1 30A3 30A5 30A7 30A9 30C3 30E3 "
    "30E5 30E7 30EE 30F5 30F6 30FB 30FD FD3F FE36 FE38 FE3A FE3C FE3E FE40 FE42 FE44 FE50 FE52 FE54-FE57 FE5A "
    "FE5C FE5E FEFF FF01 FF09 FF0C FF0E FF1A FF1B FF1F FF3D FF5D FF61 FF63-FF65 FF67-FF70 FF9E FF9F";
const char* kPrefix =
    "002D 0024 002B 005C 00A3 00A4 00A5 00B1 09F2 09F3 0E3F 17DB 20A0-20A6 20A8-20AF 2116 2212 2213 FE69 FF04 "
    "FFE1 FFE5 FFE6";
const char* kPostfix = "0025 00A2 00B0 2030-2037 20A7 2103 2109 2126 FE6A FF05 FFE0";

const char* kDbNoBreakAfter = "24 28 5B 5C 7B A2 8165 8167 8169 816B 816D 816F 8171 8173 8175 8177 8179 818F 8190 8192";
const char* kDbNoBreakBefore =
    "21 25 29 2C 2E 3F 5D 7D A1 A3-B0 DE DF 8141-814B 8152-8155 8158 815B 8166 8168 816A 816C 816E 8170 8172 "
    "8174 8176 8178 817A 818B-818E 8191 8193 81F1 829F 82A1 82A3 82A5 82A7 82C1 82E1 82E3 82E5 82EC 8340 8342 "
    "8344 8346 8348 8362 8383 8385 8387 838E 8395 8396";
const char* kDbPrefix = "8160 818F 8190 8191 8192 8197 81E5-81E8";
const char* kDbPostfix = "818B-818E 8193 879F-87B5 87BD-87C1";

// A double-byte page for the tests: ASCII, single bytes A1-DF, and pairs
// with leads 81-9F whose characters are private-use units.
CodePage testPage() {
  std::array<uint16_t, 256> singles{};
  std::array<bool, 256> leads{};
  for (int b = 0; b < 0x80; ++b) singles[b] = static_cast<uint16_t>(b);
  for (int b = 0xA1; b <= 0xDF; ++b) singles[b] = static_cast<uint16_t>(0xFF61 + b - 0xA1);
  std::vector<std::pair<uint16_t, uint16_t>> pairs;
  for (int lead = 0x81; lead <= 0x9F; ++lead) {
    leads[lead] = true;
    for (int trail = 0x40; trail <= 0xFC; ++trail)
      pairs.emplace_back(static_cast<uint16_t>(lead << 8 | trail), static_cast<uint16_t>(0xE000 + (lead - 0x81) * 256 + trail));
  }
  return CodePage(932, singles, leads, pairs);
}

// The unit testPage() gives a pair.
char16_t unitOf(uint16_t pair) { return static_cast<char16_t>(0xE000 + ((pair >> 8) - 0x81) * 256 + (pair & 0xFF)); }

}  // namespace

TEST(LineBreaks, UnicodeSetsHoldExactlyTheListedCharacters) {
  auto in = [](Set s) { return [s](uint32_t c) { return LineBreakRule::inUnicodeSet(s, static_cast<char16_t>(c)); }; };
  expectExactly(kNoBreakAfter, 44, in(Set::NoBreakAfter), "no-break-after");
  expectExactly(kNoBreakBefore, 119, in(Set::NoBreakBefore), "no-break-before");
  expectExactly(kPrefix, 35, in(Set::Prefix), "prefix");
  expectExactly(kPostfix, 18, in(Set::Postfix), "postfix");
}

TEST(LineBreaks, DoubleByteSetsHoldExactlyTheListedCodes) {
  auto in = [](Set s) { return [s](uint32_t c) { return LineBreakRule::inDoubleByteSet(s, static_cast<uint16_t>(c)); }; };
  expectExactly(kDbNoBreakAfter, 20, in(Set::NoBreakAfter), "no-break-after");
  expectExactly(kDbNoBreakBefore, 82, in(Set::NoBreakBefore), "no-break-before");
  expectExactly(kDbPrefix, 10, in(Set::Prefix), "prefix");
  expectExactly(kDbPostfix, 33, in(Set::Postfix), "postfix");
}

TEST(LineBreaks, UnicodeRule) {
  const LineBreakRule rule = LineBreakRule::unicode();
  auto ok = [&](char16_t a, char16_t b) { return rule.allowed(a, b); };
  // Space-separated scripts: after a space or a hyphen, or before a space.
  EXPECT_TRUE(ok(u' ', u'a'));
  EXPECT_TRUE(ok(u'a', u' '));
  EXPECT_TRUE(ok(u'-', u'a'));
  EXPECT_FALSE(ok(u'a', u'-'));
  EXPECT_FALSE(ok(u'a', u'b'));
  EXPECT_FALSE(ok(u'\u0416', u'\u05D0'));  // Cyrillic, Hebrew
  EXPECT_FALSE(ok(u'\u1E00', u'\u22FF'));
  // The sets apply only to the two characters on their own, so a Latin "$"
  // before a digit is a Latin pair and ")" before a letter no break.
  EXPECT_FALSE(ok(u'$', u'5'));
  EXPECT_FALSE(ok(u')', u'a'));
  // The edges of the space-separated ranges.
  EXPECT_TRUE(ok(u'a', u'\u0500'));
  EXPECT_TRUE(ok(u'\u052F', u'a'));
  EXPECT_TRUE(ok(u'a', u'\u2300'));
  EXPECT_TRUE(ok(u'\u1DFF', u'a'));
  // Elsewhere a break is allowed unless a set forbids it.
  EXPECT_TRUE(ok(u'\u3042', u'\u3044'));
  EXPECT_TRUE(ok(u'a', u'\u3042'));
  EXPECT_TRUE(ok(u'\u3042', u'a'));
  EXPECT_FALSE(ok(u'\u3042', u'\u3043'));  // small a: no break before
  EXPECT_FALSE(ok(u'\u3042', u'\u3001'));  // ideographic comma
  EXPECT_FALSE(ok(u'\u300C', u'\u3042'));  // opening corner bracket: no break after
  EXPECT_FALSE(ok(u'(', u'\u3042'));
  EXPECT_FALSE(ok(u'\u3042', u'!'));
  // Prefixes stay with the digit after them, postfixes with the digit before.
  EXPECT_FALSE(ok(u'\uFFE5', u'5'));
  EXPECT_TRUE(ok(u'\uFFE5', u'a'));
  EXPECT_TRUE(ok(u'\uFFE5', u'\uFF15'));  // a full-width digit is not 0-9
  EXPECT_FALSE(ok(u'7', u'\uFF05'));
  EXPECT_TRUE(ok(u'a', u'\uFF05'));
  EXPECT_TRUE(ok(u'\u3042', u'\u2030'));
}

TEST(LineBreaks, OlderMoviesBreakAfterSpacesAndHyphensUnlessDoubleByte) {
  const CodePage page = testPage();
  ASSERT_TRUE(page.multibyte());
  const LineBreakRule plain[] = {LineBreakRule::older(false, &page), LineBreakRule::older(true, nullptr),
                                 LineBreakRule::older(true, &CodePage::windows1252())};
  for (const LineBreakRule& rule : plain) {
    EXPECT_TRUE(rule.allowed(u' ', u'a'));
    EXPECT_TRUE(rule.allowed(u'-', u'a'));
    EXPECT_FALSE(rule.allowed(u'a', u' '));
    EXPECT_FALSE(rule.allowed(u'a', u'b'));
    EXPECT_FALSE(rule.allowed(u'\u3042', u'\u3044'));
    EXPECT_FALSE(rule.allowed(unitOf(0x8240), unitOf(0x8241)));
  }

  const LineBreakRule rule = LineBreakRule::older(true, &page);
  const char16_t kana = unitOf(0x8240);  // in no set
  // Two ASCII characters: spaces and hyphens only.
  EXPECT_FALSE(rule.allowed(u'a', u'b'));
  EXPECT_FALSE(rule.allowed(u'a', u' '));
  EXPECT_TRUE(rule.allowed(u' ', u'('));
  // With a non-ASCII character the four tests run over code-page codes.
  EXPECT_TRUE(rule.allowed(kana, kana));
  EXPECT_TRUE(rule.allowed(u'a', kana));
  EXPECT_FALSE(rule.allowed(u'$', kana));            // 24: no break after
  EXPECT_FALSE(rule.allowed(unitOf(0x8165), kana));  // no break after
  EXPECT_TRUE(rule.allowed(unitOf(0x8166), kana));
  EXPECT_FALSE(rule.allowed(kana, u'!'));            // 21: no break before
  EXPECT_FALSE(rule.allowed(kana, u'\uFF64'));       // single byte A4
  EXPECT_TRUE(rule.allowed(kana, u'\uFF7E'));        // single byte BE
  EXPECT_FALSE(rule.allowed(kana, unitOf(0x8396)));
  EXPECT_TRUE(rule.allowed(kana, unitOf(0x8397)));
  EXPECT_FALSE(rule.allowed(unitOf(0x8197), u'5'));  // prefix before a digit
  EXPECT_TRUE(rule.allowed(unitOf(0x8197), u'a'));
  EXPECT_FALSE(rule.allowed(u'5', unitOf(0x879F)));  // postfix after a digit
  EXPECT_TRUE(rule.allowed(u'a', unitOf(0x879F)));
  // A character the page cannot write is in no set.
  EXPECT_TRUE(rule.allowed(u'\u4E00', kana));
  EXPECT_TRUE(rule.allowed(kana, u'\u4E00'));
  EXPECT_FALSE(rule.allowed(u'(', u'\u4E00'));
}
