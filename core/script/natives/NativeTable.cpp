#include "core/script/natives/NativeTable.h"

#include <cmath>

#include "core/script/NumberText.h"

namespace kivra {

NativeRoutine findNativeRoutine(const NativeClass& nativeClass, uint16_t method) {
  for (const NativeMethod& m : nativeClass.methods)
    if (m.method == method) return m.run;
  return nativeClass.otherMethods;
}

const char* nativeMethodName(const NativeClass& nativeClass, uint16_t method) {
  for (const NativeMethod& m : nativeClass.methods)
    if (m.method == method) return m.name;
  return nullptr;
}

int32_t integerArg(NativeCall& c, int i) { return i < c.argc ? toInteger32(c.engine.toNumber(c.args[i])) : 0; }

std::u16string unitsOf(ScriptEngine& e, const ScriptValue& v) {
  const ScriptValue s = e.toStringValue(v);
  const ScriptString* r = s.asString();
  return r ? r->units(e.codePage()) : std::u16string();
}

ScriptValue unitsValue(const ScriptEngine& e, std::u16string_view units, bool codePage) {
  return ScriptValue::string(text::narrow(units, codePage, e.codePage()), codePage);
}

std::string indexName(double i) { return formatNumber(i); }

}  // namespace kivra
