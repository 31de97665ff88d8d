// Movies loaded by scripts from files beside the movie, as the headless
// player delivers them between frames: a movie into level 1 and one into a
// clip (which keeps its name and place, hears its load event again when the
// movie starts, and counts the bytes), both unloaded again (the clip's
// variables go with its content), variables into a level that does not
// exist (it is made, empty), and at last a movie that replaces level
// 0 and with it everything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/JpegMaker.h"
#include "tests/support/LoopbackFtpServer.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

// Movies compiled into a temporary folder and played headless; the run's
// standard output and error are kept.
class MovieLoads : public ::testing::Test {
 protected:
  std::string compile(const std::string& source) {
    std::vector<uint8_t> movie;
    qvxs::Diagnostics diag;
    EXPECT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
    return std::string(movie.begin(), movie.end());
  }
  void write(const std::string& name, const std::string& source) {
    const std::string movie = compile(source);
    dir.write(name, std::vector<uint8_t>(movie.begin(), movie.end()));
  }
  // Plays `movie` (a path or URL) for `frames` steps with --trace and
  // --debug; returns what it traced, and keeps its debug lines in err.
  std::string play(int frames, const std::string& movie) {
    const std::string command = std::string(KIVRA_PLAYER_PATH) + " --headless --frames " + std::to_string(frames) +
                                " --trace --debug '" + movie + "' > '" + dir.file("out.txt") + "' 2> '" +
                                dir.file("err.txt") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
    const std::vector<uint8_t> errBytes = test::TempDir::read(dir.file("err.txt"));
    err.assign(errBytes.begin(), errBytes.end());
    return std::string(out.begin(), out.end());
  }

  test::TempDir dir;
  std::string err;
};

constexpr const char* kMain = R"(movie version=6 rate=12
sprite 5 {
  showframe
}
place2 1 id=5 name="box" at=2000,1000 {
  on load {
    Push "box heard load"
    Trace
  }
}
actions {
  Push "child.qvx" "_level1"
  GetURL2 64
  Push "clip.qvx" "box"
  GetURL2 64
  Push "vars.txt" "_level3"
  GetURL2 128
}
showframe
showframe
actions {
  Push "level 1 says " "_level1"
  GetVariable
  Push "who"
  GetMember
  Add2
  Push ", level 3 has score "
  Add2
  Push "_level3"
  GetVariable
  Push "score"
  GetMember
  Add2
  Trace
  Push "box says " "box"
  GetVariable
  Push "who"
  GetMember
  Add2
  Push " at "
  Add2
  Push "box"
  GetVariable
  Push "_x"
  GetMember
  Add2
  Push " bytes "
  Add2
  Push 0 "box"
  GetVariable
  Push "getBytesLoaded"
  CallMethod
  Add2
  Push "/"
  Add2
  Push 0 "box"
  GetVariable
  Push "getBytesTotal"
  CallMethod
  Add2
  Trace
  Push "" "_level1"
  GetURL2 64
  Push "" "box"
  GetURL2 64
}
showframe
actions {
  Push "after unloading: " "_level1"
  GetVariable
  TypeOf
  Add2
  Push " box "
  Add2
  Push "box"
  GetVariable
  Push "who"
  GetMember
  Add2
  Push " "
  Add2
  Push "box"
  GetVariable
  Push "_name"
  GetMember
  Add2
  Push " at "
  Add2
  Push "box"
  GetVariable
  Push "_x"
  GetMember
  Add2
  Trace
  Push "next.qvx" "_level0"
  GetURL2 64
}
showframe
actions {
  Push "still the first movie"
  Trace
  Stop
}
showframe
)";

constexpr const char* kChild = R"(movie version=6 rate=12
actions {
  Push "who" "level one"
  SetVariable
  Push "child running"
  Trace
}
showframe
)";

constexpr const char* kClip = R"(movie version=6 rate=12
actions {
  Push "who" "the clip"
  SetVariable
  Push "clip running"
  Trace
  Stop
}
showframe
)";

constexpr const char* kNext = R"(movie version=6 rate=12
actions {
  Push "next running, level 1 is " "_level1"
  GetVariable
  TypeOf
  Add2
  Trace
  Stop
}
showframe
)";

TEST_F(MovieLoads, IntoLevelsAndClipsAndOutAgain) {
  write("m.qvx", kMain);
  write("child.qvx", kChild);
  write("clip.qvx", kClip);
  write("next.qvx", kNext);
  dir.write("vars.txt", std::vector<uint8_t>{'s', 'c', 'o', 'r', 'e', '=', '7'});
  const std::string bytes = std::to_string(test::TempDir::read(dir.file("clip.qvx")).size());
  EXPECT_EQ(play(7, dir.file("m.qvx")),
            "box heard load\n"
            "child running\n"
            "box heard load\n"  // the loaded movie starts in the clip as a placed sprite would
            "clip running\n"
            "level 1 says level one, level 3 has score 7\n"
            "box says the clip at 100 bytes " + bytes + "/" + bytes + "\n"
            "after unloading: undefined box  box at 100\n"
            "next running, level 1 is undefined\n");
}

