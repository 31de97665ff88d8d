#include "core/text/LineBreaks.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/format/CodePage.h"

namespace kivra {

namespace {

// Sets of UTF-16 units as sorted, inclusive ranges.
struct Range {
  char16_t lo, hi;
};

constexpr Range kNoBreakAfter[] = {
    {0x0028, 0x0028}, {0x005B, 0x005B}, {0x007B, 0x007B}, {0x00A0, 0x00A0}, {0x0F0C, 0x0F0C}, {0x0F3A, 0x0F3A},
    {0x0F3C, 0x0F3C}, {0x169B, 0x169B}, {0x2007, 0x2007}, {0x2011, 0x2011}, {0x201A, 0x201A}, {0x201E, 0x201E},
    {0x202F, 0x202F}, {0x2045, 0x2045}, {0x207D, 0x207D}, {0x208D, 0x208D}, {0x2329, 0x2329}, {0x3008, 0x3008},
    {0x300A, 0x300A}, {0x300C, 0x300C}, {0x300E, 0x300E}, {0x3010, 0x3010}, {0x3014, 0x3014}, {0x3016, 0x3016},
    {0x3018, 0x3018}, {0x301A, 0x301A}, {0x301D, 0x301D}, {0xFD3E, 0xFD3E}, {0xFE35, 0xFE35}, {0xFE37, 0xFE37},
    {0xFE39, 0xFE39}, {0xFE3B, 0xFE3B}, {0xFE3D, 0xFE3D}, {0xFE3F, 0xFE3F}, {0xFE41, 0xFE41}, {0xFE43, 0xFE43},
    {0xFE59, 0xFE59}, {0xFE5B, 0xFE5B}, {0xFE5D, 0xFE5D}, {0xFEFF, 0xFEFF}, {0xFF08, 0xFF08}, {0xFF3B, 0xFF3B},
    {0xFF5B, 0xFF5B}, {0xFF62, 0xFF62},
};

constexpr Range kNoBreakBefore[] = {
    {0x0021, 0x0021}, {0x0029, 0x0029}, {0x002C, 0x002C}, {0x002E, 0x002E}, {0x003A, 0x003B}, {0x003F, 0x003F},
    {0x005D, 0x005D}, {0x007D, 0x007D}, {0x00A0, 0x00A0}, {0x0589, 0x0589}, {0x0E5A, 0x0E5B}, {0x0F0C, 0x0F0C},
    {0x0F3B, 0x0F3B}, {0x0F3D, 0x0F3D}, {0x169C, 0x169C}, {0x17D4, 0x17D4}, {0x17D6, 0x17DA}, {0x2007, 0x2007},
    {0x2011, 0x2011}, {0x202F, 0x202F}, {0x203C, 0x203C}, {0x2044, 0x2044}, {0x2046, 0x2046}, {0x207E, 0x207E},
    {0x208E, 0x208E}, {0x232A, 0x232A}, {0x3001, 0x3002}, {0x3005, 0x3005}, {0x3009, 0x3009}, {0x300B, 0x300B},
    {0x300D, 0x300D}, {0x300F, 0x300F}, {0x3011, 0x3011}, {0x3015, 0x3015}, {0x3017, 0x3017}, {0x3019, 0x3019},
    {0x301B, 0x301C}, {0x301E, 0x301F}, {0x3041, 0x3041}, {0x3043, 0x3043}, {0x3045, 0x3045}, {0x3047, 0x3047},
    {0x3049, 0x3049}, {0x3063, 0x3063}, {0x3083, 0x3083}, {0x3085, 0x3085}, {0x3087, 0x3087}, {0x308E, 0x308E},
    {0x309B, 0x309E}, {0x30A1, 0x30A1}, {0x30A3, 0x30A3}, {0x30A5, 0x30A5}, {0x30A7, 0x30A7}, {0x30A9, 0x30A9},
    {0x30C3, 0x30C3}, {0x30E3, 0x30E3}, {0x30E5, 0x30E5}, {0x30E7, 0x30E7}, {0x30EE, 0x30EE}, {0x30F5, 0x30F6},
    {0x30FB, 0x30FB}, {0x30FD, 0x30FD}, {0xFD3F, 0xFD3F}, {0xFE36, 0xFE36}, {0xFE38, 0xFE38}, {0xFE3A, 0xFE3A},
    {0xFE3C, 0xFE3C}, {0xFE3E, 0xFE3E}, {0xFE40, 0xFE40}, {0xFE42, 0xFE42}, {0xFE44, 0xFE44}, {0xFE50, 0xFE50},
    {0xFE52, 0xFE52}, {0xFE54, 0xFE57}, {0xFE5A, 0xFE5A}, {0xFE5C, 0xFE5C}, {0xFE5E, 0xFE5E}, {0xFEFF, 0xFEFF},
    {0xFF01, 0xFF01}, {0xFF09, 0xFF09}, {0xFF0C, 0xFF0C}, {0xFF0E, 0xFF0E}, {0xFF1A, 0xFF1B}, {0xFF1F, 0xFF1F},
    {0xFF3D, 0xFF3D}, {0xFF5D, 0xFF5D}, {0xFF61, 0xFF61}, {0xFF63, 0xFF65}, {0xFF67, 0xFF70}, {0xFF9E, 0xFF9F},
};

constexpr Range kPrefix[] = {
    {0x0024, 0x0024}, {0x002B, 0x002B}, {0x002D, 0x002D}, {0x005C, 0x005C}, {0x00A3, 0x00A5}, {0x00B1, 0x00B1},
    {0x09F2, 0x09F3}, {0x0E3F, 0x0E3F}, {0x17DB, 0x17DB}, {0x20A0, 0x20A6}, {0x20A8, 0x20AF}, {0x2116, 0x2116},
    {0x2212, 0x2213}, {0xFE69, 0xFE69}, {0xFF04, 0xFF04}, {0xFFE1, 0xFFE1}, {0xFFE5, 0xFFE6},
};

constexpr Range kPostfix[] = {
    {0x0025, 0x0025}, {0x00A2, 0x00A2}, {0x00B0, 0x00B0}, {0x2030, 0x2037}, {0x20A7, 0x20A7}, {0x2103, 0x2103},
    {0x2109, 0x2109}, {0x2126, 0x2126}, {0xFE6A, 0xFE6A}, {0xFF05, 0xFF05}, {0xFFE0, 0xFFE0},
};

template <size_t N>
constexpr bool ascending(const Range (&set)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (set[i].lo > set[i].hi) return false;
    if (i > 0 && set[i - 1].hi >= set[i].lo) return false;
  }
  return true;
}
static_assert(ascending(kNoBreakAfter) && ascending(kNoBreakBefore) && ascending(kPrefix) && ascending(kPostfix));

template <size_t N>
bool inRanges(const Range (&set)[N], char16_t c) {
  const Range* r = std::lower_bound(set, set + N, c, [](const Range& x, char16_t v) { return x.hi < v; });
  return r != set + N && r->lo <= c;
}

// The double-byte sets in their compact form: 0x01 LEAD starts a group of
// two-byte codes with that lead byte (single-byte codes come before the
// first group), 0x02 LO HI is the run of trail bytes (or single bytes) LO to
// HI, any other byte is one trail byte (or one single-byte code), and 0x00
// ends the set.
constexpr uint8_t kDoubleByteNoBreakAfter[] = {
    0x24, 0x28, 0x5B, 0x5C, 0x7B, 0xA2,                                                     //
    0x01, 0x81, 0x65, 0x67, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x77, 0x79, 0x8F, 0x90, 0x92,  //
    0x00};
constexpr uint8_t kDoubleByteNoBreakBefore[] = {
    0x21, 0x25, 0x29, 0x2C, 0x2E, 0x3F, 0x5D, 0x7D, 0xA1, 0x02, 0xA3, 0xB0, 0xDE, 0xDF,  //
    0x01, 0x81, 0x02, 0x41, 0x4B, 0x02, 0x52, 0x55, 0x58, 0x5B, 0x66, 0x68, 0x6A, 0x6C, 0x6E, 0x70, 0x72, 0x74,
    0x76, 0x78, 0x7A, 0x02, 0x8B, 0x8E, 0x91, 0x93, 0xF1,                                 //
    0x01, 0x82, 0x9F, 0xA1, 0xA3, 0xA5, 0xA7, 0xC1, 0xE1, 0xE3, 0xE5, 0xEC,              //
    0x01, 0x83, 0x40, 0x42, 0x44, 0x46, 0x48, 0x62, 0x83, 0x85, 0x87, 0x8E, 0x95, 0x96,  //
    0x00};
constexpr uint8_t kDoubleBytePrefix[] = {0x01, 0x81, 0x60, 0x8F, 0x90, 0x91, 0x92, 0x97, 0x02, 0xE5, 0xE8, 0x00};
constexpr uint8_t kDoubleBytePostfix[] = {0x01, 0x81, 0x02, 0x8B, 0x8E, 0x93,
                                          0x01, 0x87, 0x02, 0x9F, 0xB5, 0x02, 0xBD, 0xC1, 0x00};

// Calls visit(code) for every code of a compact set, in order.
template <class Visit>
constexpr void walkCompact(const uint8_t* p, Visit visit) {
  unsigned lead = 0;
  for (;;) {
    const unsigned b = *p++;
    if (b == 0x00) return;
    if (b == 0x01) {
      lead = *p++;
    } else if (b == 0x02) {
      const unsigned lo = *p++;
      const unsigned hi = *p++;
      for (unsigned t = lo; t <= hi; ++t) visit(static_cast<uint16_t>(lead << 8 | t));
    } else {
      visit(static_cast<uint16_t>(lead << 8 | b));
    }
  }
}

constexpr size_t compactCount(const uint8_t* p) {
  size_t n = 0;
  walkCompact(p, [&n](uint16_t) { ++n; });
  return n;
}

template <size_t N>
constexpr std::array<uint16_t, N> decodeCompact(const uint8_t* p) {
  std::array<uint16_t, N> codes{};
  size_t i = 0;
  walkCompact(p, [&](uint16_t code) { codes[i++] = code; });
  return codes;
}

constexpr auto kDbNoBreakAfter = decodeCompact<compactCount(kDoubleByteNoBreakAfter)>(kDoubleByteNoBreakAfter);
constexpr auto kDbNoBreakBefore = decodeCompact<compactCount(kDoubleByteNoBreakBefore)>(kDoubleByteNoBreakBefore);
constexpr auto kDbPrefix = decodeCompact<compactCount(kDoubleBytePrefix)>(kDoubleBytePrefix);
constexpr auto kDbPostfix = decodeCompact<compactCount(kDoubleBytePostfix)>(kDoubleBytePostfix);
// Lookups search them.
static_assert(std::is_sorted(kDbNoBreakAfter.begin(), kDbNoBreakAfter.end()) &&
              std::is_sorted(kDbNoBreakBefore.begin(), kDbNoBreakBefore.end()) &&
              std::is_sorted(kDbPrefix.begin(), kDbPrefix.end()) &&
              std::is_sorted(kDbPostfix.begin(), kDbPostfix.end()));

template <size_t N>
bool inCodes(const std::array<uint16_t, N>& set, uint16_t code) {
  return std::binary_search(set.begin(), set.end(), code);
}

// Latin, Greek, Cyrillic, Armenian, Hebrew, Latin extended and the general
// punctuation and symbol blocks: text whose words are set apart by spaces.
bool spaceSeparated(char16_t c) {
  return c < 0x500 || (c >= 0x530 && c <= 0x5FF) || (c >= 0x1E00 && c <= 0x22FF);
}

bool isDigit(uint32_t c) { return c >= '0' && c <= '9'; }

// The four tests over one kind of set; `in(set, c)` answers membership.
template <class In>
bool breakBetween(uint32_t before, uint32_t after, In in) {
  return !in(LineBreakRule::Set::NoBreakAfter, before) && !in(LineBreakRule::Set::NoBreakBefore, after) &&
         !(isDigit(after) && in(LineBreakRule::Set::Prefix, before)) &&
         !(isDigit(before) && in(LineBreakRule::Set::Postfix, after));
}

}  // namespace

