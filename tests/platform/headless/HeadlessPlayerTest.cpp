#include "platform/headless/HeadlessPlayer.h"

#include <gtest/gtest.h>

#include "platform/PngImage.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using test::Bytes;
using test::MovieSpec;

Bytes framesMovie(int frames, uint16_t rate = 0x0C00) {
  MovieSpec spec;
  spec.frameCount = static_cast<uint16_t>(frames);
  spec.rate = rate;
  std::vector<Bytes> tags = {test::backgroundTag(0x20, 0x40, 0x80)};
  for (int i = 0; i < frames; ++i) tags.push_back(test::showFrame());
  tags.push_back(test::endTag());
  return test::movie(spec, tags);
}

TEST(HeadlessPlayer, FirstFrameRunsAtLoadAndEachStepAdvancesOne) {
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(5))).ok);
  ASSERT_TRUE(player.core().hasMovie());
  EXPECT_TRUE(player.timerRunning());
  EXPECT_EQ(player.core().level0()->currentFrame(), 0);
  EXPECT_EQ(player.core().framePeriod(), 83u);
  player.run(3, {});
  EXPECT_EQ(player.core().level0()->currentFrame(), 3);
  EXPECT_EQ(player.milliseconds(), 3 * 83u);
  // Looping: frames 4, then 0 again.
  player.run(2, {});
  EXPECT_EQ(player.core().level0()->currentFrame(), 0);
}

TEST(HeadlessPlayer, RenderEveryStepDrawsEachStepAsTheWindowWould) {
  test::TempDir dir;
  CommandLine options;
  options.renderEveryStep = true;
  HeadlessPlayer player{options};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(5))).ok);
  player.run(4, {});
  EXPECT_EQ(player.stepsRendered(), 4);
  EXPECT_GE(player.stepMs(), player.renderMs());
  // What the steps drew is the whole stage as a full redraw gives it.
  const RenderTarget& drawn = player.core().render();
  RenderTarget full;
  ASSERT_TRUE(player.core().redrawInto(full));
  ASSERT_EQ(drawn.width(), full.width());
  for (int y = 0; y < drawn.height(); ++y)
    for (int x = 0; x < drawn.width(); ++x) ASSERT_EQ(drawn.row(y)[x], full.row(y)[x]);
  // Without the option nothing is drawn between steps.
  HeadlessPlayer plain{CommandLine{}};
  ASSERT_TRUE(plain.loadMovieFile(dir.write("m.qvx", framesMovie(5))).ok);
  plain.run(4, {});
  EXPECT_EQ(plain.stepsRendered(), 0);
}

TEST(HeadlessPlayer, StepBeforeTheNextFrameTimeDoesNotAdvance) {
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(5))).ok);
  player.advanceClock(83);
  player.core().frameStep(true);
  EXPECT_EQ(player.core().level0()->currentFrame(), 1);
  player.advanceClock(40);  // a timer tick half a period later
  player.core().frameStep(true);
  EXPECT_EQ(player.core().level0()->currentFrame(), 1);
  player.core().frameStep(false);  // a step that input triggers is not held back
  EXPECT_EQ(player.core().level0()->currentFrame(), 2);
}

TEST(HeadlessPlayer, OneFrameMovieNeverRestarts) {
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(1))).ok);
  player.run(4, {});
  EXPECT_EQ(player.core().level0()->currentFrame(), 0);
  EXPECT_FALSE(player.core().level0()->playing());
}

TEST(HeadlessPlayer, CorruptMovieQuitsAtTheNextStep) {
  MovieSpec spec;
  spec.frameCount = 3;
  Bytes file = test::movie(spec, {test::showFrame(), test::showFrame(), test::tag(12, Bytes(4, 0)),
                                  test::endTag()});
  file[file.size() - 8] = 0x30;  // DoAction length now runs past the file
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", file)).ok);
  EXPECT_TRUE(player.core().quitRequested());
  player.run(10, {});
  EXPECT_TRUE(player.quit());
  EXPECT_EQ(player.stepsRun(), 1);
  EXPECT_FALSE(player.core().hasMovie());
}

