// AMF0 values to bytes and back: every marker, byte for byte, and bytes
// that do not hold a whole value.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/net/Amf0Codec.h"

namespace kivra {
namespace {

std::vector<uint8_t> encode(const AmfValue& v) {
  std::vector<uint8_t> out;
  Amf0Writer(out).write(v);
  return out;
}

bool decode(const std::vector<uint8_t>& bytes, AmfValue& v, uint32_t objectsBefore = 0) {
  AmfReader r(bytes.data(), bytes.size());
  Amf0Decoder d(r, objectsBefore);
  return d.read(v) && r.atEnd();
}

AmfValue member(AmfValue container, std::string name, AmfValue value) {
  container.members.push_back(AmfMember{std::move(name), std::move(value)});
  return container;
}

TEST(Amf0CodecTest, EveryMarkerByteForByte) {
  using B = std::vector<uint8_t>;
  EXPECT_EQ(encode(AmfValue::ofNumber(1.5)), (B{0, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));
  AmfValue t = AmfValue::ofKind(AmfKind::Boolean);
  t.boolean = true;
  EXPECT_EQ(encode(t), (B{1, 1}));
  EXPECT_EQ(encode(AmfValue::ofString("hi")), (B{2, 0, 2, 'h', 'i'}));
  EXPECT_EQ(encode(AmfValue::ofKind(AmfKind::Null)), (B{5}));
  EXPECT_EQ(encode(AmfValue::ofKind(AmfKind::Undefined)), (B{6}));
  EXPECT_EQ(encode(AmfValue::ofKind(AmfKind::Unsupported)), (B{13}));
  AmfValue ref = AmfValue::ofKind(AmfKind::Reference);
  ref.index = 0x102;
  EXPECT_EQ(encode(ref), (B{7, 1, 2}));
  AmfValue date = AmfValue::ofKind(AmfKind::Date);
  date.number = 0;
  date.timeZone = -60;
  EXPECT_EQ(encode(date), (B{11, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xC4}));
  AmfValue xml = AmfValue::ofKind(AmfKind::Xml);
  xml.text = "<a />";
  EXPECT_EQ(encode(xml), (B{15, 0, 0, 0, 5, '<', 'a', ' ', '/', '>'}));
  EXPECT_EQ(encode(member(AmfValue::ofKind(AmfKind::Object), "a", AmfValue::ofKind(AmfKind::Null))),
            (B{3, 0, 1, 'a', 5, 0, 0, 9}));
  AmfValue typed = member(AmfValue::ofKind(AmfKind::TypedObject), "x", AmfValue::ofKind(AmfKind::Undefined));
  typed.text = "P";
  EXPECT_EQ(encode(typed), (B{16, 0, 1, 'P', 0, 1, 'x', 6, 0, 0, 9}));
  AmfValue mixed = member(AmfValue::ofKind(AmfKind::MixedArray), "0", AmfValue::ofNumber(0));
  mixed.index = 1;
  EXPECT_EQ(encode(mixed), (B{8, 0, 0, 0, 1, 0, 1, '0', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}));
  AmfValue strict = AmfValue::ofKind(AmfKind::StrictArray);
  strict.elements = {AmfValue::ofKind(AmfKind::Null), AmfValue::ofString("")};
  EXPECT_EQ(encode(strict), (B{10, 0, 0, 0, 2, 5, 2, 0, 0}));
  // 65,536 bytes and more: a long string, read back as a string.
  const std::vector<uint8_t> longBytes = encode(AmfValue::ofString(std::string(0x10000, 'z')));
  ASSERT_EQ(longBytes.size(), 5u + 0x10000);
  EXPECT_EQ((B(longBytes.begin(), longBytes.begin() + 5)), (B{12, 0, 1, 0, 0}));
  EXPECT_EQ(encode(AmfValue::ofString(std::string(0xFFFF, 'z')))[0], 2);

  // Everything above in one structure comes back equal, and so do its bytes.
  AmfValue all = AmfValue::ofKind(AmfKind::StrictArray);
  all.elements = {AmfValue::ofNumber(-0.0), AmfValue::ofNumber(NAN), t, date, xml, typed, mixed, strict,
                  AmfValue::ofString(std::string(70000, 'q')), ref};
  all.elements.back().index = 2;  // the mixed array is object 2
  AmfValue back;
  ASSERT_TRUE(decode(encode(all), back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(encode(back), encode(all));
}

TEST(Amf0CodecTest, ReferencesCountObjectsInOrder) {
  // [ {}, {a: ref 1}, ref 0 ]: the strict array is object 0, the first {} 1.
  const std::vector<uint8_t> bytes = {10, 0, 0, 0, 3, 3, 0, 0, 9, 3, 0, 1, 'a', 7, 0, 1, 0, 0, 9, 7, 0, 0};
  AmfValue v;
  ASSERT_TRUE(decode(bytes, v));
  ASSERT_EQ(v.elements.size(), 3u);
  EXPECT_EQ(v.elements[1].members[0].value.index, 1u);
  EXPECT_EQ(v.elements[2].kind, AmfKind::Reference);
  // A reference to an object not read yet, unless it was read elsewhere.
  const std::vector<uint8_t> early = {7, 0, 0};
  EXPECT_FALSE(decode(early, v));
  EXPECT_TRUE(decode(early, v, 1));
}

TEST(Amf0CodecTest, BadBytesFailWithinBounds) {
  const std::vector<std::vector<uint8_t>> bad = {
      {},                             // nothing
      {0, 1, 2},                      // a short number
      {2, 0, 5, 'a'},                 // a string past the end
      {12, 0xFF, 0xFF, 0xFF, 0xFF},   // a long string past the end
      {15, 0x7F, 0, 0, 0},            // XML past the end
      {3, 0, 1, 'a', 5},              // an object without its end
      {8, 0xFF, 0xFF, 0xFF, 0xFF},    // a mixed array whose count is all there is
      {10, 0xFF, 0xFF, 0xFF, 0xFF, 5, 5},  // a count larger than the data
      {4}, {14}, {17}, {9}, {200},    // markers without a value kind
      {11, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // a date without its whole zone
  };
  for (const auto& b : bad) {
    AmfValue v;
    EXPECT_FALSE(decode(b, v)) << b.size();
  }
  // Deep nesting fails at the limit instead of recursing on.
  std::vector<uint8_t> deep;
  for (int i = 0; i < 100000; ++i) deep.insert(deep.end(), {10, 0, 0, 0, 1});
  AmfValue v;
  EXPECT_FALSE(decode(deep, v));
  std::vector<uint8_t> fits;
  for (size_t i = 0; i + 1 < kMaxAmfDepth; ++i) fits.insert(fits.end(), {10, 0, 0, 0, 1});
  fits.push_back(5);
  EXPECT_TRUE(decode(fits, v));
  // More one-byte values than one read makes.
  std::vector<uint8_t> wide = {10, 0, 0x20, 0, 0};
  wide.resize(wide.size() + 0x200000, 5);
  EXPECT_FALSE(decode(wide, v));
  // Writing a model deeper than the limit writes undefined there, and what
  // is written reads back.
  AmfValue tower = AmfValue::ofKind(AmfKind::Null);
  for (size_t i = 0; i < kMaxAmfDepth + 5; ++i) {
    AmfValue up = AmfValue::ofKind(AmfKind::StrictArray);
    up.elements.push_back(std::move(tower));
    tower = std::move(up);
  }
  const std::vector<uint8_t> written = encode(tower);
  EXPECT_EQ(written.back(), static_cast<uint8_t>(AmfKind::Undefined));
  EXPECT_EQ(written.size(), (kMaxAmfDepth - 1) * 5 + 1);
  EXPECT_TRUE(decode(written, v));
}

}  // namespace
}  // namespace kivra
