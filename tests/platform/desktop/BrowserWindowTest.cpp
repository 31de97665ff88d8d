// A movie's getURL to a window reaches the desktop's URL handler (the
// default browser in real use), once the script run that asked has ended.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include "platform/desktop/DesktopPlayer.h"
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

}  // namespace
}  // namespace kivra

#include "BrowserWindowTest.moc"
