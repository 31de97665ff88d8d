// Key (class 800) and Mouse (class 5) methods, over the key and pointer
// state that the input handling keeps.
#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/script/NativeHelpers.h"

namespace kivra {

void keyNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  switch (c.method) {
    case 0:  // getAscii: the input handling maps the special keys
      c.result = ScriptValue::number(input.lastKeyAscii());
      break;
    case 1:  // getCode
      c.result = ScriptValue::number(input.lastKeyCode());
      break;
    case 2:  // isDown(code)
      if (c.argc >= 1) c.result = ScriptValue::boolean(input.keyIsDown(toInt32(e, c.arg(0))));
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
  PlayerServices& p = c.engine.player();
  p.input().setPointerHidden(c.method == 1);
  c.result = ScriptValue::number(p.showPointer(c.method == 0));
}

}  // namespace kivra
