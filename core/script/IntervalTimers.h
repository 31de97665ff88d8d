#pragma once
// The interval timers made by setInterval: a table keyed by consecutive
// interval numbers. The engine owns one; the player's tick services it.
#include <cstdint>
#include <vector>

#include "core/script/ScriptValue.h"

namespace kivra {

struct IntervalTimer {
  int number = 0;
  // Either a function (called with `this` undefined) or an object and the
  // name of its method.
  ScriptValue function;
  ScriptValue object;
  ScriptValue method;
  uint32_t periodMs = 0;
  std::vector<ScriptValue> args;
  uint32_t lastCallMs = 0;  // when the last call ended (31-bit clock)
  bool cleared = false;
};

class IntervalTimers {
 public:
  // Timers alive at once; setInterval past it makes none.
  static constexpr size_t kMaxTimers = 10000;

  // Adds a timer and returns its interval number; 0 when kMaxTimers are
  // alive.
  int add(IntervalTimer timer) {
    if (live_ >= kMaxTimers) {
      ++refused_;
      return 0;
    }
    timer.number = next_++;
    ++live_;
    timers_.push_back(std::move(timer));
    return timers_.back().number;
  }
  // Marks the timer cleared; false for an unknown number.
  bool clear(int number) {
    for (IntervalTimer& t : timers_)
      if (t.number == number && !t.cleared) {
        t.cleared = true;
        --live_;
        return true;
      }
    return false;
  }
  size_t size() const { return timers_.size(); }
  // setInterval calls refused because kMaxTimers were alive (diagnostics).
  size_t refused() const { return refused_; }
  IntervalTimer& at(size_t i) { return timers_[i]; }
  // Cleared timers leave the table (never while it is being serviced).
  void releaseCleared() {
    std::vector<IntervalTimer> live;
    for (IntervalTimer& t : timers_)
      if (!t.cleared) live.push_back(std::move(t));
    timers_ = std::move(live);
  }
  void clearAll() {
    timers_.clear();
    live_ = 0;
  }

 private:
  std::vector<IntervalTimer> timers_;
  int next_ = 1;
  size_t live_ = 0;  // timers not cleared
  size_t refused_ = 0;
};

}  // namespace kivra
