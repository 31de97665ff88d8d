#pragma once
// A host that does nothing, for tests, fuzz targets and benchmarks that run
// the core without a window: a client area of a fixed size, a clock the
// test sets, and a script clock that runs ahead. Subclasses override what
// they want to watch.
#include <cstdint>
#include <string>

#include "core/host/NullHost.h"

namespace kivra::test {

class StubHost : public NullHost {
 public:
  StubHost(int width = 8, int height = 8) : width_(width), height_(height) {}

  PixelRect clientRectangle() override { return PixelRect{0, 0, width_, height_}; }
  uint32_t milliseconds() override { return clock; }
  // Jumps ahead at every look (one every 1,024 actions), so a runaway script
  // meets the slow-script limit after about a million actions, not never.
  uint32_t scriptClock() override { return scriptMs += 16; }

  uint32_t clock = 0;
  uint32_t scriptMs = 0;

 private:
  int width_;
  int height_;
};

}  // namespace kivra::test
