#include "platform/PosixLocalConnectionBlock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "core/net/LocalConnectionArea.h"

namespace kivra {

namespace {

constexpr uint32_t kMagic = 0x4B4C4331;  // "KLC1"
constexpr size_t kHeaderBytes = 256;
constexpr size_t kTotalBytes = kHeaderBytes + LocalConnectionArea::kSharedBytes;

uint32_t monotonicMs() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint32_t>(static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1000000);
}

void sleepMs(long ms) {
  timespec t{0, ms * 1000000};
  ::nanosleep(&t, nullptr);
}

}  // namespace

struct PosixLocalConnectionBlock::Header {
  uint32_t magic;
  std::atomic<uint32_t> ready;  // 1 once the mutex is set up
  pthread_mutex_t mutex;
};

std::string PosixLocalConnectionBlock::defaultName() {
  if (const char* env = std::getenv("KIVRA_LOCAL_CONNECTION_SHM"); env && env[0] == '/') return env;
  return "/kivra-player-lc-" + std::to_string(::getuid());
}

PosixLocalConnectionBlock::PosixLocalConnectionBlock(std::string name)
    : name_(name.empty() ? defaultName() : std::move(name)) {}

PosixLocalConnectionBlock::~PosixLocalConnectionBlock() {
  if (map_) ::munmap(map_, mapSize_);
}

PosixLocalConnectionBlock::Header* PosixLocalConnectionBlock::header() const {
  static_assert(sizeof(Header) <= kHeaderBytes);
  static_assert(std::atomic<uint32_t>::is_always_lock_free);
  return static_cast<Header*>(map_);
}

bool PosixLocalConnectionBlock::open() {
  if (tried_) return map_ != nullptr;
  tried_ = true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = ::shm_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    const bool maker = fd >= 0;
    if (!maker) {
      if (errno != EEXIST) return false;
      fd = ::shm_open(name_.c_str(), O_RDWR, 0);
      if (fd < 0) return false;
    } else if (::ftruncate(fd, static_cast<off_t>(kTotalBytes)) != 0) {
      ::close(fd);
      ::shm_unlink(name_.c_str());
      return false;
    }
    // Mapping past the end of a segment its maker has not sized yet would
    // fault on first touch: wait for the size, and then for the mutex.
    const uint32_t start = monotonicMs();
    bool stale = false;
    struct stat st{};
    while (true) {
      if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid()) {
        ::close(fd);
        return false;
      }
      if (static_cast<size_t>(st.st_size) >= kTotalBytes) break;
      if (monotonicMs() - start > kReadyWaitMs) {
        stale = true;
        break;
      }
      sleepMs(5);
    }
    if (stale) {
      // Its maker died before sizing it: make it anew, once.
      ::close(fd);
      ::shm_unlink(name_.c_str());
      continue;
    }
    void* map = ::mmap(nullptr, kTotalBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) return false;
    map_ = map;
    mapSize_ = kTotalBytes;
    Header* h = header();
    if (maker) {
      pthread_mutexattr_t attr;
      pthread_mutexattr_init(&attr);
      pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
      pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
      const int r = pthread_mutex_init(&h->mutex, &attr);
      pthread_mutexattr_destroy(&attr);
      if (r != 0) break;
      h->magic = kMagic;
      h->ready.store(1, std::memory_order_release);
      return true;
    }
    while (h->ready.load(std::memory_order_acquire) != 1 && monotonicMs() - start <= kReadyWaitMs) sleepMs(5);
    if (h->ready.load(std::memory_order_acquire) == 1 && h->magic == kMagic) return true;
    if (h->ready.load(std::memory_order_acquire) == 0 && attempt == 0) {
      // Sized, but its maker died before the mutex was ready.
      ::munmap(map_, mapSize_);
      map_ = nullptr;
      ::shm_unlink(name_.c_str());
      continue;
    }
    break;
  }
  if (map_) ::munmap(map_, mapSize_);
  map_ = nullptr;
  return false;
}

uint8_t* PosixLocalConnectionBlock::bytes() {
  return map_ ? static_cast<uint8_t*>(map_) + kHeaderBytes : nullptr;
}

size_t PosixLocalConnectionBlock::size() const { return map_ ? LocalConnectionArea::kSharedBytes : 0; }

BlockLock PosixLocalConnectionBlock::lock() {
  if (!map_) return BlockLock::Failed;
  const int r = pthread_mutex_lock(&header()->mutex);
  if (r == 0) return BlockLock::Locked;
  if (r == EOWNERDEAD) {
    pthread_mutex_consistent(&header()->mutex);
    return BlockLock::Recovered;
  }
  return BlockLock::Failed;
}

void PosixLocalConnectionBlock::unlock() {
  if (map_) pthread_mutex_unlock(&header()->mutex);
}

uint32_t PosixLocalConnectionBlock::tickCount() { return monotonicMs(); }

uint32_t PosixLocalConnectionBlock::processId() { return static_cast<uint32_t>(::getpid()); }

bool PosixLocalConnectionBlock::processAlive(uint32_t id) {
  // Not a process id: nothing runs under it.
  if (id == 0 || id > static_cast<uint32_t>(INT32_MAX)) return false;
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

}  // namespace kivra
