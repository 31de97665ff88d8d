// The methods of Object and Function (class 101): the members the library
// puts on Object.prototype and Function.prototype, Object.registerClass,
// the Object and Function constructors and broadcastMessage.
#include <vector>

#include "core/script/ScriptEngine.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

void watch(NativeCall& c) {  // watch(name, callback, userData)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 2) c.result = ScriptValue::boolean(e.watch(self, e.toStdString(c.arg(0)), c.arg(1), c.arg(2)));
}

void unwatch(NativeCall& c) {  // unwatch(name)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 1) c.result = ScriptValue::boolean(e.unwatch(self, e.toStdString(c.arg(0))));
}

void addProperty(NativeCall& c) {  // addProperty(name, getter, setter)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 3) c.result = ScriptValue::boolean(e.addAccessor(self, e.toStdString(c.arg(0)), c.arg(1), c.arg(2)));
}

void valueOf(NativeCall& c) { c.result = c.thisValue; }

void toString(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  c.result = e.makeString(self && self->isFunction() ? "[type Function]" : "[object Object]");
}

void hasOwnProperty(NativeCall& c) {  // hasOwnProperty(name)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 1 && self) {
    Property* p = self->findOwn(e.toStdString(c.arg(0)));
    c.result = ScriptValue::boolean(p && p->visibleTo(e.version()));
  }
}

void isPrototypeOf(NativeCall& c) {  // isPrototypeOf(object)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 1 && self) {
    bool found = false;
    int steps = 0;
    if (ScriptObject* o = e.toObject(c.arg(0)))
      for (ScriptObject* p = o->prototype(); p && !found && steps < kMaxChain; p = p->prototype(), ++steps)
        found = p == self;
    c.result = ScriptValue::boolean(found);
  }
}

void isPropertyEnumerable(NativeCall& c) {  // isPropertyEnumerable(name)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc >= 1 && self) {
    Property* p = self->findOwn(e.toStdString(c.arg(0)));
    c.result = ScriptValue::boolean(p && p->visibleTo(e.version()) && !(p->flags & kDontEnum));
  }
}

void registerClass(NativeCall& c) {  // Object.registerClass(symbol, constructor)
  ScriptEngine& e = c.engine;
  if (c.argc < 2) return;
  const ScriptValue& ctor = c.arg(1);
  const bool remove = ctor.isNullish();
  if (!remove && !(ctor.isObject() && ctor.asObject()->isFunction())) {
    c.result = ScriptValue::boolean(false);
    return;
  }
  const std::string symbol = e.toStdString(c.arg(0));
  std::vector<ClassRegistration>& classes = e.registeredClasses();
  for (size_t i = 0; i < classes.size(); ++i)
    if (classes[i].symbol == symbol) {
      classes.erase(classes.begin() + static_cast<long>(i));
      break;
    }
  if (!remove) classes.push_back(ClassRegistration{symbol, ctor});
  c.result = ScriptValue::boolean(true);
}

void construct(NativeCall& c) {  // Object(value) and Function(value)
  ScriptEngine& e = c.engine;
  const ScriptValue& v = c.arg(0);
  if (c.argc >= 1 && !v.isNullish()) {
    if (e.toObject(v)) {
      c.result = v;
      return;
    }
    // A primitive is wrapped by its class.
    const char* cls = v.isString() ? "String" : v.isNumber() ? "Number" : "Boolean";
    ScriptValue ctor = e.getMember(ScriptValue::object(e.global()), cls);
    if (ctor.isObject()) {
      c.result = e.call(ctor, ScriptValue(), &v, 1, true);
      return;
    }
  }
  if (c.construct) c.result = c.thisValue;
  else c.result = ScriptValue::object(e.newObject());
}

void call(NativeCall& c) {  // Function.prototype.call(thisObject, arguments...)
  ScriptEngine& e = c.engine;
  c.result = e.call(c.thisValue, c.arg(0), c.argc > 1 ? c.args + 1 : nullptr, c.argc > 1 ? c.argc - 1 : 0);
}

void apply(NativeCall& c) {  // Function.prototype.apply(thisObject, array)
  ScriptEngine& e = c.engine;
  std::vector<ScriptValue> args;
  if (ScriptObject* arr = e.toObject(c.arg(1))) {
    const double n = e.toNumber(e.getMember(c.arg(1), "length"));
    for (int i = 0; i < n && i < 65536; ++i) {
      ScriptValue v;
      e.getMember(arr, std::to_string(i), v);
      args.push_back(std::move(v));
    }
  }
  c.result = e.call(c.thisValue, c.arg(0), args.data(), static_cast<int>(args.size()));
}

void broadcastMessage(NativeCall& c) {  // broadcastMessage(name, arguments...)
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  if (c.argc < 1 || !self) return;
  ScriptValue listeners;
  e.getMember(self, "_listeners", listeners);
  ScriptObject* list = e.toObject(listeners);
  if (!list) return;
  const std::string name = e.toStdString(c.arg(0));
  const ScriptValue* rest = c.argc > 1 ? c.args + 1 : nullptr;
  const int restCount = c.argc > 1 ? c.argc - 1 : 0;
  // The length is read again each round: handlers may add or remove
  // listeners, and later rounds see the change.
  for (int i = 0; i < 65536 && !e.aborted(); ++i) {
    if (i >= e.toNumber(e.getMember(listeners, "length"))) break;
    ScriptValue item;
    e.getMember(list, std::to_string(i), item);
    if (!e.toObject(item)) continue;
    e.callMethod(item, name, rest, restCount);
  }
}

constexpr NativeMethod kObjectMethods[] = {
    {0, "watch", watch},
    {1, "unwatch", unwatch},
    {2, "addProperty", addProperty},
    {3, "valueOf", valueOf},
    {4, "toString", toString},
    {5, "hasOwnProperty", hasOwnProperty},
    {6, "isPrototypeOf", isPrototypeOf},
    {7, "isPropertyEnumerable", isPropertyEnumerable},
    {8, "registerClass", registerClass},
    {9, "Object", construct},
    {10, "call", call},
    {11, "apply", apply},
    {12, "broadcastMessage", broadcastMessage},
};

}  // namespace

const NativeClass kObjectNatives{kNativeObject, "Object", kObjectMethods};

}  // namespace kivra
