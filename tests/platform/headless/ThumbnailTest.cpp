// --thumbnail end to end: movies made with the kit, the thumbnail compared
// with --screenshot of the same frame at the fitted size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/PngImage.h"
#include "platform/headless/Thumbnail.h"
#include "tests/support/PlayerProcess.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

// A 100x50 movie whose first frame shows only its background; `firstActions`
// run in that frame. The second frame shows a square.
std::string twoFrames(const std::string& firstActions) {
  return "movie size=100x50 rate=12\nbackground #ffffff\n"
         "shape 1 {\n  fill solid #3060c0\n  style moveto=0,0 fill1=1\n"
         "  lineto 30px,0\n  lineto 30px,30px\n  lineto 0,30px\n  lineto 0,0\n}\n" +
         firstActions + "showframe\nplace2 1 id=1 at=20px,10px\nshowframe\nshowframe\n";
}

class Thumbnail : public ::testing::Test {
 protected:
  std::string build(const std::string& source) {
    std::vector<uint8_t> bytes;
    qvxs::Diagnostics diag;
    EXPECT_TRUE(qvxs::compileMovie(source, bytes, diag, dir.file(""))) << diag.text();
    return dir.write("m.qvx", bytes);
  }
  int run(const std::string& arguments) { return test::runPlayer(KIVRA_PLAYER_PATH, arguments, dir); }
  std::string errors() const { return test::playerErrors(dir); }
  test::TempDir dir;
};

TEST_F(Thumbnail, TheFirstFrameThatShowsSomethingFittedIntoTheSize) {
  int w = 0, h = 0;
  thumbnailSize(100, 50, 40, w, h);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 20);
  thumbnailSize(3, 1000, 256, w, h);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 256);

  const std::string movie = build(twoFrames(""));
  const std::string out = dir.file("t.png");
  ASSERT_EQ(run("--thumbnail 40 '" + movie + "' '" + out + "'"), 0) << errors();
  const std::string second = dir.file("second.png"), first = dir.file("first.png");
  ASSERT_EQ(run("--headless --size 40x20 --frames 1 --screenshot '" + second + "' '" + movie + "'"), 0);
  ASSERT_EQ(run("--headless --size 40x20 --frames 0 --screenshot '" + first + "' '" + movie + "'"), 0);
  PngImage got, want, empty;
  ASSERT_TRUE(readPng(out, got));
  ASSERT_TRUE(readPng(second, want));
  ASSERT_TRUE(readPng(first, empty));
  EXPECT_EQ(got.width, 40);
  EXPECT_EQ(got.height, 20);
  EXPECT_TRUE(got.rgb == want.rgb);
  EXPECT_FALSE(got.rgb == empty.rgb);

  // A projector: the movie at its end gives the same thumbnail.
  const std::string projector = dir.file("m.qvp");
  ASSERT_EQ(run("--create-projector '" + projector + "' '" + movie + "'"), 0) << errors();
  ASSERT_EQ(run("--thumbnail 40 '" + projector + "' '" + out + "'"), 0) << errors();
  ASSERT_TRUE(readPng(out, got));
  EXPECT_EQ(got.width, 40);
  EXPECT_EQ(got.height, 20);
  EXPECT_TRUE(got.rgb == want.rgb);

  // A script that never ends is cut by the script limit, and the square
  // of the next frame still makes the thumbnail.
  const std::string looping = build(twoFrames("actions {\nforever:\n  Jump forever\n}\n"));
  ASSERT_EQ(run("--thumbnail 40 '" + looping + "' '" + out + "'"), 0) << errors();
  ASSERT_TRUE(readPng(out, got));
  EXPECT_TRUE(got.rgb == want.rgb);
}

TEST_F(Thumbnail, AMovieThatDoesNotLoadLeavesNoFile) {
  const std::string out = dir.file("t.png");
  dir.write("bad.qvx", {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'});
  EXPECT_EQ(run("--thumbnail 128 '" + dir.file("bad.qvx") + "' '" + out + "'"), 1);
  EXPECT_NE(errors().find("not a movie"), std::string::npos) << errors();
  EXPECT_EQ(run("--thumbnail 128 '" + dir.file("missing.qvx") + "' '" + out + "'"), 1);
  const std::string movie = build(twoFrames(""));
  EXPECT_EQ(run("--thumbnail 128 '" + movie + "' '" + dir.file("no/t.png") + "'"), 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), std::filesystem::directory_iterator()), 3);
}

}  // namespace
}  // namespace kivra
