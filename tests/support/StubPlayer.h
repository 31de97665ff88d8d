#pragma once
// A core player with a host of its own, for tests, fuzz targets and
// benchmarks: the host is built first and outlives the player. `stub()` is
// the host, for what a test set up on it or wants to read back.
#include <utility>

#include "core/CorePlayer.h"
#include "tests/support/StubHost.h"

namespace kivra::test {

// Holds the host in a base, so that it is built before the player.
template <class HostT>
struct OwnHost {
  template <class... Args>
  explicit OwnHost(Args&&... args) : ownHost(std::forward<Args>(args)...) {}
  HostT ownHost;
};

template <class HostT = StubHost>
class StubPlayerOf : private OwnHost<HostT>, public CorePlayer {
 public:
  template <class... Args>
  explicit StubPlayerOf(Args&&... args)
      : OwnHost<HostT>(std::forward<Args>(args)...), CorePlayer(this->ownHost.host()) {}
  HostT& stub() { return this->ownHost; }
  const HostT& stub() const { return this->ownHost; }
};

using StubPlayer = StubPlayerOf<StubHost>;

}  // namespace kivra::test
