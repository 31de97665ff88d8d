// Requests from the window: a movie's getURL to a window reaches the
// desktop's URL handler (the default browser in real use), once the script
// run that asked has ended; variables loaded from a file beside the movie
// arrive on the frame timer and show in a field bound to them.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QImage>
#include <QObject>
#include <QUrl>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
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

}  // namespace
}  // namespace kivra

#include "BrowserWindowTest.moc"
