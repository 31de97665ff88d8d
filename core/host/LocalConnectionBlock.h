#pragma once
// The memory that players of one user share for local connections, with
// the lock that guards it, as the host provides them. The core reads and
// writes the bytes (their layout is LocalConnectionArea's); the host only
// maps them and locks.
//
// Contract: player thread only. open() is called once before anything
// else; when it fails the other calls are never made. bytes() stays valid
// until the object is destroyed and holds kSharedBytes bytes, all zero when
// no player has used them yet. lock() is not recursive: the core locks at
// most once at a time and never across a frame. Every read or write of the
// bytes happens between lock() and unlock().
#include <cstddef>
#include <cstdint>

namespace kivra {

enum class BlockLock : uint8_t {
  Failed,     // not locked: the operation fails
  Locked,
  Recovered,  // locked, but the last holder died holding it: the bytes may be half written
};

class LocalConnectionBlock {
 public:
  virtual ~LocalConnectionBlock() = default;
  // Maps the shared bytes (creating them when no player has); false when
  // they cannot be had.
  virtual bool open() = 0;
  virtual uint8_t* bytes() = 0;
  virtual size_t size() const = 0;
  [[nodiscard]] virtual BlockLock lock() = 0;
  virtual void unlock() = 0;
  // Milliseconds of a clock that every process on the machine shares and
  // that never goes back (wraps at 2^32).
  virtual uint32_t tickCount() = 0;
  // This process, and whether another one still runs.
  virtual uint32_t processId() = 0;
  virtual bool processAlive(uint32_t id) = 0;
};

}  // namespace kivra
