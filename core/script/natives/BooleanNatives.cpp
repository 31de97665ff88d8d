// Boolean.prototype.valueOf and toString and the Boolean constructor (native
// class 107). A Boolean object keeps its boolean as its primitive; a boolean
// value used as `this` works the same.
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

bool heldBoolean(const NativeCall& c, bool& out) {
  const ScriptValue* v = &c.thisValue;
  if (ScriptObject* o = c.thisValue.asObject()) {
    if (o->classTag() != ClassTag::Boolean) return false;
    v = &o->primitive();
  }
  if (!v->isBoolean()) return false;
  out = v->asBoolean();
  return true;
}

void valueOf(NativeCall& c) {
  bool b;
  if (heldBoolean(c, b)) c.result = ScriptValue::boolean(b);
}

void toString(NativeCall& c) {
  bool b;
  if (heldBoolean(c, b)) c.result = c.engine.makeString(b ? "true" : "false");
}

void construct(NativeCall& c) {
  if (!c.construct) {
    if (c.argc > 0) c.result = ScriptValue::boolean(c.engine.toBoolean(c.args[0]));
    return;
  }
  ScriptObject* o = c.thisValue.asObject();
  if (!o) return;
  o->setClassTag(ClassTag::Boolean);
  o->primitive() = ScriptValue::boolean(c.argc > 0 && c.engine.toBoolean(c.args[0]));
}

constexpr NativeMethod kBooleanMethods[] = {
    {0, "valueOf", valueOf},
    {1, "toString", toString},
    {2, "Boolean", construct},
};

}  // namespace

const NativeClass kBooleanNatives{kNativeBoolean, "Boolean", kBooleanMethods};

}  // namespace kivra
