#pragma once
// The host's clocks, in milliseconds; both may wrap.
#include <cstdint>

namespace kivra {

class HostClock {
 public:
  virtual ~HostClock() = default;
  // The clock frames and scripts see (real, or virtual in a headless run).
  virtual uint32_t milliseconds() = 0;
  // The clock that times a running script for the slow-script question:
  // real time even where milliseconds() is a virtual clock.
  virtual uint32_t scriptClock() { return milliseconds(); }
};

}  // namespace kivra
