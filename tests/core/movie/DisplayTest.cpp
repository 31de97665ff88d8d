// The display tree through whole movies: placement rules, moves, removal
// with unload handlers, the rewind merge, redraw bookkeeping.
#include "core/movie/Display.h"

#include <gtest/gtest.h>

#include "core/movie/TimelinePlayer.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

using test::TestPlayer;

DisplayObject& level0(TestPlayer& p) { return *p.level0()->displayObject(); }

TEST(Display, TwoPlacementsAtOneDepthShowBothBeforeVersionSix) {
  const std::string body = test::square(1) + "place 1 1 at=0,0\nplace 1 1 at=500,0\nshowframe\n";
  TestPlayer v5;
  v5.load(test::compile("movie version=5\n" + body));
  ASSERT_EQ(level0(v5).children().size(), 2u);
  // The later one is in front in the list: drawn below.
  EXPECT_EQ(level0(v5).children()[0]->matrix().tx, 500);
  TestPlayer v6;
  v6.load(test::compile("movie version=6\n" + body));
  ASSERT_EQ(level0(v6).children().size(), 1u);
  EXPECT_EQ(level0(v6).children()[0]->matrix().tx, 0);
}

TEST(Display, InstanceNamesAreGeneratedForSprites) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) +
                       "sprite 2 {\n showframe\n}\nplace2 1 id=2\nplace2 2 id=2 name=\"given\"\nplace2 3 id=2\n"
                       "place 1 4\nshowframe\n"));
  const auto& c = level0(p).children();
  EXPECT_EQ(c[0]->name(), "instance1");
  EXPECT_EQ(c[1]->name(), "given");
  EXPECT_EQ(c[2]->name(), "instance2");
  EXPECT_EQ(c[3]->name(), "");
}

TEST(Display, MovesLeaveScriptControlledObjectsAlone) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) + test::square(2) +
                       "place 1 1\nplace 1 2\nshowframe\nplace2 1 move id=2 at=40,40\nplace2 2 move at=80,80\n"
                       "showframe\n"));
  level0(p).childAt(2)->setScriptControlled(true);
  p.steps(1);
  EXPECT_EQ(level0(p).childAt(1)->matrix().tx, 40);
  EXPECT_EQ(level0(p).childAt(1)->characterId(), 2);
  EXPECT_EQ(level0(p).childAt(2)->matrix().tx, 0);
}

TEST(Display, AMoveDoesNotTurnAShapeIntoASprite) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) + "sprite 2 {\n showframe\n}\nplace 1 1\nshowframe\n"
                       "place2 1 move id=2 ratio=7\nshowframe\n"));
  p.steps(1);
  EXPECT_EQ(level0(p).childAt(1)->kind(), CharacterKind::Shape);
  EXPECT_EQ(level0(p).childAt(1)->ratio(), 7);
}

const std::string kRewindMovie = "movie\n" + test::square(1) +
                                 "sprite 2 {\n showframe\n showframe\n showframe\n showframe\n}\n"
                                 "place2 1 id=2 name=\"kid\"\nplace 1 2\nshowframe\nshowframe\n";

TEST(Display, RewindKeepsARunningChildSpriteWithItsFrame) {
  TestPlayer p;
  p.load(test::compile(kRewindMovie));
  const DisplayObject* kid = level0(p).childAt(1);
  p.steps(2);  // the level loops back to 0; the kid goes on to frame 2
  EXPECT_EQ(p.level0()->currentFrame(), 0);
  ASSERT_EQ(level0(p).childAt(1), kid);
  EXPECT_EQ(kid->timeline()->currentFrame(), 2);
}

TEST(Display, ScriptDepthsSurviveARewindAndTimelineDepthsDoNot) {
  TestPlayer p;
  p.load(test::compile(kRewindMovie));
  PlaceInfo info;
  info.character = p.level0()->dictionary().lookup(1);
  info.depth = 16384;
  ASSERT_EQ(p.display().place(level0(p), info), PlaceResult::Placed);
  info.depth = 9;  // a timeline depth the timeline does not place
  ASSERT_EQ(p.display().place(level0(p), info), PlaceResult::Placed);
  p.level0()->seek(1);
  p.level0()->seek(0);
  EXPECT_NE(level0(p).childAt(16384), nullptr);
  EXPECT_EQ(level0(p).childAt(9), nullptr);
  EXPECT_NE(level0(p).childAt(2), nullptr);
}

