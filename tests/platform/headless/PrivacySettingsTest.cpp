// The privacy settings store and its panel, through the headless player:
// a shared object over its site's limit asks the user, the panel's buttons
// (clicked by replayed input) answer, and the settings persist in the
// settings' own shared objects. XDG_DATA_HOME points at a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/net/SharedObjectFile.h"
#include "tests/support/TempDir.h"
#include "tools/qvxs/Compiler.h"

namespace kivra {
namespace {

// Stores about 257 KB in "save" (over the default 100 KB) and traces the
// flush and the status event that ends it. SIZE is replaced.
constexpr const char* kStoreMovie = R"(movie version=6 size=SIZE rate=12
actions {
  Push "so" "save" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "so"
  GetVariable
  Push "onStatus"
  DefineFunction2 "" regs=2 r1:"info" {
    Push "status " r:1
    Push "code"
    GetMember
    Add2
    Push " " r:1
    Push "level"
    GetMember
    Add2
    Add2
    Trace
  }
  SetMember
  Push "s" "x"
  SetVariable
grow:
  Push "s" "s"
  GetVariable
  Push "s"
  GetVariable
  Add2
  SetVariable
  Push "s"
  GetVariable
  Push "length"
  GetMember
  Push 150000
  Less2
  If grow
  Push "so"
  GetVariable
  Push "data"
  GetMember
  Push "big" "s"
  GetVariable
  SetMember
  Push "flush "
  Push 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
}
showframe
)";

// Stores 12 KB within the limit, then opens the settings panel. A button
// under the whole stage traces its clicks.
constexpr const char* kSettingsMovie = R"(movie version=6 size=550x400 rate=12
shape 1 {
  fill solid #c0d0e0
  style moveto=0,0 fill1=1
  lineto 550px,0
  lineto 550px,400px
  lineto 0,400px
  lineto 0,0
}
button2 2 {
  record up,over,down,hit 1 1
  on overDownToOverUp {
    Push "movie button"
    Trace
  }
}
place2 1 id=2
actions {
  Push "so" "keep" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "s" "0123456789ab"
  SetVariable
grow:
  Push "s" "s"
  GetVariable
  Push "s"
  GetVariable
  Add2
  SetVariable
  Push "s"
  GetVariable
  Push "length"
  GetMember
  Push 12000
  Less2
  If grow
  Push "so"
  GetVariable
  Push "data"
  GetMember
  Push "text" "s"
  GetVariable
  SetMember
  Push "flush "
  Push 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
  Push 1 1 "System"
  GetVariable
  Push "showSettings"
  CallMethod
  Pop
}
showframe
)";

// A camera and a microphone: traced muted at once, then their status
// events as the user answers.
constexpr const char* kCaptureMovie = R"(movie version=6 size=SIZE rate=12
actions {
  DefineFunction2 "report" regs=2 r1:"info" {
    Push "status " r:1
    Push "code"
    GetMember
    Add2
    Trace
  }
  Push "c" 0 "Camera"
  GetVariable
  Push "get"
  CallMethod
  SetVariable
  Push "m" 0 "Microphone"
  GetVariable
  Push "get"
  CallMethod
  SetVariable
  Push "c"
  GetVariable
  Push "onStatus" "report"
  GetVariable
  SetMember
  Push "m"
  GetVariable
  Push "onStatus" "report"
  GetVariable
  SetMember
  Push "muted "
  Push "c"
  GetVariable
  Push "muted"
  GetMember
  Add2
  Push " "
  Add2
  Push "m"
  GetVariable
  Push "muted"
  GetMember
  Add2
  Trace
}
showframe
)";

// Where the panel's controls are on a 550 x 400 stage: the panel is centred
// at (167, 131).
constexpr const char* kAllow = "mouse 200 253";
constexpr const char* kDeny = "mouse 265 253";
constexpr const char* kClose = "mouse 340 253";
constexpr const char* kLimitNone = "mouse 200 204";
constexpr const char* kOutside = "mouse 20 20";

class PrivacySettingsRuns : public ::testing::Test {
 protected:
  struct Output {
    std::string out;
    std::string err;
  };

