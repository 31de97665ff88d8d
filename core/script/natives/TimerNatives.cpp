// setInterval and clearInterval (class 250), and the servicing of the timer
// table from the player's tick.
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

constexpr uint32_t kClockMask = 0x7FFFFFFF;

void setInterval(NativeCall& c) {
  ScriptEngine& e = c.engine;
  if (c.argc < 2) return;
  IntervalTimer t;
  int first = 0;
  ScriptObject* o = e.toObject(c.arg(0));
  if (!o) return;  // neither a function nor an object
  if (o->isFunction()) {
    t.function = c.arg(0);
    t.periodMs = static_cast<uint32_t>(toInt32(e, c.arg(1)));
    first = 2;
  } else {
    if (c.argc < 3 || c.arg(1).isUndefined()) return;
    t.object = c.arg(0);
    t.method = e.toStringValue(c.arg(1));
    t.periodMs = static_cast<uint32_t>(toInt32(e, c.arg(2)));
    first = 3;
  }
  for (int i = first; i < c.argc; ++i) t.args.push_back(c.arg(i));
  t.lastCallMs = e.player().milliseconds() & kClockMask;
  // Past the limit no timer is made and the result stays undefined.
  if (const int number = e.timers().add(std::move(t))) c.result = ScriptValue::number(number);
}

void clearInterval(NativeCall& c) {  // clearInterval(number)
  ScriptEngine& e = c.engine;
  if (c.argc >= 1) e.timers().clear(toInt32(e, c.arg(0)));
}

constexpr NativeMethod kTimerMethods[] = {{0, "setInterval", setInterval}, {1, "clearInterval", clearInterval}};

}  // namespace

const NativeClass kTimerNatives{kNativeTimer, "timers", kTimerMethods};

void serviceIntervalTimers(ScriptEngine& e, bool shortOnly, uint32_t framePeriodMs) {
  IntervalTimers& timers = e.timers();
  // By index and count at entry: a handler may add timers (they wait for the
  // next round) but never removes entries while this runs.
  const size_t count = timers.size();
  // Once a handler ran away, the rest wait for the next tick: a thousand
  // runaway handlers must not each take the whole time limit in one tick.
  const uint64_t aborts = e.limitAborts();
  for (size_t i = 0; i < count && i < timers.size() && e.limitAborts() == aborts; ++i) {
    IntervalTimer& t = timers.at(i);
    if (t.cleared) continue;
    if (shortOnly && t.periodMs >= framePeriodMs) continue;
    const uint32_t now = e.player().milliseconds() & kClockMask;
    if (((now - t.lastCallMs) & kClockMask) < (t.periodMs & kClockMask)) continue;
    const int number = t.number;
    std::vector<ScriptValue> args = t.args;
    if (t.function.isObject()) {
      ScriptValue fn = t.function;
      e.callFromOutside(fn, ScriptValue(), args.data(), static_cast<int>(args.size()));
    } else {
      ScriptObject* o = e.toObject(t.object);
      ScriptValue fn;
      if (!o || !e.getMember(o, t.method.stringView(), fn) || !fn.isObject()) {
        timers.clear(t.number);  // the object or its method is gone
        continue;
      }
      ScriptValue self = t.object;
      e.callFromOutside(fn, self, args.data(), static_cast<int>(args.size()));
    }
    if (e.takeRedrawRequest()) e.player().updateNow();
    // The table may have grown: find the timer again by its number.
    for (size_t k = 0; k < timers.size(); ++k)
      if (timers.at(k).number == number) timers.at(k).lastCallMs = e.player().milliseconds() & kClockMask;
  }
  timers.releaseCleared();
}

}  // namespace kivra
