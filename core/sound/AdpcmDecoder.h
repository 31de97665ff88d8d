#pragma once
// The ADPCM codec of sound characters and stream blocks: a 2-bit code size
// (2 to 5 bits per code) and then packets of 4096 frames, each starting with
// a 16-bit sample and a 6-bit step index per channel, followed by one code
// per channel and frame. Bits are read most significant first.
//
// The caller owns the decoder and the output; the decoder reads only the
// bytes it was given and yields silence for frames the data lacks.
#include <cstddef>
#include <cstdint>

namespace kivra {

class AdpcmDecoder {
 public:
  static constexpr uint32_t kPacketFrames = 4096;

  void reset(const uint8_t* data, size_t length, bool stereo);
  // Decodes `frames` frames (interleaved left/right when stereo) into `out`,
  // or skips them when `out` is null; frames past the data are zero.
  void decode(int16_t* out, size_t frames);
  // Whether the data ran out (every later frame is silence).
  bool ended() const { return ended_; }
  int codeBits() const { return codeBits_; }

 private:
  template <bool Store, int Channels>
  void decodeRun(int16_t* out, size_t frames);
  bool startPacket();
  // Bits in hand or still in the data.
  uint64_t bitsLeft() const { return bufferBits_ + 8 * uint64_t(length_ - pos_); }
  uint32_t readBits(int n) {
    while (bufferBits_ < n) {
      buffer_ = (buffer_ << 8) | (pos_ < length_ ? data_[pos_++] : 0u);
      bufferBits_ += 8;
    }
    bufferBits_ -= n;
    return (buffer_ >> bufferBits_) & ((1u << n) - 1);
  }
  void skipBits(uint64_t n);

  const uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t pos_ = 0;
  uint32_t buffer_ = 0;
  int bufferBits_ = 0;
  int codeBits_ = 0;  // 0 until the code size is read
  int channels_ = 1;
  uint32_t frame_ = 0;  // frames decoded since the start
  int32_t sample_[2] = {0, 0};
  int32_t index_[2] = {0, 0};
  bool ended_ = false;
};

}  // namespace kivra
