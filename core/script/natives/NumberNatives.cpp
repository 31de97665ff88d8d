// Number.prototype.valueOf and toString and the Number constructor (native
// class 106). A Number object keeps its number as its primitive; a number
// value used as `this` works the same.
#include <cmath>
#include <cstdlib>

#include "core/script/natives/NativeTable.h"
#include "core/script/NumberText.h"

namespace kivra {

namespace {

// The number behind `this`: a number, or a Number object's own.
bool heldNumber(const NativeCall& c, double& out) {
  const ScriptValue* v = &c.thisValue;
  if (ScriptObject* o = c.thisValue.asObject()) {
    if (o->classTag() != ClassTag::Number) return false;
    v = &o->primitive();
  }
  if (!v->isNumber()) return false;
  out = v->asNumber();
  return true;
}

void valueOf(NativeCall& c) {
  double d;
  if (heldNumber(c, d)) c.result = ScriptValue::number(d);
}

// The digits of an integer in a radix from 2 to 36, lower-case letters above 9.
std::string radixText(int64_t v, int radix) {
  if (v == 0) return "0";
  const bool negative = v < 0;
  uint64_t m = negative ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
  std::string digits;
  while (m > 0) {
    digits.push_back("0123456789abcdefghijklmnopqrstuvwxyz"[m % static_cast<uint64_t>(radix)]);
    m /= static_cast<uint64_t>(radix);
  }
  if (negative) digits.push_back('-');
  return std::string(digits.rbegin(), digits.rend());
}

void toString(NativeCall& c) {
  double d;
  if (!heldNumber(c, d)) return;
  int radix = 10;
  if (c.argc > 0) {
    const double r = std::trunc(c.engine.toNumber(c.args[0]));
    radix = r >= 2 && r <= 36 ? static_cast<int>(r) : 10;
  }
  // Other radixes show the whole part of the number as a 32-bit integer;
  // NaN and the infinities keep their ordinary names.
  if (radix == 10 || !std::isfinite(d)) c.result = c.engine.makeString(formatNumber(d));
  else c.result = c.engine.makeString(radixText(toInteger32(d), radix));
}

void construct(NativeCall& c) {
  const double d = c.argc > 0 ? c.engine.toNumber(c.args[0]) : 0;
  if (!c.construct) {
    c.result = ScriptValue::number(d);
    return;
  }
  ScriptObject* o = c.thisValue.asObject();
  if (!o) return;
  o->setClassTag(ClassTag::Number);
  o->primitive() = ScriptValue::number(d);
}

constexpr NativeMethod kNumberMethods[] = {
    {0, "valueOf", valueOf},
    {1, "toString", toString},
    {2, "Number", construct},
};

}  // namespace

const NativeClass kNumberNatives{kNativeNumber, "Number", kNumberMethods};

}  // namespace kivra
