// A frame script that never ends, in the window: while it runs the window
// goes on painting its last picture and nothing re-enters the core; the
// person's "abort" pauses the movie instead of letting the script start
// again at once; closing the window aborts the script without asking.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using namespace command;

// Frame 1 shows a yellow block on blue; frame 2's script never ends. The
// movie loops, so its timeline comes back to frame 2 every other frame.
constexpr const char* kRunaway = R"(movie size=200x100 rate=30
background #336699
shape 1 {
  fill solid #ffcc00
  style moveto=50px,25px fill1=1
  lineto 150px,25px
  lineto 150px,75px
  lineto 50px,75px
  lineto 50px,25px
}
place 1 1
showframe
actions {
top:
  Push 1
  Pop
  Jump top
}
showframe
)";

constexpr QRgb kBlue = 0xFF336699;
constexpr QRgb kYellow = 0xFFFFCC00;

// Script time runs 100 times as fast: the question comes after 150 ms.
class QuickQuestionPlayer : public DesktopPlayer {
 public:
  QuickQuestionPlayer() : DesktopPlayer(CommandLine{}) {}
  uint32_t scriptClock() override { return DesktopPlayer::scriptClock() * 100; }
  bool askToAbortSlowScript() override {
    ++questions;
    return DesktopPlayer::askToAbortSlowScript();
  }
  int questions = 0;
};

// Counts the stage's paint events that happen while the core is busy.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(DesktopPlayer& player) : player_(player) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && player_.coreBusy()) ++paintsWhileBusy;
    return QObject::eventFilter(watched, event);
  }
  int paintsWhileBusy = 0;

 private:
  DesktopPlayer& player_;
};

class SlowScript : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
    ASSERT_TRUE(player.openMovieFile(dir.write("runaway.qvx", test::compileSource(kRunaway))).ok);
    const QImage first = player.stage().grab().toImage();
    ASSERT_EQ(first.pixel(5, 5), kBlue);
    ASSERT_EQ(first.pixel(100, 50), kYellow);
    // The person's answers, one per question; then yes.
    QObject::connect(&answerer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      ++dialogs;
      QMessageBox::StandardButton answer = QMessageBox::Yes;
      if (!answers.empty()) {
        answer = answers.front();
        answers.erase(answers.begin());
      }
      box->button(answer)->click();
    });
    answerer.start(10);
  }
  // Runs `probe` once, from inside the script, when the core is busy.
  void probeWhileBusy(std::function<void()> probe) {
    auto* timer = new QTimer(&player.window());
    QObject::connect(timer, &QTimer::timeout, [this, timer, probe] {
      if (!player.coreBusy() || QApplication::activeModalWidget()) return;
      timer->stop();
      probe();
    });
    timer->start(5);
  }

  test::TempDir dir;
  QuickQuestionPlayer player;
  QTimer answerer;
  std::vector<QMessageBox::StandardButton> answers;
  int dialogs = 0;  // questions the person saw
};

