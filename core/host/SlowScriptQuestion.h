#pragma once
// Asked when a script has run long (the engine times it with
// HostClock::scriptClock). The host may ask the user; a true answer aborts
// the script. Called from inside the interpreter, on the player's thread.

namespace kivra {

class SlowScriptQuestion {
 public:
  virtual ~SlowScriptQuestion() = default;
  virtual bool askToAbortSlowScript() = 0;
};

}  // namespace kivra