LineBreakRule LineBreakRule::unicode() { return LineBreakRule(Kind::Unicode, nullptr); }

LineBreakRule LineBreakRule::older(bool doubleByteFont, const CodePage* page) {
  if (doubleByteFont && page && page->multibyte()) return LineBreakRule(Kind::DoubleByte, page);
  return LineBreakRule(Kind::SpaceOrHyphen, nullptr);
}

bool LineBreakRule::inUnicodeSet(Set set, char16_t c) {
  switch (set) {
    case Set::NoBreakAfter: return inRanges(kNoBreakAfter, c);
    case Set::NoBreakBefore: return inRanges(kNoBreakBefore, c);
    case Set::Prefix: return inRanges(kPrefix, c);
    case Set::Postfix: return inRanges(kPostfix, c);
  }
  return false;
}

bool LineBreakRule::inDoubleByteSet(Set set, uint16_t code) {
  switch (set) {
    case Set::NoBreakAfter: return inCodes(kDbNoBreakAfter, code);
    case Set::NoBreakBefore: return inCodes(kDbNoBreakBefore, code);
    case Set::Prefix: return inCodes(kDbPrefix, code);
    case Set::Postfix: return inCodes(kDbPostfix, code);
  }
  return false;
}

bool LineBreakRule::allowed(char16_t before, char16_t after) const {
  if (kind_ == Kind::Unicode) {
    // Between two characters of space-separated scripts a break may come
    // after a space or a hyphen, or in front of a space: word wrap keeps a
    // space that follows the break at the end of the line, so both sides of
    // a space end the line in the same place. A hyphen stays with the word
    // it ends, as the older rule ("after a space or a hyphen") has it.
    if (spaceSeparated(before) && spaceSeparated(after)) return before == u' ' || before == u'-' || after == u' ';
    return breakBetween(before, after, [](Set s, uint32_t c) { return inUnicodeSet(s, static_cast<char16_t>(c)); });
  }
  if (kind_ == Kind::DoubleByte && (before > 0x7F || after > 0x7F)) {
    // A unit the page cannot write is code 0, in no set.
    auto code = [this](char16_t unit) -> uint32_t {
      std::string bytes;
      if (!page_->encode(unit, bytes)) return 0;
      const auto b0 = static_cast<uint8_t>(bytes[0]);
      return bytes.size() == 1 ? b0 : static_cast<uint32_t>(b0 << 8 | static_cast<uint8_t>(bytes[1]));
    };
    return breakBetween(code(before), code(after),
                        [](Set s, uint32_t c) { return c <= 0xFFFF && inDoubleByteSet(s, static_cast<uint16_t>(c)); });
  }
  return before == u' ' || before == u'-';
}

}  // namespace kivra
