#pragma once
// The bytes that players share for local connections, read and written in
// place. Every access is bounds-checked: the bytes come from other
// processes, any of which may have died half-way through a write, so
// nothing read from them is trusted.
//
// Layout (little-endian):
//   0       i32  marker, 1 once a player has set the block up
//   4       i32  1 once set up
//   8       i32  tick count when the waiting message was posted
//   12      i32  length of the waiting message, 0 = mailbox empty
//   16      40,960 bytes  the message body
//   40,976  23,552 bytes  the registry: zero-ended names, then an empty name
//   64,528  u32 per registry name, in registry order: the process that
//           registered it (0: unknown), so that a crashed player's names
//           can be swept.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivra {

class LocalConnectionArea {
 public:
  static constexpr size_t kMarkerOffset = 0;
  static constexpr size_t kSetUpOffset = 4;
  static constexpr size_t kStampOffset = 8;
  static constexpr size_t kLengthOffset = 12;
  static constexpr size_t kBodyOffset = 16;
  static constexpr size_t kMaxBodyBytes = 40960;
  static constexpr size_t kRegistryOffset = kBodyOffset + kMaxBodyBytes;
  static constexpr size_t kRegistryBytes = 23552;
  static constexpr size_t kBlockBytes = kRegistryOffset + kRegistryBytes;  // 64,528
  // Every name takes at least two bytes, and the final empty name one.
  static constexpr size_t kMaxNames = kRegistryBytes / 2;
  static constexpr size_t kOwnersOffset = kBlockBytes;
  static constexpr size_t kSharedBytes = kOwnersOffset + kMaxNames * 4;

  // `size` below kSharedBytes makes an area that is never set up.
  LocalConnectionArea(uint8_t* bytes, size_t size) : p_(size >= kSharedBytes ? bytes : nullptr) {}

  bool usable() const { return p_ != nullptr; }
  uint32_t marker() const { return get(kMarkerOffset); }
  // Marker 1, an empty registry and an empty mailbox.
  void setUp();

  // ---- Mailbox ---------------------------------------------------------------
  uint32_t stamp() const { return get(kStampOffset); }
  uint32_t length() const { return get(kLengthOffset); }
  bool messageWaiting() const { return length() != 0; }
  // The waiting message's bytes; empty when none waits or its length is
  // beyond the body (a bad length: the caller clears the mailbox).
  std::string_view message() const;
  // False, and nothing written, when `body` is empty or too long.
  bool post(uint32_t stampMs, std::string_view body);
  void clearMailbox();

  // ---- Registry --------------------------------------------------------------
  struct Scan {
    size_t used = 0;   // bytes of the whole names, terminators included
    size_t count = 0;  // whole names
    bool wellFormed = false;  // the final empty name lies inside the registry
  };
  Scan scan() const;
  // Calls f(index, name, owner) for each whole name; stops when f returns false.
  void forEachName(const std::function<bool(size_t, std::string_view, uint32_t)>& f) const;
  // The index of a name (letter case ignored), or -1.
  int find(std::string_view name) const;
  // Appends a name, keeping room for its terminator and the final empty
  // name. False when it is empty, holds a zero byte, or does not fit.
  bool add(std::string_view name, uint32_t owner);
  // Removes a name (letter case ignored); false when it is not there.
  bool remove(std::string_view name);
  // Removes every name whose known owner `alive` says is gone; returns how
  // many went.
  size_t sweepOwners(const std::function<bool(uint32_t)>& alive);
  // Ends the registry after its last whole name and forgets the owners
  // past it: after a holder of the lock died, whatever it left half
  // written goes.
  void repair();

 private:
  uint32_t get(size_t offset) const;
  void set(size_t offset, uint32_t v);
  uint8_t* registry() const { return p_ + kRegistryOffset; }
  uint32_t owner(size_t index) const { return index < kMaxNames ? get(kOwnersOffset + index * 4) : 0; }
  void setOwner(size_t index, uint32_t v) {
    if (index < kMaxNames) set(kOwnersOffset + index * 4, v);
  }
  void removeAt(size_t index, size_t offset, size_t nameBytes, const Scan& s);

  uint8_t* p_;
};

}  // namespace kivra
