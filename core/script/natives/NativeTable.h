#pragma once
// Native routines declared as tables: one table per native class, one entry
// per method number, with the method's name for readers and diagnostics.
// A native function finds its routine once, when it is made
// (ScriptEngine::makeNative), so a call is one indirect call with no lookup.
// A method number without an entry does nothing: the result is undefined.
//
// Also the argument helpers that the class natives share. Everything runs on
// the player's thread; nothing here keeps state between calls.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/script/ScriptEngine.h"
#include "core/script/natives/NativeClasses.h"

namespace kivra {

struct NativeMethod {
  uint16_t method;
  const char* name;  // the name the library binds, or what the routine is for
  NativeRoutine run;
};

struct NativeClass {
  uint16_t number;
  const char* name;
  std::span<const NativeMethod> methods;
  // Runs for a method number without an entry; null in most classes. The
  // binding primitives and updateAfterEvent never read the method number,
  // and Color reads its target before it looks at the method.
  NativeRoutine otherMethods = nullptr;
};

// The routine of a method of a class: its entry's, else otherMethods (which
// may be null: the method does nothing).
NativeRoutine findNativeRoutine(const NativeClass& nativeClass, uint16_t method);
// The name of a method for diagnostics: its entry's, else null.
const char* nativeMethodName(const NativeClass& nativeClass, uint16_t method);

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
ScriptValue unitsValue(const ScriptEngine& e, std::u16string_view units, bool codePage);
// Index i as a property name.
std::string indexName(double i);

}  // namespace kivra
