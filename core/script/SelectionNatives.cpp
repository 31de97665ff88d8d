// Selection methods (class 600). Text fields and keyboard focus belong to
// the text-field and input parts of the player; until they exist nothing
// holds the focus, so the indices read -1 and getFocus null.
#include "core/script/NativeHelpers.h"

namespace kivra {

void selectionNatives(NativeCall& c) {
  switch (c.method) {
    case 0:
    case 1:
    case 2:
      c.result = ScriptValue::number(-1);
      break;
    case 3:
      c.result = ScriptValue::null();
      break;
    case 4:  // setFocus(target)
      if (c.argc != 1) {
        c.result = ScriptValue::boolean(false);
        break;
      }
      c.result = ScriptValue::boolean(c.arg(0).isNullish());
      break;
    default:
      break;
  }
}

}  // namespace kivra
