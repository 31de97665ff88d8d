// Requests from the window: a movie's getURL to a window reaches the
// desktop's URL handler (the default browser in real use), once the script
// run that asked has ended; variables loaded from a file beside the movie
// arrive on the frame timer and show in a field bound to them, and so do
// movies loaded into a level and into a clip.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QImage>
#include <QObject>
#include <QUrl>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/JpegMaker.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

// Stands in for the browser: keeps the URLs it is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

TEST(BrowserWindow, GetUrlOpensTheDefaultBrowser) {
  UrlRecorder browser;
  QDesktopServices::setUrlHandler("http", &browser, "open");
  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
  const std::string movie = dir.write("link.qvx", test::compileSource(R"(movie version=6
actions {
  Push "page" "two"
  SetVariable
  Push "http://example.invalid/read" "_blank"
  GetURL2 1
}
showframe
)"));
  ASSERT_TRUE(player.openMovieFile(movie).ok);
  QDesktopServices::unsetUrlHandler("http");
  ASSERT_EQ(browser.opened.size(), 1);
  EXPECT_EQ(browser.opened[0].toString().toStdString(), "http://example.invalid/read?page=two");
}

TEST(BrowserWindow, LoadedVariablesShowInTheWindow) {
  test::TempDir dir;
  const std::vector<uint8_t> vars{'s', 'c', 'o', 'r', 'e', '=', '8', '8', '8', '8'};
  dir.write("vars.txt", vars);
  DesktopPlayer player{CommandLine{}};
  const std::string movie = dir.write("scores.qvx", test::compileSource(R"(movie version=6 size=200x60 rate=24
background #ffffff
edittext 10 bounds=0,3000,0,600 var="score" flags=readonly
place2 1 id=10 name="shown" at=10px,10px
actions {
  Push "vars.txt" "_level0"
  GetURL2 128
  Stop
}
showframe
)"));
  player.window().show();
  ASSERT_TRUE(player.openMovieFile(movie).ok);
  auto inkInField = [&] {
    const QImage shown = player.stage().grab().toImage();
    int n = 0;
    for (int y = 10; y < 40; ++y)
      for (int x = 10; x < 160; ++x) n += qGray(shown.pixel(x, y)) < 128;
    return n;
  };
  EXPECT_EQ(inkInField(), 0);
  EXPECT_TRUE(test::runUntil([&] { return inkInField() > 20; }, 3000));
}

// Movies loaded by the movie come on the frame timer and show in the
// window: one into level 1 over the left half, one into a clip moved to
// the right half, and a JPEG into level 2 over the top left corner.
TEST(BrowserWindow, LoadedMoviesShowInTheWindow) {
  test::TempDir dir;
  auto block = [](const char* colour) {
    return std::string(R"(movie version=6 size=100x100 rate=24
shape 1 {
  fill solid )") + colour + R"(
  style moveto=0px,0px fill1=1
  lineto 100px,0px
  lineto 100px,100px
  lineto 0px,100px
  lineto 0px,0px
}
place 1 1
showframe
)";
  };
  dir.write("red.qvx", test::compileSource(block("#ff0000")));
  dir.write("blue.qvx", test::compileSource(block("#0000ff")));
  dir.write("dark.jpg", test::makeJpeg(20, 20, 1));  // a gradient from black
  DesktopPlayer player{CommandLine{}};
  const std::string movie = dir.write("host.qvx", test::compileSource(R"(movie version=6 size=200x100 rate=24
background #ffffff
sprite 5 {
  showframe
}
place2 1 id=5 name="holder" at=100px,0px
actions {
  Push "red.qvx" "_level1"
  GetURL2 64
  Push "blue.qvx" "holder"
  GetURL2 64
  Push "dark.jpg" "_level2"
  GetURL2 64
}
showframe
)"));
  player.window().show();
  ASSERT_TRUE(player.openMovieFile(movie).ok);
  auto shows = [&] {
    const QImage shown = player.stage().grab().toImage();
    return shown.pixel(50, 50) == qRgb(255, 0, 0) && shown.pixel(150, 50) == qRgb(0, 0, 255) &&
           qGray(shown.pixel(5, 5)) < 60;
  };
  EXPECT_TRUE(test::runUntil(shows, 3000));
}

}  // namespace
}  // namespace kivra

#include "BrowserWindowTest.moc"
