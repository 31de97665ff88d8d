// Timelines through whole movies: frames, loops, seeks, labels, partial
// loading, init actions and the order timelines advance in.
#include "core/movie/TimelinePlayer.h"

#include <gtest/gtest.h>

#include "core/movie/Display.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

using test::TestPlayer;

// Frame actions queued now (event blocks without code are not counted).
int queuedFrameActions(ActionQueue& q) {
  int n = 0;
  ActionBlock b;
  while (q.pop(ActionList::Frame, b)) n += b.code != nullptr;
  return n;
}

const std::string kFiveFrames = "movie version=6\n" + test::square(1) +
                                "place 1 1 at=0,0\n"
                                "actions {\n Push 1\n Pop\n}\n"
                                "showframe\n"
                                "place2 1 move at=100,0\n"
                                "place 1 2 at=0,500\n"
                                "actions {\n Push 1\n Pop\n}\n"
                                "showframe\n"
                                "label \"INTRO\"\n"
                                "remove2 1\n"
                                "actions {\n Push 1\n Pop\n}\n"
                                "showframe\n"
                                "place 1 3 at=0,900\n"
                                "place2 2 move scale=2,2\n"
                                "actions {\n Push 1\n Pop\n}\n"
                                "showframe\n"
                                "label \"outro\"\n"
                                "remove 1 3\n"
                                "actions {\n Push 1\n Pop\n}\n"
                                "showframe\n";

TEST(Timeline, LoopsToFrameZeroAfterTheLastFrame) {
  TestPlayer p;
  p.load(test::compile(kFiveFrames));
  ASSERT_TRUE(p.hasMovie());
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  p.steps(4);
  EXPECT_EQ(p.level0()->currentFrame(), 4);
  p.steps(1);
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  EXPECT_TRUE(p.level0()->playing());
}

TEST(Timeline, WithoutLoopItStopsAtTheEndAndPlayRestarts) {
  TestPlayer p;
  p.load(test::compile(kFiveFrames));
  p.level0()->setLoop(false);
  p.steps(7);
  EXPECT_EQ(p.level0()->currentFrame(), 4);
  EXPECT_FALSE(p.level0()->playing());
  p.level0()->play(true);
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  EXPECT_TRUE(p.level0()->playing());
}

TEST(Timeline, SeeksInAnyOrderMatchAFreshPlayToThatFrame) {
  std::vector<std::string> fresh;
  for (int n = 0; n < 5; ++n) {
    TestPlayer p;
    p.load(test::compile(kFiveFrames));
    p.steps(n);
    fresh.push_back(p.tree());
  }
  TestPlayer p;
  p.load(test::compile(kFiveFrames));
  for (int n : {3, 1, 4, 0, 2, 2, 4, 1, 3}) {
    p.level0()->seek(n);
    EXPECT_EQ(p.level0()->currentFrame(), n);
    EXPECT_EQ(p.tree(), fresh[n]) << "after seeking to frame " << n;
  }
}

TEST(Timeline, SeekingRunsOnlyTheTargetFramesActions) {
  TestPlayer p;
  p.load(test::compile(kFiveFrames));
  queuedFrameActions(p.actions());
  p.level0()->seek(3);
  EXPECT_EQ(queuedFrameActions(p.actions()), 1);
  p.level0()->seek(1);  // backwards
  EXPECT_EQ(queuedFrameActions(p.actions()), 1);
  p.level0()->seek(1);  // the current frame: nothing runs
  EXPECT_EQ(queuedFrameActions(p.actions()), 0);
  p.level0()->seek(-5);  // taken as 0
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  EXPECT_EQ(queuedFrameActions(p.actions()), 1);
}

TEST(Timeline, LabelsAreFoundWithoutRegardToCase) {
  TestPlayer p;
  p.load(test::compile(kFiveFrames));
  TimelinePlayer& t = *p.level0();
  EXPECT_EQ(t.findFrameLabel("intro"), 2);
  EXPECT_EQ(t.findFrameLabel("Intro"), 2);
  EXPECT_EQ(t.findFrameLabel("OUTRO"), 4);
  EXPECT_EQ(t.findFrameLabel("intro", 3), -1);
  EXPECT_EQ(t.findFrameLabel("intr"), -1);
  EXPECT_EQ(t.currentFrame(), 0);  // the search leaves the timeline where it was
  t.seek(t.findFrameLabel("INTRO"));
  EXPECT_EQ(t.currentLabel(), "INTRO");
}

