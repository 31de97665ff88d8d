// The real player window on the offscreen platform: menus, shortcuts, popup
// menus, dialogs, full screen and host commands, driven as a user would.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "platform/ProjectorFile.h"
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

Bytes framesMovie(int frames, uint8_t r = 0x30, uint8_t g = 0x90, uint8_t b = 0x60) {
  return test::colourMovie(320, 200, frames, r, g, b);
}

// The texts of a menu's actions, "-" for separators, "[title]" for submenus.
QStringList texts(const QMenu& menu) {
  QStringList out;
  for (QAction* a : menu.actions()) {
    if (a->isSeparator())
      out << QStringLiteral("-");
    else if (a->menu())
      out << QStringLiteral("[") + a->text() + QStringLiteral("]");
    else
      out << a->text();
  }
  return out;
}

QAction* find(const QMenu& menu, int id) {
  for (QAction* a : menu.findChildren<QAction*>())
    if (a->data().isValid() && a->data().toInt() == id) return a;
  return nullptr;
}

class MenuWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    player.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&player.window()));
    player.stage().setFocus(Qt::OtherFocusReason);
  }
  void load(int frames) {
    ASSERT_TRUE(player.loadMovieFile(dir.write("movie.qvx", framesMovie(frames))).ok);
    player.window().refreshCommandStates();
  }
  QAction& action(int id) {
    QAction* a = player.window().action(id);
    EXPECT_NE(a, nullptr) << id;
    return *a;
  }
  void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(&player.stage(), static_cast<Qt::Key>(k), mods);
    QApplication::processEvents();
  }
  QSize client() { return player.stage().size(); }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
};

TEST_F(MenuWindow, MenuBarMenusAndItems) {
  const QList<QAction*> menus = player.window().menuBar()->actions();
  ASSERT_EQ(menus.size(), 4);
  EXPECT_EQ(menus[0]->text(), "&File");
  EXPECT_EQ(texts(*menus[0]->menu()),
            (QStringList{"&Open...\tCtrl+O", "&Close\tCtrl+W", "-", "Print...", "-", "C&reate Projector...", "-",
                         "E&xit\tCtrl+Q"}));
  EXPECT_EQ(texts(*menus[1]->menu()),
            (QStringList{"100%", "Show &All", "-", "Zoom &In", "Zoom &Out", "-", "Full &Screen\tCtrl+F", "-",
                         "[Quality]"}));
  EXPECT_EQ(texts(*menus[2]->menu()),
            (QStringList{"&Play\tCtrl+Enter", "&Rewind\tCtrl+R", "-", "Step &Forward\tCtrl+->", "Step &Back\tCtrl+<-",
                         "-", "&Loop"}));
  EXPECT_EQ(texts(*menus[3]->menu()), (QStringList{"About Vantorel Kivra Player 6..."}));
  EXPECT_EQ(action(kStepForward).shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Right));
  EXPECT_EQ(action(kLeaveFullScreen).shortcut(), QKeySequence(Qt::Key_Escape));
}

TEST_F(MenuWindow, StatesFollowTheMovie) {
  EXPECT_FALSE(action(kPlay).isEnabled());
  EXPECT_FALSE(action(kShowAll).isEnabled());
  EXPECT_TRUE(action(kOpen).isEnabled());
  EXPECT_FALSE(action(kClose).isEnabled());
  EXPECT_TRUE(action(kQualityHigh).isChecked());
  load(5);
  EXPECT_TRUE(action(kPlay).isEnabled());
  EXPECT_TRUE(action(kPlay).isChecked());
  EXPECT_TRUE(action(kLoop).isChecked());
  EXPECT_TRUE(action(kClose).isEnabled());
  EXPECT_TRUE(action(kCreateProjector).isEnabled());
  EXPECT_FALSE(action(kZoomOut).isEnabled());
  EXPECT_TRUE(action(kShowAll).isChecked());
}

TEST_F(MenuWindow, PlaybackFromMenusAndShortcuts) {
  load(5);
  TimelinePlayer& root = *player.core().level0();
  action(kPlay).trigger();
  EXPECT_FALSE(root.playing());
  EXPECT_FALSE(action(kPlay).isChecked());
  key(Qt::Key_Right, Qt::ControlModifier);
  key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(root.currentFrame(), 2);
  key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(root.currentFrame(), 1);
  key(Qt::Key_Return, Qt::ControlModifier);
  EXPECT_TRUE(root.playing());
  key(Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(root.currentFrame(), 0);
  EXPECT_FALSE(root.playing());
  action(kLoop).trigger();
  EXPECT_FALSE(root.loop());
  key(Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(player.core().quality(), Quality::High);
  find(*player.window().menuBar()->actions()[1]->menu(), kQualityLow)->trigger();
  EXPECT_EQ(player.core().quality(), Quality::Low);
  EXPECT_TRUE(action(kQualityLow).isChecked());
}

TEST_F(MenuWindow, ZoomCommands) {
  load(2);
  action(kZoomIn).trigger();
  EXPECT_TRUE(player.core().zoomed());
  EXPECT_TRUE(action(kZoomOut).isEnabled());
  EXPECT_FALSE(action(kShowAll).isChecked());
  action(kZoomOut).trigger();
  EXPECT_FALSE(player.core().zoomed());
  action(kActualSize).trigger();
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::NoScale);
  EXPECT_TRUE(action(kActualSize).isChecked());
  action(kShowAll).trigger();
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::ShowAll);
}

