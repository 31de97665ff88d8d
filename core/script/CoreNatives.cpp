#include "core/script/CoreNatives.h"

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
      c.result = e.makeString("[object Object]");
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
    case 8:  // registerClass: the class library fills this in
      c.result = ScriptValue::boolean(false);
      break;
    case 9:  // the Object constructor
      if (c.argc >= 1 && e.toObject(c.arg(0))) c.result = c.arg(0);
      else if (c.construct) c.result = c.thisValue;
      else c.result = ScriptValue::object(e.newObject());
      break;
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
  g->put("ZqSetPropFlags", e.makeNative(kNativeSetPropFlags, 0, false), kDontEnum);
  g->put("ZqSetNative", e.makeNative(kNativeSetNative, 0, false), kDontEnum);

  ScriptValue object = e.makeNative(kNativeObject, 9, false);
  object.asObject()->put("prototype", ScriptValue::object(objectProto), kDontEnum | kDontDelete);
  objectProto->put("constructor", object, kDontEnum | kDontDelete);
  object.asObject()->put("registerClass", e.makeNative(kNativeObject, 8, false), 0);
  g->put("Object", object, kDontEnum);

  ScriptValue function = e.makeNative(kNativeObject, 9, false);
  function.asObject()->put("prototype", ScriptValue::object(functionProto), kDontEnum | kDontDelete);
  functionProto->put("constructor", function, kDontEnum | kDontDelete);
  g->put("Function", function, kDontEnum | kVersion6Only);

  static constexpr struct {
    const char* name;
    uint16_t method;
    uint16_t flags;
  } kObjectMethods[] = {
      {"watch", 0, kVersion6Only},          {"unwatch", 1, kVersion6Only},
      {"addProperty", 2, kVersion6Only},    {"valueOf", 3, 0},
      {"toString", 4, 0},                   {"hasOwnProperty", 5, kVersion6Only},
      {"isPrototypeOf", 6, kVersion6Only},  {"isPropertyEnumerable", 7, kVersion6Only},
  };
  for (const auto& m : kObjectMethods)
    objectProto->put(m.name, e.makeNative(kNativeObject, m.method, false), m.flags | kDontEnum | kDontDelete);
  functionProto->put("call", e.makeNative(kNativeObject, 10, false), kVersion6Only | kDontEnum | kDontDelete);
  functionProto->put("apply", e.makeNative(kNativeObject, 11, false), kVersion6Only | kDontEnum | kDontDelete);

  g->put("NaN", ScriptValue::number(std::numeric_limits<double>::quiet_NaN()), kDontEnum);
  g->put("Infinity", ScriptValue::number(std::numeric_limits<double>::infinity()), kDontEnum);
}

}  // namespace kivra
