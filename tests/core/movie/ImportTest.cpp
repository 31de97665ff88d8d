// ExportAssets and ImportAssets with a library loader that serves movies
// from memory, now or never.
#include <gtest/gtest.h>

#include <map>

#include "core/movie/Display.h"
#include "core/host/LibraryLoader.h"
#include "core/movie/TimelinePlayer.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

using test::TestPlayer;

class MemoryLoader : public LibraryLoader {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<std::string> requests;
  std::string resolve(const std::string& base, const std::string& url) override {
    (void)base;
    return "mem:" + url;
  }
  void load(const std::string& resolvedUrl, TimelinePlayer& library) override {
    requests.push_back(resolvedUrl);
    auto it = files.find(resolvedUrl);
    if (it != files.end()) library.feed(it->second.data(), it->second.size());
  }
};

const std::string kLibrary = "movie version=6\n" + test::square(1) +
                             "sprite 5 {\n place 1 1\n showframe\n}\n"
                             "export 5 \"Star\" 1 \"Box\"\n"
                             "initactions 5 {\n Push 1\n Pop\n}\n"
                             "showframe\n";

TEST(Import, CharactersComeFromTheLibraryByName) {
  MemoryLoader loader;
  loader.files["mem:lib.qvx"] = test::compile(kLibrary);
  TestPlayer p;
  p.setLibraryLoader(&loader);
  p.load(test::compile("movie version=6\nimport \"lib.qvx\" 40 \"STAR\" 41 \"Star\" 42 \"Box\"\n"
                       "place2 1 id=41\nplace 42 2 at=100,100\nplace 40 3\nshowframe\n"
                       "import \"LIB.qvx\" 43 \"Box\"\nplace 43 4\nshowframe\n"));
  ASSERT_TRUE(p.hasMovie());
  const DisplayObject& root = *p.level0()->displayObject();
  ASSERT_EQ(root.children().size(), 2u);  // "STAR" is not exported: names match exactly
  EXPECT_EQ(root.childAt(1)->kind(), CharacterKind::Sprite);
  EXPECT_EQ(root.childAt(1)->children().size(), 1u);  // the library's sprite runs from its own buffer
  EXPECT_EQ(root.childAt(2)->kind(), CharacterKind::Shape);
  EXPECT_EQ(p.level0()->dictionary().find(41)->kind, CharacterKind::ImportAlias);
  // A version-6 importer re-exports what it imported.
  EXPECT_NE(p.level0()->exported("Star"), nullptr);
  p.steps(1);
  // Resolved URLs that differ only in case name one library.
  EXPECT_EQ(loader.requests.size(), 1u);
  EXPECT_EQ(p.libraryCount(), 1u);
  EXPECT_NE(root.childAt(4), nullptr);
}

TEST(Import, TheLibrarysInitActionsAreQueuedForAVersionSixImporter) {
  MemoryLoader loader;
  loader.files["mem:lib.qvx"] = test::compile(kLibrary);
  TestPlayer p;
  p.setLibraryLoader(&loader);
  p.openMovie("main.qvx");
  const auto movie = test::compile("movie version=6\nimport \"lib.qvx\" 40 \"Star\"\nshowframe\nshowframe\n");
  p.feedMovie(movie.data(), movie.size() - 6);  // frame 0 incomplete: playback not started
  p.level0()->runToFrame(0);
  ActionBlock b;
  ASSERT_TRUE(p.actions().pop(ActionList::Init, b));
  EXPECT_EQ(b.clip, nullptr);  // the level is not placed before playback starts
  EXPECT_FALSE(p.actions().pop(ActionList::Init, b));
}

TEST(Import, AMovieWaitsForItsLibraryAndShowsTheFramesBefore) {
  MemoryLoader loader;  // serves nothing
  TestPlayer p;
  p.setLibraryLoader(&loader);
  p.load(test::compile("movie\n" + test::square(1) + "place 1 1\nshowframe\n"
                       "import \"never.qvx\" 9 \"X\"\nplace 9 2\nplace 1 3\nshowframe\nshowframe\n"));
  p.steps(5);
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  EXPECT_NE(p.level0()->importWait(), nullptr);
  EXPECT_EQ(p.level0()->displayObject()->children().size(), 1u);
}

TEST(Import, WithoutALoaderTheMovieWaitsForever) {
  TestPlayer p;
  p.load(test::compile("movie\nshowframe\nimport \"x.qvx\" 9 \"X\"\nshowframe\nshowframe\n"));
  p.steps(3);
  EXPECT_EQ(p.level0()->currentFrame(), 0);
}

TEST(Import, LibrariesImportingFromEachOtherDoNotLoop) {
  MemoryLoader loader;
  loader.files["mem:a.qvx"] = test::compile("movie\nimport \"b.qvx\" 1 \"B\"\nexport 1 \"A\"\nshowframe\n");
  loader.files["mem:b.qvx"] = test::compile("movie\nimport \"a.qvx\" 1 \"A\"\nexport 1 \"B\"\nshowframe\n");
  TestPlayer p;
  p.setLibraryLoader(&loader);
  p.load(test::compile("movie\nshowframe\nimport \"a.qvx\" 7 \"A\"\nplace 7 1\nshowframe\n"));
  p.steps(3);
  EXPECT_EQ(p.level0()->dictionary().lookup(7), nullptr);
}

}  // namespace
}  // namespace kivra
