#include "core/script/natives/CoreNatives.h"

#include <limits>

#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {

void bootstrapNatives(NativeCall& c) {
  if (c.argc < 2) return;
  const double cls = c.engine.toNumber(c.arg(0)), method = c.engine.toNumber(c.arg(1));
  c.result = c.engine.makeNative(static_cast<uint16_t>(toInteger32(cls)), static_cast<uint16_t>(toInteger32(method)),
                                 c.method == 1);
}

void setPropFlagsNative(NativeCall& c) {
  if (c.argc < 3) return;
  ScriptEngine& e = c.engine;
  e.setPropertyFlags(e.toObject(c.arg(0)), c.arg(1), toBits32(e.toNumber(c.arg(2))),
                     c.argc > 3 ? toBits32(e.toNumber(c.arg(3))) : 0);
}

void setNativeNative(NativeCall& c) {
  if (c.argc < 3) return;
  ScriptEngine& e = c.engine;
  ScriptObject* o = e.toObject(c.arg(0));
  if (!o) return;
  const uint16_t cls = static_cast<uint16_t>(toInteger32(e.toNumber(c.arg(1))));
  int index = c.argc > 3 ? toInteger32(e.toNumber(c.arg(3))) : 0;
  const std::string names = e.toStdString(c.arg(2));
  size_t start = 0;
  while (start <= names.size()) {
    size_t comma = names.find(',', start);
    if (comma == std::string::npos) comma = names.size();
    std::string_view name = std::string_view(names).substr(start, comma - start);
    uint16_t flags = 0;
    if (!name.empty() && name[0] == '6') {
      name.remove_prefix(1);
      flags = kVersion6Only;
    }
    if (!name.empty()) o->put(name, e.makeNative(cls, static_cast<uint16_t>(index), false), flags);
    ++index;
    start = comma + 1;
  }
}

void objectNatives(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptObject* self = e.toObject(c.thisValue);
  switch (c.method) {
    case 0:  // watch(name, callback, userData)
      if (c.argc >= 2) c.result = ScriptValue::boolean(e.watch(self, e.toStdString(c.arg(0)), c.arg(1), c.arg(2)));
      break;
    case 1:  // unwatch(name)
      if (c.argc >= 1) c.result = ScriptValue::boolean(e.unwatch(self, e.toStdString(c.arg(0))));
      break;
    case 2:  // addProperty(name, getter, setter)
      if (c.argc >= 3) c.result = ScriptValue::boolean(e.addAccessor(self, e.toStdString(c.arg(0)), c.arg(1), c.arg(2)));
      break;
    case 3:  // valueOf
      c.result = c.thisValue;
      break;
    case 4:  // toString
      c.result = e.makeString(self && self->isFunction() ? "[type Function]" : "[object Object]");
      break;
    case 5:  // hasOwnProperty(name)
      if (c.argc >= 1 && self) {
        Property* p = self->findOwn(e.toStdString(c.arg(0)));
        c.result = ScriptValue::boolean(p && p->visibleTo(e.version()));
      }
      break;
    case 6:  // isPrototypeOf(object)
      if (c.argc >= 1 && self) {
        bool found = false;
        int steps = 0;
        if (ScriptObject* o = e.toObject(c.arg(0)))
          for (ScriptObject* p = o->prototype(); p && !found && steps < kMaxChain; p = p->prototype(), ++steps)
            found = p == self;
        c.result = ScriptValue::boolean(found);
      }
      break;
    case 7:  // isPropertyEnumerable(name)
      if (c.argc >= 1 && self) {
        Property* p = self->findOwn(e.toStdString(c.arg(0)));
        c.result = ScriptValue::boolean(p && p->visibleTo(e.version()) && !(p->flags & kDontEnum));
      }
      break;
    case 8: {  // Object.registerClass(symbol, constructor)
      if (c.argc < 2) break;
      const ScriptValue& ctor = c.arg(1);
      const bool remove = ctor.isNullish();
      if (!remove && !(ctor.isObject() && ctor.asObject()->isFunction())) {
        c.result = ScriptValue::boolean(false);
        break;
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
      break;
    }
    case 9: {  // Object(value) and Function(value)
      const ScriptValue& v = c.arg(0);
      if (c.argc >= 1 && !v.isNullish()) {
        if (e.toObject(v)) {
          c.result = v;
          break;
        }
        // A primitive is wrapped by its class.
        const char* cls = v.isString() ? "String" : v.isNumber() ? "Number" : "Boolean";
        ScriptValue ctor = e.getMember(ScriptValue::object(e.global()), cls);
        if (ctor.isObject()) {
          c.result = e.call(ctor, ScriptValue(), &v, 1, true);
          break;
        }
      }
      if (c.construct) c.result = c.thisValue;
      else c.result = ScriptValue::object(e.newObject());
      break;
    }
    case 10:  // Function.prototype.call(thisObject, arguments...)
      c.result = e.call(c.thisValue, c.arg(0), c.argc > 1 ? c.args + 1 : nullptr, c.argc > 1 ? c.argc - 1 : 0);
      break;
    case 11: {  // Function.prototype.apply(thisObject, array)
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
      break;
    }
    case 12: {  // broadcastMessage(name, arguments...)
      if (c.argc < 1 || !self) break;
      ScriptValue listeners;
      e.getMember(self, "_listeners", listeners);
      ScriptObject* list = e.toObject(listeners);
      if (!list) break;
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
      break;
    }
    default:
      break;
  }
}

}  // namespace

void installCoreNatives(ScriptEngine& e) {
  e.registerNativeClass(kNativeBootstrap, bootstrapNatives);
  e.registerNativeClass(kNativeSetPropFlags, setPropFlagsNative);
  e.registerNativeClass(kNativeSetNative, setNativeNative);
  e.registerNativeClass(kNativeObject, objectNatives);
  ScriptObject* g = e.global();
  ScriptObject* objectProto = e.objectPrototype();
  ScriptObject* functionProto = e.functionPrototype();

  g->put("Zqnative", e.makeNative(kNativeBootstrap, 0, false), kDontEnum);
  g->put("Zqconstructor", e.makeNative(kNativeBootstrap, 1, false), kDontEnum);

  ScriptValue object = e.makeNative(kNativeObject, 9, false);
  object.asObject()->put("prototype", ScriptValue::object(objectProto), kDontEnum | kDontDelete);
  objectProto->put("constructor", object, kDontEnum | kDontDelete);
  g->put("Object", object, kDontEnum);

  ScriptValue function = e.makeNative(kNativeObject, 9, false);
  function.asObject()->put("prototype", ScriptValue::object(functionProto), kDontEnum | kDontDelete);
  functionProto->put("constructor", function, kDontEnum | kDontDelete);
  g->put("Function", function, kDontEnum | kVersion6Only);

  g->put("NaN", ScriptValue::number(std::numeric_limits<double>::quiet_NaN()), kDontEnum);
  g->put("Infinity", ScriptValue::number(std::numeric_limits<double>::infinity()), kDontEnum);
}

}  // namespace kivra
