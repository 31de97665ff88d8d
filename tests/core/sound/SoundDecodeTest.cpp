// Sound data from outside: ADPCM packets and SoundInfo records, whole,
// skipped over, cut short or out of range.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/sound/AdpcmDecoder.h"
#include "core/sound/SoundInfo.h"

namespace kivra {
namespace {

// Bytes from a fixed-seed generator: not a real sound, but every code.
std::vector<uint8_t> noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return out;
}

// Skipping frames leaves the decoder where decoding them would, whether
// whole packets are passed over by length or decoded into nothing.
TEST(AdpcmDecoder, SkippingEqualsDecoding) {
  for (int bits = 0; bits < 4; ++bits)
    for (bool stereo : {false, true}) {
      SCOPED_TRACE(bits * 2 + stereo);
      std::vector<uint8_t> data = noise(40000, 7u + bits);
      data[0] = static_cast<uint8_t>((data[0] & 0x3F) | bits << 6);
      const int ch = stereo ? 2 : 1;
      AdpcmDecoder whole, skipped;
      whole.reset(data.data(), data.size(), stereo);
      skipped.reset(data.data(), data.size(), stereo);
      ASSERT_EQ(whole.codeBits(), bits + 2);
      std::vector<int16_t> all(12000 * ch), tail((12000 - 8292) * ch);
      whole.decode(all.data(), 12000);
      for (size_t step : {1u, 4095u, 4096u, 100u}) skipped.decode(nullptr, step);
      skipped.decode(tail.data(), 12000 - 8292);
      EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + (12000 - 8292) * ch, all.begin() + 8292 * ch));
    }
}

// Data that ends early decodes what is there and then silence; nothing is
// read past the end (the buffer is exactly as long as the data).
TEST(AdpcmDecoder, ShortDataEndsInSilence) {
  for (size_t length : {0u, 1u, 2u, 3u, 5u, 700u}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> bytes = noise(length, 3);
    if (length) bytes[0] = 0x80;  // 4-bit codes
    auto data = std::make_unique<uint8_t[]>(length);
    std::copy(bytes.begin(), bytes.end(), data.get());
    AdpcmDecoder d;
    d.reset(data.get(), length, true);
    std::vector<int16_t> out(20000 * 2, 1234);
    d.decode(out.data(), 20000);
    EXPECT_TRUE(d.ended());
    // 4-bit stereo: 2 + 44 header bits, then 8 bits a frame.
    const size_t decoded = length * 8 < 46 ? 0 : 1 + (length * 8 - 46) / 8;
    for (size_t i = decoded * 2; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  }
}

TEST(SoundInfo, RecordsAreReadWithinTheirBytes) {
  // 255 envelope points: the first 8 are kept, the rest read past.
  std::vector<uint8_t> b = {0x08 | 0x04 | 0x01, 0x10, 0, 0, 0, 0xFF, 0xFF, 255};
  for (int i = 0; i < 255; ++i) {
    const uint8_t p[8] = {static_cast<uint8_t>(i), 0, 0, 0, static_cast<uint8_t>(i), 0, 0, 0x80};
    b.insert(b.end(), p, p + 8);
  }
  SoundInfo info;
  bool complete = false;
  EXPECT_EQ(readSoundInfo(b.data(), b.size(), info, &complete), b.size());
  EXPECT_TRUE(complete);
  EXPECT_EQ(info.inPoint, 16u);
  EXPECT_EQ(info.loops, 0xFFFFu);
  EXPECT_EQ(info.envelope.count, 8);
  EXPECT_EQ(info.envelope.points[7].position, 7u);
  EXPECT_EQ(info.envelope.points[7].right, 0x8000);
  // Cut short: fields that are not all there stay at their defaults.
  for (size_t n = 0; n < 20; ++n) {
    auto cut = std::make_unique<uint8_t[]>(n);
    std::copy(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), cut.get());
    readSoundInfo(cut.get(), n, info, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(info.inPoint, n >= 5 ? 16u : 0u);
    EXPECT_EQ(info.outPoint, 0x7FFFFFFFu);
    EXPECT_LE(info.envelope.count, n >= 8 ? static_cast<int>((n - 8) / 8) : 0);
  }
}

}  // namespace
}  // namespace kivra