// The main movie named by an http URL on the command line: it arrives whole
// before the first step, and what it loads by relative URL comes from
// beside it on the same server; a load that the server answers with 404
// leaves its level empty.
constexpr const char* kServedMain = R"(movie version=6 rate=12
sprite 5 {
  showframe
}
place2 1 id=5 name="box"
actions {
  Push "child.qvx" "_level1"
  GetURL2 64
  Push "clip.qvx" "box"
  GetURL2 64
  Push "missing.qvx" "_level2"
  GetURL2 64
}
showframe
showframe
actions {
  Push "from the server: "
  Push "_level1"
  GetVariable
  Push "who"
  GetMember
  Add2
  Push ", "
  Add2
  Push "box"
  GetVariable
  Push "who"
  GetMember
  Add2
  Push ", level 2 is "
  Add2
  Push "_level2"
  GetVariable
  TypeOf
  Add2
  Trace
  Stop
}
showframe
)";

TEST_F(MovieLoads, MainMovieAndWhatItLoadsOverHttp) {
  test::LoopbackHttpServer server;
  server.route("/movies/m.qvx", test::LoopbackHttpServer::Route::ok(compile(kServedMain)));
  server.route("/movies/child.qvx", test::LoopbackHttpServer::Route::ok(compile(kChild), false));
  server.route("/movies/clip.qvx", test::LoopbackHttpServer::Route::ok(compile(kClip)));
  EXPECT_EQ(play(4, server.url("/movies/m.qvx")),
            "child running\n"
            "clip running\n"
            "from the server: level one, the clip, level 2 is undefined\n");
  EXPECT_NE(err.find("LoadFile " + server.url("/movies/child.qvx")), std::string::npos) << err;
  EXPECT_NE(err.find("MSG_DESTROY_STREAM async=1"), std::string::npos) << err;
}

// A movie from another host loaded into a clip is not the loader's to fill:
// variables for that clip are refused, for its own clip they arrive.
TEST_F(MovieLoads, VariablesNeverReachAClipOfAnotherDomain) {
  test::LoopbackHttpServer server;
  // The same server under the name "localhost" is another domain.
  const std::string other = "http://localhost:" + std::to_string(server.port()) + "/clip.qvx";
  const std::string main = R"(movie version=6 rate=12
sprite 5 {
  showframe
}
place2 1 id=5 name="box"
place2 2 id=5 name="own"
actions {
  Push ")" + other + R"(" "box"
  GetURL2 64
}
showframe
showframe
actions {
  Push "vars.txt" "box"
  GetURL2 192
  Push "vars.txt" "own"
  GetURL2 192
}
showframe
showframe
actions {
  Push "box: "
  Push "box"
  GetVariable
  Push "score"
  GetMember
  Add2
  Push ", own: "
  Add2
  Push "own"
  GetVariable
  Push "score"
  GetMember
  Add2
  Trace
  Stop
}
showframe
)";
  server.route("/m.qvx", test::LoopbackHttpServer::Route::ok(compile(main)));
  server.route("/clip.qvx", test::LoopbackHttpServer::Route::ok(compile(kClip)));
  server.route("/vars.txt", test::LoopbackHttpServer::Route::ok("score=42"));
  EXPECT_EQ(play(5, server.url("/m.qvx")), "clip running\nbox: , own: 42\n");
}

// A clip removed while its movie is on the way takes the load with it: the
// stream is cancelled (from a file and from a server alike) and nothing of
// it arrives or runs.
TEST_F(MovieLoads, RemovingTheClipCancelsItsLoad) {
  test::LoopbackHttpServer server;
  write("clip.qvx", kClip);
  server.route("/clip.qvx", test::LoopbackHttpServer::Route::ok(compile(kClip)));
  // Each frame makes a clip, loads a movie into it and, in the same round
  // of requests, removes the clip again.
  auto round = [](const std::string& url) {
    return R"(actions {
  Push 1 "box" 2 "_root"
  GetVariable
  Push "createEmptyMovieClip"
  CallMethod
  Pop
  Push ")" + url + R"(" "box"
  GetURL2 64
  GetURL "asfunction:kill" ""
}
showframe
actions {
  Push "box is "
  Push "box"
  GetVariable
  TypeOf
  Add2
  Trace
}
showframe
)";
  };
  const std::string main = R"(movie version=6 rate=12
actions {
  Push "kill"
  DefineFunction2 "" regs=1 {
    Push 0 "box"
    GetVariable
    Push "removeMovieClip"
    CallMethod
    Pop
  }
  SetVariable
}
)" + round("clip.qvx") + round(server.url("/clip.qvx")) + "actions {\n  Stop\n}\nshowframe\n";
  write("m.qvx", main);
  EXPECT_EQ(play(5, dir.file("m.qvx")), "box is undefined\nbox is undefined\n");
  EXPECT_NE(err.find("RequestUrl '" + server.url("/clip.qvx") + "'"), std::string::npos) << err;
  EXPECT_EQ(err.find("MSG_NEW_STREAM"), std::string::npos) << err;
}

