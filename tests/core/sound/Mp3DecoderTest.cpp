// MP3 sounds: frame headers by our own rules, and the decoder wrapper on
// files the `lame` encoder makes here from synthetic signals (the tests
// that need it are skipped with a message when it is not installed).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/sound/Mp3Decoder.h"
#include "core/sound/Mp3FrameHeader.h"
#include "tests/support/TempDir.h"
#include "tools/kit/Sounds.h"

namespace kivra {
namespace {

TEST(Mp3FrameHeader, LengthsSamplesAndRejectedBits) {
  Mp3FrameHeader h;
  const uint8_t mpeg1[] = {0xFF, 0xFB, 0x90, 0x44};  // Layer III, 128 kbit/s, 44.1 kHz, joint stereo
  ASSERT_TRUE(Mp3FrameHeader::parse(mpeg1, 4, h));
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.sampleRate, 44100);
  EXPECT_EQ(h.channels, 2);
  EXPECT_EQ(h.frameBytes, 417);
  EXPECT_EQ(h.samples, 1152);
  const uint8_t padded[] = {0xFF, 0xFB, 0x92, 0x44};
  ASSERT_TRUE(Mp3FrameHeader::parse(padded, 4, h));
  EXPECT_EQ(h.frameBytes, 418);
  const uint8_t mpeg2[] = {0xFF, 0xF3, 0x80, 0xC4};  // 64 kbit/s, 22.05 kHz, mono
  ASSERT_TRUE(Mp3FrameHeader::parse(mpeg2, 4, h));
  EXPECT_EQ(h.version, 2);
  EXPECT_EQ(h.sampleRate, 22050);
  EXPECT_EQ(h.channels, 1);
  EXPECT_EQ(h.frameBytes, 208);
  EXPECT_EQ(h.samples, 576);
  const uint8_t mpeg25[] = {0xFF, 0xE3, 0x40, 0xC4};  // 32 kbit/s, 11.025 kHz
  ASSERT_TRUE(Mp3FrameHeader::parse(mpeg25, 4, h));
  EXPECT_EQ(h.version, 25);
  EXPECT_EQ(h.sampleRate, 11025);
  EXPECT_EQ(h.frameBytes, 72 * 32000 / 11025);
  const uint8_t layer2[] = {0xFF, 0xFD, 0x90, 0x44};
  ASSERT_TRUE(Mp3FrameHeader::parse(layer2, 4, h));
  EXPECT_EQ(h.layer, 2);
  EXPECT_EQ(h.samples, 1152);
  // Version bits 01, layer bits 00, bit-rate index 15 and 0, sample-rate
  // index 3, a second byte not above 0xDF, too few bytes.
  const uint8_t bad[][4] = {{0xFF, 0xEB, 0x90, 0x44}, {0xFF, 0xF9, 0x90, 0x44}, {0xFF, 0xFB, 0xF0, 0x44},
                            {0xFF, 0xFB, 0x00, 0x44}, {0xFF, 0xFB, 0x9C, 0x44}, {0xFF, 0xDF, 0x90, 0x44},
                            {0xFE, 0xFB, 0x90, 0x44}};
  for (const auto& b : bad) EXPECT_FALSE(Mp3FrameHeader::parse(b, 4, h)) << int(b[1]) << " " << int(b[2]);
  EXPECT_FALSE(Mp3FrameHeader::parse(mpeg1, 3, h));
}

// Layer II frames (valid headers, empty bodies) are refused: silence, and
// no frames decoded; a request past the end of a Layer III sound is zeroed.
TEST(Mp3Decoder, OtherLayersAndShortDataGiveSilence) {
  std::vector<uint8_t> layer2;
  for (int f = 0; f < 20; ++f) {
    const uint8_t head[] = {0xFF, 0xFD, 0x90, 0x44};
    layer2.insert(layer2.end(), head, head + 4);
    layer2.resize(layer2.size() + 413, 0x55);
  }
  SoundRecord r;
  r.format = SoundFormat(0x2F);  // MP3, 44.1 kHz, 16-bit, stereo
  r.data = layer2.data();
  r.length = layer2.size();
  r.sampleCount = 20 * 1152;
  Mp3Decoder d;
  d.reset(r, true);
  std::vector<int16_t> out(2 * 5000, 7);
  EXPECT_EQ(d.decode(out.data(), 5000), 0u);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_TRUE(d.failed());
  // Nothing at all, and bytes that are not MPEG audio.
  for (size_t n : {0u, 3u, 700u}) {
    std::vector<uint8_t> junk(n, 0xA7);
    r.data = junk.data();
    r.length = junk.size();
    d.reset(r, true);
    std::fill(out.begin(), out.end(), 7);
    EXPECT_EQ(d.decode(out.data(), 5000), 0u);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(d.decode(nullptr, 5000), 0u);
  }
}

class LameFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("lame --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "the lame encoder is not installed";
  }
  // A sine and a rising chirp, encoded at `rate` with `channels` (at the
  // best variable bit rate: the encoder's constant rates keep only about
  // 26 dB of a pure tone, decoded by itself too).
  std::vector<uint8_t> encode(int rate, int channels, std::vector<int>& signal) {
    kit::PcmSound s;
    s.rate = rate;
    s.channels = channels;
    s.bits = 16;
    signal.clear();
    const int n = rate * 2;
    for (int i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double v = i < n / 2 ? std::sin(2 * M_PI * 440 * t) : std::sin(2 * M_PI * (200 + 400 * t) * t);
      const int sample = static_cast<int>(10000 * v);
      for (int c = 0; c < channels; ++c) {
        signal.push_back(sample);
        s.data.push_back(static_cast<uint8_t>(sample));
        s.data.push_back(static_cast<uint8_t>(sample >> 8));
      }
    }
    dir.write("in.wav", kit::encodeWav(s));
    const std::string command = std::string("lame --quiet -V 0") + (channels == 1 ? " -m m" : " -m j") +
                                " '" + dir.file("in.wav") + "' '" + dir.file("out.mp3") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return test::TempDir::read(dir.file("out.mp3"));
  }
  // Signal to noise in dB at the best alignment (the encoder's delay).
  static double snr(const std::vector<int>& source, const std::vector<int16_t>& decoded, int channels) {
    double best = -1e9;
    const size_t frames = source.size() / channels;
    for (size_t lag = 0; lag < 3000 && lag < decoded.size() / channels; ++lag) {
      double signal = 0, noise = 0;
      for (size_t i = 2000; i + 2000 < frames && i + lag < decoded.size() / channels; ++i)
        for (int c = 0; c < channels; ++c) {
          const double s = source[i * channels + c];
          const double e = s - decoded[(i + lag) * channels + c];
          signal += s * s;
          noise += e * e;
        }
      if (signal > 0) best = std::max(best, 10 * std::log10(signal / std::max(noise, 1.0)));
    }
    return best;
  }
  test::TempDir dir;
};

