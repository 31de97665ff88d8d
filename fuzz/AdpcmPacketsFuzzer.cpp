// ADPCM data from arbitrary bytes: the first byte picks mono or stereo and
// how the frames are taken (decoded, skipped in steps, or a mix); the rest
// is the data. Decoding must stay inside it and yield silence past it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/sound/AdpcmDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const bool stereo = mode & 1;
  AdpcmDecoder d;
  d.reset(data + 1, size - 1, stereo);
  std::vector<int16_t> out(2 * 5000);
  // Far more frames than the data can hold: the tail must be silence.
  const size_t frames = (size - 1) * 4 + 9000;
  size_t done = 0;
  for (int step = 0; done < frames; ++step) {
    const size_t n = ((mode >> 1) & 3) == 0 ? 5000 : static_cast<size_t>(1 + ((mode * 131 + step * 977) % 4999));
    const size_t take = n < frames - done ? n : frames - done;
    const bool skip = (mode & 8) && (step & 1);
    d.decode(skip ? nullptr : out.data(), take);
    done += take;
  }
  if (!d.ended()) __builtin_trap();
  return 0;
}
