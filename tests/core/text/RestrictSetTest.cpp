// Restrict strings compiled into sets of characters.
#include <gtest/gtest.h>

#include <string>

#include "core/text/RestrictSet.h"

using kivra::RestrictSet;

namespace {

// The allowed codes, as a string of inclusive ranges "lo-hi,lo-hi".
std::string ranges(const RestrictSet& set) {
  std::string out;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (!set.allows(static_cast<char16_t>(c))) continue;
    uint32_t end = c;
    while (end + 1 < 0x10000 && set.allows(static_cast<char16_t>(end + 1))) ++end;
    out += (out.empty() ? "" : ",") + std::to_string(c) + "-" + std::to_string(end);
    c = end;
  }
  return out;
}

}  // namespace

TEST(RestrictSet, StringsCompileToTheirSets) {
  struct Case {
    std::u16string restrict;
    std::string allowed;
  };
  const Case cases[] = {
      {u"", ""},
      {u"A-Z", "65-90"},
      {u"^0-9", "0-47,58-65535"},
      // Vowels are taken out again after the range.
      {u"a-z^aeiou", "98-100,102-104,106-110,112-116,118-122"},
      {u"\\-", "45-45"},
      // A range written first starts at code 0.
      {u"-9", "0-57"},
      // A trailing "-" does nothing.
      {u"ab-", "97-98"},
      // After a range the start is 0 again.
      {u"a-c-e", "0-101"},
      // An end before its start gives nothing.
      {u"z-a", "122-122"},
      // A lone "^" starts full, then only flips the switch.
      {u"^", "0-65535"},
      {u"\\^a", "94-94,97-97"},
      {u"a\\", "97-97"},
      {u"\\\\", "92-92"},
      // The last step to name a character decides.
      {u"^a-z^a", "0-97,123-65535"},
      {u"a-z^c-x^m", "97-98,109-109,121-122"},
      {u"\uFFFF-\uFFFF\u4E00", "19968-19968,65535-65535"},
  };
  for (const Case& c : cases) {
    const RestrictSet set(c.restrict);
    EXPECT_EQ(ranges(set), c.allowed) << std::string(c.restrict.begin(), c.restrict.end());
    EXPECT_EQ(set.source(), c.restrict);
  }
}

// Each range after a range covers every code from 0; a naive fill would
// write 65,536 codes per range.
TEST(RestrictSet, ManyWideRangesCompileInLinearTime) {
  std::u16string s = u"^";
  for (int i = 0; i < 500000; ++i) s += u"-\uFFFF^";
  // Done range by range this would write 32 billion codes: the test's
  // timeout would catch it.
  const RestrictSet set(s);
  // The ranges alternate between excluding and including; the last one
  // includes, and one more would exclude.
  EXPECT_EQ(ranges(set), "0-65535");
  const RestrictSet excluding(s + u"-\uFFFF");
  EXPECT_EQ(ranges(excluding), "");
}
