// The window's Print command: the print dialog it shows, what cancelling
// does, and a printed file when the dialog prints to one.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <QApplication>
#include <QElapsedTimer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

class PrintDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(player.loadMovieFile(dir.write("movie.qvx", test::colourMovie(100, 80, 3, 0x20, 0x40, 0xC0))).ok);
    player.window().show();
    player.window().refreshCommandStates();
  }
  // Runs Print; `answer` gets the dialog once it shows.
  void print(const std::function<void(QPrintDialog&)>& answer) {
    QTimer poll;
    bool answered = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
      if (!dialog || answered) return;
      answered = true;
      answer(*dialog);
    });
    poll.start(10);
    player.runCommand(command::kPrint);
    EXPECT_TRUE(answered);
  }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
};

TEST_F(PrintDialog, CancelPrintsNothingAndTheMoviePlaysOn) {
  ASSERT_TRUE(player.commandState(command::kPrint).enabled);
  const int current = player.core().level0()->currentFrame() + 1;
  int from = -1, to = -1, max = -1;
  bool pageRange = true;
  print([&](QPrintDialog& d) {
    from = d.printer()->fromPage();
    to = d.printer()->toPage();
    max = d.maxPage();
    pageRange = d.testOption(QAbstractPrintDialog::PrintPageRange);
    d.reject();
  });
  // No "#p" frames: the frame on show, the range controls off.
  EXPECT_EQ(from, current);
  EXPECT_EQ(to, current);
  EXPECT_EQ(max, 3);
  EXPECT_FALSE(pageRange);
  EXPECT_FALSE(player.core().printing());
  const uint64_t before = player.core().framesAdvanced();
  QElapsedTimer clock;
  clock.start();
  while (player.core().framesAdvanced() == before && clock.elapsed() < 2000) QApplication::processEvents();
  EXPECT_GT(player.core().framesAdvanced(), before);
}

TEST_F(PrintDialog, PrintsToTheFileTheDialogChose) {
  const std::string pdf = dir.file("printed.pdf");
  print([&](QPrintDialog& d) {
    d.printer()->setOutputFormat(QPrinter::PdfFormat);
    d.printer()->setOutputFileName(QString::fromStdString(pdf));
    // done() keeps the printer as set here (accept() reads the dialog's widgets).
    d.done(QDialog::Accepted);
  });
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 500u);
  EXPECT_FALSE(player.core().printing());
}

}  // namespace
}  // namespace kivra
