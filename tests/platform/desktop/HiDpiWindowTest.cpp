// The window on a high-density screen, through its own paint path: CTest
// runs these with QT_SCALE_FACTOR set (2 and 1.5), so the stage widget has
// that device pixel ratio. The stage keeps its size and the pointer its
// place in client (logical) pixels; the picture has device-pixel detail.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

// A 300 x 200 stage on white: a dark triangle with a long diagonal edge
// (moving and turning over four frames, then stopping), a line of text in an embedded
// font, and a button at 200-260 x 120-160 (red up, green over, blue down)
// whose release asks for full screen.
constexpr const char* kStage = R"(movie version=6 size=300x200 rate=12
background #ffffff
shape 1 {
  fill solid #203040
  style moveto=0,0 fill1=1
  lineto 120px,0
  lineto 0,70px
  lineto 0,0
}
shape 2 {
  fill solid #ff0000
  style moveto=0,0 fill1=1
  lineto 60px,0
  lineto 60px,40px
  lineto 0,40px
  lineto 0,0
}
shape 3 {
  fill solid #00ff00
  style moveto=0,0 fill1=1
  lineto 60px,0
  lineto 60px,40px
  lineto 0,40px
  lineto 0,0
}
shape 4 {
  fill solid #0000ff
  style moveto=0,0 fill1=1
  lineto 60px,0
  lineto 60px,40px
  lineto 0,40px
  lineto 0,0
}
font 5 "../../fonts/LiberationSans-Regular.ttf" chars="Kivra Shp"
text 6 {
  run font=5 height=18px color=#000000 at=0,0 "Kivra Sharp"
}
button2 10 {
  record up,hit 2 1
  record over 3 1
  record down 4 1
  on overDownToOverUp {
    GetURL "VXCommand:fullscreen" "true"
  }
}
place2 1 id=1 at=20px,20px
place2 2 id=6 at=20px,120px
place2 3 id=10 at=200px,120px
showframe
place2 1 move at=40px,30px rotate=10
showframe
place2 1 move at=60px,25px rotate=25
place2 2 move at=24px,131px
showframe
place2 1 move at=30px,40px rotate=-15
actions {
  Stop
}
showframe
)";

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kYellow = 0xFFFFFF00;

// The ratio CTest set for this run.
double wantedRatio() {
  const char* factor = std::getenv("QT_SCALE_FACTOR");
  return factor ? std::atof(factor) : 1.0;
}

QImage opaque(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

int channelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

class HiDpiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ratio = wantedRatio();
    ASSERT_GT(ratio, 1.0) << "run with QT_SCALE_FACTOR above 1 (CTest sets it)";
    player.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
    ASSERT_TRUE(player.openMovieFile(dir.write("stage.qvx", test::compileSource(kStage))).ok);
    player.stopFrameTimer();  // the test steps the frames itself
    ASSERT_DOUBLE_EQ(player.stage().devicePixelRatioF(), ratio);
  }

  // What the stage paints, in device pixels.
  QImage shot() {
    const QPixmap pixmap = player.stage().grab();
    EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), ratio);
    return opaque(pixmap.toImage());
  }
  // A client point's device pixel (the middle of the ones it covers).
  QPoint device(double x, double y) const {
    return QPoint(static_cast<int>((x + 0.5) * ratio), static_cast<int>((y + 0.5) * ratio));
  }
  QSize deviceSize(QSize client) const {
    return QSize(static_cast<int>(std::ceil(client.width() * ratio)),
                 static_cast<int>(std::ceil(client.height() * ratio)));
  }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
  double ratio = 1.0;
};

