// What the window shows, through its own paint path, after every frame and
// input event: the stage repainted from its dirty rectangles must equal a
// full redraw. A morph that grows, a shape that moves and turns, one that
// hides and shows, a button under the pointer, a photo that turns, text in
// an embedded and in a device font that moves (the device text turns).
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

constexpr const char* kChanging = R"(movie version=6 size=300x200 rate=12
background #1e3a5f
shape 1 {
  fill solid #f2b134
  style moveto=0,0 fill1=1
  lineto 40px,0
  lineto 40px,30px
  lineto 0,30px
  lineto 0,0
}
morph 2 startbounds=0,40px,0,40px endbounds=0,160px,0,20px {
  fill solid #7fff9a #3f7fff80
  startedges
    style moveto=0,0 fill0=1
    lineto 40px,0
    lineto 40px,40px
    lineto 0,40px
    lineto 0,0
  endedges
    style moveto=0,0
    lineto 160px,0
    lineto 160px,20px
    lineto 0,20px
    lineto 0,0
}
jpeg 4 "photo.jpg"
shape3 5 {
  fill bitmap 4 clipped scale=30,30
  style moveto=0,0 fill1=1
  lineto 60px,0
  lineto 60px,45px
  lineto 0,45px
  lineto 0,0
}
font 6 "../../fonts/LiberationSans-Regular.ttf" chars="Kivra tex"
text 7 {
  run font=6 height=14px color=#ffffff at=0,0 "Kivra text"
}
font1 8 "../../fonts/LiberationSans-Regular.ttf" chars="Kivra tex" device
fontinfo 8 name="_sans"
text 9 {
  run font=8 height=12px color=#ffe0a0 at=0,0 "Kivra text"
}
button2 3 {
  record up,hit 1 1
  record over 1 1 mul=128,128,128
  record down 1 1 at=0,4px
}
place2 1 id=2 ratio=0 at=20px,120px
place2 2 id=1 name="box" at=200px,20px
place2 3 id=3 at=200px,140px
place2 4 id=5 at=100px,60px
place2 5 id=7 at=10px,20px
place2 6 id=9 at=10px,40px
showframe
place2 5 move at=14px,27px
place2 6 move at=30px,44px rotate=10
place2 1 move ratio=32768
place2 2 move at=150px,40px rotate=30
place2 4 move at=110px,70px rotate=15
showframe
place2 1 move ratio=65535
place2 2 move at=60px,10px mul=256,128,128
showframe
remove2 2
showframe
place2 2 id=1 at=230px,80px
showframe
)";

// The window's picture against a full redraw of the same stage.
::testing::AssertionResult showsAFullRedraw(DesktopPlayer& player, const char* when) {
  const QImage shown = player.stage().grab().toImage().convertToFormat(QImage::Format_ARGB32);
  RenderTarget full;
  if (!player.core().redrawInto(full)) return ::testing::AssertionFailure() << when << ": no stage";
  if (shown.width() != full.width() || shown.height() != full.height())
    return ::testing::AssertionFailure() << when << ": the window is " << shown.width() << "x" << shown.height();
  for (int y = 0; y < full.height(); ++y)
    for (int x = 0; x < full.width(); ++x)
      if ((shown.pixel(x, y) | 0xFF000000u) != (full.row(y)[x] | 0xFF000000u))
        return ::testing::AssertionFailure() << when << ": pixel " << x << "," << y << " shows " << std::hex
                                             << shown.pixel(x, y) << ", a full redraw " << full.row(y)[x];
  return ::testing::AssertionSuccess();
}

TEST(WindowRepaint, EveryFrameAndEventShowsWhatAFullRedrawWould) {
  test::TempDir dir;
  DesktopPlayer player(CommandLine{});
  player.window().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
  ASSERT_TRUE(player.openMovieFile(dir.write("changing.qvx", test::compileSource(kChanging))).ok);
  player.stopFrameTimer();  // the test steps the frames itself
  ASSERT_TRUE(showsAFullRedraw(player, "first frame"));
  for (int step = 1; step <= 6; ++step) {
    player.core().frameStep(true);
    ASSERT_TRUE(showsAFullRedraw(player, ("step " + std::to_string(step)).c_str()));
  }
  // Over the button, press, release, away.
  player.core().mouseMove(210, 150);
  ASSERT_TRUE(showsAFullRedraw(player, "over the button"));
  player.core().mouseDown();
  ASSERT_TRUE(showsAFullRedraw(player, "button down"));
  player.core().mouseUp();
  ASSERT_TRUE(showsAFullRedraw(player, "button up"));
  player.core().mouseMove(5, 5);
  ASSERT_TRUE(showsAFullRedraw(player, "away from the button"));
}

}  // namespace
}  // namespace kivra