TEST(HeadlessPlayer, PartlyLoadedMoviePlaysWhatArrived) {
  Bytes file = framesMovie(6);
  file.resize(file.size() - 6);  // the last two frames and End are missing
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", file)).ok);
  EXPECT_FALSE(player.loadWarning().empty());
  player.run(10, {});
  EXPECT_EQ(player.core().level0()->currentFrame(), 3);
  EXPECT_FALSE(player.quit());
}

TEST(HeadlessPlayer, ScreenshotShowsTheBackgroundAtTheMovieSize) {
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(2))).ok);
  const std::string shot = dir.file("s.png");
  ASSERT_TRUE(player.writeScreenshot(shot));
  PngImage image;
  ASSERT_TRUE(readPng(shot, image));
  EXPECT_EQ(image.width, 550);
  EXPECT_EQ(image.height, 400);
  EXPECT_EQ(image.rgb[0], 0x20);
  EXPECT_EQ(image.rgb[1], 0x40);
  EXPECT_EQ(image.rgb[2], 0x80);
}

TEST(HeadlessPlayer, SizeOptionOverridesTheMovieSize) {
  CommandLine options;
  options.width = 64;
  options.height = 32;
  test::TempDir dir;
  HeadlessPlayer player{options};
  ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(2))).ok);
  EXPECT_EQ(player.core().render().width(), 64);
  EXPECT_EQ(player.core().render().height(), 32);
}

TEST(HeadlessPlayer, EmbeddedMovieCases) {
  test::TempDir dir;
  const Bytes movie = framesMovie(3);
  auto withTrailer = [&](uint32_t length) {
    Bytes exe;
    exe.reserve(movie.size() + 16);
    exe.assign(8, 0x45);  // stands in for the player's own bytes
    exe.insert(exe.end(), movie.begin(), movie.end());
    for (uint32_t word : {0xFA123456u, length})
      for (int shift = 0; shift < 32; shift += 8) exe.push_back(static_cast<uint8_t>(word >> shift));
    return exe;
  };
  {
    HeadlessPlayer player{CommandLine{}};
    EXPECT_TRUE(player.loadEmbeddedMovie(dir.write("good", withTrailer(static_cast<uint32_t>(movie.size())))));
    EXPECT_TRUE(player.embedded());
    EXPECT_TRUE(player.core().hasMovie());
    EXPECT_EQ(player.core().level0()->frameCount(), 3);
  }
  {
    // A length beyond the file: no movie, but the executable counts as embedded.
    HeadlessPlayer player{CommandLine{}};
    EXPECT_FALSE(player.loadEmbeddedMovie(dir.write("long", withTrailer(0x7FFFFFFF))));
    EXPECT_TRUE(player.embedded());
    EXPECT_FALSE(player.core().hasMovie());
  }
  {
    HeadlessPlayer player{CommandLine{}};
    EXPECT_FALSE(player.loadEmbeddedMovie(dir.write("plain", movie)));
    EXPECT_FALSE(player.embedded());
    EXPECT_FALSE(player.loadEmbeddedMovie(dir.file("missing")));
  }
}

TEST(HeadlessPlayer, LoadErrors) {
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
  LoadResult r = player.loadMovieFile(dir.file("missing.qvx"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("missing.qvx"), std::string::npos);
  r = player.loadMovieFile(dir.write("bad.qvx", {'N', 'O', 'P', 'E', 9, 9, 9, 9, 9}));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("bad header"), std::string::npos);
  r = player.loadMovieFile(dir.write("short.qvx", {'X', 'V', 'Q'}));
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(player.core().hasMovie());
  // URLs: a file URL names a local file; the network schemes are fetched
  // (here from a loopback port where nothing listens); others are refused.
  r = player.loadMovieFile("file://" + dir.file("no such.qvx"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("no such.qvx"), std::string::npos) << r.error;
  r = player.loadMovieUrl("http://127.0.0.1:1/m.qvx", 5000);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "http://127.0.0.1:1/m.qvx: cannot be fetched (no answer, or the server refused it)");
  r = player.loadMovieFile("gopher://127.0.0.1/m.qvx");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("only local files (paths or file:// URLs) and http, https or ftp URLs"), std::string::npos)
      << r.error;
}

}  // namespace
}  // namespace kivra
