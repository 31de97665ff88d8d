#pragma once
// A host that does nothing, for tests, fuzz targets and benchmarks that run
// the core without a window. Subclasses override what they want to watch.
#include <cstdint>
#include <string>

#include "core/CorePlayer.h"

namespace kivra::test {

class StubHost : public CorePlayer {
 public:
  StubHost(int width = 8, int height = 8) : width_(width), height_(height) {}

  void startFrameTimer(uint32_t, uint32_t) override {}
  void stopFrameTimer() override {}
  PixelRect clientRectangle() override { return PixelRect{0, 0, width_, height_}; }
  void updateNow() override {}
  void invalidate() override {}
  void movieSizeChanged(int, int) override {}
  bool setCursor(CursorKind) override { return true; }
  bool askToAbortSlowScript() override { return true; }
  void fillBackground(Rgba) override {}
  uint32_t milliseconds() override { return clock; }
  // Jumps ahead at every look (one every 1,024 actions), so a runaway script
  // meets the slow-script limit after about a million actions, not never.
  uint32_t scriptClock() override { return scriptMs += 16; }
  bool hostCommand(const std::string&, const std::string&) override { return false; }

  uint32_t clock = 0;
  uint32_t scriptMs = 0;

 private:
  int width_;
  int height_;
};

}  // namespace kivra::test
