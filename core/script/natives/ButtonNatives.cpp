// Button (class 105): the constructor, the tabIndex pair and getDepth.
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

void buttonNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  switch (c.method) {
    case 0:  // constructor: a tabIndex getter/setter on the new object
      if (c.construct && self)
        e.addAccessor(self, "tabIndex", e.makeNative(105, 1, false), e.makeNative(105, 2, false));
      break;
    case 1:
      if (self)
        if (Property* p = self->findOwn(kTabIndexProperty)) c.result = p->value;
      break;
    case 2:
      if (!self) break;
      if (c.arg(0).isNullish()) {
        if (Property* p = self->findOwn(kTabIndexProperty)) self->remove(p);
      } else {
        self->put(kTabIndexProperty, ScriptValue::number(static_cast<double>(toInt32(e, c.arg(0)))), kDontEnum);
      }
      break;
    case 3:  // getDepth()
      if (DisplayObject* d = DisplayClipBridge::displayObject(self))
        c.result = ScriptValue::number(d->depth() - kScriptDepthBase);
      break;
    default:
      break;
  }
}

}  // namespace kivra
