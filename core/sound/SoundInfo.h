#pragma once
// How a sound starts (StartSound, button sounds, Sound.start): in and out
// points, loops, envelope and the no-multiple and stop flags.
#include <cstddef>
#include <cstdint>

namespace kivra {

struct SoundEnvelope {
  static constexpr int kMaxPoints = 8;
  struct Point {
    uint32_t position = 0;  // 44.1 kHz units
    uint16_t left = 0;      // 0..32768 is silence..full scale
    uint16_t right = 0;
  };
  int count = 0;
  Point points[kMaxPoints];
};

struct SoundInfo {
  enum Flags : uint8_t {
    HasInPoint = 0x01,
    HasOutPoint = 0x02,
    HasLoops = 0x04,
    HasEnvelope = 0x08,
    NoMultiple = 0x10,
    Stop = 0x20,
  };
  uint8_t flags = 0;
  uint32_t inPoint = 0;             // 44.1 kHz units
  uint32_t outPoint = 0x7FFFFFFF;   // 44.1 kHz units
  uint32_t loops = 0;               // 0 and 1 both play once
  SoundEnvelope envelope;

  bool noMultiple() const { return flags & NoMultiple; }
  bool stop() const { return flags & Stop; }
};

// Reads a SoundInfo record from `length` bytes; returns the bytes it took.
// Fields cut off by the end read as absent (points beyond 8 are skipped);
// `complete` tells whether the whole record was there.
size_t readSoundInfo(const uint8_t* data, size_t length, SoundInfo& out, bool* complete = nullptr);

}  // namespace kivra
