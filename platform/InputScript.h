#pragma once
// Replayed input for the headless player: one event a line, each delivered
// just before frame step STEP (1 = the first step after the first frame).
//   STEP mouse X Y | STEP down | STEP up | STEP key NAME | STEP keydown NAME
//   STEP keyup NAME | STEP type TEXT
// "#" lines and empty lines are ignored.
#include <cstdint>
#include <string>
#include <vector>

#include "core/input/KeyEvent.h"

namespace kivra {

struct InputEvent {
  enum class Kind { Mouse, Down, Up, KeyDown, KeyUp, Type };
  long step = 0;
  Kind kind = Kind::Mouse;
  int x = 0;
  int y = 0;
  KeyEvent key;
  uint32_t character = 0;  // Type
  int line = 0;            // where it stands in the input file
};

// Parses the text of an input file; on error returns false with
// "line N: reason" in `error`. Events keep their order within a step.
[[nodiscard]] bool parseInputScript(const std::string& text, std::vector<InputEvent>& events, std::string& error);

// Translates a key name (Left, F1, Space, "a", with "Shift+"/"Ctrl+"
// prefixes) into a key event and the character it types (0 for none).
[[nodiscard]] bool parseKeyName(const std::string& name, KeyEvent& key, uint32_t& typed);

}  // namespace kivra
