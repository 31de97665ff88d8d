#pragma once
// The call of a native routine: what the engine hands it, and where it puts
// its result.
#include <cstdint>

#include "core/script/ScriptValue.h"

namespace kivra {

class ScriptEngine;

// What a native routine receives.
struct NativeCall {
  ScriptEngine& engine;
  ScriptValue target;  // the target clip (clip value) or undefined
  int argc = 0;
  const ScriptValue* args = nullptr;
  ScriptValue thisValue;
  uint16_t method = 0;
  bool construct = false;
  ScriptValue result;  // undefined until the routine sets it

  const ScriptValue& arg(int i) const;
};
using NativeRoutine = void (*)(NativeCall&);

}  // namespace kivra
