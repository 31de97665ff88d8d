// Automatic quality on a virtual clock: each frame step's paint costs a set
// number of milliseconds, and the quality follows the rules of the player.
#include <gtest/gtest.h>

#include <string>

#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

// Frames at 10 per second (a 100 ms period); painting takes `cost` ms.
class ClockHost : public test::StubHost {
 public:
  using StubHost::StubHost;
  uint32_t clock = 1000;
  uint32_t cost = 0;
  uint32_t milliseconds() override { return clock; }
  void updateNow() override { clock += cost; }
};

class ClockPlayer : public test::TestPlayerOf<ClockHost> {
 public:
  // One timer-driven step that advances a frame.
  void tick() {
    stub().clock += 100;
    const uint64_t before = framesAdvanced();
    frameStep(true);
    ASSERT_EQ(framesAdvanced(), before + 1);
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) tick();
  }
};

std::string movieOf(int frames) {
  std::string s = "movie size=100x100 rate=10\n";
  for (int i = 0; i < frames; ++i) s += "showframe\n";
  return s;
}

void start(ClockPlayer& p, Quality q, bool autoOn, int frames = 200) {
  p.setQuality(q);
  p.setAutoQuality(autoOn);
  p.load(test::compile(movieOf(frames)));
}

TEST(AutoQuality, SlowFramesDropHighToLowAfterElevenSteps) {
  ClockPlayer p;
  start(p, Quality::High, true);
  p.stub().cost = 150;  // over the period
  p.ticks(10);
  EXPECT_EQ(p.quality(), Quality::High);  // ten steps since the start: not yet
  p.tick();
  EXPECT_EQ(p.quality(), Quality::Low);
  EXPECT_EQ(p.view().aaFactor, 1);
}

TEST(AutoQuality, FastFramesRaiseLowToHigh) {
  ClockPlayer p;
  start(p, Quality::Low, true);
  p.stub().cost = 24;  // under a quarter of the period
  p.ticks(10);
  EXPECT_EQ(p.quality(), Quality::Low);
  p.tick();
  EXPECT_EQ(p.quality(), Quality::High);
}

TEST(AutoQuality, FramesInBetweenKeepEitherQuality) {
  for (Quality q : {Quality::Low, Quality::High}) {
    ClockPlayer p;
    start(p, q, true);
    p.stub().cost = 50;  // neither slow nor fast
    p.ticks(40);
    EXPECT_EQ(p.quality(), q);
  }
}

TEST(AutoQuality, AThirdOfSlowFramesIsTolerated) {
  ClockPlayer p;
  start(p, Quality::High, true);
  // One slow frame in three: frames >= 3 x slow frames, so HIGH stays.
  for (int i = 0; i < 30; ++i) {
    p.stub().cost = i % 3 == 2 ? 150 : 50;
    p.tick();
  }
  EXPECT_EQ(p.quality(), Quality::High);
  // Two in three: it drops.
  for (int i = 0; i < 12 && p.quality() == Quality::High; ++i) {
    p.stub().cost = i % 3 == 0 ? 50 : 150;
    p.tick();
  }
  EXPECT_EQ(p.quality(), Quality::Low);
}

TEST(AutoQuality, ASwitchClearsTheCountsSoTheNextWaitsElevenSteps) {
  ClockPlayer p;
  start(p, Quality::High, true);
  p.stub().cost = 150;
  p.ticks(11);
  ASSERT_EQ(p.quality(), Quality::Low);
  p.stub().cost = 10;
  p.ticks(10);
  EXPECT_EQ(p.quality(), Quality::Low);
  p.tick();
  EXPECT_EQ(p.quality(), Quality::High);
}

TEST(AutoQuality, MediumNeverSwitches) {
  ClockPlayer p;
  start(p, Quality::Medium, true);
  p.stub().cost = 150;
  p.ticks(30);
  EXPECT_EQ(p.quality(), Quality::Medium);
}

TEST(AutoQuality, OffMeansNoSwitching) {
  ClockPlayer p;
  start(p, Quality::High, false);
  p.stub().cost = 150;
  p.ticks(30);
  EXPECT_EQ(p.quality(), Quality::High);
}

TEST(AutoQuality, AOneFrameMovieStartsAtHigh) {
  ClockPlayer one;
  start(one, Quality::Low, true, 1);
  EXPECT_EQ(one.quality(), Quality::High);
  ClockPlayer two;
  start(two, Quality::Low, true, 2);
  EXPECT_EQ(two.quality(), Quality::Low);
  ClockPlayer manual;
  start(manual, Quality::Low, false, 1);
  EXPECT_EQ(manual.quality(), Quality::Low);
}

}  // namespace
}  // namespace kivra
