// Sound tag bodies from arbitrary bytes: a DefineSound body (id, format,
// sample count, data) and a StartSound SoundInfo, split at the first byte's
// offset, mixed for a few buffers on the player's mixer. Whatever the
// counts, lengths, points and loops say, the work is bounded and nothing is
// read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/sound/SoundInfo.h"
#include "core/sound/SoundMixer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 8) return 0;
  const size_t split = 1 + data[0] % (size - 1);
  // Copies, so that a read past either part is caught.
  std::vector<uint8_t> body(data + 1, data + split), info(data + split, data + size);
  if (body.size() < 7) return 0;
  SoundRecord record;
  record.format = SoundFormat(body[2]);
  std::memcpy(&record.sampleCount, &body[3], 4);
  record.data = body.data() + 7;
  record.length = body.size() - 7;
  SoundInfo parsed;
  readSoundInfo(info.data(), info.size(), parsed);
  SoundMixer mixer;
  for (int i = 0; i < 10; ++i) {
    auto channel = SoundChannel::make(record, &body, parsed);
    channel->volumeClip = nullptr;
    mixer.addChannel(std::move(channel), 0);
  }
  std::vector<int16_t> out(SoundMixer::kBufferFrames * 2);
  for (int i = 0; i < 6; ++i) mixer.mixBuffer(out.data());
  return 0;
}
