// Host commands and menu commands as the headless host carries them out,
// and the "exec" launcher with real programs in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/headless/HeadlessPlayer.h"
#include "tests/support/MovieBytes.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using namespace command;
using test::Bytes;

Bytes framesMovie(int frames) {
  test::MovieSpec header;
  header.frameCount = static_cast<uint16_t>(frames);
  std::vector<Bytes> tags;
  for (int i = 0; i < frames; ++i) tags.push_back(test::showFrame());
  tags.push_back(test::endTag());
  return test::movie(header, tags);
}

class HostCommands : public ::testing::Test {
 protected:
  void load(int frames = 5) { ASSERT_TRUE(player.loadMovieFile(dir.write("m.qvx", framesMovie(frames))).ok); }
  test::TempDir dir;
  HeadlessPlayer player{CommandLine{}};
};

TEST_F(HostCommands, FullScreenArguments) {
  EXPECT_TRUE(player.core().routeHostCommandUrl("VXCOMMAND:FullScreen", "YES"));
  EXPECT_TRUE(player.fullScreen());
  EXPECT_FALSE(player.menuBarShown());
  player.hostCommand("fullscreen", "0");
  EXPECT_FALSE(player.fullScreen());
  EXPECT_TRUE(player.menuBarShown());
  player.hostCommand("FULLSCREEN", "2");
  EXPECT_TRUE(player.fullScreen());
  player.hostCommand("fullscreen", "no");
  EXPECT_FALSE(player.fullScreen());
  player.hostCommand("fullscreen", "true");
  player.hostCommand("fullscreen", "");
  EXPECT_FALSE(player.fullScreen());
}

TEST_F(HostCommands, UnknownCommandsAreNotHandled) {
  bool handled = true;
  EXPECT_TRUE(player.core().routeHostCommandUrl("VXCommand:launch", "x", &handled));
  EXPECT_FALSE(handled);
  EXPECT_FALSE(player.hostCommand("full screen", "1"));
  EXPECT_TRUE(player.hostCommand("trapallkeys", "1"));
}

TEST_F(HostCommands, AllowScaleReplacesTheWholeSetting) {
  load();
  player.core().setScaleMode(ScaleMode::ExactFit, kAlignLeft | kAlignTop);
  player.hostCommand("allowscale", "false");
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::NoScale);
  EXPECT_EQ(player.core().alignment(), 0);  // unscaled at the window's centre
  player.hostCommand("AllowScale", "1");
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::ShowAll);
}

TEST_F(HostCommands, ShowMenuWaitsForTheEndOfFullScreen) {
  player.hostCommand("showmenu", "false");
  EXPECT_FALSE(player.core().showMenu());
  EXPECT_FALSE(player.menuBarShown());
  player.hostCommand("showmenu", "true");
  EXPECT_TRUE(player.menuBarShown());
  player.hostCommand("fullscreen", "true");
  player.hostCommand("showmenu", "false");
  EXPECT_FALSE(player.menuBarShown());
  player.hostCommand("showmenu", "yes");
  EXPECT_FALSE(player.menuBarShown());  // still full screen
  player.hostCommand("fullscreen", "false");
  EXPECT_TRUE(player.menuBarShown());
  player.hostCommand("fullscreen", "true");
  player.hostCommand("showmenu", "0");
  player.hostCommand("fullscreen", "false");
  EXPECT_FALSE(player.menuBarShown());
}

TEST_F(HostCommands, TrapAllKeys) {
  EXPECT_FALSE(player.trapAllKeys());
  player.hostCommand("trapallkeys", "true");
  EXPECT_TRUE(player.trapAllKeys());
  player.hostCommand("trapallkeys", "0");
  EXPECT_FALSE(player.trapAllKeys());
}

TEST_F(HostCommands, QuitEndsTheRun) {
  load(10);
  player.run(2, {});
  player.hostCommand("Quit", "");
  EXPECT_TRUE(player.quit());
  player.run(5, {});
  EXPECT_EQ(player.stepsRun(), 2);
}

TEST_F(HostCommands, HostStateLine) {
  player.hostCommand("fullscreen", "1");
  player.hostCommand("allowscale", "0");
  EXPECT_EQ(player.hostStateText(),
            "host fullscreen=1 menubar=0 showmenu=1 scale=noScale align=0x00 trapallkeys=0 cursor=1\n");
}

// ---- Menu commands without a window ----------------------------------------------

TEST_F(HostCommands, PlaybackCommands) {
  load(5);
  TimelinePlayer& root = *player.core().level0();
  player.run(2, {});
  ASSERT_EQ(root.currentFrame(), 2);
  EXPECT_TRUE(player.playerCommand(kPlay));
  EXPECT_FALSE(root.playing());
  player.run(2, {});
  EXPECT_EQ(root.currentFrame(), 2);
  player.playerCommand(kStepForward);
  EXPECT_EQ(root.currentFrame(), 3);
  player.playerCommand(kStepBack);
  player.playerCommand(kStepBack);
  EXPECT_EQ(root.currentFrame(), 1);
  player.playerCommand(kPlay);
  EXPECT_TRUE(root.playing());
  player.playerCommand(kRewind);
  EXPECT_EQ(root.currentFrame(), 0);
  EXPECT_FALSE(root.playing());
  player.playerCommand(kStepBack);  // disabled at frame 0
  EXPECT_EQ(root.currentFrame(), 0);
  player.playerCommand(kLoop);
  EXPECT_FALSE(root.loop());
  // Without loop, Play at the end starts again from frame 0.
  player.playerCommand(kPlay);
  player.run(6, {});
  EXPECT_EQ(root.currentFrame(), 4);
  EXPECT_FALSE(root.playing());
  player.playerCommand(kPlay);
  EXPECT_EQ(root.currentFrame(), 0);
  EXPECT_TRUE(root.playing());
}

