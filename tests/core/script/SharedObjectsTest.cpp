// Flush against the site's limit through the seam the privacy settings
// store answers: a flush that does not fit is "pending" while the user is
// asked, then written or failed by the answer; a site whose user is not to
// be asked fails at once; a storage that fails to write is reported as a
// failure; and a changed object is written when the movie unloads.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/PrivacySettings.h"
#include "core/net/SharedObjectFile.h"
#include "core/script/ScriptEngine.h"
#include "core/script/SharedObjects.h"
#include "tests/core/movie/TestPlayer.h"

namespace kivra {
namespace {

class TracingHost : public test::StubHost {
 public:
  using StubHost::StubHost;
  void trace(const std::string& line) override { lines += line + "\n"; }
  std::string lines;
};

class MemoryStorage : public SharedObjectStorage {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  bool failWrites = false;
  size_t rootLength() override { return 10; }
  StoredFile readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override {
    auto it = files.find(path);
    if (it == files.end()) return StoredFile::Missing;
    if (it->second.size() > maxBytes) return StoredFile::Unreadable;
    out = it->second;
    return StoredFile::Read;
  }
  bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
    if (failWrites) return false;
    files[path] = bytes;
    return true;
  }
  bool removeFile(const std::string& path) override {
    files.erase(path);
    return true;
  }
  uint64_t folderSize(const std::string& folder) override {
    uint64_t n = 0;
    for (const auto& [path, bytes] : files)
      if (path.rfind(folder + "/", 0) == 0) n += bytes.size();
    return n;
  }
  void listFiles(const std::string& folder, std::vector<std::string>& names) override {
    (void)folder;
    names.clear();
  }
  void removeStoredObjects(const std::string& folder) override {
    std::erase_if(files, [&](const auto& f) { return f.first.rfind(folder + "/", 0) == 0; });
  }
};

class AskingLimits : public StorageLimits {
 public:
  int64_t limit = 10;
  std::vector<uint32_t> requests;
  int64_t siteLimit(const std::string& movieUrl) override {
    EXPECT_EQ(movieUrl, "/m/test.qvx");
    return limit;
  }
  bool requestStorage(const std::string& movieUrl, uint64_t bytes, uint32_t request) override {
    (void)movieUrl;
    EXPECT_GT(bytes, 10u);
    requests.push_back(request);
    return true;
  }
  bool settingsAddress(const std::string& movieUrl) override {
    (void)movieUrl;
    return false;
  }
};

constexpr const char* kMovie = R"(movie version=6
actions {
  Push "so" "p" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "so"
  GetVariable
  Push "onStatus"
  DefineFunction2 "" regs=2 r1:"info" {
    Push r:1
    Push "code"
    GetMember
    Push " "
    Add2
    Push r:1
    Push "level"
    GetMember
    Add2
    Trace
  }
  SetMember
  Push "so"
  GetVariable
  Push "data"
  GetMember
  Push "s" "more than ten bytes of text"
  SetMember
  Push "flush " 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
}
showframe
actions {
  Push "flush " 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
}
showframe
actions {
  Push "flush " 0 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
  Push "so"
  GetVariable
  Push "data"
  GetMember
  Push "t" 1
  SetMember
  Stop
}
showframe
)";

TEST(SharedObjects, PendingFlushesAndTheirAnswers) {
  MemoryStorage storage;
  AskingLimits limits;
  {
    test::TestPlayerOf<TracingHost> p;
    p.setSharedObjectStorage(&storage);
    p.script().sharedObjects().setLimits(&limits);
    p.load(test::compile(kMovie), "/m/test.qvx");
    ASSERT_EQ(limits.requests.size(), 1u);
    // Still too small after the answer: failed, nothing written.
    p.script().sharedObjects().storageAnswered(limits.requests[0]);
    EXPECT_TRUE(storage.files.empty());
    p.steps(1);
    ASSERT_EQ(limits.requests.size(), 2u);
    limits.limit = 1000;
    p.script().sharedObjects().storageAnswered(limits.requests[1]);
    ASSERT_EQ(storage.files.count("localhost/m/test.qvx/p.sol"), 1u);
    // The user is not to be asked: false at once. A failed write is false.
    limits.limit = StorageLimits::kNeverAsk;
    p.steps(1);
    EXPECT_EQ(limits.requests.size(), 2u);
    EXPECT_EQ(p.stub().lines,
              "flush pending\n"
              "SharedObject.Flush.Failed error\n"
              "flush pending\n"
              "SharedObject.Flush.Success status\n"
              "flush false\n");
    limits.limit = StorageLimits::kUnlimited;
    storage.failWrites = true;
    EXPECT_EQ(p.script().sharedObjects().openCount(), 1u);
  }
  // The player went with a changed object it could not write: the flushed
  // file is still the one on "disk".
  SharedObjectFile file;
  const std::vector<uint8_t>& bytes = storage.files["localhost/m/test.qvx/p.sol"];
  ASSERT_EQ(readSharedObjectFile(bytes.data(), bytes.size(), file), SolReadStatus::Ok);
  EXPECT_EQ(file.members.size(), 1u);
  // With writes working again, leaving the movie writes the change.
  storage.failWrites = false;
  {
    test::TestPlayerOf<TracingHost> p;
    p.setSharedObjectStorage(&storage);
    p.script().sharedObjects().setLimits(&limits);
    p.load(test::compile(kMovie), "/m/test.qvx");
    p.steps(2);
    p.unloadAll();
  }
  const std::vector<uint8_t>& after = storage.files["localhost/m/test.qvx/p.sol"];
  ASSERT_EQ(readSharedObjectFile(after.data(), after.size(), file), SolReadStatus::Ok);
  ASSERT_EQ(file.members.size(), 2u);
  EXPECT_EQ(file.members[1].name, "t");
}