TEST(Timeline, APartlyLoadedMoviePlaysOnlyCompleteFrames) {
  const std::vector<uint8_t> movie = test::compile(kFiveFrames);
  TestPlayer p;
  p.openMovie("pieces.qvx");
  size_t fed = 0;
  int lastFrame = -1;
  while (fed < movie.size()) {
    const size_t n = std::min<size_t>(7, movie.size() - fed);
    p.feedMovie(movie.data() + fed, n);
    fed += n;
    p.steps(1);
    const TimelinePlayer& t = *p.level0();
    if (!p.hasMovie()) continue;
    EXPECT_LE(t.currentFrame(), t.movie().framesLoaded());
    EXPECT_GE(t.currentFrame(), lastFrame);  // no looping before the end has arrived
    lastFrame = t.currentFrame();
  }
  EXPECT_EQ(lastFrame, 4);
}

TEST(Timeline, NewestTimelineAdvancesFirst) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) +
                       "sprite 2 {\n place 1 1\n showframe\n}\n"
                       "sprite 3 {\n showframe\n showframe\n}\n"
                       "place2 1 id=2\nplace2 2 id=3\nshowframe\n"));
  const std::vector<TimelinePlayer*> order = p.display().timelines();
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[0]->displayObject()->depth(), 2);
  EXPECT_EQ(order[1]->displayObject()->depth(), 1);
  EXPECT_TRUE(order[2]->isRoot());
}

TEST(Timeline, InitActionsRunOncePerSprite) {
  TestPlayer p;
  p.load(test::compile("movie\n"
                       "sprite 2 {\n showframe\n}\n"
                       "initactions 2 {\n Push 1\n Pop\n}\n"
                       "initactions 2 {\n Play\n}\n"
                       "initactions 9 {\n Play\n}\n"  // no such sprite
                       "showframe\nshowframe\n"));
  // Frame 0 ran at load and queued its init actions; the player dropped them.
  ActionBlock b;
  EXPECT_FALSE(p.actions().pop(ActionList::Init, b));
  p.level0()->seek(1);
  p.level0()->seek(0);  // read again on the rewind: already done
  EXPECT_FALSE(p.actions().pop(ActionList::Init, b));

  TestPlayer q;
  q.openMovie("init.qvx");
  const auto movie = test::compile("movie\nsprite 2 {\n showframe\n}\ninitactions 2 {\n Push 1\n Pop\n}\nshowframe\n");
  q.feedMovie(movie.data(), movie.size() - 4);  // frame 0 not complete yet
  EXPECT_FALSE(q.hasMovie());
  q.level0()->runToFrame(0);
  ASSERT_TRUE(q.actions().pop(ActionList::Init, b));
  EXPECT_NE(b.code, nullptr);
  EXPECT_FALSE(q.actions().pop(ActionList::Init, b));
}

TEST(Timeline, SpritesRunTheirOwnFramesAndLoop) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) +
                       "sprite 2 {\n place 1 1\n showframe\n remove2 1\n showframe\n showframe\n}\n"
                       "place2 1 id=2 name=\"s\"\nshowframe\n"));
  TimelinePlayer* s = p.display().timelines()[0];
  EXPECT_EQ(s->currentFrame(), 0);
  EXPECT_EQ(s->frameCount(), 3);
  p.steps(1);
  EXPECT_EQ(s->currentFrame(), 1);
  EXPECT_EQ(s->displayObject()->children().size(), 0u);
  p.steps(2);
  EXPECT_EQ(s->currentFrame(), 0);
  EXPECT_EQ(s->displayObject()->children().size(), 1u);
}

TEST(Timeline, BrokenStreamsNeverCrash) {
  const std::vector<uint8_t> movie = test::compile(kFiveFrames);
  for (size_t cut = 0; cut < movie.size(); cut += 3) {
    for (size_t flip = 21; flip < movie.size(); flip += 11) {
      std::vector<uint8_t> broken(movie.begin(), movie.begin() + static_cast<long>(cut));
      if (flip < broken.size()) broken[flip] ^= 0x5A;
      TestPlayer p;
      p.load(broken);
      p.steps(6);
      if (p.level0()) p.level0()->seek(0);
    }
  }
}

}  // namespace
}  // namespace kivra
