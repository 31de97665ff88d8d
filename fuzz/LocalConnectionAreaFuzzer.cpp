// The shared local-connection block from arbitrary bytes, as another
// process may leave it: the input's first two bytes give the message's
// share, then come the mailbox fields, the message body, the registry, and
// the owners. Whatever the bytes, reading the message and the registry
// stays inside the block; a message that reads whole writes back as one
// that reads the same; a repaired registry is well formed and keeps its
// whole names; sweeping, adding and removing keep the count right.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/net/LocalConnectionArea.h"
#include "core/net/LocalConnectionMessage.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  using Area = LocalConnectionArea;
  if (size < 2) return 0;
  const size_t share = (size_t{data[0]} << 8 | data[1]);
  data += 2, size -= 2;
  std::vector<uint8_t> block(Area::kSharedBytes);
  const size_t head = size < Area::kBodyOffset ? size : Area::kBodyOffset;
  std::memcpy(block.data(), data, head);
  data += head, size -= head;
  const size_t body = std::min({share, size, Area::kMaxBodyBytes});
  std::memcpy(block.data() + Area::kBodyOffset, data, body);
  data += body, size -= body;
  const size_t registry = std::min(size, Area::kRegistryBytes);
  std::memcpy(block.data() + Area::kRegistryOffset, data, registry);
  data += registry, size -= registry;
  std::memcpy(block.data() + Area::kOwnersOffset, data, std::min(size, Area::kMaxNames * 4));

  Area area(block.data(), block.size());
  const std::string_view message = area.message();
  check(message.size() <= Area::kMaxBodyBytes);
  std::string name;
  const bool named = readLocalConnectionName(message, name);
  LocalConnectionMessage m;
  if (readLocalConnectionMessage(message, m)) {
    check(named && m.name == name);
    std::vector<AmfValue> lastFirst(m.args.rbegin(), m.args.rend());
    const std::vector<uint8_t> again = writeLocalConnectionMessage(m.name, m.domain, m.method, lastFirst);
    LocalConnectionMessage back;
    check(readLocalConnectionMessage(std::string_view(reinterpret_cast<const char*>(again.data()), again.size()), back));
    check(back.name == m.name && back.domain == m.domain && back.method == m.method && back.args == m.args);
  }

  const Area::Scan before = area.scan();
  check(before.used < Area::kRegistryBytes);
  size_t seen = 0, evenOwners = 0;
  area.forEachName([&](size_t index, std::string_view n, uint32_t owner) {
    check(index == seen++ && !n.empty() && n.find('\0') == std::string_view::npos);
    check(area.find(n) >= 0 && static_cast<size_t>(area.find(n)) <= index);
    if (owner != 0 && owner % 2 == 0) ++evenOwners;
    return true;
  });
  check(seen == before.count);

  area.repair();
  const Area::Scan repaired = area.scan();
  check(repaired.wellFormed && repaired.count == before.count && repaired.used == before.used);
  check(area.sweepOwners([](uint32_t id) { return id % 2 == 1; }) == evenOwners);
  const Area::Scan swept = area.scan();
  check(swept.wellFormed && swept.count == before.count - evenOwners);
  if (area.add("_fuzz", 7)) {
    check(area.find("_FUZZ") >= 0 && area.scan().count == swept.count + 1);
    check(area.remove("_fuzz") && area.scan().count == swept.count);
  }
  return 0;
}
