// The desktop's sound output: on a sound server's null sink when one can be
// started, and the silent stand-in that keeps time without a server.
#include "platform/desktop/QtAudioOutput.h"

#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "platform/desktop/DesktopPlayer.h"
#include "tests/platform/desktop/SourceMovie.h"

namespace kivra {
namespace {

// Plays a movie for `warmMs` and then `ms` through `audio` and checks that
// over the second stretch the mix kept pace with the output: never more
// than what was heard plus the frames kept ahead and the device's buffer,
// never far behind. (A server's null sink stalls a moment at first.)
void playsInTime(QtAudioOutput& audio, int warmMs, int ms) {
  std::vector<uint8_t> movie = test::compileSource("movie rate=12\nshowframe\nshowframe\n");
  // Each test runs in its own process, possibly beside the other: the
  // movie's name carries the process id so neither removes the other's.
  const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kivra-audio-" +
                           std::to_string(getpid()) + ".qvx";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  std::fwrite(movie.data(), 1, movie.size(), f);
  std::fclose(f);
  DesktopPlayer player(CommandLine{}, &audio);
  ASSERT_TRUE(player.loadMovieFile(path).ok);
  if (warmMs > 0) test::runUntil([] { return false; }, warmMs);
  const uint64_t before = audio.framesWritten();
  QElapsedTimer clock;
  clock.start();
  test::runUntil([] { return false; }, ms);
  const uint64_t elapsed = static_cast<uint64_t>(clock.elapsed()) * 44100 / 1000;
  const uint64_t written = audio.framesWritten();
  EXPECT_LE(audio.framesPlayed(written), written);
  EXPECT_LE(written - before, elapsed + QtAudioOutput::kAheadFrames + 4 * 2048 + 2048);
  // On a loaded machine the timer runs late; half the time is plenty.
  EXPECT_GE(written - before, elapsed / 2);
  std::remove(path.c_str());
}

TEST(QtAudioOutput, WithoutASoundServerASilentSinkKeepsTime) {
  setenv("PULSE_SERVER", "unix:/nonexistent/kivra-no-server", 1);
  QtAudioOutput audio;
  if (!audio.silent()) GTEST_SKIP() << "a sound device opened without a server";
  // Before anything is written, nothing is wanted beyond the frames ahead.
  EXPECT_EQ(audio.framesWanted(), QtAudioOutput::kAheadFrames);
  std::vector<int16_t> frames(2 * 100, 7);
  EXPECT_TRUE(audio.write(frames.data(), 100));
  EXPECT_LE(audio.framesPlayed(100), 100u);
  playsInTime(audio, 0, 400);
}

TEST(QtAudioOutput, PlaysOnANullSink) {
  if (std::system("command -v pulseaudio > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "pulseaudio is not installed: the null-sink test is skipped";
  const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kivra-pulse";
  std::system(("mkdir -p -m 700 " + dir).c_str());
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  unsetenv("PULSE_SERVER");
  if (std::system("pulseaudio -D --exit-idle-time=-1 --disallow-exit --load=module-null-sink > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "pulseaudio could not start: the null-sink test is skipped";
  {
    QtAudioOutput audio;
    // The server lists its sinks a moment after the first look.
    test::runUntil([&] { return audio.framesWanted(), !audio.silent(); }, 3000);
    EXPECT_FALSE(audio.silent());
    if (!audio.silent()) playsInTime(audio, 1500, 1000);
  }
  std::system("pulseaudio --kill > /dev/null 2>&1");
}

}  // namespace
}  // namespace kivra
