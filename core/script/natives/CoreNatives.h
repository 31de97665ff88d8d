#pragma once
// The primitives registered on the global object before the class library
// runs: Zqnative, Zqconstructor, the Object and Function constructors with
// their prototypes, NaN and Infinity; and the dispatchers of the binding
// primitives (classes 1 and 4, fetched by the library with Zqnative) and of
// the Object and Function methods (class 101).
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
