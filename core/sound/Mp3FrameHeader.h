#pragma once
// The 4-byte header of an MPEG audio frame, read by our own rules so that
// skipping and sound durations do not depend on the decoder: sync, version
// (MPEG-1, 2 or 2.5), layer, bit rate, sample rate, padding and channels,
// and from them the frame's length in bytes and its samples.
#include <cstddef>
#include <cstdint>

namespace kivra {

struct Mp3FrameHeader {
  int version = 0;      // 1, 2, or 25 for MPEG-2.5
  int layer = 0;        // 1, 2 or 3
  int bitRate = 0;      // bits per second
  int sampleRate = 0;   // Hz
  int padding = 0;
  int channels = 0;
  int frameBytes = 0;   // the whole frame, header included
  int samples = 0;      // sample frames it decodes to

  // False when the 4 bytes at `p` (of `available`) are not a frame header.
  static bool parse(const uint8_t* p, size_t available, Mp3FrameHeader& out);
};

}  // namespace kivra
