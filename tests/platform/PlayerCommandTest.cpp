// The kivra-player executable as users and scripts see it: exit statuses,
// messages, the headless run and Create Projector.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "platform/PngImage.h"
#include "platform/ProjectorFile.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using test::Bytes;
using test::MovieSpec;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const std::string& path) {
  const Bytes b = test::TempDir::read(path);
  return std::string(b.begin(), b.end());
}

class PlayerCommand : public ::testing::Test {
 protected:
  RunResult run(const std::string& program, const std::vector<std::string>& args) {
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + quote(program);
    for (const std::string& a : args) cmd.append(" ").append(quote(a));
    cmd.append(" >").append(quote(dir.file("out.txt")));
    cmd.append(" 2>").append(quote(dir.file("err.txt")));
    RunResult r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir.file("out.txt"));
    r.err = slurp(dir.file("err.txt"));
    return r;
  }
  RunResult player(const std::vector<std::string>& args) { return run(KIVRA_PLAYER_PATH, args); }

  // The colour of the stage's top-left pixel in a screenshot.
  uint32_t shotColour(const std::string& png) {
    PngImage image;
    if (!readPng(png, image)) return 0xDEADBEEF;
    return (image.rgb[0] << 16) | (image.rgb[1] << 8) | image.rgb[2];
  }

  std::string movieFile(const std::string& name, uint8_t r, uint8_t g, uint8_t b,
                        bool compressed = false) {
    MovieSpec spec;
    spec.compressed = compressed;
    spec.frameCount = 2;
    spec.xmax = 2000;
    spec.ymax = 1000;
    return dir.write(name, test::movie(spec, {test::backgroundTag(r, g, b), test::showFrame(),
                                              test::showFrame(), test::endTag()}));
  }

  test::TempDir dir;
};