TEST_F(HiDpiWindow, DrawsTheStageAtDevicePixelsWithItsShapesInPlace) {
  // The movie sees a 300 x 200 stage; the picture has the screen's pixels.
  ASSERT_EQ(player.stage().size(), QSize(300, 200));
  const PixelRect client = player.core().clientRectangle();
  EXPECT_EQ(client.width(), 300);
  EXPECT_EQ(client.height(), 200);

  // Every frame, repainted from its dirty rectangles, equals a full redraw
  // at the same ratio.
  for (int step = 0; step <= 4; ++step) {
    if (step > 0) player.core().frameStep(true);
    const QImage shown = shot();
    ASSERT_EQ(shown.size(), deviceSize(QSize(300, 200))) << "step " << step;
    RenderTarget full;
    ASSERT_TRUE(player.core().redrawInto(full));
    ASSERT_EQ(QSize(full.width(), full.height()), shown.size());
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x)
        ASSERT_EQ(shown.pixel(x, y), full.row(y)[x] | 0xFF000000u)
            << "step " << step << ": device pixel " << x << "," << y;
  }
  const QImage fine = shot();

  // The same stage as a screen of ratio 1 shows it.
  player.core().setPixelRatio(1.0);
  const RenderTarget& one = player.core().render();
  ASSERT_EQ(one.width(), 300);
  const QImage coarse = opaque(QImage(reinterpret_cast<const uchar*>(one.pixels()), one.width(), one.height(),
                                      one.width() * 4, QImage::Format_ARGB32_Premultiplied)
                                   .copy());

  // Where the coarse picture is flat, the fine one shows the same colour:
  // shapes sit where the movie put them, at any ratio.
  int flat = 0;
  for (int y = 1; y < 199; ++y) {
    for (int x = 1; x < 299; ++x) {
      const QRgb c = coarse.pixel(x, y);
      bool uniform = true;
      for (int dy = -1; dy <= 1 && uniform; ++dy)
        for (int dx = -1; dx <= 1 && uniform; ++dx) uniform = coarse.pixel(x + dx, y + dy) == c;
      if (!uniform) continue;
      ++flat;
      ASSERT_LE(channelDistance(fine.pixel(device(x, y)), c), 2) << "client pixel " << x << "," << y;
    }
  }
  EXPECT_GT(flat, 300 * 200 / 2);

  // Along the triangle's edge and in the text the fine picture has detail
  // that the coarse one, enlarged pixel by pixel, lacks.
  auto detail = [&](const QRect& clientArea) {
    int differing = 0;
    const QRect area(device(clientArea.left(), clientArea.top()) - QPoint(1, 1),
                     device(clientArea.right(), clientArea.bottom()));
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) {
        const QRgb enlarged = coarse.pixel(static_cast<int>(x / ratio), static_cast<int>(y / ratio));
        if (channelDistance(fine.pixel(x, y), enlarged) > 24) ++differing;
      }
    return differing;
  };
  EXPECT_GT(detail(QRect(14, 0, 150, 95)), 150);    // the triangle, where it ended
  EXPECT_GT(detail(QRect(16, 105, 130, 40)), 150);  // "Kivra Sharp"
}

TEST_F(HiDpiWindow, PointerAndFocusStayInClientPixelsInFullScreenAndZoomed) {
  QWidget& stage = player.stage();
  EXPECT_EQ(shot().pixel(device(230, 140)), kRed);

  // A press just left of the button is a miss; on it, a hit.
  QTest::mouseClick(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(196, 140));
  EXPECT_FALSE(player.fullScreen());
  QTest::mousePress(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(202, 122));
  EXPECT_EQ(shot().pixel(device(230, 140)), kBlue);
  QTest::mouseRelease(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(202, 122));
  ASSERT_TRUE(test::runUntil([&] { return player.fullScreen(); }, 2000));
  ASSERT_TRUE(test::runUntil([&] { return stage.size() != QSize(300, 200); }, 2000));

  // Full screen: the stage is scaled to the screen, drawn at device pixels;
  // the button is pressed where the view puts it in client pixels.
  const QImage full = shot();
  EXPECT_EQ(full.size(), deviceSize(stage.size()));
  double px = 0, py = 0;
  player.core().view().stageToClient(230 * 20, 140 * 20, px, py);
  EXPECT_EQ(full.pixel(device(px, py)), kGreen);  // the pointer is over it
  QTest::mousePress(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(static_cast<int>(px), static_cast<int>(py)));
  EXPECT_EQ(shot().pixel(device(px, py)), kBlue);
  QTest::mouseRelease(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(static_cast<int>(px), static_cast<int>(py)));

  // Zoomed in about the centre, the button's corner (205, 125) on
  // the stage is pressed where the zoomed view puts it.
  player.runCommand(command::kZoomIn);
  ASSERT_TRUE(player.core().zoomed());
  player.core().view().stageToClient(205 * 20, 125 * 20, px, py);
  ASSERT_LT(px, stage.width());
  ASSERT_LT(py, stage.height());
  EXPECT_NE(shot().pixel(device(px, py)), kBlue);
  QTest::mousePress(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(static_cast<int>(px), static_cast<int>(py)));
  EXPECT_EQ(shot().pixel(device(px, py)), kBlue);
  QTest::mouseRelease(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(static_cast<int>(px), static_cast<int>(py)));

  // Tab frames the button: the yellow bands are as wide as three client
  // pixels, on whole device pixels.
  QTest::keyClick(&stage, Qt::Key_Tab);
  ASSERT_TRUE(player.core().input().focusRectShown());
  const WindowRect r = player.core().input().focus().rect();
  const QImage framed = shot();
  const int band = static_cast<int>(std::lround(3 * ratio));
  const int left = static_cast<int>(std::floor(r.left * ratio));
  const int middle = static_cast<int>((r.top + r.bottom) / 2 * ratio);
  for (int i = 0; i < band; ++i) EXPECT_EQ(framed.pixel(left + i, middle), kYellow) << "band pixel " << i;
  EXPECT_NE(framed.pixel(left + band, middle), kYellow);
  if (left > 0) {
    EXPECT_NE(framed.pixel(left - 1, middle), kYellow);
  }
}

}  // namespace
}  // namespace kivra
