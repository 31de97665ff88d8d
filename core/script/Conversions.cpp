// Conversions, equality and ordering of script values, by the rules of the
// running movie version.
#include <cmath>
#include <limits>

#include "core/script/PlayerServices.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

ScriptObject* ScriptEngine::toObject(const ScriptValue& v) {
  if (ScriptObject* o = v.asObject()) return o;
  if (ClipReference* r = v.asClip()) {
    if (ScriptObject* o = r->object()) return o;
    if (!r->path().empty()) return bridge_->resolvePath(bridge_->rootClip(), r->path(), 0);
  }
  return nullptr;
}

bool ScriptEngine::toBoolean(const ScriptValue& v) {
  switch (v.kind()) {
    case ValueKind::Number:
      return v.asNumber() != 0 && !std::isnan(v.asNumber());
    case ValueKind::Boolean:
      return v.asBoolean();
    case ValueKind::String: {
      const double d = toNumber(v);
      return d != 0 && !std::isnan(d);
    }
    case ValueKind::Object:
    case ValueKind::Clip:
      return true;
    default:
      return false;
  }
}

double ScriptEngine::toNumber(const ScriptValue& v) {
  switch (v.kind()) {
    case ValueKind::Number:
      return v.asNumber();
    case ValueKind::Boolean:
      return v.asBoolean() ? 1 : 0;
    case ValueKind::String: {
      const std::string_view s = v.stringView();
      if (version_ >= 6) return stringToNumberV6(s);
      double d;
      if (readDecimal(s, version4_, d)) return d;
      return version4_ ? 0 : kNaN;
    }
    case ValueKind::Object: {
      ScriptValue p;
      if (!toPrimitive(v, Hint::Number, p)) return kNaN;
      return toNumber(p);
    }
    default:
      return version4_ ? 0 : kNaN;
  }
}

std::string ScriptEngine::toStdString(const ScriptValue& v) {
  switch (v.kind()) {
    case ValueKind::Number:
      return formatNumber(v.asNumber());
    case ValueKind::Boolean:
      if (version4_) return v.asBoolean() ? "1" : "0";
      return v.asBoolean() ? "true" : "false";
    case ValueKind::String:
      return std::string(v.stringView());
    case ValueKind::Null:
      return "null";
    case ValueKind::Undefined:
      return std::string();
    default:
      return std::string(toStringValue(v).stringView());
  }
}

ScriptValue ScriptEngine::toStringValue(const ScriptValue& v) {
  switch (v.kind()) {
    case ValueKind::String:
      return v;
    case ValueKind::Object: {
      ScriptObject* o = v.asObject();
      if (o->classTag() == ClassTag::String && o->primitive().isString()) return o->primitive();
      ScriptValue r = callMethod(v, "toString", nullptr, 0);
      if (r.isString()) return r;
      return makeString(o->isFunction() ? "[type Function]" : "[type Object]");
    }
    case ValueKind::Clip: {
      ScriptObject* o = toObject(v);
      return makeString(o ? bridge_->targetPath(*o, true) : std::string());
    }
    default:
      return makeString(toStdString(v));
  }
}

bool ScriptEngine::toPrimitive(const ScriptValue& v, Hint hint, ScriptValue& out) {
  ScriptObject* o = v.asObject();
  if (!o) {
    out = v;
    return true;
  }
  const char* method = "valueOf";
  if (hint == Hint::String || (hint == Hint::Default && o->classTag() == ClassTag::Date)) method = "toString";
  out = callMethod(v, method, nullptr, 0);
  return !out.isObject();
}

const char* ScriptEngine::typeOf(const ScriptValue& v) {
  switch (v.kind()) {
    case ValueKind::Number:
      return "number";
    case ValueKind::Boolean:
      return "boolean";
    case ValueKind::String:
      return "string";
    case ValueKind::Object:
      return v.asObject()->isFunction() ? "function" : "object";
    case ValueKind::Clip: {
      ScriptObject* o = toObject(v);
      return o && bridge_->isButtonOrText(*o) ? "object" : "movieclip";
    }
    case ValueKind::Null:
      return "null";
    default:
      return "undefined";
  }
}

