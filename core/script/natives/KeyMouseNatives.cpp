// Key (class 800) and Mouse (class 5) methods, over the key and pointer
// state that the input handling keeps.
#include "core/script/PlayerServices.h"
#include "core/input/InputDispatch.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

void getAscii(NativeCall& c) {  // the input handling maps the special keys
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  c.result = ScriptValue::number(input.lastKeyAscii());
}

void getCode(NativeCall& c) {
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  c.result = ScriptValue::number(input.lastKeyCode());
}

void isDown(NativeCall& c) {  // isDown(code)
  ScriptEngine& e = c.engine;
  InputDispatch& input = e.player().input();
  if (c.argc >= 1) c.result = ScriptValue::boolean(input.keyIsDown(toInt32(e, c.arg(0))));
}

void isToggled(NativeCall& c) {  // isToggled(code)
  ScriptEngine& e = c.engine;
  if (c.argc >= 1) c.result = ScriptValue::boolean(e.player().keyIsToggled(toInt32(e, c.arg(0))));
}

// Method 0 shows the pointer, 1 hides it.
void showOrHide(NativeCall& c) {
  PlayerServices& p = c.engine.player();
  p.input().setPointerHidden(c.method == 1);
  c.result = ScriptValue::number(p.showPointer(c.method == 0));
}

constexpr NativeMethod kKeyMethods[] = {
    {0, "getAscii", getAscii}, {1, "getCode", getCode}, {2, "isDown", isDown}, {3, "isToggled", isToggled},
};

constexpr NativeMethod kMouseMethods[] = {{0, "show", showOrHide}, {1, "hide", showOrHide}};

}  // namespace

const NativeClass kKeyNatives{kNativeKey, "Key", kKeyMethods};
const NativeClass kMouseNatives{kNativeMouse, "Mouse", kMouseMethods};

}  // namespace kivra
