#pragma once
// Start-up of the global object: the natives are registered, the embedded
// class-library movie is inflated and its actions run once on the global
// object, then every global is hidden from enumeration.
#include <string>

namespace kivra {

class ScriptEngine;

// Runs the class library; false when the embedded movie could not be read
// (the player then goes on with the primitives alone).
[[nodiscard]] bool runClassLibrary(ScriptEngine& engine);

// The capabilities query string for the player's host.
std::string capabilitiesString(ScriptEngine& engine);

}  // namespace kivra