TEST_F(PlayerCommand, HelpAndVersion) {
  RunResult r = player({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--headless"), std::string::npos);
  r = player({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("kivra-player"), std::string::npos);
}

TEST_F(PlayerCommand, BadOptionsPrintUsageAndExit2) {
  const RunResult r = player({"--frames", "many", "x.qvx"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage:"), std::string::npos);
}

TEST_F(PlayerCommand, UnreadableOrBadMovieExits1WithOneLine) {
  RunResult r = player({"--headless", dir.file("nothing.qvx")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing.qvx"), std::string::npos);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  const std::string bad = dir.write("bad.qvx", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
  r = player({"--headless", bad});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad header"), std::string::npos);
}

TEST_F(PlayerCommand, NoDisplayWithoutHeadlessIsAnError) {
  const RunResult r = player({movieFile("m.qvx", 1, 2, 3)});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--headless"), std::string::npos);
}

TEST_F(PlayerCommand, HeadlessScreenshot) {
  const std::string shot = dir.file("s.png");
  const RunResult r = player({"--headless", "--frames", "3", "--screenshot", shot,
                        movieFile("m.qvx", 0x12, 0x34, 0x56, true)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(shotColour(shot), 0x123456u);
  PngImage image;
  ASSERT_TRUE(readPng(shot, image));
  EXPECT_EQ(image.width, 100);
  EXPECT_EQ(image.height, 50);
}

TEST_F(PlayerCommand, WavRecordsTheRunsLength) {
  const std::string wav = dir.file("o.wav");
  const RunResult r = player({"--headless", "--frames", "12", "--wav", wav, movieFile("m.qvx", 0, 0, 0)});
  EXPECT_EQ(r.status, 0) << r.err;
  const Bytes b = test::TempDir::read(wav);
  ASSERT_GE(b.size(), 44u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  // 12 steps of 83 ms at 44.1 kHz, 4 bytes a frame.
  EXPECT_EQ(b.size() - 44, static_cast<size_t>(12 * 83 * 44100 / 1000) * 4);
}

TEST_F(PlayerCommand, MalformedInputFileExits2WithItsLine) {
  const std::string input = dir.write("in.txt", {'1', ' ', 'u', 'p', '\n', 'z', '\n'});
  const RunResult r = player({"--headless", "--input", input, movieFile("m.qvx", 0, 0, 0)});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("line 2"), std::string::npos);
}

TEST_F(PlayerCommand, InfoListsHeaderAndTags) {
  const RunResult r = player({"--info", movieFile("m.qvx", 1, 2, 3, true)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("magic ZVQ"), std::string::npos);
  EXPECT_NE(r.out.find("frame-count 2"), std::string::npos);
  EXPECT_NE(r.out.find("frame-rate 12.00 0x0C00"), std::string::npos);
  EXPECT_NE(r.out.find(" 9 SetBackgroundColor 3"), std::string::npos);
  EXPECT_NE(r.out.find(" 1 ShowFrame 0"), std::string::npos);
  EXPECT_NE(r.out.find(" 0 End 0"), std::string::npos);
}

TEST_F(PlayerCommand, CreateProjectorRoundTrip) {
  const std::string projector = dir.file("proj");
  const std::string red = movieFile("red.qvx", 0xFF, 0, 0, true);
  RunResult r = player({"--create-projector", projector, red});
  ASSERT_EQ(r.status, 0) << r.err;

  // The projector plays its embedded movie, written out uncompressed.
  ProjectorTrailer trailer;
  ASSERT_TRUE(readProjectorTrailer(projector, trailer));
  ASSERT_TRUE(trailer.movieInFile());
  const Bytes bytes = test::TempDir::read(projector);
  EXPECT_EQ(bytes[trailer.movieOffset()], 'X');
  const std::string shot = dir.file("s.png");
  r = run(projector, {"--headless", "--screenshot", shot});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(shotColour(shot), 0xFF0000u);

  // A movie on the command line overrides the embedded one.
  r = run(projector, {"--headless", "--screenshot", shot, movieFile("blue.qvx", 0, 0, 0xFF)});
  EXPECT_EQ(shotColour(shot), 0x0000FFu);

  // A projector made from a projector replaces the movie instead of adding one.
  const std::string second = dir.file("proj2");
  const std::string green = movieFile("green.qvx", 0, 0xFF, 0);
  r = run(projector, {"--create-projector", second, green});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto size = [](const std::string& p) { return std::filesystem::file_size(p); };
  EXPECT_EQ(size(second), size(projector) - trailer.movieLength + size(green));
  r = run(second, {"--headless", "--screenshot", shot});
  EXPECT_EQ(shotColour(shot), 0x00FF00u);
}

TEST_F(PlayerCommand, CreateProjectorFailuresLeaveNoFile) {
  // An incomplete movie cannot be written out.
  MovieSpec spec;
  Bytes cut = test::movie(spec, {test::showFrame(), test::showFrame(), test::endTag()});
  cut.pop_back();
  const std::string out = dir.file("proj");
  RunResult r = player({"--create-projector", out, dir.write("cut.qvx", cut)});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  r = player({"--create-projector", dir.file("no/such/dir/proj"), movieFile("m.qvx", 0, 0, 0)});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST_F(PlayerCommand, NoTrailerAndNoMovieGivesAnEmptyStage) {
  const std::string shot = dir.file("s.png");
  const RunResult r = player({"--headless", "--frames", "2", "--screenshot", shot});
  EXPECT_EQ(r.status, 0) << r.err;
  PngImage image;
  ASSERT_TRUE(readPng(shot, image));
  EXPECT_EQ(image.width, 550);
  EXPECT_EQ(image.height, 400);
  EXPECT_EQ(shotColour(shot), 0xFFFFFFu);
}

TEST_F(PlayerCommand, TrailerWhoseLengthExceedsTheFileShowsNoMovie) {
  const std::string copy = dir.file("player-copy");
  std::filesystem::copy_file(KIVRA_PLAYER_PATH, copy);
  Bytes bytes = test::TempDir::read(copy);
  const Bytes tail = {0x56, 0x34, 0x12, 0xFA, 0xFF, 0xFF, 0xFF, 0x7F};
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  dir.write("player-copy", bytes);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  const std::string shot = dir.file("s.png");
  const RunResult r = run(copy, {"--headless", "--screenshot", shot});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(shotColour(shot), 0xFFFFFFu);  // the empty stage
}

}  // namespace
}  // namespace kivra

namespace kivra {
namespace {

// A movie cut short: its header promises five frames, three arrived whole and
// the fourth is cut off inside a tag. It plays the three, then waits there.
TEST_F(PlayerCommand, APartlyLoadedMoviePlaysOnlyItsCompleteFrames) {
  MovieSpec spec;
  spec.frameCount = 5;
  spec.xmax = 2000;
  spec.ymax = 1000;
  Bytes movie = test::movie(spec, {test::backgroundTag(1, 2, 3), test::showFrame(), test::showFrame(),
                                   test::showFrame(), test::tag(43, {'l', 'a', 'b', 'e', 'l', 0}),
                                   test::showFrame(), test::showFrame(), test::endTag()});
  movie.resize(movie.size() - 8);  // into the FrameLabel's body: the header keeps the full length
  const std::string path = dir.write("cut.qvx", movie);
  RunResult r = player({"--headless", "--frames", "6", "--dump-display", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("incomplete movie"), std::string::npos);
  EXPECT_EQ(r.out,
            "background #010203\n"
            "0 level id=65534 name=\"\" frame=3/5 matrix=1,0,0,1,0,0 cxform=256,256,256,256,0,0,0,0 ratio=0 "
            "clip=0\n"
            "host fullscreen=0 menubar=1 showmenu=1 scale=showAll align=0x00 trapallkeys=0 cursor=1\n");
}

TEST_F(PlayerCommand, DumpDisplayAfterTheLastStep) {
  RunResult r = player({"--headless", "--frames", "1", "--dump-display", movieFile("two.qvx", 9, 8, 7)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("background #090807\n0 level id=65534 name=\"\" frame=2/2 ", 0), 0u) << r.out;
}

}  // namespace
}  // namespace kivra
