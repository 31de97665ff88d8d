#pragma once
// What a channel plays: a sound character, or the current block of a
// stream. The bytes belong to the movie buffer, which outlives the channel.
#include <cstddef>
#include <cstdint>

#include "core/sound/SoundFormat.h"

namespace kivra {

struct SoundRecord {
  SoundFormat format;
  uint32_t sampleCount = 0;  // frames at the sound's own rate
  const uint8_t* data = nullptr;
  size_t length = 0;
  uint16_t seekSamples = 0;  // MP3 only
};

}  // namespace kivra
