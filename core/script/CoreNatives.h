#pragma once
// The primitives registered on the global object before the class library
// runs: Zqnative, Zqconstructor, ZqSetPropFlags, ZqSetNative, Object with
// its prototype methods, Function with call and apply, NaN and Infinity.
namespace kivra {

class ScriptEngine;

// Native class numbers of the primitives.
enum CoreNativeClass : unsigned {
  kNativeBootstrap = 2,     // 0 Zqnative, 1 Zqconstructor
  kNativeSetPropFlags = 1,  // 0 ZqSetPropFlags
  kNativeSetNative = 4,     // 0 ZqSetNative
  kNativeObject = 101,      // Object and Function methods
};

void installCoreNatives(ScriptEngine& engine);

}  // namespace kivra
