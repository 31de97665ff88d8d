// A streaming movie that arrives more slowly than it plays: the stream runs
// dry, plays silence, and starts again only once the sound buffer time
// (_soundbuftime) has arrived beyond it; the timeline waits meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/host/AudioOutput.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

// Keeps the left side of everything the player sends.
class RecordingAudio : public AudioOutput {
 public:
  bool write(const int16_t* samples, size_t frames) override {
    for (size_t i = 0; i < frames; ++i) left.push_back(samples[2 * i]);
    return true;
  }
  std::vector<int16_t> left;
};

class SoundHost : public test::StubHost {
 public:
  using StubHost::StubHost;
  Host host() {
    const Host h = StubHost::host();
    return Host{h.timer, h.window, h.clock, h.slowScript, h.commands, h.debug,  h.info,      h.input,
                h.memory, h.libraries, audio, h.urls,     h.fonts,    h.printer, h.clipboard};
  }
  RecordingAudio audio;
};

class StreamPlayer : public test::TestPlayerOf<SoundHost> {
 public:
  // One 83 ms step: the sound of that time is heard, then the frame step.
  void tick() {
    mixAudio(3660);
    stub().clock += 83;
    frameStep(true);
  }
  // Whether the last `frames` frames sent were all silent.
  bool silentTail(size_t frames) const {
    const std::vector<int16_t>& l = stub().audio.left;
    for (size_t i = l.size() - frames; i < l.size(); ++i)
      if (l[i] != 0) return false;
    return true;
  }
};

// Raw 16-bit mono at 44.1 kHz, a constant 1000, one block of 3675 samples a
// frame for 60 frames; a sound buffer time of 1 s is 12 frames at 12 fps.
constexpr int kFrames = 60;
constexpr size_t kFrameBytes = 6 + 3675 * 2 + 2;  // long block tag, ShowFrame

std::vector<uint8_t> streamMovie(const std::string& bufferSeconds) {
  std::string source = "movie rate=12\nstreamhead format=0x3E perblock=3675\n";
  std::string data;
  for (int i = 0; i < 3675; ++i) data += "e803";
  source += "actions {\n  Push \"_soundbuftime\" " + bufferSeconds + "\n  SetVariable\n}\n";
  for (int f = 0; f < kFrames; ++f) source += "streamblock data=" + data + "\nshowframe\n";
  return test::compile(source);
}

TEST(StreamUnderrun, WaitsForTheSoundBufferTimeToArrive) {
  for (const std::string seconds : {"1", "3"}) {
    SCOPED_TRACE(seconds);
    const std::vector<uint8_t> movie = streamMovie(seconds);
    const size_t head = movie.size() - kFrames * kFrameBytes - 2;  // before the first block
    StreamPlayer p;
    p.openMovie("test.qvx");
    // Ten frames arrive, the stream plays them and runs dry.
    size_t fed = head + 10 * kFrameBytes;
    p.feedMovie(movie.data(), fed);
    for (int i = 0; i < 14; ++i) p.tick();
    EXPECT_TRUE(p.silentTail(3660));
    const int waitingAt = p.level0()->currentFrame();
    EXPECT_GE(waitingAt, 9);
    EXPECT_LE(waitingAt, 10);
    // Data arrives, frame by frame, but less than the buffer time: still
    // silence, and the timeline stays by what it has heard (a frame ahead
    // at most) instead of following the data.
    const int need = seconds == "1" ? 12 : 36;
    for (int f = 11; f < 10 + need; ++f) {
      p.feedMovie(movie.data() + fed, kFrameBytes);
      fed += kFrameBytes;
      p.tick();
      ASSERT_TRUE(p.silentTail(3660)) << "frame " << f;
    }
    EXPECT_LE(p.level0()->currentFrame(), waitingAt + 2);
    // Enough has come: it plays on, and so does its timeline.
    p.feedMovie(movie.data() + fed, 3 * kFrameBytes);
    for (int i = 0; i < 3; ++i) p.tick();
    EXPECT_FALSE(p.silentTail(3660));
    EXPECT_GT(p.level0()->currentFrame(), waitingAt + 2);
  }
}

}  // namespace
}  // namespace kivra
