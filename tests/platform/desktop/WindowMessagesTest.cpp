// What a person sees in the window when something goes wrong or nothing is
// loaded yet: a movie that does not open is explained in a message box and
// the playing movie stays; the start movie on the command line; the empty
// window's hint; the title; the headless-only options a window run ignores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "platform/desktop/DesktopHost.h"
#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using namespace command;
using test::Bytes;

Bytes colourMovie(int frames, uint8_t r, uint8_t g, uint8_t b) {
  return test::colourMovie(240, 160, frames, r, g, b);
}

// A good header, then a tag that claims more bytes than the file holds: the
// core would quit at the first frame step.
Bytes damagedMovie() {
  test::MovieSpec header;
  const Bytes runaway = {0x3F, 0x03, 0xE8, 0x03, 0x00, 0x00, 1, 2, 3};  // DoAction, 1000 bytes long
  return test::movie(header, {test::showFrame(), runaway});
}

// The player's lines in what went to stderr (the offscreen platform adds
// its own).
std::vector<std::string> playerLines(const std::string& err) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1)
    if (err.compare(start, 14, "kivra-player: ") == 0) lines.push_back(err.substr(start, end - start));
  return lines;
}

// The message box the player has open, or null.
QMessageBox* messageBox(DesktopPlayer& player) { return qobject_cast<QMessageBox*>(player.openDialog()); }

class WindowMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
  }
  // The colour the stage paints at (x, y), through its own paint path.
  QRgb stagePixel(int x, int y) { return player.stage().grab().toImage().pixel(x, y); }
  // Opens `location` as a person does: File > Open, type it, OK.
  void openThroughTheDialog(const std::string& location) {
    player.runCommand(kOpen);
    auto* dialog = dynamic_cast<OpenLocationDialog*>(player.openDialog());
    ASSERT_NE(dialog, nullptr);
    dialog->setLocation(QString::fromStdString(location));
    dialog->okButton()->click();
    QApplication::processEvents();
  }
  // The box says the movie did not open and why; OK closes it.
  void expectMessage(const std::string& reason) {
    QMessageBox* box = messageBox(player);
    ASSERT_NE(box, nullptr) << reason;
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), DesktopPlayer::kCannotOpenMovie);
    EXPECT_TRUE(box->informativeText().contains(QString::fromStdString(reason)))
        << box->informativeText().toStdString() << " lacks " << reason;
    box->button(QMessageBox::Ok)->click();
    QApplication::processEvents();
    EXPECT_EQ(player.openDialog(), nullptr);
  }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
};

