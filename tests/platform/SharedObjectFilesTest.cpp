// The files behind shared objects: a write replaces the old file whole or
// not at all (failed part-way at every byte, the old file is still there and
// nothing is left behind), two writers leave one complete file, and no path
// leads outside the root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/SharedObjectFiles.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes fail once `budget` bytes have gone, as a full disk would; a short
// write comes first when the budget ends inside a chunk.
class FailingFiles : public SharedObjectFiles {
 public:
  using SharedObjectFiles::SharedObjectFiles;
  size_t budget = 0;

 protected:
  ssize_t writeSome(int fd, const uint8_t* data, size_t count) override {
    if (budget == 0) {
      errno = ENOSPC;
      return -1;
    }
    const size_t n = count < budget ? count : budget;
    budget -= n;
    return SharedObjectFiles::writeSome(fd, data, n);
  }
};

// Halfway through its own write, lets another player write the same file.
class InterruptedFiles : public SharedObjectFiles {
 public:
  using SharedObjectFiles::SharedObjectFiles;
  SharedObjectFiles* other = nullptr;
  Bytes otherBytes;
  Bytes seenMidway;

 protected:
  ssize_t writeSome(int fd, const uint8_t* data, size_t count) override {
    if (other && count > 1) {
      const ssize_t first = SharedObjectFiles::writeSome(fd, data, count / 2);
      EXPECT_TRUE(other->writeFile("site/o.sol", otherBytes));
      EXPECT_EQ(other->readFile("site/o.sol", 1 << 20, seenMidway), StoredFile::Read);
      other = nullptr;
      return first;
    }
    return SharedObjectFiles::writeSome(fd, data, count);
  }
};

size_t filesBelow(const std::string& folder) {
  size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST(SharedObjectFilesTest, AFailedWriteLeavesTheOldFileAtEveryByte) {
  test::TempDir dir;
  const std::string root = dir.file("root");
  SharedObjectFiles files(root);
  const Bytes old(100, 'o');
  ASSERT_TRUE(files.writeFile("site/a/b.sol", old));
  Bytes fresh(3000);
  for (size_t i = 0; i < fresh.size(); ++i) fresh[i] = static_cast<uint8_t>(i * 7);
  FailingFiles failing(root);
  Bytes read;
  for (size_t n = 0; n < fresh.size(); n += n < 20 ? 1 : 97) {
    failing.budget = n;
    EXPECT_FALSE(failing.writeFile("site/a/b.sol", fresh)) << n;
    ASSERT_EQ(files.readFile("site/a/b.sol", 1 << 20, read), StoredFile::Read);
    EXPECT_EQ(read, old) << n;
    EXPECT_EQ(filesBelow(root), 1u) << n;  // no temporary file left
  }
  failing.budget = fresh.size();
  EXPECT_TRUE(failing.writeFile("site/a/b.sol", fresh));
  ASSERT_EQ(files.readFile("site/a/b.sol", 1 << 20, read), StoredFile::Read);
  EXPECT_EQ(read, fresh);
  EXPECT_EQ(files.folderSize("site"), fresh.size());
}

TEST(SharedObjectFilesTest, TwoWritersLeaveOneWholeFile) {
  test::TempDir dir;
  const std::string root = dir.file("root");
  SharedObjectFiles second(root);
  InterruptedFiles first(root);
  first.other = &second;
  first.otherBytes = Bytes(500, 'B');
  const Bytes mine(800, 'A');
  ASSERT_TRUE(first.writeFile("site/o.sol", mine));
  // While the first was half written, readers saw the second's whole file;
  // after it, the first's: the last complete write wins.
  EXPECT_EQ(first.seenMidway, first.otherBytes);
  Bytes read;
  ASSERT_EQ(second.readFile("site/o.sol", 1 << 20, read), StoredFile::Read);
  EXPECT_EQ(read, mine);
  EXPECT_EQ(filesBelow(root), 1u);
}

TEST(SharedObjectFilesTest, NoPathLeavesTheRoot) {
  test::TempDir dir;
  const std::string root = dir.file("data/kivra-player");
  SharedObjectFiles files(root);
  Bytes read;
  for (const char* bad : {"../x.sol", "site/../../x.sol", "", "/x.sol", "a//b.sol", "a/./b.sol", "a/\x01.sol",
                          "site/..", "."}) {
    EXPECT_FALSE(files.writeFile(bad, Bytes(20, 'x'))) << bad;
    EXPECT_EQ(files.readFile(bad, 100, read), StoredFile::Missing) << bad;
    EXPECT_FALSE(files.removeFile(bad)) << bad;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.sol")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("data/x.sol")));
  // Files too big, and folders, are not read; a missing file is missing.
  ASSERT_TRUE(files.writeFile("s/big.sol", Bytes(200, 'b')));
  EXPECT_EQ(files.readFile("s/big.sol", 199, read), StoredFile::Unreadable);
  EXPECT_EQ(files.readFile("s", 1000, read), StoredFile::Unreadable);
  EXPECT_EQ(files.readFile("s/none.sol", 1000, read), StoredFile::Missing);
  ASSERT_EQ(::mkfifo((root + "/s/pipe.sol").c_str(), 0600), 0);
  EXPECT_EQ(files.readFile("s/pipe.sol", 1000, read), StoredFile::Unreadable);
  ::unlink((root + "/s/pipe.sol").c_str());
  EXPECT_TRUE(files.removeFile("s/none.sol"));
  // Only stored objects count toward a site's use.
  ASSERT_TRUE(files.writeFile("s/deep/other.txt", Bytes(1000, 't')));
  EXPECT_EQ(files.folderSize("s"), 200u);
  std::vector<std::string> names;
  files.listFiles("s", names);
  EXPECT_EQ(names, std::vector<std::string>{"big.sol"});
  // Without a root nothing is kept.
  SharedObjectFiles none{std::string()};
  EXPECT_FALSE(none.writeFile("s/a.sol", Bytes(20, 'x')));
}

}  // namespace
}  // namespace kivra
