// The MP3 wrapper on arbitrary bytes: the first byte is the sound's format
// byte (its rate and channels), the second seeds the request sizes and
// whether each request decodes or skips; the rest, cut into two blocks fed
// one after the other, is the MPEG data. Requests past the end must come
// back zero-filled, and nothing may be read outside the data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/sound/Mp3Decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 2) return 0;
  SoundRecord r;
  r.format = SoundFormat(static_cast<uint8_t>(0x20 | (data[0] & 0x0F)));
  r.seekSamples = static_cast<uint16_t>(data[0] >> 4) * 100;
  const uint8_t mode = data[1];
  // Copies, so that a read past either block is caught by the sanitizer.
  const size_t half = (size - 2) / 2;
  const std::vector<uint8_t> first(data + 2, data + 2 + half), second(data + 2 + half, data + size);
  const int channels = r.format.channels();
  std::vector<int16_t> out(2 * 6000);
  Mp3Decoder d;
  for (int block = 0; block < 2; ++block) {
    const std::vector<uint8_t>& bytes = block == 0 ? first : second;
    r.data = bytes.data();
    r.length = bytes.size();
    d.reset(r, block == 0);
    for (int step = 0; step < 6; ++step) {
      const size_t n = 1 + static_cast<size_t>((mode * 131 + step * 977) % 5999);
      const bool skip = (mode >> (step % 8)) & 1;
      out.assign(out.size(), 1);
      const size_t got = d.decode(skip ? nullptr : out.data(), n);
      if (got > n) __builtin_trap();
      if (!skip)
        for (size_t i = got * channels; i < n * channels; ++i)
          if (out[i] != 0) __builtin_trap();
    }
  }
  return 0;
}
