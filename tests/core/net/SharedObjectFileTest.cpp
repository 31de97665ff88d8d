// Shared-object files and places: a file written byte for byte, the
// versions and foreign files the reader takes or ignores, cut files at
// every length, the name rules, and where objects of local, network and
// hostile movies land (never outside their site's folder).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/net/SharedObjectFile.h"
#include "core/net/SharedObjectPath.h"

namespace kivra {
namespace {

using Bytes = std::vector<uint8_t>;

AmfValue object(std::vector<AmfMember> members, AmfKind kind = AmfKind::Object) {
  AmfValue v = AmfValue::ofKind(kind);
  v.members = std::move(members);
  return v;
}

// The object "hi" holding n = 1, s = "ab", o = {x: null}, r = o again and
// a = [true], worked out by hand.
const Bytes kHandWorked = {
    0x00, 0xBF, 0x00, 0x00, 0x00, 0x4C,                          // record 2, 76 bytes follow
    'T', 'C', 'S', 'O', 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,      // magic, version 4, kept value
    0x00, 0x02, 'h', 'i', 0x00, 0x00, 0x00, 0x00,                // name, stamp
    0x00, 0x01, 'n', 0x00, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x00,   // n: number 1
    0x00, 0x01, 's', 0x02, 0x00, 0x02, 'a', 'b', 0x00,           // s: "ab"
    0x00, 0x01, 'o', 0x03, 0x00, 0x01, 'x', 0x05, 0x00, 0x00, 0x09, 0x00,  // o: {x: null}, object 1
    0x00, 0x01, 'r', 0x07, 0x00, 0x01, 0x00,                     // r: object 1 again
    0x00, 0x01, 'a', 0x08, 0x00, 0x00, 0x00, 0x01,               // a: mixed array of 1
    0x00, 0x01, '0', 0x01, 0x01, 0x00, 0x00, 0x09, 0x00,         //    "0": true
};

SharedObjectFile handWorkedObject() {
  SharedObjectFile f;
  f.name = "hi";
  AmfValue yes = AmfValue::ofKind(AmfKind::Boolean);
  yes.boolean = true;
  AmfValue array = object({{"0", yes}}, AmfKind::MixedArray);
  array.index = 1;
  AmfValue ref = AmfValue::ofKind(AmfKind::Reference);
  ref.index = 1;
  f.members = {{"n", AmfValue::ofNumber(1)},
               {"s", AmfValue::ofString("ab")},
               {"o", object({{"x", AmfValue::ofKind(AmfKind::Null)}})},
               {"r", ref},
               {"a", array}};
  return f;
}

SolReadStatus read(const Bytes& b, SharedObjectFile& out) { return readSharedObjectFile(b.data(), b.size(), out); }

TEST(SharedObjectFileTest, WritesAndReadsTheHandWorkedFile) {
  EXPECT_EQ(writeSharedObjectFile(handWorkedObject()), kHandWorked);
  SharedObjectFile f;
  ASSERT_EQ(read(kHandWorked, f), SolReadStatus::Ok);
  EXPECT_EQ(f.name, "hi");
  EXPECT_EQ(f.members, handWorkedObject().members);

  // A long-path file carries its relative path in a second record.
  SharedObjectFile longOne = handWorkedObject();
  longOne.longPath = "site/p/hi.sol";
  Bytes withPath = kHandWorked;
  const Bytes tail = {0x00, 0xFF, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x0D, 's', 'i', 't', 'e', '/', 'p', '/',
                      'h',  'i',  '.',  's',  'o',  'l'};
  withPath.insert(withPath.end(), tail.begin(), tail.end());
  EXPECT_EQ(writeSharedObjectFile(longOne), withPath);
  ASSERT_EQ(read(withPath, f), SolReadStatus::Ok);
  EXPECT_EQ(f.longPath, "site/p/hi.sol");
  EXPECT_EQ(f.members.size(), 5u);
}

TEST(SharedObjectFileTest, VersionsAndForeignFiles) {
  SharedObjectFile f;
  // Version 2 and 3 have no kept value after the version.
  for (uint8_t version : {2, 3}) {
    Bytes old = {0x00, 0xBF, 0, 0, 0, 0x13, 'T', 'C', 'S', 'O', 0, version, 0, 2, 'h', 'i', 0, 0, 0, 7,
                 0, 1, 'n', 5, 0};
    ASSERT_EQ(read(old, f), SolReadStatus::Ok) << int(version);
    EXPECT_EQ(f.stamp, 7u);
    ASSERT_EQ(f.members.size(), 1u);
    EXPECT_EQ(f.members[0].value.kind, AmfKind::Null);
  }
  Bytes v5 = kHandWorked;
  v5[11] = 5;
  EXPECT_EQ(read(v5, f), SolReadStatus::BadVersion);
  Bytes magic = kHandWorked;
  magic[6] = 'X';
  EXPECT_EQ(read(magic, f), SolReadStatus::NotAnObject);
  Bytes type = kHandWorked;
  type[1] = 0xFF;  // record type 3
  EXPECT_EQ(read(type, f), SolReadStatus::NotAnObject);
  EXPECT_EQ(read(Bytes(kHandWorked.begin(), kHandWorked.begin() + 9), f), SolReadStatus::TooShort);
  // A member that cannot be read ends the members; those before it stay.
  Bytes damaged = kHandWorked;
  damaged[40] = 0x42;  // the marker of s
  EXPECT_EQ(read(damaged, f), SolReadStatus::Damaged);
  EXPECT_EQ(f.members.size(), 1u);
  // A reference to an object not read yet is damage, not a crash.
  Bytes forward = kHandWorked;
  forward[63] = 0x05;  // r names object 5
  EXPECT_EQ(read(forward, f), SolReadStatus::Damaged);
}

TEST(SharedObjectFileTest, EveryCutAndEveryByteChangeIsSafe) {
  SharedObjectFile longOne = handWorkedObject();
  longOne.longPath = "site/x.sol";
  const Bytes whole = writeSharedObjectFile(longOne);
  for (size_t n = 0; n < whole.size(); ++n) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    SharedObjectFile f;
    const SolReadStatus s = read(cut, f);
    if (n < kHandWorked.size()) EXPECT_NE(s, SolReadStatus::Ok) << n;
    else EXPECT_TRUE(f.longPath.empty()) << n;  // the path record is whole or ignored
  }
  for (size_t i = 0; i < whole.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      Bytes changed = whole;
      changed[i] ^= static_cast<uint8_t>(1 << bit);
      SharedObjectFile f;
      (void)read(changed, f);
    }
}

TEST(SharedObjectPathTest, NameRules) {
  for (const char* ok : {"a", "high/score", "/lead", "x.y", "caf\xC3\xA9", "a/./b", "..a", "a.."})
    EXPECT_TRUE(sharedObjectNameAllowed(ok)) << ok;
  for (const char* bad : {"", "a b", "a#b", "a:b", "a~", "a&b", "a\\b", "a;b", "a\"b", "a'b", "a,b", "a<b", "a>b",
                          "a?b", "a//b", "../a", "a/../b", "tab\there"})
    EXPECT_FALSE(sharedObjectNameAllowed(bad)) << bad;
}

TEST(SharedObjectPathTest, PlacesOfLocalAndNetworkMovies) {
  SharedObjectPlace p;
  ASSERT_TRUE(placeSharedObject("/home/u/m.qvx", "game", nullptr, 20, p));
  EXPECT_EQ(p.path, "localhost/home/u/m.qvx/game.sol");
  EXPECT_EQ(p.site, "localhost");
  EXPECT_FALSE(p.longPath);
  ASSERT_TRUE(placeSharedObject("file:///home/u/m.qvx", "/game", nullptr, 20, p));
  EXPECT_EQ(p.path, "localhost/home/u/m.qvx/game.sol");
  EXPECT_EQ(p.name, "game");
  // A server named localhost never shares the local movies' folder.
  ASSERT_TRUE(placeSharedObject("http://LocalHost:8080/g/m.qvx?x=1/../..", "a/b", nullptr, 20, p));
  EXPECT_EQ(p.path, "#localhost/g/m.qvx/#a/b.sol");
  const std::string folder = "/g/";
  ASSERT_TRUE(placeSharedObject("http://www.example.org/g/m.qvx", "s", &folder, 20, p));
  EXPECT_EQ(p.path, "www.example.org/g/s.sol");
  const std::string notLeading = "/h";
  EXPECT_FALSE(placeSharedObject("http://www.example.org/g/m.qvx", "s", &notLeading, 20, p));
  const std::string root = "/";
  ASSERT_TRUE(placeSharedObject("http://www.example.org/g/m.qvx", "s", &root, 20, p));
  EXPECT_EQ(p.path, "www.example.org/s.sol");
  // Bytes above 0x7F become their hex digits around "#".
  ASSERT_TRUE(placeSharedObject("/d\xC3\xA9/m.qvx", "\xFF", nullptr, 20, p));
  EXPECT_EQ(p.path, "localhost/dC#3A#9/m.qvx/F#F.sol");
  EXPECT_EQ(p.logicalPath, "localhost/d\xC3\xA9/m.qvx/\xFF.sol");
  ASSERT_TRUE(placeSharedObject("http://h/support/kivraplayer/sys/s.qvx", "settings", nullptr, 20, p));
  EXPECT_TRUE(p.settingsScope);
}

TEST(SharedObjectPathTest, HostilePathsStayInTheirSite) {
  SharedObjectPlace p;
  // Climbing above the start fails; within the path it only shortens it.
  EXPECT_FALSE(placeSharedObject("http://h/../../etc/m.qvx", "s", nullptr, 20, p));
  EXPECT_FALSE(placeSharedObject("http://h/a/..\\..\\m.qvx", "s", nullptr, 20, p));
  EXPECT_FALSE(placeSharedObject("file:///%2e%2e/%2e%2e/m.qvx", "s", nullptr, 20, p));
  ASSERT_TRUE(placeSharedObject("http://h/a/../m.qvx", "s", nullptr, 20, p));
  EXPECT_EQ(p.path, "h/m.qvx/s.sol");
  // Escapes stay as they are in a network path: "%2e%2e" is a plain name there.
  ASSERT_TRUE(placeSharedObject("http://h/%2e%2e/m.qvx", "s", nullptr, 20, p));
  EXPECT_EQ(p.path, "h/%2e%2e/m.qvx/s.sol");
  const std::string up = "/a/../..";
  EXPECT_FALSE(placeSharedObject("http://h/a/../../x", "s", &up, 20, p));
  EXPECT_FALSE(placeSharedObject("http://../m.qvx", "s", nullptr, 20, p));
  EXPECT_FALSE(placeSharedObject("http://h/a\x01/m.qvx", "s", nullptr, 20, p));
  EXPECT_FALSE(placeSharedObject("/m.qvx", "a/../b", nullptr, 20, p));
  EXPECT_FALSE(placeSharedObject("/m.qvx", "a/./b", nullptr, 20, p));
  ASSERT_TRUE(placeSharedObject("/m.qvx", "a/.", nullptr, 20, p));
  EXPECT_EQ(p.path, "localhost/m.qvx/#a/..sol");
  EXPECT_FALSE(placeSharedObject("/m.qvx", "/", nullptr, 20, p));
  // A 300-character name goes to the hashed folder; no name on the way is
  // longer than a file name may be.
  const std::string longName(300, 'n');
  ASSERT_TRUE(placeSharedObject("/m.qvx", longName, nullptr, 20, p));
  EXPECT_TRUE(p.longPath);
  EXPECT_EQ(p.path, "localhost/" + longPathFolder(p.logicalPath));
  // Names and paths are stored with 16-bit lengths.
  EXPECT_FALSE(placeSharedObject("/m.qvx", std::string(70000, 'n'), nullptr, 20, p));
  const std::string longHost = "http://" + std::string(300, 'h') + "/m.qvx";
  ASSERT_TRUE(placeSharedObject(longHost, "s", nullptr, 20, p));
  EXPECT_EQ(p.site, std::string(45, 'h') + "#/" + std::string(255, 'h'));
  for (const std::string& path : {p.path, safeStoredPath(std::string(600, 'x'))}) {
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i)
      if (i == path.size() || path[i] == '/') {
        EXPECT_LE(i - start, kMaxStoredNameLength);
        start = i + 1;
      }
  }
}

TEST(SharedObjectPathTest, LongPathHashes) {
  // Both hashes start at 0, A-Z lowered: "a" gives 0x61 twice, "ab" gives
  // (0x61 << 5) + 0x62 and (0x61 << 6) + 0x62.
  EXPECT_EQ(longPathFolder("A"), "##0000006100000061");
  EXPECT_EQ(longPathFolder("ab"), "##00000C82000018A2");
  SharedObjectPlace p;
  // The long-path rule counts the root: 259 characters stay, 260 go.
  ASSERT_TRUE(placeSharedObject("/m.qvx", "s", nullptr, 0, p));
  const size_t length = p.path.size();
  ASSERT_TRUE(placeSharedObject("/m.qvx", "s", nullptr, kLongStoredPath - 2 - length, p));
  EXPECT_FALSE(p.longPath);
  ASSERT_TRUE(placeSharedObject("/m.qvx", "s", nullptr, kLongStoredPath - 1 - length, p));
  EXPECT_TRUE(p.longPath);
}

}  // namespace
}  // namespace kivra
