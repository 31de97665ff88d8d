// Zooming from the View menu and the context menu, and panning with the
// mouse, as a person does it: checked on the zoom rectangle and on what the
// stage paints.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using namespace command;

// A 400 x 200 stage (8000 x 4000 twips) on white: a green block in the
// middle (150-250 x 75-125 pixels) and a blue one off centre (275-325 x
// 135-165), centred on (300, 150).
constexpr const char* kPicture = R"(movie size=400x200 rate=1
background #ffffff
shape 1 {
  fill solid #00c000
  style moveto=150px,75px fill1=1
  lineto 250px,75px
  lineto 250px,125px
  lineto 150px,125px
  lineto 150px,75px
}
shape 2 {
  fill solid #0000ff
  style moveto=275px,135px fill1=1
  lineto 325px,135px
  lineto 325px,165px
  lineto 275px,165px
  lineto 275px,135px
}
place 1 1
place 2 2
showframe
)";

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kGreen = 0xFF00C000;
constexpr QRgb kBlue = 0xFF0000FF;

class Zoom : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
    ASSERT_TRUE(player.openMovieFile(dir.write("picture.qvx", test::compileSource(kPicture))).ok);
    ASSERT_EQ(player.stage().size(), QSize(400, 200));
  }
  void menu(int id) {
    QAction* a = player.window().action(id);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->isEnabled()) << id;
    a->trigger();
    QApplication::processEvents();
  }
  QImage shot() { return player.stage().grab().toImage(); }
  void expectRect(const RECT& want) {
    const RECT& r = player.core().zoomRect();
    EXPECT_NEAR(r.xmin, want.xmin, 20);
    EXPECT_NEAR(r.xmax, want.xmax, 20);
    EXPECT_NEAR(r.ymin, want.ymin, 20);
    EXPECT_NEAR(r.ymax, want.ymax, 20);
  }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
};

TEST_F(Zoom, ZoomInTwiceStaysOnTheCentreOfTheView) {
  menu(kZoomIn);
  ASSERT_TRUE(player.core().zoomed());
  expectRect(RECT{2000, 6000, 1000, 3000});
  // The green block doubled about the centre: 100-300 x 50-150.
  QImage image = shot();
  EXPECT_EQ(image.pixel(200, 100), kGreen);
  EXPECT_EQ(image.pixel(104, 54), kGreen);
  EXPECT_EQ(image.pixel(296, 146), kGreen);
  EXPECT_EQ(image.pixel(96, 46), kWhite);
  EXPECT_EQ(image.pixel(304, 154), kWhite);

  menu(kZoomIn);
  expectRect(RECT{3000, 5000, 1500, 2500});
  // Four times: the block fills the stage, edge to edge.
  image = shot();
  for (const QPoint p : {QPoint(1, 1), QPoint(398, 1), QPoint(1, 198), QPoint(398, 198), QPoint(200, 100)})
    EXPECT_EQ(image.pixel(p), kGreen) << p.x() << "," << p.y();

  menu(kZoomOut);
  expectRect(RECT{2000, 6000, 1000, 3000});
  menu(kZoomOut);
  EXPECT_FALSE(player.core().zoomed());
  EXPECT_EQ(shot().pixel(200, 100), kGreen);
  EXPECT_EQ(shot().pixel(151, 76), kGreen);
  EXPECT_EQ(shot().pixel(148, 73), kWhite);
}

TEST_F(Zoom, ZoomOutKeepsWhereTheViewWasPanned) {
  menu(kZoomIn);
  menu(kZoomIn);
  // Drag the picture 40 pixels left and 20 up: the view moves right and
  // down by 200 and 100 twips (one pixel is 5 twips at this zoom).
  QWidget* stage = &player.stage();
  QTest::mouseMove(stage, QPoint(200, 100));
  QTest::mousePress(stage, Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
  EXPECT_TRUE(player.core().panning());
  QTest::mouseMove(stage, QPoint(180, 90));
  QTest::mouseMove(stage, QPoint(160, 80));
  QTest::mouseRelease(stage, Qt::LeftButton, Qt::NoModifier, QPoint(160, 80));
  expectRect(RECT{3200, 5200, 1600, 2600});

  menu(kZoomOut);
  // About the panned centre (4200, 2100 twips), still inside the movie.
  expectRect(RECT{2200, 6200, 1100, 3100});
  // The green block (3000-5000 x 1500-2500 twips) sits at 80-280 x 40-140.
  const QImage image = shot();
  EXPECT_EQ(image.pixel(84, 44), kGreen);
  EXPECT_EQ(image.pixel(276, 136), kGreen);
  EXPECT_EQ(image.pixel(76, 36), kWhite);
  EXPECT_EQ(image.pixel(284, 144), kWhite);

  // Panned into a corner, zooming out stays inside the movie.
  menu(kZoomIn);
  player.core().pan(1000, 1000);
  expectRect(RECT{0, 2000, 0, 1000});
  menu(kZoomOut);
  expectRect(RECT{0, 4000, 0, 2000});
}

TEST_F(Zoom, ContextMenuZoomsInOnThePointWhereItOpened) {
  // Right click on the blue block; choose Zoom In in the menu that opens.
  bool chosen = false;
  QTimer::singleShot(20, [&chosen] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!popup) return;
    for (QAction* a : popup->actions()) {
      if (a->data().isValid() && a->data().toInt() == kZoomInAtPoint) {
        a->trigger();
        chosen = true;
      }
    }
    popup->close();
  });
  QTest::mouseClick(&player.stage(), Qt::RightButton, Qt::NoModifier, QPoint(300, 150));
  ASSERT_TRUE(chosen);
  ASSERT_TRUE(player.core().zoomed());
  // The point becomes the middle of a view half as wide.
  expectRect(RECT{4000, 8000, 2000, 4000});
  const QImage image = shot();
  EXPECT_EQ(image.pixel(200, 100), kBlue);
  EXPECT_EQ(image.pixel(154, 74), kBlue);
  EXPECT_EQ(image.pixel(146, 66), kWhite);
}

TEST(ZoomFromActualSize, ZoomsWhatIsOnScreen) {
  // A 600 x 300 window at 100%: the 400 x 200 movie at one pixel per 20
  // twips, 12000 x 6000 twips on screen. Zoom In shows half of that.
  CommandLine options;
  options.width = 600;
  options.height = 300;
  DesktopPlayer player(options);
  const test::TempDir dir;
  player.window().show();
  ASSERT_TRUE(player.openMovieFile(dir.write("picture.qvx", test::compileSource(kPicture))).ok);
  player.runCommand(kActualSize);
  ASSERT_EQ(player.core().scaleMode(), ScaleMode::NoScale);
  player.runCommand(kZoomIn);
  ASSERT_TRUE(player.core().zoomed());
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::ShowAll);
  const RECT& r = player.core().zoomRect();
  EXPECT_NEAR(r.xmin, 1000, 20);
  EXPECT_NEAR(r.xmax, 7000, 20);
  EXPECT_NEAR(r.ymin, 500, 20);
  EXPECT_NEAR(r.ymax, 3500, 20);
  // Twice what it was: the green block is 200 pixels wide.
  const QImage image = player.stage().grab().toImage();
  EXPECT_EQ(image.pixel(204, 104), kGreen);
  EXPECT_EQ(image.pixel(396, 196), kGreen);
  EXPECT_EQ(image.pixel(196, 96), kWhite);
  EXPECT_EQ(image.pixel(404, 204), kWhite);
}

}  // namespace
}  // namespace kivra
