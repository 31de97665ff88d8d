#include "core/host/HostCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CorePlayer.h"
#include "tests/support/StubPlayer.h"

namespace kivra {
namespace {

TEST(HostCommand, NamesCompareInFullWithoutLetterCase) {
  EXPECT_EQ(hostCommandNamed("FullScreen"), HostCommand::FullScreen);
  EXPECT_EQ(hostCommandNamed("FULLSCREEN"), HostCommand::FullScreen);
  EXPECT_EQ(hostCommandNamed("quit"), HostCommand::Quit);
  EXPECT_EQ(hostCommandNamed("AllowScale"), HostCommand::AllowScale);
  EXPECT_EQ(hostCommandNamed("showMenu"), HostCommand::ShowMenu);
  EXPECT_EQ(hostCommandNamed("TrapAllKeys"), HostCommand::TrapAllKeys);
  EXPECT_EQ(hostCommandNamed("EXEC"), HostCommand::Exec);
  EXPECT_EQ(hostCommandNamed("fullscreen "), HostCommand::Unknown);
  EXPECT_EQ(hostCommandNamed("full"), HostCommand::Unknown);
  EXPECT_EQ(hostCommandNamed(""), HostCommand::Unknown);
  EXPECT_EQ(hostCommandNamed("launch"), HostCommand::Unknown);
}

TEST(HostCommand, PrefixIsRecognisedInAnyLetterCase) {
  std::string_view name;
  ASSERT_TRUE(splitHostCommandUrl("VXCOMMAND:FullScreen", name));
  EXPECT_EQ(name, "FullScreen");
  ASSERT_TRUE(splitHostCommandUrl("vxcommand:quit", name));
  EXPECT_EQ(name, "quit");
  ASSERT_TRUE(splitHostCommandUrl("VXCommand:", name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(splitHostCommandUrl("VXCommand", name));
  EXPECT_FALSE(splitHostCommandUrl("http://example.org/VXCommand:quit", name));
  EXPECT_FALSE(splitHostCommandUrl(" VXCommand:quit", name));
}

TEST(HostCommand, BooleanArguments) {
  EXPECT_TRUE(hostCommandFlag("YES"));
  EXPECT_TRUE(hostCommandFlag("yes"));
  EXPECT_TRUE(hostCommandFlag("True"));
  EXPECT_TRUE(hostCommandFlag("2"));
  EXPECT_TRUE(hostCommandFlag("-1"));
  EXPECT_TRUE(hostCommandFlag("0.5"));
  EXPECT_TRUE(hostCommandFlag(" 1 "));
  EXPECT_TRUE(hostCommandFlag("1e3"));
  EXPECT_FALSE(hostCommandFlag("0"));
  EXPECT_FALSE(hostCommandFlag("0.0"));
  EXPECT_FALSE(hostCommandFlag("-0"));
  EXPECT_FALSE(hostCommandFlag("no"));
  EXPECT_FALSE(hostCommandFlag(""));
  EXPECT_FALSE(hostCommandFlag("false"));
  EXPECT_FALSE(hostCommandFlag("on"));
  EXPECT_FALSE(hostCommandFlag("yes please"));
  EXPECT_FALSE(hostCommandFlag("1x"));
  EXPECT_FALSE(hostCommandFlag("."));
}

TEST(HostCommand, ProgramNames) {
  EXPECT_TRUE(isLaunchableProgramName("run.bat"));
  EXPECT_TRUE(isLaunchableProgramName("Setup_2.sh"));
  EXPECT_TRUE(isLaunchableProgramName("tool"));
  EXPECT_TRUE(isLaunchableProgramName(".hidden"));
  EXPECT_FALSE(isLaunchableProgramName(""));
  EXPECT_FALSE(isLaunchableProgramName("."));
  EXPECT_FALSE(isLaunchableProgramName(".."));
  EXPECT_FALSE(isLaunchableProgramName("..run"));
  EXPECT_FALSE(isLaunchableProgramName("a..b"));
  EXPECT_FALSE(isLaunchableProgramName("sub/run.sh"));
  EXPECT_FALSE(isLaunchableProgramName("sub\\run.bat"));
  EXPECT_FALSE(isLaunchableProgramName("/bin/sh"));
  EXPECT_FALSE(isLaunchableProgramName("my program"));
  EXPECT_FALSE(isLaunchableProgramName("c:run"));
  EXPECT_FALSE(isLaunchableProgramName("run;rm"));
  EXPECT_FALSE(isLaunchableProgramName("run$x"));
  EXPECT_FALSE(isLaunchableProgramName("r\xc3\xa9sum\xc3\xa9"));
  EXPECT_FALSE(isLaunchableProgramName(std::string_view("run\0x", 5)));
}

// ---- Routing a script's URL request to the host ---------------------------------

class RecordingHost : public test::StubHost {
 public:
  RecordingHost() : StubHost(100, 100) {}
  bool hostCommand(const std::string& command, const std::string& argument) override {
    calls.push_back(command + "|" + argument);
    return command != "nothing";
  }
  std::vector<std::string> calls;
};
using RecordingPlayer = test::StubPlayerOf<RecordingHost>;

TEST(HostCommandRouting, PrefixedUrlsReachTheHostWithTheTargetAsArgument) {
  RecordingPlayer host;
  bool handled = false;
  EXPECT_TRUE(host.routeHostCommandUrl("VXCOMMAND:FullScreen", "YES", &handled));
  EXPECT_TRUE(handled);
  EXPECT_TRUE(host.routeHostCommandUrl("vxcommand:nothing", "", &handled));
  EXPECT_FALSE(handled);
  EXPECT_TRUE(host.routeHostCommandUrl("VXCommand:quit", ""));
  ASSERT_EQ(host.stub().calls.size(), 3u);
  EXPECT_EQ(host.stub().calls[0], "FullScreen|YES");
  EXPECT_EQ(host.stub().calls[1], "nothing|");
  EXPECT_EQ(host.stub().calls[2], "quit|");
}

TEST(HostCommandRouting, OtherUrlsAreLeftAlone) {
  RecordingPlayer host;
  EXPECT_FALSE(host.routeHostCommandUrl("http://example.org/", "_blank"));
  EXPECT_FALSE(host.routeHostCommandUrl("VXCommand", "quit"));
  EXPECT_TRUE(host.stub().calls.empty());
}

TEST(HostCommandRouting, StageMenuPropertySendsShowMenuOnChangeOnly) {
  RecordingPlayer host;
  host.setShowMenuFromScript(true);  // already shown
  EXPECT_TRUE(host.stub().calls.empty());
  host.setShowMenuFromScript(false);
  host.setShowMenuFromScript(false);
  host.setShowMenuFromScript(true);
  ASSERT_EQ(host.stub().calls.size(), 2u);
  EXPECT_EQ(host.stub().calls[0], "showmenu|false");
  EXPECT_EQ(host.stub().calls[1], "showmenu|true");
  EXPECT_TRUE(host.showMenu());
}

TEST(HostCommandRouting, PendingQuitIsSentAtTheNextStep) {
  RecordingPlayer host;
  host.requestQuit();
  host.frameStep(true);
  ASSERT_EQ(host.stub().calls.size(), 1u);
  EXPECT_EQ(host.stub().calls[0], "quit|");
}

}  // namespace
}  // namespace kivra
