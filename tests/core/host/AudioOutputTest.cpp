// The player's sound reaches the host through its AudioOutput: whole frames
// of the mix, as many as asked for, until the output fails.
#include "core/host/AudioOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/support/StubPlayer.h"

namespace kivra {
namespace {

class RecordingOutput : public AudioOutput {
 public:
  bool write(const int16_t* samples, size_t frames) override {
    ++writes;
    received.insert(received.end(), samples, samples + frames * kChannels);
    return writes < failAfter;
  }
  std::vector<int16_t> received;
  int writes = 0;
  int failAfter = 1 << 30;
};

class AudioHost : public test::StubHost {
 public:
  RecordingOutput output;
  Host host() {
    Host h = StubHost::host();
    return Host{h.timer, h.window,  h.clock, h.slowScript, h.commands, h.debug, h.info,     h.input,
                h.memory, h.libraries, output, h.urls,       h.fonts,    h.printer, h.clipboard};
  }
};

TEST(AudioOutput, TheMixReachesTheHostFrameByFrameUntilItFails) {
  test::StubPlayerOf<AudioHost> player;
  RecordingOutput& out = player.stub().output;
  EXPECT_TRUE(player.mixAudio(0));
  EXPECT_EQ(out.writes, 0);
  // No sound plays: the mix is silence, of exactly the length asked.
  EXPECT_TRUE(player.mixAudio(2500));
  EXPECT_EQ(out.received.size(), 2500u * AudioOutput::kChannels);
  EXPECT_TRUE(std::all_of(out.received.begin(), out.received.end(), [](int16_t s) { return s == 0; }));
  // A failed output is sent nothing more in that call.
  out.failAfter = out.writes + 1;
  const int before = out.writes;
  EXPECT_FALSE(player.mixAudio(5000));
  EXPECT_EQ(out.writes, before + 1);
}

}  // namespace
}  // namespace kivra