bool ScriptEngine::stringsEqual(const ScriptString* a, const ScriptString* b) {
  if (a == b) return true;
  if (!a || !b) return false;  // an empty text equals only an empty text
  if (a->legacyOrigin() != b->legacyOrigin() && !(a->ascii() && b->ascii())) return false;
  return a->text() == b->text();
}

int ScriptEngine::compareStrings(const ScriptString* a, const ScriptString* b, const CodePage& cp) {
  if (a == b) return 0;
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  if (a->legacyOrigin() != b->legacyOrigin() && !(a->ascii() && b->ascii())) return 1;
  if (a->ascii() && b->ascii()) {
    const int c = a->text().compare(b->text());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  const std::u16string ua = a->units(cp), ub = b->units(cp);
  const int c = ua.compare(ub);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool ScriptEngine::strictEquals(const ScriptValue& a, const ScriptValue& b) {
  if (a.kind() != b.kind()) return false;
  return abstractEquals(a, b);
}

bool ScriptEngine::abstractEquals(const ScriptValue& a, const ScriptValue& b) {
  if (a.kind() == b.kind()) {
    switch (a.kind()) {
      case ValueKind::Number:
        return a.asNumber() == b.asNumber();  // false for NaN
      case ValueKind::String:
        return stringsEqual(a.asString(), b.asString());
      case ValueKind::Clip: {
        if (a.asClip() == b.asClip()) return true;
        ScriptObject* x = toObject(a);
        ScriptObject* y = toObject(b);
        if (x == y) return x != nullptr;
        if (!x || !y) return false;
        return bridge_->targetPath(*x, true) == bridge_->targetPath(*y, true);
      }
      default:
        return a.samePayload(b);
    }
  }
  if (a.isNullish() && b.isNullish()) return true;
  if ((a.isNumber() && b.isString()) || (a.isString() && b.isNumber())) return toNumber(a) == toNumber(b);
  if (a.isBoolean()) return abstractEquals(ScriptValue::number(a.asBoolean() ? 1 : 0), b);
  if (b.isBoolean()) return abstractEquals(a, ScriptValue::number(b.asBoolean() ? 1 : 0));
  if (a.isObject() || b.isObject()) {
    ScriptValue pa, pb;
    if (!toPrimitive(a, Hint::Number, pa) || !toPrimitive(b, Hint::Number, pb)) return false;
    if (pa.isObject() || pb.isObject()) return false;
    return abstractEquals(pa, pb);
  }
  return false;
}

int ScriptEngine::lessThan(const ScriptValue& a, const ScriptValue& b) {
  if (a.isString() && b.isString()) return compareStrings(a.asString(), b.asString(), *codePage_) < 0 ? 1 : 0;
  const double x = toNumber(a), y = toNumber(b);
  if (std::isnan(x) || std::isnan(y)) return -1;
  return x < y ? 1 : 0;
}

void ScriptEngine::seedRandom(uint32_t seed) {
  // A state of 0 would never change: it counts as 1.
  randomState_ = seed & 0x7FFFFFFF;
  if (randomState_ == 0) randomState_ = 1;
  randomSeeded_ = true;
}

uint32_t ScriptEngine::randomBelow(int32_t n) {
  const uint32_t draw = randomDraw();
  if (n <= 0) return 0;
  return draw % static_cast<uint32_t>(n);
}

uint32_t ScriptEngine::randomDraw() {
  if (!randomSeeded_) seedRandom(player().milliseconds());
  const bool out = randomState_ & 1;
  randomState_ >>= 1;
  if (out) randomState_ ^= 0x48000000;
  // All in wrapping 32-bit arithmetic; >> is arithmetic on the signed value.
  auto sar = [](uint32_t v, int s) { return static_cast<uint32_t>(static_cast<int32_t>(v) >> s); };
  uint32_t x = randomState_ * 71u;
  x = (x ^ (x << 13)) - sar(x, 21);
  const uint32_t y = x + ((x * (x * x * 15731u + 789221u) - 771171059u) & 0x7FFFFFFFu);
  return ((y ^ (y << 13)) - sar(y, 21)) & 0x7FFFFFFFu;
}

}  // namespace kivra
