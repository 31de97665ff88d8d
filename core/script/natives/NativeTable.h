#pragma once
// Native routines declared as tables: one table per class, one entry per
// method number. A class's dispatcher looks the method up in its table; a
// method number without an entry leaves the result undefined.
//
// Also the argument helpers that the class natives share. Everything runs on
// the player's thread; nothing here keeps state between calls.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/script/ScriptEngine.h"

namespace kivra {

// Native class numbers of the standard classes.
enum StandardNativeClass : uint16_t {
  kNativeDate = 103,
  kNativeNumber = 106,
  kNativeBoolean = 107,
  kNativeMath = 200,
  kNativeString = 251,
  kNativeArray = 252,
};

struct NativeMethod {
  uint16_t method;
  void (*run)(NativeCall&);
};

template <typename Table>
void dispatchNative(const Table& table, NativeCall& c) {
  for (const NativeMethod& m : table)
    if (m.method == c.method) {
      m.run(c);
      return;
    }
}

// Bounds on what one native call may build or visit, so that a huge length
// or repeat count fails quickly instead of exhausting memory or time.
constexpr double kMaxNativeElements = 1 << 20;        // array elements visited or made
constexpr size_t kMaxNativeStringUnits = ScriptString::kMaxUnits;  // units of one built string

// One step of a native's loop that does `work` units of work: counted as an
// action, so the time limit also reaches a long native call; a step of much
// work reads the clock at once. False once the scripts are aborted: stop.
inline bool nativeStep(ScriptEngine& e, size_t work = 1) {
  if (work >= kClockCheckActions) e.checkSoon();
  return e.countNativeStep();
}

// True when argument i was given and is not undefined.
inline bool argPresent(const NativeCall& c, int i) { return i < c.argc && !c.args[i].isUndefined(); }
// Argument i converted to a number and truncated toward zero to 32 bits
// (missing or NaN give 0).
int32_t integerArg(NativeCall& c, int i);
// The string form of a value as 16-bit units.
std::u16string unitsOf(ScriptEngine& e, const ScriptValue& v);
// A string value from units, encoded for code-page mode or for UTF-8.
ScriptValue unitsValue(std::u16string_view units, bool codePage);
// Index i as a property name.
std::string indexName(double i);

// Installs the dispatchers of the standard classes (Number, Boolean, Date,
// Math, String, Array).
void installStandardNatives(ScriptEngine& engine);
void installStringNatives(ScriptEngine& engine);
void installArrayNatives(ScriptEngine& engine);
void installMathNatives(ScriptEngine& engine);
void installNumberNatives(ScriptEngine& engine);
void installBooleanNatives(ScriptEngine& engine);
void installDateNatives(ScriptEngine& engine);

}  // namespace kivra