TEST(Display, RewindReplacesAMovedShapeButKeepsAMovedSprite) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) +
                       "sprite 2 {\n showframe\n showframe\n}\n"
                       "place2 1 id=2\nplace 1 2\nshowframe\n"
                       "place2 1 move at=300,0\nplace2 2 move at=300,0\nshowframe\n"));
  DisplayObject* sprite = level0(p).childAt(1);
  DisplayObject* shape = level0(p).childAt(2);
  p.steps(1);
  EXPECT_EQ(sprite->matrix().tx, 300);
  p.level0()->seek(0);
  EXPECT_EQ(level0(p).childAt(1), sprite);
  EXPECT_EQ(sprite->matrix().tx, 0);  // takes the replayed transform
  EXPECT_NE(level0(p).childAt(2), shape);
  EXPECT_EQ(level0(p).childAt(2)->matrix().tx, 0);
}

TEST(Display, ARemovedSpriteWithAnUnloadHandlerWaitsAtTheComplementDepth) {
  TestPlayer p;
  p.load(test::compile("movie\n"
                       "sprite 2 {\n showframe\n}\n"
                       "place2 3 id=2 {\n on unload {\n  Stop\n }\n}\n"
                       "place2 4 id=2\n"
                       "showframe\nremove2 3\nremove2 4\nshowframe\n"));
  p.level0()->runToFrame(1);
  ASSERT_EQ(level0(p).children().size(), 1u);
  EXPECT_EQ(level0(p).children()[0]->depth(), -4);
  EXPECT_TRUE(level0(p).children()[0]->timeline()->removed());
  ActionBlock b;
  bool unload = false;
  while (p.actions().pop(ActionList::Frame, b)) unload |= b.code && b.event == kClipEventUnload;
  EXPECT_TRUE(unload);
  p.display().releaseUnloaded();
  EXPECT_TRUE(level0(p).children().empty());
}

TEST(Display, ClipEventsAreQueuedByEventBit) {
  TestPlayer p;
  p.openMovie("events.qvx");
  const auto movie = test::compile("movie version=6\nsprite 2 {\n showframe\n}\n"
                                   "place2 1 id=2 {\n on initialize {\n  Stop\n }\n on load,enterFrame {\n  Play\n"
                                   " }\n}\nshowframe\n");
  p.feedMovie(movie.data(), movie.size() - 2);  // all but End: frame 0 is complete and runs
  ActionBlock b;
  ASSERT_TRUE(p.actions().empty());  // the player already ran (dropped) them
  p.display().advanceTimelines();
  int enterFrame = 0;
  while (p.actions().pop(ActionList::Frame, b)) enterFrame += b.code && b.event == kClipEventEnterFrame;
  EXPECT_EQ(enterFrame, 1);

  p.level0()->seek(0);  // no change
  DisplayObject* kid = level0(p).childAt(1);
  PlaceInfo info = {};
  info.character = kid->sharedCharacter();
  info.depth = 20000;
  info.flags = kPlaceHasCharacter;
  ASSERT_EQ(p.display().place(level0(p), info), PlaceResult::Placed);
  EXPECT_TRUE(p.actions().pop(ActionList::Init, b));  // initialize, as an event block
  EXPECT_EQ(b.code, nullptr);
  EXPECT_EQ(b.event, kClipEventInitialize);
}

TEST(Display, AFreedCharacterStaysOnTheStage) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) + "place 1 1\nshowframe\nraw 3 0100\nplace 1 2\nshowframe\n"));
  p.steps(1);
  EXPECT_EQ(level0(p).children().size(), 1u);  // depth 2 found no character
  EXPECT_EQ(level0(p).childAt(1)->characterId(), 1);
  EXPECT_EQ(p.level0()->dictionary().lookup(1), nullptr);
}

