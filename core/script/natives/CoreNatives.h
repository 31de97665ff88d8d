#pragma once
// The primitives put on the global object before the class library runs:
// Zqnative, Zqconstructor, the Object and Function constructors with their
// prototypes, NaN and Infinity. The binding primitives' tables (classes 1,
// 2 and 4, fetched by the library with Zqnative) are in CoreNatives.cpp.
namespace kivra {

class ScriptEngine;

// Needs the native classes registered (installNativeClasses).
void installCoreNatives(ScriptEngine& engine);

}  // namespace kivra
