#include "core/net/LocalConnectionArea.h"

#include <cstring>

#include "core/format/CaseInsensitive.h"

namespace kivra {

namespace {

constexpr size_t R = LocalConnectionArea::kRegistryBytes;

// The length of the name at `pos` with its terminator, or 0 when no whole
// name starts there: an empty name (the end), or one whose terminator would
// leave no room for the final empty name.
size_t nameBytesAt(const uint8_t* reg, size_t pos) {
  if (pos + 1 >= R || reg[pos] == 0) return 0;
  const void* z = std::memchr(reg + pos, 0, R - 1 - pos);
  if (!z) return 0;
  return static_cast<size_t>(static_cast<const uint8_t*>(z) - (reg + pos)) + 1;
}

}  // namespace

uint32_t LocalConnectionArea::get(size_t offset) const {
  if (!p_ || offset + 4 > kSharedBytes) return 0;
  return uint32_t{p_[offset]} | uint32_t{p_[offset + 1]} << 8 | uint32_t{p_[offset + 2]} << 16 |
         uint32_t{p_[offset + 3]} << 24;
}

void LocalConnectionArea::set(size_t offset, uint32_t v) {
  if (!p_ || offset + 4 > kSharedBytes) return;
  for (int i = 0; i < 4; ++i) p_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

void LocalConnectionArea::setUp() {
  if (!p_) return;
  set(kMarkerOffset, 1);
  set(kSetUpOffset, 1);
  registry()[0] = 0;
  std::memset(p_ + kOwnersOffset, 0, kMaxNames * 4);
  clearMailbox();
}

std::string_view LocalConnectionArea::message() const {
  const uint32_t n = length();
  if (!p_ || n == 0 || n > kMaxBodyBytes) return {};
  return std::string_view(reinterpret_cast<const char*>(p_ + kBodyOffset), n);
}

bool LocalConnectionArea::post(uint32_t stampMs, std::string_view body) {
  if (!p_ || body.empty() || body.size() > kMaxBodyBytes) return false;
  std::memcpy(p_ + kBodyOffset, body.data(), body.size());
  set(kStampOffset, stampMs);
  set(kLengthOffset, static_cast<uint32_t>(body.size()));
  return true;
}

void LocalConnectionArea::clearMailbox() {
  set(kStampOffset, 0);
  set(kLengthOffset, 0);
}

LocalConnectionArea::Scan LocalConnectionArea::scan() const {
  Scan s;
  if (!p_) return s;
  const uint8_t* reg = registry();
  size_t n;
  while ((n = nameBytesAt(reg, s.used)) != 0) {
    s.used += n;
    ++s.count;
  }
  s.wellFormed = reg[s.used] == 0;
  return s;
}

void LocalConnectionArea::forEachName(const std::function<bool(size_t, std::string_view, uint32_t)>& f) const {
  if (!p_) return;
  const uint8_t* reg = registry();
  size_t pos = 0, index = 0, n;
  while ((n = nameBytesAt(reg, pos)) != 0) {
    if (!f(index, std::string_view(reinterpret_cast<const char*>(reg + pos), n - 1), owner(index))) return;
    pos += n;
    ++index;
  }
}

int LocalConnectionArea::find(std::string_view name) const {
  int found = -1;
  forEachName([&](size_t index, std::string_view present, uint32_t) {
    if (!equalsIgnoringCase(present, name)) return true;
    found = static_cast<int>(index);
    return false;
  });
  return found;
}

bool LocalConnectionArea::add(std::string_view name, uint32_t ownerId) {
  if (!p_ || name.empty() || name.find('\0') != std::string_view::npos) return false;
  repair();
  const Scan s = scan();
  if (s.used + name.size() + 2 > R) return false;
  uint8_t* reg = registry();
  std::memcpy(reg + s.used, name.data(), name.size());
  reg[s.used + name.size()] = 0;
  reg[s.used + name.size() + 1] = 0;
  setOwner(s.count, ownerId);
  return true;
}

bool LocalConnectionArea::remove(std::string_view name) {
  if (!p_) return false;
  repair();
  const Scan s = scan();
  const uint8_t* reg = registry();
  size_t pos = 0, index = 0, n;
  while ((n = nameBytesAt(reg, pos)) != 0) {
    if (equalsIgnoringCase(std::string_view(reinterpret_cast<const char*>(reg + pos), n - 1), name)) {
      removeAt(index, pos, n, s);
      return true;
    }
    pos += n;
    ++index;
  }
  return false;
}

void LocalConnectionArea::removeAt(size_t index, size_t offset, size_t nameBytes, const Scan& s) {
  uint8_t* reg = registry();
  // The rest moves down, the final empty name with it.
  std::memmove(reg + offset, reg + offset + nameBytes, s.used + 1 - offset - nameBytes);
  for (size_t i = index; i + 1 < s.count; ++i) setOwner(i, owner(i + 1));
  if (s.count > 0) setOwner(s.count - 1, 0);
}

size_t LocalConnectionArea::sweepOwners(const std::function<bool(uint32_t)>& alive) {
  if (!p_) return 0;
  uint8_t* reg = registry();
  size_t read = 0, write = 0, in = 0, out = 0, n;
  while ((n = nameBytesAt(reg, read)) != 0) {
    const uint32_t o = owner(in);
    if (o == 0 || alive(o)) {
      std::memmove(reg + write, reg + read, n);
      setOwner(out++, o);
      write += n;
    }
    read += n;
    ++in;
  }
  reg[write] = 0;
  for (size_t i = out; i < in; ++i) setOwner(i, 0);
  return in - out;
}

void LocalConnectionArea::repair() {
  if (!p_) return;
  const Scan s = scan();
  registry()[s.used] = 0;
  for (size_t i = s.count; i < kMaxNames; ++i)
    if (owner(i) != 0) setOwner(i, 0);
}

}  // namespace kivra
