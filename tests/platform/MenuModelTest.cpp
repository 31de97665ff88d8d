#include "platform/MenuModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivra {
namespace {

using namespace command;

MenuInputs playingMovie(int frames = 10) {
  MenuInputs in;
  in.movieReady = true;
  in.bufferComplete = true;
  in.frameCount = frames;
  in.currentFrame = 3;
  in.playing = true;
  in.loop = true;
  return in;
}

// The ids of a menu, 0 for a separator, -1/-2 around a submenu.
std::vector<int> ids(const std::vector<MenuEntry>& entries) {
  std::vector<int> out;
  for (const MenuEntry& e : entries) {
    switch (e.kind) {
      case MenuEntry::Kind::Item: out.push_back(e.id); break;
      case MenuEntry::Kind::Separator: out.push_back(0); break;
      case MenuEntry::Kind::BeginSubmenu: out.push_back(-1); break;
      case MenuEntry::Kind::EndSubmenu: out.push_back(-2); break;
    }
  }
  return out;
}

TEST(MenuModel, MenuBarHasFourMenusInOrder) {
  const auto menus = menuBarMenus();
  ASSERT_EQ(menus.size(), 4u);
  EXPECT_STREQ(menus[0].title, "&File");
  EXPECT_STREQ(menus[1].title, "&View");
  EXPECT_STREQ(menus[2].title, "&Control");
  EXPECT_STREQ(menus[3].title, "&Help");
  const std::vector<MenuEntry> file(menus[0].entries.begin(), menus[0].entries.end());
  EXPECT_EQ(ids(file), (std::vector<int>{kOpen, kClose, 0, kPrint, 0, kCreateProjector, 0, kExit}));
  const std::vector<MenuEntry> view(menus[1].entries.begin(), menus[1].entries.end());
  EXPECT_EQ(ids(view), (std::vector<int>{kActualSize, kShowAll, 0, kZoomIn, kZoomOut, 0, kFullScreen, 0, -1,
                                         kQualityLow, kQualityMedium, kQualityHigh, -2}));
  EXPECT_STREQ(menus[2].entries[3].text, "Step &Forward\tCtrl+->");
  EXPECT_STREQ(menus[3].entries[0].text, "About Vantorel Kivra Player 6...");
}

TEST(MenuModel, FullContextMenuHasTwentyPositions) {
  int positions = 0;
  int depth = 0;
  for (const MenuEntry& e : fullContextMenu()) {
    if (e.kind == MenuEntry::Kind::EndSubmenu) {
      --depth;
      continue;
    }
    if (depth == 0) ++positions;
    if (e.kind == MenuEntry::Kind::BeginSubmenu) ++depth;
  }
  EXPECT_EQ(positions, 20);
}

TEST(MenuModel, ContextMenuOfAPlayingMovie) {
  EXPECT_EQ(ids(contextMenu(playingMovie())),
            (std::vector<int>{kZoomInAtPoint, kZoomOut, kActualSize, kShowAll, 0, -1, kQualityLow,
                              kQualityMedium, kQualityHigh, -2, 0, kPlay, kLoop, 0, kRewind, kStepForward,
                              kStepBack, 0, kSettings, 0, kPrint, 0, kAboutFromContextMenu}));
}

TEST(MenuModel, ContextMenuWithoutAMovie) {
  MenuInputs none;
  EXPECT_EQ(ids(contextMenu(none)), (std::vector<int>{kMovieNotLoaded, 0, kAboutFromContextMenu}));
  EXPECT_FALSE(commandState(none, kMovieNotLoaded).enabled);
  // A bad or unparsed movie counts as none.
  MenuInputs bad = playingMovie();
  bad.movieReady = false;
  EXPECT_EQ(ids(contextMenu(bad)), (std::vector<int>{kMovieNotLoaded, 0, kAboutFromContextMenu}));
}

TEST(MenuModel, ContextMenuWhenTheMovieHidesTheMenu) {
  MenuInputs in = playingMovie();
  in.showMenu = false;
  EXPECT_EQ(ids(contextMenu(in)), (std::vector<int>{kSettings, 0, kAboutFromContextMenu}));
}

TEST(MenuModel, ContextMenuOfAOneFrameMovieHasNoPlayback) {
  EXPECT_EQ(ids(contextMenu(playingMovie(1))),
            (std::vector<int>{kZoomInAtPoint, kZoomOut, kActualSize, kShowAll, 0, -1, kQualityLow,
                              kQualityMedium, kQualityHigh, -2, 0, kSettings, 0, kPrint, 0,
                              kAboutFromContextMenu}));
}

TEST(MenuModel, ViewRules) {
  MenuInputs in = playingMovie();
  EXPECT_EQ(commandState(in, kShowAll), (CommandState{true, true}));
  EXPECT_EQ(commandState(in, kZoomIn), (CommandState{true, false}));
  EXPECT_EQ(commandState(in, kZoomInAtPoint), (CommandState{true, false}));
  EXPECT_FALSE(commandState(in, kZoomOut).enabled);
  EXPECT_EQ(commandState(in, kActualSize), (CommandState{true, false}));
  in.zoomed = true;
  EXPECT_TRUE(commandState(in, kZoomOut).enabled);
  EXPECT_FALSE(commandState(in, kShowAll).checked);
  in.zoomed = false;
  in.scaleMode = ScaleMode::NoScale;
  EXPECT_FALSE(commandState(in, kShowAll).checked);
  EXPECT_TRUE(commandState(in, kActualSize).checked);
  MenuInputs none;
  for (int id : {kShowAll, kZoomIn, kZoomOut, kActualSize, kZoomInAtPoint})
    EXPECT_FALSE(commandState(none, id).enabled) << id;
}

TEST(MenuModel, QualityIsAlwaysEnabledAndChecksTheCurrentOne) {
  MenuInputs none;
  none.quality = Quality::Medium;
  EXPECT_EQ(commandState(none, kQualityLow), (CommandState{true, false}));
  EXPECT_EQ(commandState(none, kQualityMedium), (CommandState{true, true}));
  EXPECT_EQ(commandState(none, kQualityHigh), (CommandState{true, false}));
  none.quality = Quality::Best;
  EXPECT_TRUE(commandState(none, kQualityHigh).checked);
}

TEST(MenuModel, PlaybackRules) {
  MenuInputs in = playingMovie();
  EXPECT_EQ(commandState(in, kPlay), (CommandState{true, true}));
  EXPECT_EQ(commandState(in, kLoop), (CommandState{true, true}));
  EXPECT_TRUE(commandState(in, kRewind).enabled);
  EXPECT_TRUE(commandState(in, kStepBack).enabled);
  EXPECT_TRUE(commandState(in, kStepForward).enabled);
  in.playing = false;
  in.loop = false;
  EXPECT_EQ(commandState(in, kPlay), (CommandState{true, false}));
  EXPECT_EQ(commandState(in, kLoop), (CommandState{true, false}));
  in.currentFrame = 0;
  EXPECT_FALSE(commandState(in, kRewind).enabled);
  EXPECT_FALSE(commandState(in, kStepBack).enabled);
  in.currentFrame = 9;  // the last frame
  EXPECT_FALSE(commandState(in, kStepForward).enabled);
  const MenuInputs one = playingMovie(1);
  EXPECT_FALSE(commandState(one, kPlay).enabled);
  EXPECT_FALSE(commandState(one, kLoop).enabled);
}

TEST(MenuModel, FileRules) {
  MenuInputs in = playingMovie();
  EXPECT_TRUE(commandState(in, kOpen).enabled);
  EXPECT_TRUE(commandState(in, kClose).enabled);
  EXPECT_TRUE(commandState(in, kCreateProjector).enabled);
  EXPECT_TRUE(commandState(in, kExit).enabled);
  in.bufferComplete = false;  // still loading
  EXPECT_FALSE(commandState(in, kClose).enabled);
  EXPECT_FALSE(commandState(in, kCreateProjector).enabled);
  in.bufferComplete = true;
  in.embedded = true;
  EXPECT_FALSE(commandState(in, kOpen).enabled);
  EXPECT_FALSE(commandState(in, kClose).enabled);
  EXPECT_FALSE(commandState(in, kCreateProjector).enabled);
  EXPECT_TRUE(commandState(in, kExit).enabled);
  EXPECT_FALSE(commandState(in, kPrint).enabled);
  in.printingAllowed = true;
  EXPECT_TRUE(commandState(in, kPrint).enabled);
  EXPECT_FALSE(commandState(in, kSettings).enabled);
  in.settingsAvailable = true;
  EXPECT_TRUE(commandState(in, kSettings).enabled);
}

TEST(MenuModel, EditRulesFollowTheTextField) {
  MenuInputs in;
  for (int id : {kCut, kCopy, kPaste, kDelete, kSelectAll}) EXPECT_FALSE(commandState(in, id).enabled);
  in.edit.copy = true;
  in.edit.selectAll = true;
  EXPECT_TRUE(commandState(in, kCopy).enabled);
  EXPECT_TRUE(commandState(in, kSelectAll).enabled);
  EXPECT_FALSE(commandState(in, kCut).enabled);
  EXPECT_EQ(ids(std::vector<MenuEntry>(editMenu().begin(), editMenu().end())),
            (std::vector<int>{kCut, kCopy, kPaste, kDelete, 0, kSelectAll}));
}

TEST(MenuModel, AcceleratorTable) {
  std::vector<std::string> keys;
  for (const Accelerator& a : accelerators())
    if (a.id == kLeaveFullScreen || a.id == kAbout || a.id == kPlay) keys.push_back(a.keys);
  EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+Return", "Ctrl+Enter", "Esc", "Alt+/", "Alt+?"}));
}

}  // namespace
}  // namespace kivra
