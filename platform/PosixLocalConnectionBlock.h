#pragma once
// The local-connection block in POSIX shared memory, one per user
// ("/kivra-player-lc-<uid>", or the name in $KIVRA_LOCAL_CONNECTION_SHM,
// which tests use to keep to themselves). The segment starts with a small
// header holding a process-shared, robust mutex, then the core's bytes.
//
// The maker creates the segment with O_EXCL, sets up the mutex and then
// marks the header ready; the others wait for that mark for at most
// kReadyWaitMs. A player that dies holding the mutex leaves it to the next
// one as BlockLock::Recovered. The segment is never unlinked: players come
// and go, and it outlives them as a file in /dev/shm would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/host/LocalConnectionBlock.h"

namespace kivra {

class PosixLocalConnectionBlock : public LocalConnectionBlock {
 public:
  static constexpr uint32_t kReadyWaitMs = 2000;

  // `name` empty: the environment's, else the user's.
  explicit PosixLocalConnectionBlock(std::string name = {});
  ~PosixLocalConnectionBlock() override;
  PosixLocalConnectionBlock(const PosixLocalConnectionBlock&) = delete;
  PosixLocalConnectionBlock& operator=(const PosixLocalConnectionBlock&) = delete;

  bool open() override;
  uint8_t* bytes() override;
  size_t size() const override;
  BlockLock lock() override;
  void unlock() override;
  uint32_t tickCount() override;
  uint32_t processId() override;
  bool processAlive(uint32_t id) override;

  const std::string& name() const { return name_; }
  // The name used when none is given.
  static std::string defaultName();

 private:
  struct Header;
  Header* header() const;

  std::string name_;
  void* map_ = nullptr;
  size_t mapSize_ = 0;
  bool tried_ = false;
};

}  // namespace kivra