// Asks for 5,000 bytes though it encodes to far fewer.
constexpr const char* kMinimumMovie = R"(movie version=6
actions {
  Push "so" "p" 1 "SharedObject"
  GetVariable
  Push "getLocal"
  CallMethod
  SetVariable
  Push "so"
  GetVariable
  Push "onStatus"
  DefineFunction2 "" regs=2 r1:"info" {
    Push r:1
    Push "code"
    GetMember
    Trace
  }
  SetMember
  Push "so"
  GetVariable
  Push "data"
  GetMember
  Push "n" 1
  SetMember
  Push "flush " 5000 1 "so"
  GetVariable
  Push "flush"
  CallMethod
  Add2
  Trace
}
showframe
)";

TEST(SharedObjects, AnAnswerIsCheckedAgainstTheMinimumAskedFor) {
  MemoryStorage storage;
  AskingLimits limits;
  test::TestPlayerOf<TracingHost> p;
  p.setSharedObjectStorage(&storage);
  p.script().sharedObjects().setLimits(&limits);
  p.load(test::compile(kMinimumMovie), "/m/test.qvx");
  ASSERT_EQ(limits.requests.size(), 1u);
  // Room for the object's bytes but not for the 5,000 asked: refused.
  limits.limit = 1000;
  p.script().sharedObjects().storageAnswered(limits.requests[0]);
  EXPECT_EQ(p.stub().lines, "flush pending\nSharedObject.Flush.Failed\n");
  EXPECT_TRUE(storage.files.empty());
}

TEST(SharedObjects, ThePrivacySettingsGiveEachSiteItsLimit) {
  MemoryStorage storage;
  test::TestPlayerOf<TracingHost> p;
  p.setSharedObjectStorage(&storage);
  p.load(test::compile("movie version=6\nshowframe\n"), "/m/test.qvx");
  PrivacySettings& privacy = p.privacySettings();
  // The settings' own movies have no limit; a site starts at 100 KB.
  EXPECT_EQ(privacy.siteLimit(std::string(kSettingsAddress) + "panel.qvx"), StorageLimits::kUnlimited);
  EXPECT_EQ(privacy.siteLimit("/m/test.qvx"), 100 * 1024);
  EXPECT_EQ(privacy.siteLimit("http://www.example.com/a.qvx"), 100 * 1024);
  // klimit is in KB; 0 allows nothing but asks, -1 asks nobody.
  const std::pair<double, int64_t> limits[] = {{10, 10240}, {0, 0}, {-1, StorageLimits::kNeverAsk}};
  for (const auto& [klimit, bytes] : limits) {
    privacy.setSiteSetting("local", "klimit", ScriptValue::number(klimit));
    EXPECT_EQ(privacy.siteLimit("/m/test.qvx"), bytes) << klimit;
  }
  // One site's setting is not another's.
  EXPECT_EQ(privacy.siteLimit("http://www.example.com/a.qvx"), 100 * 1024);
  // The settings live in the reserved scope of the settings' own folder.
  EXPECT_EQ(storage.files.count("settings.kivra-player.invalid/support/kivraplayer/sys/settings.sol"), 1u);
  EXPECT_EQ(storage.files.count("settings.kivra-player.invalid/support/kivraplayer/sys/#local/settings.sol"), 1u);
}

}  // namespace
}  // namespace kivra