TEST_F(WindowMessages, FailedOpenKeepsThePlayingMovieAndSaysWhy) {
  const std::string good = dir.write("good.qvx", colourMovie(3, 0x20, 0x80, 0x40));
  openThroughTheDialog(good);
  ASSERT_EQ(player.openDialog(), nullptr);
  ASSERT_TRUE(player.core().hasMovie());
  player.runCommand(kStepForward);
  ASSERT_EQ(player.core().level0()->currentFrame(), 1);
  ASSERT_EQ(stagePixel(10, 10), qRgb(0x20, 0x80, 0x40));

  const std::string garbage = dir.write("garbage.qvx", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'});
  const std::string damaged = dir.write("damaged.qvx", damagedMovie());
  const std::string missing = dir.file("missing.qvx");
  const std::pair<std::string, std::string> cases[] = {
      {garbage, "not a movie (bad header)"},
      {damaged, "damaged movie"},
      {missing, "No such file or directory"},
      {"gopher://127.0.0.1/movie.qvx", "only http, https, ftp and file locations can be opened"},
  };
  for (const auto& [location, reason] : cases) {
    testing::internal::CaptureStderr();
    openThroughTheDialog(location);
    const std::string err = testing::internal::GetCapturedStderr();
    // One line on stderr too.
    const std::vector<std::string> lines = playerLines(err);
    ASSERT_EQ(lines.size(), 1u) << err;
    EXPECT_EQ(lines[0].rfind("kivra-player: " + location + ": " + reason, 0), 0u) << err;
    expectMessage(reason);
    // The movie that was playing is still there, where it was.
    ASSERT_TRUE(player.core().hasMovie()) << location;
    EXPECT_EQ(player.core().level0()->url(), good);
    EXPECT_EQ(player.core().level0()->currentFrame(), 1);
    EXPECT_EQ(stagePixel(10, 10), qRgb(0x20, 0x80, 0x40)) << location;
    EXPECT_EQ(player.window().windowTitle(), QString::fromUtf8("good.qvx \u2013 Kivra Player"));
  }

  // A file dropped on the window goes the same way.
  std::unique_ptr<QMimeData> data(new QMimeData);
  data->setUrls({QUrl::fromLocalFile(QString::fromStdString(garbage))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&player.window(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  testing::internal::CaptureStderr();
  QApplication::sendEvent(&player.window(), &drop);
  QApplication::processEvents();
  EXPECT_EQ(playerLines(testing::internal::GetCapturedStderr()),
            std::vector<std::string>{"kivra-player: " + garbage + ": not a movie (bad header)"});
  expectMessage("not a movie (bad header)");
  EXPECT_EQ(player.core().level0()->url(), good);
  EXPECT_EQ(stagePixel(10, 10), qRgb(0x20, 0x80, 0x40));
}

TEST_F(WindowMessages, StartMovieThatDoesNotOpenShowsTheWindowAndWhy) {
  CommandLine options;
  options.movie = dir.write("bad.qvx", Bytes{'X', 'V', 'Q'});
  DesktopPlayer starting(options);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(startDesktopPlayer(starting, options));
  EXPECT_EQ(playerLines(testing::internal::GetCapturedStderr()),
            std::vector<std::string>{"kivra-player: " + options.movie + ": not a movie (file too short: 3 bytes)"});
  EXPECT_TRUE(starting.window().isVisible());
  EXPECT_FALSE(starting.core().hasMovie());
  QMessageBox* box = messageBox(starting);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_TRUE(box->informativeText().contains("not a movie (file too short: 3 bytes)"));

  // A good one opens the window at the movie's size.
  CommandLine good;
  good.movie = dir.write("start.qvx", colourMovie(1, 0xC0, 0x10, 0x10));
  DesktopPlayer started(good);
  EXPECT_TRUE(startDesktopPlayer(started, good));
  EXPECT_TRUE(started.window().isVisible());
  EXPECT_EQ(started.stage().size(), QSize(240, 160));
  EXPECT_EQ(started.openDialog(), nullptr);
  EXPECT_EQ(started.stage().grab().toImage().pixel(5, 5), qRgb(0xC0, 0x10, 0x10));
  EXPECT_EQ(started.window().windowTitle(), QString::fromUtf8("start.qvx \u2013 Kivra Player"));
}

// Pixels of the image that differ from `colour`.
int pixelsOtherThan(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != colour;
  return n;
}

// Text on `colour`, in the middle, clear of the edges, in a colour that
// stands out: gray level at least 96 apart.
void expectHint(const QImage& image, QRgb colour) {
  const int w = image.width();
  const int h = image.height();
  const QImage inner = image.copy(w / 10, h / 10, w - w / 5, h - h / 5);
  const int marks = pixelsOtherThan(inner, colour);
  EXPECT_GT(marks, 200);
  EXPECT_EQ(pixelsOtherThan(image, colour), marks) << "marks near the edges";
  int contrast = 0;
  for (int y = 0; y < inner.height(); ++y)
    for (int x = 0; x < inner.width(); ++x)
      contrast = std::max(contrast, std::abs(qGray(inner.pixel(x, y)) - qGray(colour)));
  EXPECT_GE(contrast, 96);
}

TEST_F(WindowMessages, EmptyWindowShowsAHintAndTheTitleNamesTheMovie) {
  EXPECT_EQ(player.window().windowTitle(), "Kivra Player");
  expectHint(player.stage().grab().toImage(), qRgb(255, 255, 255));
  // On a dark empty stage the hint is light.
  player.fillBackground(Rgba{0, 0, 64, 255});
  expectHint(player.stage().grab().toImage(), qRgb(0, 0, 64));
  player.fillBackground(Rgba{255, 255, 255, 255});

  // A loaded movie has the stage to itself and names the window.
  const std::string path = dir.write("named movie.qvx", colourMovie(2, 0x10, 0x20, 0x30));
  ASSERT_TRUE(player.openDroppedFile(path).ok);
  EXPECT_EQ(pixelsOtherThan(player.stage().grab().toImage(), qRgb(0x10, 0x20, 0x30)), 0);
  EXPECT_EQ(player.window().windowTitle(), QString::fromUtf8("named movie.qvx \u2013 Kivra Player"));

  // Closed: the hint and the plain title are back.
  player.runCommand(kClose);
  EXPECT_EQ(player.window().windowTitle(), "Kivra Player");
  expectHint(player.stage().grab().toImage(), qRgb(255, 255, 255));
}

TEST(HeadlessOnlyOptions, AreNamedOnceAndValuesAreSkipped) {
  const char* argv[] = {"kivra-player", "--frames", "3", "--screenshot", "--input", "--size", "--frames",
                        "10x10", "--audit-repaint", "--frames", "4", "movie.qvx", "--", "--dump-display"};
  const std::vector<std::string> found = headlessOnlyOptions(static_cast<int>(std::size(argv)), argv);
  // "--input" is the screenshot's file name, "--frames" after --size its value.
  EXPECT_EQ(found, (std::vector<std::string>{"--frames", "--screenshot", "--audit-repaint"}));
  const char* plain[] = {"kivra-player", "--quality", "low", "movie.qvx"};
  EXPECT_TRUE(headlessOnlyOptions(static_cast<int>(std::size(plain)), plain).empty());
}

TEST(HeadlessOnlyOptions, WindowRunNamesThemOnStderr) {
  // A movie that quits in its first frame ends the window run at once.
  const test::TempDir dir;
  const std::string movie = dir.write("quit.qvx", test::compileSource(R"(movie size=100x100
actions {
  GetURL "VXCommand:quit" ""
}
showframe
)"));
  const std::string command = "XDG_RUNTIME_DIR='" + dir.file("") + "' QT_QPA_PLATFORM=offscreen timeout 30 '" + KIVRA_PLAYER_PATH +
                              "' --frames 3 --screenshot shot.png --dump-display '" + movie + "' 2>&1 >/dev/null";
  FILE* run = ::popen(command.c_str(), "r");
  ASSERT_NE(run, nullptr);
  std::string err;
  char buf[256];
  while (std::fgets(buf, sizeof buf, run)) err += buf;
  EXPECT_EQ(::pclose(run), 0);
  EXPECT_EQ(playerLines(err),
            std::vector<std::string>{"kivra-player: ignored without --headless: --frames, --screenshot, --dump-display"});
}

}  // namespace
}  // namespace kivra
