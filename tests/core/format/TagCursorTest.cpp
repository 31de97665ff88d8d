#include "core/format/TagCursor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/MovieBytes.h"

namespace kivra {
namespace {

using test::Bytes;

TEST(TagCursorBits, ReadsFieldsMostSignificantBitFirst) {
  const Bytes b = {0b10110010, 0b01111111};
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  EXPECT_EQ(c.readUB(1), 1u);
  EXPECT_EQ(c.readUB(3), 0b011u);
  EXPECT_EQ(c.readSB(4), 2);
  EXPECT_EQ(c.readSB(2), 1);
  EXPECT_EQ(c.readSB(6), -1);
  EXPECT_FALSE(c.overrun());
}

TEST(TagCursorBits, SignedFieldsExtendTheirFirstBit) {
  const Bytes b = {0b11100000, 0b01100000};
  TagCursor c(b.data(), 2);
  EXPECT_EQ(c.readSB(3), -1);
  c.alignToByte();
  EXPECT_EQ(c.readSB(3), 3);
}

TEST(TagCursorBits, ZeroWidthFieldsReadNothing) {
  const Bytes b = {0xFF};
  TagCursor c(b.data(), 1);
  EXPECT_EQ(c.readUB(0), 0u);
  EXPECT_EQ(c.readSB(0), 0);
  EXPECT_EQ(c.position(), 0);
  EXPECT_EQ(c.readUB(8), 0xFFu);
}

TEST(TagCursorBits, ByteReadsIgnoreTheBitBuffer) {
  const Bytes b = {0xAB, 0x34, 0x12};
  TagCursor c(b.data(), 3);
  c.readUB(3);
  EXPECT_EQ(c.readU16(), 0x1234);
}

TEST(TagCursorBits, BitsAfterAByteFieldStartOnTheNextByte) {
  // 3 bits, then a byte field, then 4 bits: the stale bits of the first
  // byte must not leak into the second bit field.
  const Bytes b = {0b10111111, 0x42, 0b01010000};
  TagCursor c(b.data(), 3);
  EXPECT_EQ(c.readUB(3), 0b101u);
  EXPECT_EQ(c.readU8(), 0x42);
  EXPECT_EQ(c.readUB(4), 0b0101u);
}

// Bytes from a small linear congruential sequence: every bit pattern, repeatable.
Bytes scrambledBytes(uint32_t seed, int count) {
  Bytes b;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    b.push_back(static_cast<uint8_t>(seed >> 16));
  }
  return b;
}

// Fields of every width, read whole or bit by bit, agree, also across a
// read limit (the bits past it read as zeros and flag the overrun).
TEST(TagCursorBits, WideFieldsMatchBitByBitReadsUpToTheLimit) {
  const Bytes b = scrambledBytes(12345, 64);
  for (int64_t limit : {int64_t{64}, int64_t{37}, int64_t{5}}) {
    TagCursor whole(b.data(), limit), bits(b.data(), limit);
    unsigned width = 0;
    for (int field = 0; field < 26; ++field) {  // 54 bytes
      width = (width * 7 + 3) % 33;  // 0..32, in a scattered order
      uint32_t expected = 0;
      for (unsigned i = 0; i < width; ++i) expected = expected << 1 | bits.readUB(1);
      if (field % 2) {
        int64_t signedExpected = expected;
        if (width > 0 && width < 32 && (expected >> (width - 1)) & 1) signedExpected -= int64_t{1} << width;
        EXPECT_EQ(whole.readSB(width), static_cast<int32_t>(signedExpected)) << "limit " << limit << " field " << field;
      } else {
        EXPECT_EQ(whole.readUB(width), expected) << "limit " << limit << " field " << field;
      }
      EXPECT_EQ(whole.position(), bits.position());
      EXPECT_EQ(whole.overrun(), bits.overrun());
    }
    EXPECT_EQ(whole.overrun(), limit < 64);
  }
}

// A word peeked at any bit position holds the next 64 bits as field reads
// give them, and passing n of its bits leaves the cursor where a read of n
// bits would; near the limit the word holds fewer bits, zeros after them.
TEST(TagCursorBits, PeekedWordsMatchFieldReads) {
  const Bytes b = scrambledBytes(777, 40);
  const int64_t limit = 40;
  for (unsigned start = 0; start <= 8 * 40; start += 5) {
    for (unsigned n : {1u, 7u, 8u, 9u, 33u, 57u, 64u}) {
      TagCursor peek(b.data(), limit), read(b.data(), limit);
      for (unsigned skip = start; skip > 0;) {  // reach the bit position in uneven steps
        const unsigned k = skip < 13 ? skip : 13;
        peek.readUB(k);
        read.readUB(k);
        skip -= k;
      }
      uint64_t w = 0;
      const unsigned valid = peek.peekBits64(w);
      ASSERT_EQ(valid, std::min<unsigned>(64, 8 * limit - start)) << start;
      if (n > valid) continue;
      TagCursor bits = read;
      uint64_t expected = 0;
      for (int i = 0; i < 64; ++i) expected = expected << 1 | bits.readUB(1);  // zeros past the limit
      EXPECT_EQ(w, expected) << start;
      peek.skipBits(n);
      read.readUB(n > 32 ? n - 32 : n);
      if (n > 32) read.readUB(32);
      EXPECT_EQ(peek.position(), read.position()) << start << " " << n;
      EXPECT_EQ(peek.readUB(11), read.readUB(11)) << start << " " << n;
      EXPECT_EQ(peek.overrun(), read.overrun());
    }
  }
}

TEST(TagCursorLimits, ReadsBeyondTheEndYieldZeroAndFlagOverrun) {
  const Bytes b = {0x01, 0x02, 0x03};
  TagCursor c(b.data(), 3);
  EXPECT_EQ(c.readU16(), 0x0201);
  EXPECT_EQ(c.readU32(), 0x03u);
  EXPECT_TRUE(c.overrun());
  EXPECT_EQ(c.readUB(17), 0u);
  EXPECT_EQ(c.readString(), "");
}

TEST(TagCursorLimits, ReadEndConfinesATagBody) {
  const Bytes b = {'a', 'b', 'c', 0, 'x'};
  TagCursor c(b.data(), 5);
  c.setReadEnd(2);
  EXPECT_EQ(c.readString(), "ab");
  EXPECT_TRUE(c.overrun());
  c.clearReadEnd();
  c.clearOverrun();
  c.setPosition(0);
  EXPECT_EQ(c.readString(), "abc");
  EXPECT_FALSE(c.overrun());
}

TEST(TagCursorLimits, NegativePositionReadsNothing) {
  const Bytes b = {1, 2, 3};
  TagCursor c(b.data(), 3);
  c.setPosition(-5);
  EXPECT_EQ(c.readU8(), 0);
  EXPECT_TRUE(c.overrun());
  TagHeader h;
  EXPECT_EQ(c.readTagHeader(h), TagRead::PastEnd);
}

TEST(TagCursorRecords, RectWithNegativeValues) {
  const Bytes r = test::rectRecord(-20, 11000, -400, 8000);
  TagCursor c(r.data(), static_cast<int64_t>(r.size()));
  const RECT rect = c.readRect();
  EXPECT_EQ(rect, (RECT{-20, 11000, -400, 8000}));
  EXPECT_EQ(c.position(), static_cast<int64_t>(r.size()));
  EXPECT_FALSE(c.overrun());
}

TEST(TagCursorRecords, MatrixWithoutScaleOrRotationIsIdentityPlusTranslation) {
  // has-scale 0, has-rotate 0, n = 5: tx = 3, ty = -2.
  // bits: 0 0 00101 00011 11110 -> 0000 1010 0011 1111 0(pad)
  const Bytes b = {0x0A, 0x3F, 0x00};
  TagCursor c(b.data(), 3);
  const MATRIX m = c.readMatrix();
  EXPECT_EQ(m.a, 0x10000);
  EXPECT_EQ(m.d, 0x10000);
  EXPECT_EQ(m.b, 0);
  EXPECT_EQ(m.c, 0);
  EXPECT_EQ(m.tx, 3);
  EXPECT_EQ(m.ty, -2);
  EXPECT_EQ(c.position(), 3);  // 17 bits take three bytes
}

TEST(TagCursorRecords, MatrixWithScaleAndRotation) {
  // has-scale 1, n = 18: a = 0x10000 (1.0), d = -0x8000 (-0.5);
  // has-rotate 1, n = 2: b = 1, c = -1; n = 0 translation.
  std::vector<bool> bits;
  auto put = [&](uint32_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) bits.push_back((v >> i) & 1u);
  };
  put(1, 1), put(18, 5), put(0x10000, 18), put(static_cast<uint32_t>(-0x8000), 18);
  put(1, 1), put(2, 5), put(1, 2), put(static_cast<uint32_t>(-1), 2);
  put(0, 5);
  Bytes b((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) b[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  const MATRIX m = c.readMatrix();
  EXPECT_EQ(m.a, 0x10000);
  EXPECT_EQ(m.d, -0x8000);
  EXPECT_EQ(m.b, 1);
  EXPECT_EQ(m.c, -1);
  EXPECT_EQ(m.tx, 0);
  EXPECT_FALSE(c.overrun());
}

TEST(TagCursorRecords, CxformWithAndWithoutAlpha) {
  // has-add 1, has-mult 1, n = 10; mult 256,128,0 (,64); add -1,2,3 (,-4)
  auto build = [](bool alpha) {
    std::vector<bool> bits;
    auto put = [&](int32_t v, unsigned n) {
      for (unsigned i = n; i-- > 0;) bits.push_back((static_cast<uint32_t>(v) >> i) & 1u);
    };
    put(1, 1), put(1, 1), put(10, 4);
    put(256, 10), put(128, 10), put(0, 10);
    if (alpha) put(64, 10);
    put(-1, 10), put(2, 10), put(3, 10);
    if (alpha) put(-4, 10);
    Bytes b((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
      if (bits[i]) b[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return b;
  };
  const Bytes plain = build(false);
  TagCursor c(plain.data(), static_cast<int64_t>(plain.size()));
  CXFORM cx = c.readCxform(false);
  EXPECT_EQ(cx.flags, 3);
  EXPECT_EQ(cx.rMul, 256);
  EXPECT_EQ(cx.gMul, 128);
  EXPECT_EQ(cx.bMul, 0);
  EXPECT_EQ(cx.aMul, 256);
  EXPECT_EQ(cx.rAdd, -1);
  EXPECT_EQ(cx.aAdd, 0);
  const Bytes withAlpha = build(true);
  TagCursor d(withAlpha.data(), static_cast<int64_t>(withAlpha.size()));
  cx = d.readCxform(true);
  EXPECT_EQ(cx.aMul, 64);
  EXPECT_EQ(cx.aAdd, -4);
  EXPECT_EQ(cx.bAdd, 3);
  EXPECT_FALSE(d.overrun());
}

TEST(TagCursorRecords, ColoursAndStrings) {
  const Bytes b = {1, 2, 3, 4, 5, 6, 7, 'h', 'i', 0};
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  EXPECT_EQ(c.readRgb(), (Rgba{1, 2, 3, 255}));
  EXPECT_EQ(c.readRgba(), (Rgba{4, 5, 6, 7}));
  EXPECT_EQ(c.readString(), "hi");
  EXPECT_FALSE(c.overrun());
}

TEST(TagHeaders, ShortAndLongForms) {
  Bytes b = test::tag(9, {1, 2, 3});
  const Bytes longTag = test::tag(9, {4, 5}, true);  // long form for a short body is valid
  b.insert(b.end(), longTag.begin(), longTag.end());
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  TagHeader h;
  ASSERT_EQ(c.readTagHeader(h), TagRead::Tag);
  EXPECT_EQ(h.code, 9);
  EXPECT_EQ(h.length, 3u);
  EXPECT_FALSE(h.longForm);
  EXPECT_EQ(h.end, 5);
  c.setPosition(h.end);
  ASSERT_EQ(c.readTagHeader(h), TagRead::Tag);
  EXPECT_TRUE(h.longForm);
  EXPECT_EQ(h.length, 2u);
  EXPECT_EQ(h.bodyStart, 11);
  EXPECT_EQ(c.readU8(), 4);
}

TEST(TagHeaders, IncompleteTagsLeaveTheCursorAtTheirStart) {
  const Bytes b = test::tag(12, Bytes(100, 0x07));
  TagHeader h;
  for (int64_t have : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{5}, int64_t{50},
                       static_cast<int64_t>(b.size()) - 1}) {
    TagCursor c(b.data(), have);
    EXPECT_EQ(c.readTagHeader(h), TagRead::Incomplete) << have;
    EXPECT_EQ(c.position(), 0);
  }
  TagCursor whole(b.data(), static_cast<int64_t>(b.size()));
  EXPECT_EQ(whole.readTagHeader(h), TagRead::Tag);
}

TEST(TagHeaders, LengthBeyondTheSizeLimitIsPastTheEnd) {
  const Bytes b = test::tag(12, Bytes(10, 0));
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  c.setSizeLimit(static_cast<int64_t>(b.size()) - 1);
  TagHeader h;
  EXPECT_EQ(c.readTagHeader(h), TagRead::PastEnd);
  // A cursor beyond the limit is past the end too.
  TagCursor d(b.data(), static_cast<int64_t>(b.size()));
  d.setSizeLimit(2);
  d.setPosition(3);
  EXPECT_EQ(d.readTagHeader(h), TagRead::PastEnd);
}

TEST(TagHeaders, HugeLongLengthIsPastTheEndNotAWrap) {
  Bytes b = {0x3F, 0x03, 0xF0, 0xFF, 0xFF, 0xFF};  // code 12, length 0xFFFFFFF0
  TagCursor c(b.data(), static_cast<int64_t>(b.size()));
  TagHeader h;
  EXPECT_EQ(c.readTagHeader(h), TagRead::PastEnd);
}

}  // namespace
}  // namespace kivra