TEST_F(MenuWindow, ContextMenuIsPrunedByTheMovie) {
  auto none = player.window().popupMenuAt(QPoint(10, 10));
  EXPECT_EQ(texts(*none), (QStringList{"Movie not loaded...", "-", "About Vantorel Kivra Player 6..."}));
  EXPECT_FALSE(none->actions()[0]->isEnabled());

  load(1);
  auto one = player.window().popupMenuAt(QPoint(10, 10));
  EXPECT_EQ(texts(*one), (QStringList{"Zoom In", "Zoom Out", "100%", "Show All", "-", "[Quality]", "-",
                                      "Settings...", "-", "Print...", "-", "About Vantorel Kivra Player 6..."}));
  EXPECT_EQ(find(*one, kPlay), nullptr);
  EXPECT_EQ(find(*one, kLoop), nullptr);

  load(4);
  auto full = player.window().popupMenuAt(QPoint(10, 10));
  EXPECT_EQ(texts(*full), (QStringList{"Zoom In", "Zoom Out", "100%", "Show All", "-", "[Quality]", "-", "Play",
                                       "Loop", "-", "Rewind", "Forward", "Back", "-", "Settings...", "-", "Print...",
                                       "-", "About Vantorel Kivra Player 6..."}));
  EXPECT_TRUE(find(*full, kPlay)->isChecked());
  EXPECT_TRUE(find(*full, kQualityHigh)->isChecked());
  EXPECT_FALSE(find(*full, kZoomOut)->isEnabled());
  EXPECT_TRUE(find(*full, kSettings)->isEnabled());

  player.hostCommand("showmenu", "false");
  auto hidden = player.window().popupMenuAt(QPoint(10, 10));
  EXPECT_EQ(texts(*hidden), (QStringList{"Settings...", "-", "About Vantorel Kivra Player 6..."}));
}

TEST_F(MenuWindow, ZoomInFromTheContextMenuUsesTheClickedPoint) {
  load(2);
  player.setContextPoint(0, 0);
  auto menu = player.window().popupMenuAt(QPoint(0, 0));
  find(*menu, kZoomInAtPoint)->trigger();
  ASSERT_TRUE(player.core().zoomed());
  EXPECT_EQ(player.core().zoomRect().xmin, 0);
  EXPECT_EQ(player.core().zoomRect().ymin, 0);
}

TEST_F(MenuWindow, FullScreenOnAndOffWithEscape) {
  load(2);
  ASSERT_EQ(client(), QSize(320, 200));
  key(Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(player.fullScreen());
  EXPECT_TRUE(player.window().isFullScreen());
  EXPECT_FALSE(player.window().menuBar()->isVisible());
  key(Qt::Key_Escape);
  EXPECT_FALSE(player.fullScreen());
  EXPECT_FALSE(player.window().isFullScreen());
  EXPECT_TRUE(player.window().menuBar()->isVisible());
  EXPECT_EQ(client(), QSize(320, 200));
}

TEST_F(MenuWindow, TrappedKeysLeaveFullScreenAlone) {
  load(2);
  EXPECT_TRUE(player.core().routeHostCommandUrl("VXCOMMAND:FullScreen", "YES"));
  ASSERT_TRUE(player.window().isFullScreen());
  player.hostCommand("trapallkeys", "true");
  key(Qt::Key_Escape);
  EXPECT_TRUE(player.window().isFullScreen());
  key(Qt::Key_R, Qt::ControlModifier);  // no shortcut either
  player.hostCommand("trapallkeys", "false");
  key(Qt::Key_Escape);
  EXPECT_FALSE(player.window().isFullScreen());
}

TEST_F(MenuWindow, MovieSizeChangeDuringFullScreenWaitsForTheEnd) {
  load(2);
  player.hostCommand("fullscreen", "1");
  player.movieSizeChanged(200, 100);
  EXPECT_EQ(player.restoreClientSize(), QSize(200, 100));
  player.hostCommand("fullscreen", "0");
  QApplication::processEvents();
  EXPECT_EQ(client(), QSize(200, 100));
}

TEST_F(MenuWindow, HiddenMenuBarKeepsTheShortcuts) {
  load(3);
  player.hostCommand("showmenu", "false");
  EXPECT_FALSE(player.window().menuBar()->isVisible());
  key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(player.core().level0()->currentFrame(), 1);
  player.hostCommand("showmenu", "true");
  EXPECT_TRUE(player.window().menuBar()->isVisible());
}

TEST_F(MenuWindow, OpenLocationDialog) {
  const std::string path = dir.write("other.qvx", framesMovie(3, 0x10, 0x20, 0xF0));
  player.runCommand(kOpen);
  auto* dialog = dynamic_cast<OpenLocationDialog*>(player.openDialog());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Open");
  EXPECT_FALSE(dialog->okButton()->isEnabled());
  QStringList labels;
  for (QLabel* l : dialog->findChildren<QLabel*>()) labels << l->text();
  EXPECT_TRUE(labels.contains("Enter the World Wide Web location (URL) or specify the local file you would "
                              "like to open."));
  EXPECT_TRUE(labels.contains("Location:"));
  QStringList buttons;
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) buttons << b->text();
  EXPECT_EQ(buttons, (QStringList{"OK", "Cancel", "&Browse..."}));
  dialog->fileChosen(QString::fromStdString(path));
  EXPECT_TRUE(dialog->okButton()->isEnabled());
  dialog->okButton()->click();
  QApplication::processEvents();
  ASSERT_TRUE(player.core().hasMovie());
  EXPECT_EQ(player.core().level0()->frameCount(), 3);
}

