#include "core/sound/Mp3FrameHeader.h"

namespace kivra {

namespace {

// Kilobits per second by bit-rate index 1..14: MPEG-1 layers I, II, III,
// then MPEG-2 and 2.5 layer I, and layers II and III.
constexpr int kBitRates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

}  // namespace

bool Mp3FrameHeader::parse(const uint8_t* p, size_t available, Mp3FrameHeader& out) {
  if (!p || available < 4 || p[0] != 0xFF || p[1] <= 0xDF) return false;
  const int versionBits = (p[1] >> 3) & 3;
  const int layerBits = (p[1] >> 1) & 3;
  const int rateIndex = p[2] >> 4;
  const int sampleIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return false;
  Mp3FrameHeader h;
  h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  h.layer = 4 - layerBits;
  const int table = h.version == 1 ? h.layer - 1 : h.layer == 1 ? 3 : 4;
  h.bitRate = kBitRates[table][rateIndex - 1] * 1000;
  h.sampleRate = kSampleRates[sampleIndex] >> (h.version == 1 ? 0 : h.version == 2 ? 1 : 2);
  h.padding = (p[2] >> 1) & 1;
  h.channels = p[3] < 0xC0 ? 2 : 1;
  if (h.layer == 1) {
    h.frameBytes = (12 * h.bitRate / h.sampleRate + h.padding) * 4;
    h.samples = 384;
  } else if (h.layer == 3 && h.version != 1) {
    h.frameBytes = 72 * h.bitRate / h.sampleRate + h.padding;
    h.samples = 576;
  } else {
    h.frameBytes = 144 * h.bitRate / h.sampleRate + h.padding;
    h.samples = 1152;
  }
  out = h;
  return true;
}

}  // namespace kivra
