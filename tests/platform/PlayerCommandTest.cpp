// The kivra-player executable as users and scripts see it: exit statuses,
// messages, the headless run and Create Projector.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

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

// Every line the player writes to stderr is one of its messages.
void expectMessages(const std::string& err, size_t lines) {
  EXPECT_EQ(static_cast<size_t>(std::count(err.begin(), err.end(), '\n')), lines) << err;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) EXPECT_EQ(line.rfind("kivra-player: ", 0), 0u) << line;
}

// The names in a directory, sorted, less the output files of run().
std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != "out.txt" && name != "err.txt") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A DoAction that traces what its script reads as the player's version.
Bytes traceCapabilitiesVersion() {
  Bytes actions;
  const auto push = [&actions](const std::string& text) {
    const size_t n = text.size() + 2;
    actions.insert(actions.end(), {0x96, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0});
    actions.insert(actions.end(), text.begin(), text.end());
    actions.push_back(0);
  };
  push("System");
  actions.push_back(0x1C);  // GetVariable
  push("capabilities");
  actions.push_back(0x4E);  // GetMember
  push("version");
  actions.push_back(0x4E);
  actions.push_back(0x26);  // Trace
  actions.push_back(0x00);
  return test::tag(12, actions);
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
  EXPECT_EQ(r.out.rfind("kivra-player 0.1.0\n", 0), 0u) << r.out;
  // The name and version of the About box, and the version movies see.
  EXPECT_NE(r.out.find("Vantorel Kivra Player 6, Version 6,0,95,0"), std::string::npos) << r.out;
  const std::string versionMovie =
      dir.write("v.qvx", test::movie({}, {traceCapabilitiesVersion(), test::showFrame(), test::endTag()}));
  const RunResult movie = player({"--headless", "--trace", "--frames", "0", versionMovie});
  ASSERT_EQ(movie.status, 0) << movie.err;
  ASSERT_EQ(movie.out, "WIN 6,0,95,0\n");
  EXPECT_NE(r.out.find("player version 6; to their scripts it reports \"WIN 6,0,95,0\"\n"), std::string::npos)
      << r.out;
}