TEST_F(HostCommands, QualityCommandsTurnAutomaticQualityOff) {
  player.core().setAutoQuality(true);
  EXPECT_TRUE(player.playerCommand(kQualityLow));
  EXPECT_EQ(player.core().quality(), Quality::Low);
  EXPECT_FALSE(player.core().autoQuality());
  player.playerCommand(kQualityMedium);
  EXPECT_EQ(player.core().quality(), Quality::Medium);
  player.playerCommand(kQualityHigh);
  EXPECT_EQ(player.core().quality(), Quality::High);
}

TEST_F(HostCommands, ViewCommands) {
  load();
  player.playerCommand(kZoomIn);
  EXPECT_TRUE(player.core().zoomed());
  player.setContextPoint(0, 0);
  player.playerCommand(kZoomInAtPoint);
  // The corner of the zoomed view (2750, 2000 twips) becomes the centre.
  EXPECT_NEAR(player.core().zoomRect().xmin, 2750 - 1375, 20);
  EXPECT_NEAR(player.core().zoomRect().ymin, 2000 - 1000, 20);
  player.playerCommand(kShowAll);
  EXPECT_FALSE(player.core().zoomed());
  player.playerCommand(kActualSize);
  EXPECT_EQ(player.core().scaleMode(), ScaleMode::NoScale);
  player.playerCommand(kFullScreen);
  EXPECT_TRUE(player.fullScreen());
  player.playerCommand(kLeaveFullScreen);
  EXPECT_FALSE(player.fullScreen());
}

TEST_F(HostCommands, CloseUnloadsAndExitQuits) {
  load();
  EXPECT_TRUE(player.playerCommand(kClose));
  EXPECT_FALSE(player.core().hasMovie());
  EXPECT_FALSE(player.quit());
  EXPECT_TRUE(player.playerCommand(kExit));
  EXPECT_TRUE(player.quit());
}

TEST_F(HostCommands, DialogCommandsAreTheHostsBusiness) {
  for (int id : {kOpen, kCreateProjector, kAbout, kAboutFromContextMenu, kPrint, kSettings})
    EXPECT_FALSE(player.playerCommand(id)) << id;
}

// ---- exec ------------------------------------------------------------------------------

class Exec : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir.file("vxcommand");
    std::filesystem::create_directory(folder);
    player.setExecutablePath(dir.file("kivra-player"));
  }
  // A shell script that records where it ran and what it inherited.
  void program(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
  }
  static bool waitFor(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
      if (std::filesystem::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  static std::string slurp(const std::string& path) {
    const Bytes b = test::TempDir::read(path);
    return std::string(b.begin(), b.end());
  }
  void reapAll() {
    for (int i = 0; i < 500 && player.launcher().running() > 0; ++i) {
      player.reapPrograms();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  test::TempDir dir;
  std::string folder;
  HeadlessPlayer player{CommandLine{}};
};

TEST_F(Exec, RunsTheProgramInItsFolderWithoutWaiting) {
  // A descriptor the player holds open must not reach the program.
  const int held = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_GE(::dup2(held, 57), 0);
  program(folder + "/run.bat", "sleep 0.3\npwd > ran.tmp\necho \"$#\" >> ran.tmp\nls /proc/$$/fd >> ran.tmp\nmv ran.tmp ran.txt");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(player.hostCommand("exec", "run.bat"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(player.launcher().running(), 1u);
  ::close(57);
  ::close(held);
  ASSERT_TRUE(waitFor(folder + "/ran.txt"));
  const std::string ran = slurp(folder + "/ran.txt");
  const std::string where = std::filesystem::canonical(folder).string();
  EXPECT_EQ(ran.substr(0, ran.find('\n')), where);
  EXPECT_NE(ran.find("\n0\n"), std::string::npos) << ran;  // no arguments
  EXPECT_EQ(ran.find("\n57\n"), std::string::npos) << ran;
  reapAll();
  EXPECT_EQ(player.launcher().running(), 0u);  // collected: no zombie
}

TEST_F(Exec, RefusesAnythingButAPlainName) {
  const std::string marker = dir.file("escaped.txt");
  program(dir.file("evil.sh"), "touch " + marker);
  std::filesystem::create_directory(folder + "/sub");
  program(folder + "/sub/run.sh", "touch " + marker);
  program(folder + "/my prog", "touch " + marker);
  program(folder + "/run.sh", "touch " + marker);
  for (const char* name : {"../evil.sh", "sub/run.sh", "my prog", "..", "", "/bin/true", "run.sh ",
                           "sub\\run.sh", "run.sh;true"}) {
    EXPECT_TRUE(player.hostCommand("exec", name)) << name;  // handled, silently
    EXPECT_EQ(player.launcher().running(), 0u) << name;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(Exec, MissingProgramDoesNothing) {
  EXPECT_TRUE(player.hostCommand("exec", "absent.sh"));
  EXPECT_EQ(player.launcher().running(), 0u);
}

TEST(CommandFolder, BesideTheExecutable) {
  EXPECT_EQ(commandFolderFor("/opt/kivra/bin/kivra-player"), "/opt/kivra/bin/vxcommand");
  EXPECT_EQ(commandFolderFor("kivra-player"), "");
}

}  // namespace
}  // namespace kivra