TEST_F(MenuWindow, OpenLocationTakesFileUrls) {
  const std::string path = dir.write("url.qvx", framesMovie(2));
  EXPECT_TRUE(player.openLocation(QStringLiteral("file://") + QString::fromStdString(path)).ok);
  EXPECT_TRUE(player.core().hasMovie());
  // A network location is fetched while the window goes on; one that fails
  // (nothing listens on that loopback port) is said so, and the movie stays.
  EXPECT_TRUE(player.openLocation(QStringLiteral("http://127.0.0.1:1/m.qvx")).ok);
  EXPECT_TRUE(test::runUntil([&] { return player.openDialog() != nullptr; }, 10000));
  EXPECT_TRUE(player.core().hasMovie());
  auto* box = qobject_cast<QMessageBox*>(player.openDialog());
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->informativeText().contains("cannot be fetched")) << box->informativeText().toStdString();
  box->close();
  QApplication::processEvents();
  // Any other scheme is refused at once.
  EXPECT_FALSE(player.openLocation(QStringLiteral("gopher://127.0.0.1/m.qvx")).ok);
  box = qobject_cast<QMessageBox*>(player.openDialog());
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->informativeText().contains("only http, https, ftp and file locations can be opened"));
}

TEST_F(MenuWindow, AboutDialog) {
  player.runCommand(kAbout);
  QDialog* dialog = player.openDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Vantorel Kivra Player 6");
  bool named = false;
  for (QLabel* l : dialog->findChildren<QLabel*>()) named |= l->text() == "Vantorel Kivra Player 6";
  EXPECT_TRUE(named);
  QTest::keyClick(dialog, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_EQ(player.openDialog(), nullptr);
}

TEST_F(MenuWindow, CreateProjectorFromTheFileMenu) {
  load(2);
  const std::string target = dir.file("projector");
  std::string error;
  ASSERT_TRUE(player.createProjector(target, error)) << error;
  ProjectorTrailer trailer;
  ASSERT_TRUE(readProjectorTrailer(target, trailer));
  EXPECT_TRUE(trailer.found);
  EXPECT_EQ(trailer.movieLength, framesMovie(2).size());
  // The menu item opens a save dialog.
  player.runCommand(kCreateProjector);
  EXPECT_NE(player.openDialog(), nullptr);
}

TEST_F(MenuWindow, CloseClearsTheStage) {
  load(2);
  action(kClose).trigger();
  EXPECT_FALSE(player.core().hasMovie());
  EXPECT_EQ(player.stage().grab().toImage().pixel(5, 5), qRgb(255, 255, 255));
  EXPECT_FALSE(action(kClose).isEnabled());
}

TEST_F(MenuWindow, ScreenshotWithTheMenuBar) {
  load(3);
  action(kStepForward).trigger();
  QApplication::processEvents();
  const QImage shot = player.window().grab().toImage();
  const int bar = player.window().menuBar()->height();
  ASSERT_GT(bar, 0);
  EXPECT_EQ(shot.size(), QSize(320, 200 + bar));
  EXPECT_EQ(shot.pixel(10, bar + 10), qRgb(0x30, 0x90, 0x60));
  EXPECT_NE(shot.pixel(2, bar / 2), qRgb(0x30, 0x90, 0x60));
  std::filesystem::create_directories(KIVRA_TEST_ARTIFACTS);
  EXPECT_TRUE(shot.save(QStringLiteral(KIVRA_TEST_ARTIFACTS "/player-window.png")));
  // And the context menu as it opens over the stage.
  auto menu = player.window().popupMenuAt(QPoint(50, 50));
  menu->adjustSize();
  EXPECT_TRUE(menu->grab().toImage().save(QStringLiteral(KIVRA_TEST_ARTIFACTS "/context-menu.png")));
}

TEST_F(MenuWindow, ExitEndsTheEventLoop) {
  load(2);
  QTimer::singleShot(20, [this] { action(kExit).trigger(); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });
  watchdog.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(player.window().isVisible());
}

}  // namespace
}  // namespace kivra
