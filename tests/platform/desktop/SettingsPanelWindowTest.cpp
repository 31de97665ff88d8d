// The settings panel in the real player window (offscreen platform): the
// Settings command shows it centred on the stage, drawn by the window's
// own repaint, and its Close button takes it away. The privacy settings
// are kept in a temporary data folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "core/PrivacySettings.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

// Points the shared objects at the test's folder before the player reads it.
struct DataHome {
  DataHome() { setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1); }
  test::TempDir dir;
};

class SettingsPanelWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&player.window()));
    ASSERT_TRUE(player.loadMovieFile(home.dir.write("movie.qvx", test::colourMovie(320, 200, 2, 0x30, 0x90, 0x60))).ok);
    player.window().refreshCommandStates();
  }
  QRgb pixel(int x, int y) { return player.stage().grab().toImage().pixel(x, y); }

  DataHome home;
  DesktopPlayer player{CommandLine{}};
};

TEST_F(SettingsPanelWindow, TheSettingsCommandShowsThePanelAndCloseTakesItAway) {
  const QRgb movie = qRgb(0x30, 0x90, 0x60);
  ASSERT_EQ(pixel(100, 100), movie);
  // The context menu's item.
  auto menu = player.window().popupMenuAt(QPoint(10, 10));
  QAction* settings = nullptr;
  for (QAction* a : menu->findChildren<QAction*>())
    if (a->data().isValid() && a->data().toInt() == command::kSettings) settings = a;
  ASSERT_NE(settings, nullptr);
  ASSERT_TRUE(settings->isEnabled());
  settings->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(player.core().privacySettings().panelShown());
  EXPECT_EQ(player.core().privacySettings().queuedRequests(), 1u);
  // The 215 x 138 panel is centred: (52, 31) to (267, 169), its face light
  // grey (at the right, beside the limit buttons).
  EXPECT_TRUE(QTest::qWaitFor([&] { return pixel(262, 100) == qRgb(0xf2, 0xf2, 0xf2); }, 3000));
  EXPECT_EQ(pixel(60, 25), movie);
  EXPECT_EQ(pixel(280, 100), movie);
  // Close is the third button of the bottom row.
  QTest::mouseClick(&player.stage(), Qt::LeftButton, Qt::NoModifier, QPoint(52 + 175, 31 + 122));
  EXPECT_TRUE(QTest::qWaitFor([&] { return pixel(262, 100) == movie; }, 3000));
  EXPECT_FALSE(player.core().privacySettings().panelShown());
}

}  // namespace
}  // namespace kivra