  // Runs `source` for `frames` steps, clicking at each of `clicks` in turn
  // (one a step from step 2 on).
  Output run(std::string source, const std::vector<std::string>& clicks, int frames = 4,
             const std::string& size = "550x400") {
    if (const size_t at = source.find("SIZE"); at != std::string::npos) source.replace(at, 4, size);
    std::vector<uint8_t> movie;
    qvxs::Diagnostics diag;
    EXPECT_TRUE(qvxs::compileMovie(source, movie, diag, dir.file(""))) << diag.text();
    dir.write("m.qvx", movie);
    std::string input;
    int step = 2;
    for (const std::string& click : clicks) {
      input += std::to_string(step) + " " + click + "\n";
      input += std::to_string(step) + " down\n" + std::to_string(step) + " up\n";
      ++step;
    }
    dir.write("input.txt", std::vector<uint8_t>(input.begin(), input.end()));
    const std::string command = "XDG_DATA_HOME='" + dir.file("data") + "' " + KIVRA_PLAYER_PATH +
                                " --headless --debug --frames " + std::to_string(frames) + " --trace --input '" +
                                dir.file("input.txt") + "' '" + dir.file("m.qvx") + "' > '" + dir.file("out.txt") +
                                "' 2> '" + dir.file("err.txt") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::vector<uint8_t> out = test::TempDir::read(dir.file("out.txt"));
    const std::vector<uint8_t> err = test::TempDir::read(dir.file("err.txt"));
    return {std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
  }

  std::string siteSettingsFile() const {
    return dir.file("data") + "/kivra-player/settings.kivra-player.invalid/support/kivraplayer/sys/#local/settings.sol";
  }

  std::string objects() const { return dir.file("data") + "/kivra-player/localhost" + dir.file("m.qvx"); }

  // A member of the local site's privacy settings, as stored.
  AmfValue siteSetting(const std::string& name) {
    const std::vector<uint8_t> bytes = test::TempDir::read(siteSettingsFile());
    SharedObjectFile file;
    EXPECT_EQ(readSharedObjectFile(bytes.data(), bytes.size(), file), SolReadStatus::Ok);
    for (const AmfMember& m : file.members)
      if (m.name == name) return m.value;
    return AmfValue();
  }

  test::TempDir dir;
};

TEST_F(PrivacySettingsRuns, AStorageRequestIsAllowedOrDeniedInThePanel) {
  // Allowed: the limit goes up to the first choice that holds the object
  // (1 MB), and the object is written.
  Output allowed = run(kStoreMovie, {kAllow});
  EXPECT_EQ(allowed.out, "flush pending\nstatus SharedObject.Flush.Success status\n");
  EXPECT_TRUE(std::filesystem::exists(objects() + "/save.sol"));
  EXPECT_EQ(siteSetting("klimit").number, 1024);
  EXPECT_FALSE(siteSetting("allow").boolean);

  // Denied: the limit stays as it was, and the object is not written.
  std::filesystem::remove_all(dir.file("data"));
  Output denied = run(kStoreMovie, {kDeny});
  EXPECT_EQ(denied.out, "flush pending\nstatus SharedObject.Flush.Failed error\n");
  EXPECT_FALSE(std::filesystem::exists(objects() + "/save.sol"));
  EXPECT_EQ(siteSetting("klimit").number, 100);

  // A stage too small for the panel refuses the request without asking.
  std::filesystem::remove_all(dir.file("data"));
  Output small = run(kStoreMovie, {kAllow}, 4, "200x100");
  EXPECT_EQ(small.out, "flush pending\nstatus SharedObject.Flush.Failed error\n");
  EXPECT_NE(small.err.find("Can't display player ui because movie too small or layers are full."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(objects() + "/save.sol"));
}

TEST_F(PrivacySettingsRuns, LoweringTheLimitBelowWhatTheSiteKeepsDeletesIt) {
  // Within the limit nothing is asked; the settings panel opens, "None"
  // lowers the limit below the 12 KB the site keeps, Close shuts the panel.
  // While it is shown the movie's button takes no clicks; then it does.
  Output lowered = run(kSettingsMovie, {kLimitNone, kOutside, kClose, kOutside}, 7);
  EXPECT_EQ(lowered.out, "flush true\nmovie button\n");
  EXPECT_EQ(siteSetting("klimit").number, 0);
  EXPECT_FALSE(std::filesystem::exists(objects() + "/keep.sol"));
  EXPECT_NE(lowered.err.find("its shared objects are deleted"), std::string::npos);

  // With the limit at none, the next flush asks again; denied, it fails.
  Output asked = run(kStoreMovie, {kDeny});
  EXPECT_EQ(asked.out, "flush pending\nstatus SharedObject.Flush.Failed error\n");
}

TEST_F(PrivacySettingsRuns, CameraAndMicrophoneAskAgainAfterARestartUnlessAlways) {
  // Allowed: both sources are told, and the answer is stored...
  Output allowed = run(kCaptureMovie, {kAllow});
  EXPECT_EQ(allowed.out, "muted true true\nstatus Camera.Unmuted\nstatus Microphone.Unmuted\n");
  EXPECT_TRUE(siteSetting("allow").boolean);
  EXPECT_FALSE(siteSetting("always").boolean);
  // ...but without "always" it lasts one run: the next asks again.
  Output again = run(kCaptureMovie, {kDeny});
  EXPECT_EQ(again.out, "muted true true\nstatus Camera.Muted\nstatus Microphone.Muted\n");
  EXPECT_FALSE(siteSetting("allow").boolean);
  // With "always" set the stored answer holds, and nobody is asked.
  std::filesystem::remove_all(dir.file("data"));
  SharedObjectFile stored;
  stored.name = "local/settings";
  AmfValue yes = AmfValue::ofKind(AmfKind::Boolean);
  yes.boolean = true;
  stored.members = {AmfMember{"allow", yes}, AmfMember{"always", yes}};
  std::filesystem::create_directories(std::filesystem::path(siteSettingsFile()).parent_path());
  dir.write(siteSettingsFile().substr(dir.file("").size()), writeSharedObjectFile(stored));
  Output remembered = run(kCaptureMovie, {kDeny});
  EXPECT_EQ(remembered.out, "muted false false\n");
  EXPECT_TRUE(siteSetting("allow").boolean);
  // A stage too small for the panel keeps them muted without asking.
  std::filesystem::remove_all(dir.file("data"));
  Output small = run(kCaptureMovie, {kAllow}, 4, "200x100");
  EXPECT_EQ(small.out, "muted true true\nstatus Camera.Muted\nstatus Microphone.Muted\n");
  EXPECT_NE(small.err.find("Can't display player ui because movie too small or layers are full."), std::string::npos);
}

}  // namespace
}  // namespace kivra
