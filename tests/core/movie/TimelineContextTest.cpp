// A timeline plays against a stub context: no player, no host and no script
// engine, only a display, an action queue and what the timeline reports.
#include "core/movie/TimelineContext.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/movie/ActionQueue.h"
#include "core/movie/Display.h"
#include "core/movie/DisplayPainter.h"
#include "core/render/Renderer.h"
#include "core/movie/TimelinePlayer.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

class StubTimelineContext : public TimelineContext {
 public:
  ~StubTimelineContext() override {
    // The display's objects refer to the timelines: they go first.
    display_.clear();
    level0.reset();
    libraries.clear();
  }

  Display& display() override { return display_; }
  ActionQueue& actions() override { return actions_; }
  void movieDataArrived(TimelinePlayer& timeline, const IntakeReport& report) override {
    (void)timeline;
    ++arrivals;
    headerParsed = headerParsed || report.headerParsed;
  }
  void movieCorrupt() override { corrupt = true; }
  void setBackgroundColor(Rgba colour) override {
    background = colour;
    ++backgrounds;
  }
  bool importAllowed(const std::string& base, const std::string& url) const override {
    (void)base;
    (void)url;
    return allowImports;
  }
  TimelinePlayer& libraryFor(const std::string& base, const std::string& url) override {
    requests.push_back(base + " -> " + url);
    libraries.push_back(std::make_unique<TimelinePlayer>(*this, static_cast<int>(libraries.size()), url,
                                                         TimelinePlayer::RootKind::Library));
    return *libraries.back();
  }

  // Opens a level-0 timeline, feeds it a whole movie and shows frame 0.
  TimelinePlayer& play(const std::string& source) {
    level0 = std::make_unique<TimelinePlayer>(*this, 0, "stub.qvx");
    const std::vector<uint8_t> bytes = test::compile(source);
    level0->feed(bytes.data(), bytes.size());
    level0->seek(0);
    return *level0;
  }
  int frameActions() {
    int n = 0;
    ActionBlock b;
    while (actions_.pop(ActionList::Frame, b)) n += b.code != nullptr;
    return n;
  }

  std::unique_ptr<TimelinePlayer> level0;
  std::vector<std::unique_ptr<TimelinePlayer>> libraries;
  int arrivals = 0;
  bool headerParsed = false;
  bool corrupt = false;
  Rgba background{};
  int backgrounds = 0;
  bool allowImports = true;
  std::vector<std::string> requests;

 private:
  ActionQueue actions_;
  Display display_{actions_};
};

TEST(TimelineWithoutPlayer, PlaysFramesIntoTheContextsDisplay) {
  StubTimelineContext context;
  TimelinePlayer& t = context.play("movie version=6\nbackground #336699\n" + test::square(1) +
                                   "place 1 1 at=0,0\nactions {\n Push 1\n Pop\n}\nshowframe\n"
                                   "place 1 2 at=100,0\nremove2 1\nshowframe\n");
  EXPECT_GT(context.arrivals, 0);
  EXPECT_TRUE(context.headerParsed);
  EXPECT_FALSE(context.corrupt);
  EXPECT_EQ(context.backgrounds, 1);
  EXPECT_EQ(context.background.r, 0x33);
  EXPECT_EQ(context.background.g, 0x66);
  EXPECT_EQ(context.background.b, 0x99);

  ASSERT_NE(t.displayObject(), nullptr);
  EXPECT_EQ(t.currentFrame(), 0);
  EXPECT_EQ(t.displayObject()->children().size(), 1u);
  EXPECT_NE(t.displayObject()->childAt(1), nullptr);
  EXPECT_EQ(context.frameActions(), 1);

  // The display advances the timelines it lists, this one among them.
  context.display().advanceTimelines();
  EXPECT_EQ(t.currentFrame(), 1);
  EXPECT_EQ(t.displayObject()->childAt(1), nullptr);
  EXPECT_NE(t.displayObject()->childAt(2), nullptr);
  EXPECT_EQ(context.frameActions(), 0);
}

// The display list a timeline filled draws through the painter and the
// renderer alone: the square where it was placed, the background elsewhere.
TEST(TimelineWithoutPlayer, TheDisplayDrawsWithoutAPlayer) {
  StubTimelineContext context;
  TimelinePlayer& t = context.play("movie version=6 size=40x40\nbackground #336699\n" + test::square(1) +
                                   "place 1 1 at=0,0\nshowframe\n");
  ViewRequest view;
  view.client = DeviceRect{0, 0, 40, 40};
  view.frame = t.movie().frameRect();
  EXPECT_TRUE(context.display().setView(view));
  context.display().update();

  RenderTarget target;
  ASSERT_TRUE(target.create(40, 40, PixelFormat::Bgra32));
  FrameSetup setup;
  setup.dirty = ClipRect{0, 0, 40, 40};
  setup.background = context.background;
  Renderer renderer;
  DisplayPainter painter;
  painter.paint(context.display(), renderer, target, setup);
  const auto at = [&](int x, int y) { return target.pixels()[y * target.rowBytes() / 4 + x]; };
  EXPECT_EQ(at(5, 5), 0xFFFF0000u);
  EXPECT_EQ(at(25, 25), 0xFF336699u);
}

TEST(TimelineWithoutPlayer, ImportsAskTheContextForPermissionAndTheLibrary) {
  const std::string importer = "movie version=6\nimport \"lib.qvx\" 40 \"Box\"\nshowframe\n";
  StubTimelineContext refused;
  refused.allowImports = false;
  refused.play(importer);
  EXPECT_TRUE(refused.requests.empty());

  StubTimelineContext allowed;
  TimelinePlayer& t = allowed.play(importer);
  ASSERT_EQ(allowed.requests.size(), 1u);
  EXPECT_EQ(allowed.requests[0], "stub.qvx -> lib.qvx");
  // The library never arrives: the importer waits for it.
  EXPECT_NE(t.importWait(), nullptr);
}

TEST(TimelineWithoutPlayer, ATagPastTheEndTellsTheContextTheMovieIsCorrupt) {
  StubTimelineContext context;
  std::vector<uint8_t> bytes = test::compile("movie version=6\nshowframe\n");
  // A tag header at the end that claims a long body.
  bytes.insert(bytes.end() - 2, {0x3F, 0x03, 0xFF, 0x00, 0x00, 0x00});
  bytes[4] = static_cast<uint8_t>(bytes.size());  // the header's file length
  bytes[5] = static_cast<uint8_t>(bytes.size() >> 8);
  context.level0 = std::make_unique<TimelinePlayer>(context, 0, "stub.qvx");
  context.level0->feed(bytes.data(), bytes.size());
  context.level0->seek(0);
  context.display().advanceTimelines();
  EXPECT_TRUE(context.corrupt);
}

}  // namespace
}  // namespace kivra
