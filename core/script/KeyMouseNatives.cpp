// Key (class 800) and Mouse (class 5) methods. The key events themselves
// come from the input handling, which records the last one on the engine's
// key state; until a key arrives both codes read 0.
#include "core/CorePlayer.h"
#include "core/script/NativeHelpers.h"

namespace kivra {

void keyNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  const LastKey& key = e.lastKey();
  switch (c.method) {
    case 0: {  // getAscii
      int ascii = key.character;
      if (key.special) {
        switch (key.specialCode) {
          case 6: ascii = 127; break;
          case 8: ascii = 8; break;
          case 13: ascii = 13; break;
          case 18: ascii = 9; break;
          case 19: ascii = 27; break;
          case 32: ascii = 32; break;
          default: ascii = 0; break;
        }
      }
      c.result = ScriptValue::number(ascii);
      break;
    }
    case 1:  // getCode
      c.result = ScriptValue::number(key.code);
      break;
    case 2:  // isDown(code)
      if (c.argc >= 1) c.result = ScriptValue::boolean(e.player().keyIsDown(toInt32(e, c.arg(0))));
      break;
    case 3:  // isToggled(code)
      if (c.argc >= 1) c.result = ScriptValue::boolean(e.player().keyIsToggled(toInt32(e, c.arg(0))));
      break;
    default:
      break;
  }
}

void mouseNatives(NativeCall& c) {
  if (c.method > 1) return;
  c.result = ScriptValue::number(c.engine.player().showPointer(c.method == 0));
}

}  // namespace kivra