TEST(Display, ASpriteThatPlacesItselfStopsAtTheNestingLimit) {
  TestPlayer p;
  p.load(test::compile("movie\nsprite 2 {\n place2 1 id=2\n showframe\n}\nplace2 1 id=2\nshowframe\n"));
  int depth = 0;
  for (const DisplayObject* o = &level0(p); !o->children().empty(); o = o->children()[0].get()) ++depth;
  EXPECT_EQ(depth, Display::kMaxNesting - 1);
  p.steps(3);
}

TEST(Display, APlacementWithoutACharacterMarksTheMovieCorrupt) {
  TestPlayer p;
  p.load(test::compile("movie\nshowframe\nplace2 1\nshowframe\n"));
  EXPECT_FALSE(p.quitRequested());
  p.steps(1);
  EXPECT_TRUE(p.quitRequested());
}

TEST(Display, TheFirstBackgroundColourWins) {
  TestPlayer p;
  p.load(test::compile("movie\nbackground #102030\nbackground #405060\nshowframe\n"));
  EXPECT_EQ(p.display().background(), 0xFF102030u);
  p.display().setBackgroundColor(0xFF00FF00u, 2);
  EXPECT_EQ(p.display().background(), 0xFF00FF00u);
  p.load(test::compile("movie\nbackground #405060\nshowframe\n"));
  EXPECT_EQ(p.display().background(), 0xFF00FF00u);  // a priority above 1 outlives the movie
}

TEST(Display, SwapDepthsExchangesPlacesAndHandsControlToScript) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) + test::square(2) + "place 1 1\nplace 2 2\nshowframe\n"));
  DisplayObject* a = level0(p).childAt(1);
  DisplayObject* b = level0(p).childAt(2);
  ASSERT_TRUE(p.display().swapDepths(*a, 2));
  EXPECT_EQ(level0(p).children()[0].get(), b);
  EXPECT_EQ(a->depth(), 2);
  EXPECT_TRUE(a->scriptControlled() && b->scriptControlled());
  ASSERT_TRUE(p.display().swapDepths(*a, 50));
  EXPECT_EQ(level0(p).children().back().get(), a);
}

TEST(Display, UpdateAddsOldAndNewBoundsOfMovedObjects) {
  TestPlayer p;
  p.load(test::compile("movie size=550x400\n" + test::square(1) + "place 1 1\nshowframe\n"
                       "place2 1 move at=2000,0\nshowframe\n"));
  p.render();  // draws everything once
  EXPECT_TRUE(p.display().dirtyArea().empty());
  p.steps(1);
  p.display().update();
  const DirtyArea& d = p.display().dirtyArea();
  ASSERT_EQ(d.count(), 2);  // 10 px squares 100 px apart stay separate
  EXPECT_EQ(d.bounds(), (DeviceRect{0, 0, 448, 48}));
}

TEST(Display, WalkCombinesParentTransforms) {
  TestPlayer p;
  p.load(test::compile("movie\n" + test::square(1) + "sprite 2 {\n place 1 1 at=10,20 mul=128,256,256\n"
                       " showframe\n}\nplace2 1 id=2 scale=2,2 at=100,0 mul=128,256,256\nshowframe\n"));
  struct Collect : DisplayVisitor {
    std::vector<DisplayWalkItem> items;
    bool enter(const DisplayWalkItem& item) override {
      items.push_back(item);
      return true;
    }
  } collect;
  p.display().walk(collect);
  ASSERT_EQ(collect.items.size(), 3u);
  const DisplayWalkItem& shape = collect.items[2];
  EXPECT_EQ(shape.nesting, 2);
  EXPECT_EQ(shape.matrix.tx, 120);
  EXPECT_EQ(shape.matrix.ty, 40);
  EXPECT_EQ(shape.matrix.a, 2 * kFixedOne);
  EXPECT_EQ(shape.cxform.rMul, 64);
  EXPECT_EQ(shape.deviceMatrix.tx, 24);  // 120 twips = 6 px = 24 sub-pixels
}

}  // namespace
}  // namespace kivra