// A movie from a server imports from a library beside it on the same
// server; an import from another domain is refused and said so.
TEST_F(MovieLoads, LibrariesComeFromTheMoviesServer) {
  test::LoopbackHttpServer server;
  const std::string other = "http://localhost:" + std::to_string(server.port()) + "/lib.qvx";
  server.route("/lib.qvx", test::LoopbackHttpServer::Route::ok(compile(R"(movie version=6
sprite 5 {
  actions {
    Push "greeter from the library"
    Trace
  }
  showframe
}
export 5 "Greeter"
showframe
)")));
  server.route("/m.qvx", test::LoopbackHttpServer::Route::ok(compile(R"(movie version=6
import "lib.qvx" 40 "Greeter"
import ")" + other + R"(" 41 "Greeter"
place 40 1
showframe
showframe
)")));
  EXPECT_EQ(play(2, server.url("/m.qvx")), "greeter from the library\n");
  EXPECT_NE(err.find("[security] Blocking insecure request for " + other + " requested by " + server.url("/m.qvx")),
            std::string::npos)
      << err;
}

// Images load as movies: a JPEG into a clip (which keeps its place) and
// into a level, a 4000 x 3000 JPEG held to 2880 pixels each way, and a GIF
// that leaves its level empty.
TEST_F(MovieLoads, JpegImagesBecomeMovies) {
  dir.write("small.jpg", test::makeJpeg(40, 30, 3));
  dir.write("big.jpg", test::makeJpeg(4000, 3000, 1));
  const std::string gif = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
  dir.write("picture.gif", std::vector<uint8_t>(gif.begin(), gif.end()));
  auto size = [](const std::string& target) {
    return "  Push \"" + target + " \"\n  Add2\n  Push \"" + target + "\"\n  GetVariable\n  Push \"_width\"\n  GetMember\n"
           "  Add2\n  Push \"x\"\n  Add2\n  Push \"" + target + "\"\n  GetVariable\n  Push \"_height\"\n  GetMember\n"
           "  Add2\n  Push \" \"\n  Add2\n";
  };
  const std::string main = R"(movie version=6 rate=12
sprite 5 {
  showframe
}
place2 1 id=5 name="photo" at=200,0
actions {
  Push "small.jpg" "photo"
  GetURL2 64
  Push "small.jpg" "_level1"
  GetURL2 64
  Push "big.jpg" "_level2"
  GetURL2 64
  Push "picture.gif" "_level3"
  GetURL2 64
}
showframe
showframe
actions {
  Push ""
)" + size("photo") + size("_level1") + size("_level2") + R"(  Push "level 3 is "
  Add2
  Push "_level3"
  GetVariable
  TypeOf
  Add2
  Push " photo at "
  Add2
  Push "photo"
  GetVariable
  Push "_x"
  GetMember
  Add2
  Trace
  Stop
}
showframe
)";
  write("m.qvx", main);
  EXPECT_EQ(play(3, dir.file("m.qvx")),
            "photo 40x30 _level1 40x30 _level2 2880x2880 level 3 is undefined photo at 10\n");
}

// A LoadVars object the script lets go of while its data is on the way is
// kept until the load ends: its onLoad still runs.
TEST_F(MovieLoads, ObjectsLetGoOfWhileLoadingStillHearTheEnd) {
  dir.write("data.txt", std::vector<uint8_t>{'a', '=', '1'});
  write("m.qvx", R"(movie version=6 rate=12
actions {
  Push "lv" 0 "LoadVars"
  NewObject
  SetVariable
  Push "lv"
  GetVariable
  Push "onLoad"
  DefineFunction2 "" regs=2 r1:"ok" {
    Push "let-go object loaded "
    Push r:1
    Add2
    Push " a="
    Add2
    Push "this"
    GetVariable
    Push "a"
    GetMember
    Add2
    Trace
  }
  SetMember
  Push "data.txt" 1 "lv"
  GetVariable
  Push "load"
  CallMethod
  Pop
  Push "lv" 0
  SetVariable
}
showframe
showframe
actions {
  Stop
}
showframe
)");
  EXPECT_EQ(play(3, dir.file("m.qvx")), "let-go object loaded true a=1\n");
}

// The same over FTP: the main movie, its level and clip loads, and a
// missing file leaving its level empty.
TEST_F(MovieLoads, MainMovieAndWhatItLoadsOverFtp) {
  write("m.qvx", kServedMain);
  write("child.qvx", kChild);
  write("clip.qvx", kClip);
  test::LoopbackFtpServer server(dir.file(""));
  if (!server.available()) GTEST_SKIP() << "python3-pyftpdlib is not installed: the FTP test is skipped";
  EXPECT_EQ(play(4, server.url("/m.qvx")),
            "child running\n"
            "clip running\n"
            "from the server: level one, the clip, level 2 is undefined\n");
}

}  // namespace
}  // namespace kivra