TEST_F(SlowScript, WindowPaintsAndIgnoresInputWhileTheScriptRuns) {
  PaintCounter counter(player);
  player.stage().installEventFilter(&counter);
  bool probed = false;
  uint64_t framesInScript = 0;
  QImage during;
  probeWhileBusy([&] {
    probed = true;
    framesInScript = player.core().framesAdvanced();
    // What the window paints now: the last picture, through its paint path.
    during = player.stage().grab().toImage();
    // A repaint asked for now happens at the next pump, still in the script.
    counter.paintsWhileBusy = 0;
    player.stage().update();
    // Clicks, ticks and commands do not reach the core.
    QTest::mousePress(&player.stage(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_FALSE(player.core().input().mouseIsDown());
    QTest::mouseRelease(&player.stage(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    player.tick();
    player.runCommand(kRewind);
    EXPECT_EQ(player.core().framesAdvanced(), framesInScript);
    EXPECT_EQ(player.core().level0()->currentFrame(), 1);
  });
  ASSERT_TRUE(test::runUntil([&] { return player.questions == 1 && player.pausedAfterAbort(); }, 5000));
  EXPECT_EQ(dialogs, 1);
  ASSERT_TRUE(probed);
  EXPECT_GT(counter.paintsWhileBusy, 0);
  ASSERT_FALSE(during.isNull());
  EXPECT_EQ(during.pixel(5, 5), kBlue);
  EXPECT_EQ(during.pixel(100, 50), kYellow);
  EXPECT_EQ(player.core().framesAdvanced(), framesInScript);
}

TEST_F(SlowScript, AbortPausesTheMovieUntilPlay) {
  ASSERT_TRUE(test::runUntil([&] { return player.questions == 1 && player.pausedAfterAbort(); }, 5000));
  // Left running, the timeline would be back in frame 2 within two frames
  // and ask again 150 ms later.
  test::runUntil([] { return false; }, 400);
  EXPECT_EQ(player.questions, 1);
  EXPECT_FALSE(player.frameTimerActive());
  EXPECT_FALSE(player.core().level0()->playing());
  EXPECT_EQ(player.core().level0()->currentFrame(), 1);
  EXPECT_FALSE(player.window().action(kPlay)->isChecked());
  EXPECT_EQ(player.stage().grab().toImage().pixel(100, 50), kYellow);

  // Play goes on, into the script again; this time the person lets it run
  // on once, then aborts.
  answers = {QMessageBox::No};
  player.runCommand(kPlay);
  EXPECT_FALSE(player.pausedAfterAbort());
  EXPECT_TRUE(player.frameTimerActive());
  EXPECT_TRUE(player.window().action(kPlay)->isChecked());
  ASSERT_TRUE(test::runUntil([&] { return player.questions == 3 && player.pausedAfterAbort(); }, 5000));
  EXPECT_TRUE(answers.empty());
  EXPECT_FALSE(player.frameTimerActive());
}

TEST_F(SlowScript, ClosingTheWindowAbortsTheScriptWithoutAsking) {
  bool stillShown = false;
  probeWhileBusy([&] {
    player.window().close();
    stillShown = player.window().isVisible();
  });
  ASSERT_TRUE(test::runUntil([&] { return !player.window().isVisible(); }, 5000));
  EXPECT_TRUE(stillShown);
  // The core asked; the player answered for the person.
  EXPECT_EQ(player.questions, 1);
  EXPECT_EQ(dialogs, 0);
}

}  // namespace
}  // namespace kivra

namespace kivra {
namespace {

// Frame 2 pushes into an array without end; each time round, the memory
// budget stops it long before the time limit would.
constexpr const char* kHungry = R"(movie size=100x100 rate=30
showframe
actions {
  Push "a" 0
  InitArray
  SetVariable
top:
  Push "a"
  GetVariable
  Push 1 "a"
  GetVariable
  Push "push"
  CallMethod
  Pop
  Jump top
}
showframe
)";

TEST(MemoryBudget, StopsTheScriptAndSaysSoOnce) {
  CommandLine options;
  options.memoryLimitMb = 16;
  DesktopPlayer player(options);
  test::TempDir dir;
  player.window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
  int boxes = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++boxes;
      EXPECT_TRUE(box->text().contains("16 MB")) << box->text().toStdString();
      box->button(QMessageBox::Ok)->click();
    }
  });
  closer.start(10);
  ASSERT_TRUE(player.openMovieFile(dir.write("hungry.qvx", test::compileSource(kHungry))).ok);
  // The movie plays on: frame 2 comes round again and again.
  ASSERT_TRUE(test::runUntil([&] { return player.core().framesAdvanced() >= 6; }, 10000)) << player.core().framesAdvanced();
  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(player.pausedAfterAbort());
}

}  // namespace
}  // namespace kivra
