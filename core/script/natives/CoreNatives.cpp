#include "core/script/natives/CoreNatives.h"

#include <limits>

#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"
#include "core/script/natives/NativeTable.h"

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

// None of the binding primitives reads its method number: any number runs
// the same routine (Zqnative's reads only whether it is 1, Zqconstructor).
constexpr NativeMethod kBootstrapMethods[] = {{0, "Zqnative", bootstrapNatives}, {1, "Zqconstructor", bootstrapNatives}};
constexpr NativeMethod kSetPropFlagsMethods[] = {{0, "ZqSetPropFlags", setPropFlagsNative}};
constexpr NativeMethod kSetNativeMethods[] = {{0, "ZqSetNative", setNativeNative}};

}  // namespace

const NativeClass kBootstrapNatives{kNativeBootstrap, "bootstrap", kBootstrapMethods, bootstrapNatives};
const NativeClass kSetPropFlagsNatives{kNativeSetPropFlags, "ZqSetPropFlags", kSetPropFlagsMethods, setPropFlagsNative};
const NativeClass kSetNativeNatives{kNativeSetNative, "ZqSetNative", kSetNativeMethods, setNativeNative};

void installCoreNatives(ScriptEngine& e) {
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
