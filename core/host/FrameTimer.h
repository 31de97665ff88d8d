#pragma once
// The periodic tick that drives the player. The host calls
// CorePlayer::frameStep(true) at each tick once the timer is started, on the
// player's thread, until it is stopped.
#include <cstdint>

namespace kivra {

class FrameTimer {
 public:
  virtual ~FrameTimer() = default;
  // Ticks every `tickMs`; the text caret blinks every `caretMs`. Starting a
  // running timer restarts it with the new periods.
  virtual void startFrameTimer(uint32_t tickMs, uint32_t caretMs) = 0;
  virtual void stopFrameTimer() = 0;
};

}  // namespace kivra
