// Button (class 105): the constructor, the tabIndex pair and getDepth.
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

void construct(NativeCall& c) {  // a tabIndex getter/setter on the new object
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.construct && self)
    e.addAccessor(self, "tabIndex", e.makeNative(kNativeButton, 1, false), e.makeNative(kNativeButton, 2, false));
}

void getTabIndex(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (self)
    if (Property* p = self->findOwn(kTabIndexProperty)) c.result = p->value;
}

void setTabIndex(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (!self) return;
  if (c.arg(0).isNullish()) {
    if (Property* p = self->findOwn(kTabIndexProperty)) self->remove(p);
  } else {
    self->put(kTabIndexProperty, ScriptValue::number(static_cast<double>(toInt32(e, c.arg(0)))), kDontEnum);
  }
}

void getDepth(NativeCall& c) {  // getDepth()
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (DisplayObject* d = DisplayClipBridge::displayObject(self))
    c.result = ScriptValue::number(d->depth() - kScriptDepthBase);
}

constexpr NativeMethod kButtonMethods[] = {
    {0, "Button", construct}, {1, "tabIndex getter", getTabIndex}, {2, "tabIndex setter", setTabIndex},
    {3, "getDepth", getDepth},
};

}  // namespace

const NativeClass kButtonNatives{kNativeButton, "Button", kButtonMethods};

}  // namespace kivra