TEST_F(LameFiles, DecodesEveryMpegVersionCleanly) {
  struct Case {
    int rate, channels;
    uint8_t format;
    int version;
  };
  for (const Case& k : {Case{44100, 2, 0x2F, 1}, Case{22050, 1, 0x2A, 2}, Case{11025, 1, 0x26, 25}}) {
    SCOPED_TRACE(k.rate);
    std::vector<int> source;
    const std::vector<uint8_t> mp3 = encode(k.rate, k.channels, source);
    Mp3FrameHeader h;
    ASSERT_TRUE(Mp3FrameHeader::parse(mp3.data(), mp3.size(), h));
    EXPECT_EQ(h.version, k.version);
    SoundRecord r;
    r.format = SoundFormat(k.format);
    r.data = mp3.data();
    r.length = mp3.size();
    Mp3Decoder d;
    d.reset(r, true);
    const size_t frames = source.size() / k.channels + 3000;
    std::vector<int16_t> out(frames * k.channels);
    const size_t got = d.decode(out.data(), frames);
    EXPECT_GE(got, source.size() / k.channels);
    EXPECT_LT(got, frames);  // the request runs past the end
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(got * k.channels), out.end(),
                            [](int16_t v) { return v == 0; }));
    EXPECT_GE(snr(source, out, k.channels), 30.0);
  }
}

// A stream's blocks (whole frames each) decode with the state kept from
// block to block as the whole file does; a sound whose format byte says
// mono at half the rate gets mono at half the rate, its length kept.
TEST_F(LameFiles, BlocksKeepStateAndMismatchesAreConverted) {
  std::vector<int> source;
  const std::vector<uint8_t> mp3 = encode(44100, 2, source);
  SoundRecord whole;
  whole.format = SoundFormat(0x2F);
  whole.data = mp3.data();
  whole.length = mp3.size();
  Mp3Decoder d;
  d.reset(whole, true);
  std::vector<int16_t> all(2 * 90000);
  const size_t total = d.decode(all.data(), 90000);
  // Blocks of three frames, found by their headers.
  std::vector<int16_t> joined;
  size_t at = 0;
  bool first = true;
  while (at < mp3.size()) {
    size_t end = at;
    int frames = 0;
    Mp3FrameHeader h;
    while (frames < 3 && Mp3FrameHeader::parse(mp3.data() + end, mp3.size() - end, h) &&
           end + static_cast<size_t>(h.frameBytes) <= mp3.size()) {
      end += static_cast<size_t>(h.frameBytes);
      ++frames;
    }
    if (frames == 0) break;
    SoundRecord block = whole;
    block.data = mp3.data() + at;
    block.length = end - at;
    d.reset(block, first);
    first = false;
    std::vector<int16_t> part(2 * 1152 * frames);
    const size_t got = d.decode(part.data(), 1152 * frames);
    joined.insert(joined.end(), part.begin(), part.begin() + static_cast<long>(2 * got));
    at = end;
  }
  ASSERT_GE(joined.size(), 2 * total - 2 * 1152 * 3);
  for (size_t i = 0; i < joined.size() && i < 2 * total; ++i) ASSERT_EQ(joined[i], all[i]) << i;

  SoundRecord narrow = whole;
  narrow.format = SoundFormat(0x28);  // 22 kHz mono
  d.reset(narrow, true);
  std::vector<int16_t> half(45000 + 2000);
  const size_t got = d.decode(half.data(), half.size());
  EXPECT_NEAR(static_cast<double>(got), total / 2.0, 1152);
  std::vector<int> halfSource;
  for (size_t i = 0; i + 1 < source.size() / 2; i += 2) halfSource.push_back(source[2 * i]);
  // The core's 2:1 synthesis lands half a sample off every other source
  // sample, which alone costs the chirp's upper half about 10 dB.
  EXPECT_GE(snr(halfSource, half, 1), 12.0);
}

}  // namespace
}  // namespace kivra