// A bad option is named in one line with a pointer to --help; the usage
// itself is not repeated.
TEST_F(PlayerCommand, BadOptionsPrintOneLineAndExit2) {
  const std::string hint = "; try 'kivra-player --help'\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--frames", "many", "x.qvx"}, "kivra-player: --frames: not a count: many" + hint},
      {{"--bogus"}, "kivra-player: unknown option: --bogus" + hint},
      {{"--size", "0x0"}, "kivra-player: --size: width and height must be 1 to 16000, got 0x0" + hint},
      {{"--size", "20000x20000"},
       "kivra-player: --size: width and height must be 1 to 16000, got 20000x20000" + hint},
      {{"--size", "big"}, "kivra-player: --size: expected WxH in pixels, e.g. 640x480, got big" + hint},
      {{"--info"}, "kivra-player: --info needs a MOVIE" + hint},
      {{"--create-projector", "out"}, "kivra-player: --create-projector needs a MOVIE" + hint},
  };
  for (const auto& [args, message] : cases) {
    const RunResult r = player(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(r.out, "");
  }
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

// --info, the headless run and Create Projector read movies through one
// loader, so a file that is no movie is reported in the same words by all.
TEST_F(PlayerCommand, EveryCommandReportsABadMovieFileAlike) {
  const std::string empty = dir.write("empty.qvx", {});
  const std::string shortFile = dir.write("short.qvx", {'X', 'V', 'Q'});
  const std::string bad = dir.write("bad.qvx", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0});
  const std::string missing = dir.file("missing.qvx");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {empty, "not a movie (empty file)"},
      {shortFile, "not a movie (file too short: 3 bytes)"},
      {bad, "not a movie (bad header)"},
      {missing, "No such file or directory"},
  };
  for (const auto& [path, reason] : cases) {
    const std::string expected = "kivra-player: " + path + ": " + reason + "\n";
    RunResult r = player({"--headless", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
    r = player({"--info", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.out, "");
    r = player({"--create-projector", dir.file("proj"), path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, expected);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("proj")));
}

// Problems found while listing tags are messages of the player too.
TEST_F(PlayerCommand, InfoMessagesCarryThePlayersName) {
  MovieSpec spec;
  spec.frameCount = 2;
  Bytes movie = test::movie(spec, {test::showFrame(), test::showFrame(), test::endTag()});
  movie.pop_back();
  const std::string cut = dir.write("cut.qvx", movie);
  RunResult r = player({"--info", cut});
  EXPECT_EQ(r.status, 0);
  expectMessages(r.err, 2);
  EXPECT_NE(r.err.find(": tag at offset 25 is cut off\n"), std::string::npos);
  EXPECT_NE(r.err.find(": incomplete movie: 26 of 27 bytes\n"), std::string::npos);
  Bytes corrupt = test::movie(spec, {test::showFrame(), test::tag(9, {1, 2, 3}), test::endTag()});
  // The SetBackgroundColor's short header (code 9 << 6 | length) now claims
  // 62 bytes, past the end of the file.
  corrupt[corrupt.size() - 7] = (9 << 6 | 62) & 0xFF;
  r = player({"--info", dir.write("corrupt.qvx", corrupt)});
  EXPECT_EQ(r.status, 1);
  expectMessages(r.err, 1);
  EXPECT_NE(r.err.find("corrupt tag"), std::string::npos);
}

// A file that cannot be written is named with the reason.
TEST_F(PlayerCommand, WriteErrorsSayWhy) {
  const std::string movie = movieFile("m.qvx", 0, 0, 0);
  const std::string shot = dir.file("no/such/dir/s.png");
  RunResult r = player({"--headless", "--screenshot", shot, movie});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kivra-player: cannot write " + shot + ": No such file or directory\n");
  r = player({"--headless", "--wav", dir.file("no/o.wav"), movie});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kivra-player: cannot write " + dir.file("no/o.wav") + ": No such file or directory\n");
  if (std::filesystem::exists("/dev/full")) {
    // The header fits in the stream's buffer: the failure shows when it is flushed.
    r = player({"--headless", "--frames", "12", "--wav", "/dev/full", movie});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kivra-player: cannot write /dev/full: No space left on device\n");
  }
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
  const size_t data = static_cast<size_t>(12 * 83 * 44100 / 1000) * 4;
  EXPECT_EQ(b.size() - 44, data);
  const auto le32 = [&b](size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
  };
  EXPECT_EQ(le32(4), 36 + data);
  EXPECT_EQ(le32(40), data);
  // The movie has no sound: the mix is silence.
  EXPECT_TRUE(std::all_of(b.begin() + 44, b.end(), [](uint8_t v) { return v == 0; }));
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

// Writing a projector over the movie it embeds, or over the player that
// writes it, would lose that file: refused, whatever name reaches it.
TEST_F(PlayerCommand, CreateProjectorRefusesToOverwriteWhatItReads) {
  const std::string movie = movieFile("m.qvx", 1, 2, 3);
  const Bytes movieBytes = test::TempDir::read(movie);
  ASSERT_EQ(::symlink(movie.c_str(), dir.file("sym.qvx").c_str()), 0);
  ASSERT_EQ(::link(movie.c_str(), dir.file("hard.qvx").c_str()), 0);
  const std::string copy = dir.file("player");
  std::filesystem::copy_file(KIVRA_PLAYER_PATH, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
  ASSERT_EQ(::link(copy.c_str(), dir.file("player-link").c_str()), 0);
  const Bytes playerBytes = test::TempDir::read(copy);
  const std::vector<std::string> files = listing(dir.file(""));

  for (const std::string& out : {movie, dir.file("./m.qvx"), dir.file("sym.qvx"), dir.file("hard.qvx")}) {
    const RunResult r = run(copy, {"--create-projector", out, movie});
    EXPECT_EQ(r.status, 2) << out;
    EXPECT_EQ(r.err, "kivra-player: refusing to overwrite " + out + ": it is the movie being embedded\n");
  }
  // The movie named through a link is the same file too.
  RunResult r = run(copy, {"--create-projector", movie, dir.file("sym.qvx")});
  EXPECT_EQ(r.status, 2);
  expectMessages(r.err, 1);
  for (const std::string& out : {copy, dir.file("player-link")}) {
    r = run(copy, {"--create-projector", out, movie});
    EXPECT_EQ(r.status, 2) << out;
    EXPECT_EQ(r.err, "kivra-player: refusing to overwrite " + out + ": it is the running player\n");
  }
  EXPECT_EQ(test::TempDir::read(movie), movieBytes);
  EXPECT_EQ(test::TempDir::read(copy), playerBytes);
  EXPECT_EQ(listing(dir.file("")), files);
}

// The projector is written beside OUT and renamed over it once complete: a
// failure at any point leaves an existing OUT as it was, and nothing else.
TEST_F(PlayerCommand, CreateProjectorFailuresLeaveAnExistingFileAsItWas) {
  const Bytes old = {'o', 'l', 'd'};
  const std::string out = dir.write("proj", old);
  MovieSpec spec;
  Bytes cut = test::movie(spec, {test::showFrame(), test::showFrame(), test::endTag()});
  cut.pop_back();
  const std::string incomplete = dir.write("cut.qvx", cut);
  const std::string movie = movieFile("m.qvx", 0, 0, 0);
  const std::string full = dir.file("full");
  std::filesystem::create_directories(full + "/inside");
  const std::vector<std::string> files = listing(dir.file(""));

  RunResult r = player({"--create-projector", out, dir.file("missing.qvx")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kivra-player: " + dir.file("missing.qvx") + ": No such file or directory\n");
  r = player({"--create-projector", out, incomplete});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kivra-player: " + incomplete + ": incomplete movie: " + std::to_string(cut.size()) + " of " +
                       std::to_string(cut.size() + 1) + " bytes; a projector needs all of it\n");
  EXPECT_EQ(test::TempDir::read(out), old);
  // Everything is written before the rename finds a directory in the way.
  r = player({"--create-projector", full, movie});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kivra-player: cannot write " + full + ": Is a directory\n");
  EXPECT_EQ(listing(full), std::vector<std::string>{"inside"});
  EXPECT_EQ(listing(dir.file("")), files);

  // A successful write replaces OUT whole.
  r = player({"--create-projector", out, movie});
  ASSERT_EQ(r.status, 0) << r.err;
  ProjectorTrailer trailer;
  ASSERT_TRUE(readProjectorTrailer(out, trailer));
  EXPECT_TRUE(trailer.movieInFile());
  EXPECT_EQ(trailer.movieLength, std::filesystem::file_size(movie));
  EXPECT_NE(std::filesystem::status(out).permissions() & std::filesystem::perms::owner_exec,
            std::filesystem::perms::none);
  EXPECT_EQ(listing(dir.file("")), files);
}

// The window's Create Projector calls writeProjector itself: it gets the
// same refusals and the same care on failure.
TEST_F(PlayerCommand, WriteProjectorKeepsTheTargetOnFailure) {
  const Bytes old = {'o', 'l', 'd'};
  const std::string target = dir.write("proj", old);
  const Bytes movie = test::movie({}, {test::showFrame(), test::endTag()});
  const std::string source = dir.write("m.qvx", movie);
  // A directory opens like a file but cannot be read: the copy fails after
  // the temporary file was made. (Not empty, so that its size is not 0.)
  const std::string notAPlayer = dir.file("not-a-player");
  std::filesystem::create_directories(notAPlayer + "/inside");
  const std::vector<std::string> files = listing(dir.file(""));

  std::string error;
  EXPECT_FALSE(writeProjector(notAPlayer, target, movie.data(), movie.size(), error, source));
  EXPECT_EQ(error, "cannot read " + notAPlayer + ": Is a directory");
  EXPECT_FALSE(writeProjector(KIVRA_PLAYER_PATH, source, movie.data(), movie.size(), error, source));
  EXPECT_EQ(error, "refusing to overwrite " + source + ": it is the movie being embedded");
  EXPECT_FALSE(writeProjector(source, source, movie.data(), movie.size(), error));
  EXPECT_EQ(error, "refusing to overwrite " + source + ": it is the running player");
  EXPECT_EQ(test::TempDir::read(target), old);
  EXPECT_EQ(test::TempDir::read(source), movie);
  EXPECT_EQ(listing(dir.file("")), files);
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

// Movies too big to be sensible: a million tiny frames, and 64 MB of
// constant pools in one frame's actions. Each plays, ends, and stays far
// from the memory budget. (Each test is its own process, so the peak of its
// children is this player's.)
long childPeakMb() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024;
}

TEST_F(PlayerCommand, AMillionFramesPlay) {
  MovieSpec spec;
  spec.frameCount = 0xFFFF;  // the header's count cannot say a million
  std::vector<Bytes> tags;
  tags.reserve(1000002);
  for (int i = 0; i < 1000000; ++i) tags.push_back(test::showFrame());
  tags.push_back(traceCapabilitiesVersion());
  tags.push_back(test::showFrame());
  tags.push_back(test::endTag());
  const std::string path = dir.write("frames.qvx", test::movie(spec, tags));
  const RunResult r = player({"--headless", "--trace", "--frames", "100", "--dump-display", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" frame=101/"), std::string::npos) << r.out;
  EXPECT_LT(childPeakMb(), 256 * KIVRA_MEMORY_SCALE);
}

TEST_F(PlayerCommand, SixtyFourMegabytesOfConstantPools) {
  // 1,050 pools of 16 strings of 4,000 bytes each, one after another.
  Bytes actions;
  const std::string text(4000, 'k');
  for (int pool = 0; pool < 1050; ++pool) {
    Bytes body = {16, 0};
    for (int i = 0; i < 16; ++i) {
      body.insert(body.end(), text.begin(), text.end());
      body.push_back(0);
    }
    actions.insert(actions.end(), {0x88, static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)});
    actions.insert(actions.end(), body.begin(), body.end());
  }
  // Then Push c:15, Trace's length: the last pool is the one in force.
  actions.insert(actions.end(), {0x96, 0x02, 0x00, 0x08, 0x0F, 0x14, 0x26, 0x00});
  const std::string path =
      dir.write("pools.qvx", test::movie({}, {test::tag(12, actions, true), test::showFrame(), test::endTag()}));
  const RunResult r = player({"--headless", "--trace", "--frames", "3", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "4000\n");
  EXPECT_GE(actions.size(), size_t{64} << 20);
  EXPECT_LT(childPeakMb(), 512 * KIVRA_MEMORY_SCALE);
}

}  // namespace
}  // namespace kivra
