#include "core/sound/AdpcmDecoder.h"

#include <array>
#include <cstring>

#include "core/format/AdpcmTables.h"

namespace kivra {

namespace {

// The difference a code's magnitude bits make at a step:
//   e = step; sum = 0; per magnitude bit from the top: if set, sum += e; e >>= 1
//   diff = sum + e
constexpr int32_t difference(int step, uint32_t magnitude, int bits) {
  int32_t e = step, sum = 0;
  for (int b = bits - 2; b >= 0; --b) {
    if (magnitude & (1u << b)) sum += e;
    e >>= 1;
  }
  return sum + e;
}

// One row of 16 per step index (only the first 2^(bits-1) are used).
template <int Bits>
constexpr std::array<int32_t, 89 * 16> makeDifferences() {
  std::array<int32_t, 89 * 16> t{};
  for (int i = 0; i < 89; ++i)
    for (uint32_t m = 0; m < (1u << (Bits - 1)); ++m) t[i * 16 + m] = difference(kAdpcmSteps[i], m, Bits);
  return t;
}
constexpr std::array<int32_t, 89 * 16> kDiff2 = makeDifferences<2>();
constexpr std::array<int32_t, 89 * 16> kDiff3 = makeDifferences<3>();
constexpr std::array<int32_t, 89 * 16> kDiff4 = makeDifferences<4>();
constexpr std::array<int32_t, 89 * 16> kDiff5 = makeDifferences<5>();
constexpr const int32_t* kDiffTables[] = {kDiff2.data(), kDiff2.data(), kDiff2.data(),
                                          kDiff3.data(), kDiff4.data(), kDiff5.data()};

}  // namespace

void AdpcmDecoder::reset(const uint8_t* data, size_t length, bool stereo) {
  data_ = data;
  length_ = data ? length : 0;
  pos_ = 0;
  buffer_ = 0;
  bufferBits_ = 0;
  channels_ = stereo ? 2 : 1;
  frame_ = 0;
  sample_[0] = sample_[1] = 0;
  index_[0] = index_[1] = 0;
  ended_ = bitsLeft() < 2;
  codeBits_ = ended_ ? 2 : static_cast<int>(readBits(2)) + 2;
}

void AdpcmDecoder::skipBits(uint64_t n) {
  const uint64_t inHand = static_cast<uint64_t>(bufferBits_) < n ? bufferBits_ : n;
  bufferBits_ -= static_cast<int>(inHand);
  n -= inHand;
  const uint64_t bytes = n / 8;
  pos_ = bytes < length_ - pos_ ? pos_ + static_cast<size_t>(bytes) : length_;
  readBits(static_cast<int>(n % 8));
}

// A packet header per channel: the first frame's sample and the step index.
bool AdpcmDecoder::startPacket() {
  if (bitsLeft() < static_cast<uint64_t>(22 * channels_)) return false;
  for (int c = 0; c < channels_; ++c) {
    sample_[c] = static_cast<int16_t>(readBits(16));
    index_[c] = static_cast<int32_t>(readBits(6));
    if (index_[c] > 88) index_[c] = 88;
  }
  return true;
}

template <bool Store, int Channels>
void AdpcmDecoder::decodeRun(int16_t* out, size_t frames) {
  const int n = codeBits_;
  const int32_t* diff = kDiffTables[n];
  const int8_t* step = kAdpcmIndexMoves[n - 2];  // n is 2 to 5
  const uint32_t sign = 1u << (n - 1);
  const uint32_t magnitudeMask = sign - 1;
  int32_t s0 = sample_[0], s1 = sample_[1], i0 = index_[0], i1 = index_[1];
  auto one = [&](int32_t& s, int32_t& i) {
    const uint32_t code = readBits(n);
    const uint32_t m = code & magnitudeMask;
    const int32_t d = diff[i * 16 + static_cast<int32_t>(m)];
    s += (code & sign) ? -d : d;
    s = s < -32768 ? -32768 : s > 32767 ? 32767 : s;
    i += step[m];
    i = i < 0 ? 0 : i > 88 ? 88 : i;
  };
  for (size_t f = 0; f < frames; ++f) {
    one(s0, i0);
    if constexpr (Channels == 2) one(s1, i1);
    if constexpr (Store) {
      out[f * Channels] = static_cast<int16_t>(s0);
      if constexpr (Channels == 2) out[f * 2 + 1] = static_cast<int16_t>(s1);
    }
  }
  sample_[0] = s0;
  sample_[1] = s1;
  index_[0] = i0;
  index_[1] = i1;
}

void AdpcmDecoder::decode(int16_t* out, size_t frames) {
  const int ch = channels_;
  while (frames > 0 && !ended_) {
    const uint32_t inPacket = frame_ % kPacketFrames;
    if (inPacket == 0) {
      // Whole packets nobody hears are passed over by their length.
      const uint64_t packetBits = static_cast<uint64_t>(22 + (kPacketFrames - 1) * codeBits_) * ch;
      if (!out && frames >= kPacketFrames && bitsLeft() >= packetBits) {
        skipBits(packetBits);
        frame_ += kPacketFrames;
        frames -= kPacketFrames;
        continue;
      }
      if (!startPacket()) {
        ended_ = true;
        break;
      }
      if (out) {
        out[0] = static_cast<int16_t>(sample_[0]);
        if (ch == 2) out[1] = static_cast<int16_t>(sample_[1]);
        out += ch;
      }
      ++frame_;
      --frames;
      continue;
    }
    size_t run = kPacketFrames - inPacket;
    if (run > frames) run = frames;
    // Only whole frames whose codes are all there are decoded.
    const uint64_t whole = bitsLeft() / static_cast<uint64_t>(codeBits_ * ch);
    if (whole < run) {
      run = static_cast<size_t>(whole);
      ended_ = true;
    }
    if (ch == 2) {
      if (out) decodeRun<true, 2>(out, run); else decodeRun<false, 2>(nullptr, run);
    } else {
      if (out) decodeRun<true, 1>(out, run); else decodeRun<false, 1>(nullptr, run);
    }
    if (out) out += run * ch;
    frame_ += static_cast<uint32_t>(run);
    frames -= run;
  }
  if (out && frames > 0) std::memset(out, 0, frames * ch * sizeof(int16_t));
}

}  // namespace kivra
