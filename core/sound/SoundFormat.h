#pragma once
// The sound format byte of every sound tag and of the mixer's output: bits
// 4-7 codec, bits 2-3 rate index, bit 1 16-bit samples, bit 0 stereo. Time
// in the sound system counts samples at 44,100 Hz ("44.1 kHz units"); a
// rate's shift turns such a count into native samples.
#include <cstdint>

namespace kivra {

enum class SoundCodec : uint8_t {
  RawHostOrder = 0,
  Adpcm = 1,
  Mp3 = 2,
  RawLittleEndian = 3,
  Nellymoser8k = 5,
  Nellymoser = 6,
  Synthesizer = 15,
};

struct SoundFormat {
  uint8_t byte = 0;

  constexpr SoundFormat() = default;
  constexpr explicit SoundFormat(uint8_t b) : byte(b) {}

  constexpr uint8_t codecNumber() const { return byte >> 4; }
  constexpr SoundCodec codec() const { return static_cast<SoundCodec>(byte >> 4); }
  constexpr int rateIndex() const { return (byte >> 2) & 3; }
  // 5512 (not 5512.5), 11025, 22050 or 44100.
  constexpr int rate() const { return rateIndex() == 0 ? 5512 : 11025 << (rateIndex() - 1); }
  constexpr int shift() const { return 3 - rateIndex(); }
  constexpr bool sixteenBit() const { return byte & 2; }
  constexpr bool stereo() const { return byte & 1; }
  constexpr int channels() const { return stereo() ? 2 : 1; }
  constexpr int frameBytes() const { return (sixteenBit() ? 2 : 1) * channels(); }
};

// The mix: 44.1 kHz, 16-bit, stereo, raw.
constexpr SoundFormat kOutputFormat{0x0F};

}  // namespace kivra
