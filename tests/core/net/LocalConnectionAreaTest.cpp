// The shared local-connection bytes in memory: the registry's bounds and
// repairs, the mailbox, messages and the domain rule.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/net/LocalConnectionArea.h"
#include "core/net/LocalConnectionMessage.h"
#include "core/script/LocalConnections.h"

namespace kivra {
namespace {

struct Block {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(LocalConnectionArea::kSharedBytes);
  LocalConnectionArea area{bytes.data(), bytes.size()};
  Block() { area.setUp(); }
};

TEST(LocalConnectionArea, RegistryNamesAndTheirBound) {
  Block b;
  LocalConnectionArea& a = b.area;
  EXPECT_EQ(a.marker(), 1u);
  EXPECT_TRUE(a.add("_one", 11));
  EXPECT_TRUE(a.add("localhost:two", 12));
  EXPECT_TRUE(a.add("_three", 0));
  EXPECT_EQ(a.find("_ONE"), 0);
  EXPECT_EQ(a.find("LOCALHOST:Two"), 1);
  EXPECT_FALSE(a.add("", 1));
  EXPECT_FALSE(a.add(std::string("a\0b", 3), 1));

  // Removing the middle name moves the rest and its owner down.
  EXPECT_TRUE(a.remove("LOCALHOST:TWO"));
  EXPECT_FALSE(a.remove("localhost:two"));
  std::vector<std::pair<std::string, uint32_t>> seen;
  a.forEachName([&](size_t, std::string_view n, uint32_t o) {
    seen.emplace_back(std::string(n), o);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, uint32_t>>{{"_one", 11}, {"_three", 0}}));

  // Dead owners go; unknown ones (0) stay.
  EXPECT_EQ(a.sweepOwners([](uint32_t id) { return id != 11; }), 1u);
  EXPECT_EQ(a.find("_one"), -1);
  EXPECT_EQ(a.find("_three"), 0);

  // Fill to the byte: a name fits when it, its terminator and the final
  // empty name lie inside the registry.
  Block f;
  const size_t room = LocalConnectionArea::kRegistryBytes - 2;  // one name's text
  EXPECT_FALSE(f.area.add(std::string(room + 1, 'n'), 1));
  EXPECT_TRUE(f.area.add(std::string(room, 'n'), 1));
  EXPECT_FALSE(f.area.add("x", 1));
  const LocalConnectionArea::Scan s = f.area.scan();
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(s.used, LocalConnectionArea::kRegistryBytes - 1);
  EXPECT_TRUE(f.area.remove(std::string(room, 'N')));
  EXPECT_EQ(f.area.scan().used, 0u);
}

TEST(LocalConnectionArea, HalfWrittenBytesAreRepairedOrRefused) {
  Block b;
  ASSERT_TRUE(b.area.add("_whole", 5));
  uint8_t* reg = b.bytes.data() + LocalConnectionArea::kRegistryOffset;
  const size_t used = b.area.scan().used;
  std::memset(reg + used, 'z', LocalConnectionArea::kRegistryBytes - used);
  EXPECT_FALSE(b.area.scan().wellFormed);
  EXPECT_EQ(b.area.find("_whole"), 0);
  b.area.repair();
  EXPECT_TRUE(b.area.scan().wellFormed);
  EXPECT_EQ(b.area.scan().count, 1u);
  EXPECT_TRUE(b.area.add("_next", 6));

  // A length past the body reads as no message.
  b.bytes[LocalConnectionArea::kLengthOffset + 3] = 1;
  EXPECT_TRUE(b.area.messageWaiting());
  EXPECT_TRUE(b.area.message().empty());
  EXPECT_FALSE(b.area.post(1, std::string(LocalConnectionArea::kMaxBodyBytes + 1, 'x')));
  EXPECT_TRUE(b.area.post(7, std::string(LocalConnectionArea::kMaxBodyBytes, 'x')));
  EXPECT_EQ(b.area.message().size(), LocalConnectionArea::kMaxBodyBytes);
  EXPECT_EQ(b.area.stamp(), 7u);

  // Too few bytes: nothing is ever read or written.
  std::vector<uint8_t> small(100);
  LocalConnectionArea none(small.data(), small.size());
  EXPECT_FALSE(none.usable());
  EXPECT_FALSE(none.add("_x", 1));
  EXPECT_EQ(none.marker(), 0u);
}

TEST(LocalConnectionMessage, WritesAndReadsBackWithArgumentsInCallOrder) {
  AmfValue object = AmfValue::ofKind(AmfKind::Object);
  object.members.push_back({"k", AmfValue::ofNumber(3)});
  // Written last first: the object, then "two", then 1.
  const std::vector<uint8_t> bytes = writeLocalConnectionMessage(
      "_x", "localhost", "m", {object, AmfValue::ofString("two"), AmfValue::ofNumber(1)});
  const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string name;
  ASSERT_TRUE(readLocalConnectionName(view, name));
  EXPECT_EQ(name, "_x");
  LocalConnectionMessage m;
  ASSERT_TRUE(readLocalConnectionMessage(view, m));
  EXPECT_EQ(m.domain, "localhost");
  EXPECT_EQ(m.method, "m");
  ASSERT_EQ(m.args.size(), 3u);
  EXPECT_EQ(m.args[0], AmfValue::ofNumber(1));
  EXPECT_EQ(m.args[1], AmfValue::ofString("two"));
  EXPECT_EQ(m.args[2], object);
  // Cut anywhere inside a value: refused.
  for (size_t cut = 1; cut < bytes.size(); ++cut) {
    LocalConnectionMessage part;
    const bool whole = readLocalConnectionMessage(view.substr(0, cut), part);
    if (whole) {
      EXPECT_LT(part.args.size(), 3u) << cut;
    }
  }
  EXPECT_FALSE(readLocalConnectionMessage(std::string_view("\x00\x00\x00\x00\x00\x00\x00\x00\x00", 9), m));
}

TEST(LocalConnectionDomain, ByTheMoviesUrl) {
  EXPECT_EQ(localConnectionDomain("file:///home/a/m.qvx"), "localhost");
  EXPECT_EQ(localConnectionDomain(""), "localhost");
  EXPECT_EQ(localConnectionDomain("http://www.example.test/a/m.qvx"), "example.test");
  EXPECT_EQ(localConnectionDomain("HTTPS://a.b.example.test:8080/m.qvx"), "b.example.test");
  EXPECT_EQ(localConnectionDomain("http://example.test:81"), "example.test");
  EXPECT_EQ(localConnectionDomain("http://127.0.0.1:8000/m.qvx"), "127.0.0.1");
  EXPECT_EQ(localConnectionDomain("ftp://a.b%41.test/m.qvx"), "a.b%41.test");
  EXPECT_EQ(localConnectionDomain("rtmp://media.host.test/app"), "host.test");
  EXPECT_TRUE(reservedLocalConnectionMethod("ONSTATUS"));
  EXPECT_TRUE(reservedLocalConnectionMethod("allowdomain"));
  EXPECT_FALSE(reservedLocalConnectionMethod("onStatus2"));
}

}  // namespace
}  // namespace kivra
