// Runs arbitrary action bytes. The first input byte picks the movie version
// (low two bits: 4, 5, 6, 6); the rest is the body of a DoAction tag in a
// two-frame movie that is played for three frames. Runaway scripts must be
// stopped by the limits: the host's script clock jumps 16 ms at every
// reading (one every 1,024 actions), so the slow-script question comes after
// about a million actions, and the allocator's count puts the memory budget
// in force.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/CorePlayer.h"
#include "platform/MemoryUse.h"
#include "tests/support/StubHost.h"

namespace {
using namespace kivra;

class FuzzHost : public test::StubHost {
 public:
  size_t memoryInUse() override { return allocatedBytes(); }
};

void le16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

void longTag(std::vector<uint8_t>& v, uint16_t code, const uint8_t* body, size_t n) {
  le16(v, static_cast<uint16_t>((code << 6) | 0x3F));
  le16(v, static_cast<uint32_t>(n));
  le16(v, static_cast<uint32_t>(n >> 16));
  v.insert(v.end(), body, body + n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static constexpr uint8_t kVersions[4] = {4, 5, 6, 6};
  const uint8_t version = kVersions[data[0] & 3];
  std::vector<uint8_t> body = {0x00, 0x00, 0x0C, 0x02, 0x00};  // empty rect, 12 fps, 2 frames
  longTag(body, 12, data + 1, size - 1);
  body.push_back(0x40);  // ShowFrame
  body.push_back(0x00);
  longTag(body, 12, data + 1, size - 1);
  body.push_back(0x40);
  body.push_back(0x00);
  body.push_back(0x00);  // End
  body.push_back(0x00);
  std::vector<uint8_t> movie = {'X', 'V', 'Q', version};
  const uint32_t length = static_cast<uint32_t>(8 + body.size());
  le16(movie, length);
  le16(movie, length >> 16);
  movie.insert(movie.end(), body.begin(), body.end());

  FuzzHost host;
  CorePlayer player(host.host());
  player.openMovie("fuzz.qvx");
  player.feedMovie(movie.data(), movie.size());
  for (int i = 0; i < 3 && !player.quitRequested(); ++i) {
    host.clock += 100;
    player.frameStep(false);
  }
  return 0;
}
