#include "core/script/AmfScriptValues.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/net/Amf0Codec.h"
#include "core/script/DateMath.h"
#include "core/script/ScriptEngine.h"
#include "core/script/XmlObjects.h"

namespace kivra {

namespace {

// The prototype of a global class, or null.
ScriptObject* prototypeOf(ScriptEngine& e, const ScriptValue& ctor) {
  ScriptValue proto;
  ScriptObject* c = e.toObject(ctor);
  return c && e.getMember(c, "prototype", proto, false) ? e.toObject(proto) : nullptr;
}

ScriptValue globalNamed(ScriptEngine& e, std::string_view name) {
  ScriptValue v;
  e.getMember(e.global(), name, v, false);
  return v;
}

std::string indexText(size_t i) { return std::to_string(i); }

}  // namespace

void AmfFromScript::members(ScriptObject* o, AmfValue& out, size_t depth) {
  // Values first, conversions after: nothing below runs a script, but the
  // list must not change under the walk either way.
  std::vector<std::pair<std::string, ScriptValue>> list;
  for (const Property* p = o->firstProperty(); p; p = p->next) {
    if ((p->flags & kDontEnum) || p->accessor || !p->visibleTo(e_.version())) continue;
    if (ScriptObject* f = p->value.asObject(); f && f->isFunction()) continue;
    list.emplace_back(p->name, p->value);
  }
  out.members.reserve(list.size());
  for (auto& [name, value] : list) out.members.push_back(AmfMember{name, convert(value, depth + 1)});
}

AmfValue AmfFromScript::convert(const ScriptValue& v, size_t depth) {
  if (depth >= kMaxAmfDepth) return AmfValue::ofKind(AmfKind::Undefined);
  switch (v.kind()) {
    case ValueKind::Number:
      return AmfValue::ofNumber(v.asNumber());
    case ValueKind::Boolean: {
      AmfValue b = AmfValue::ofKind(AmfKind::Boolean);
      b.boolean = v.asBoolean();
      return b;
    }
    case ValueKind::String:
      return AmfValue::ofString(std::string(v.stringView()));
    case ValueKind::Null:
      return AmfValue::ofKind(AmfKind::Null);
    case ValueKind::Undefined:
    case ValueKind::Clip:  // clips have no encoding of their own
      return AmfValue::ofKind(AmfKind::Undefined);
    case ValueKind::Object:
      break;
  }
  ScriptObject* o = v.asObject();
  if (auto it = seen_.find(o); it != seen_.end()) {
    AmfValue r = AmfValue::ofKind(AmfKind::Reference);
    r.index = it->second;
    return it->second <= 0xFFFF ? r : AmfValue::ofKind(AmfKind::Undefined);
  }
  if (o->isFunction() || depth + 1 >= kMaxAmfDepth) return AmfValue::ofKind(AmfKind::Undefined);
  switch (o->classTag()) {
    case ClassTag::Date: {
      AmfValue d = AmfValue::ofKind(AmfKind::Date);
      d.number = o->primitive().isNumber() ? o->primitive().asNumber() : 0;
      // Minutes west of UTC, as the date's getTimezoneOffset gives them.
      const double offset = std::isfinite(d.number) ? date::systemOffsetAt(d.number) : 0;
      d.timeZone = static_cast<int16_t>(-offset / 60000);
      return d;
    }
    case ClassTag::XmlNode: {
      const XmlNodeState* s = xml::stateOf(o);
      if (!s || !s->document()) return AmfValue::ofKind(AmfKind::Unsupported);
      AmfValue x = AmfValue::ofKind(AmfKind::Xml);
      x.text = xml::stringForm(e_, o);
      return x;
    }
    case ClassTag::Array: {
      seen_.emplace(o, next_++);
      ScriptValue lengthValue;
      e_.getMember(o, "length", lengthValue, false);
      const double length = e_.toNumber(lengthValue);
      const uint32_t count = length > 0 && length < 4294967295.0 ? static_cast<uint32_t>(length) : 0;
      bool indexOnly = true;
      for (const Property* p = o->firstProperty(); p && indexOnly; p = p->next) {
        if (p->flags & kDontEnum) continue;
        char* end = nullptr;
        const unsigned long i = std::strtoul(p->name.c_str(), &end, 10);
        indexOnly = !p->name.empty() && *end == 0 && i < count;
      }
      if (strictArrays_ && indexOnly) {
        AmfValue a = AmfValue::ofKind(AmfKind::StrictArray);
        for (uint32_t i = 0; i < count; ++i) {
          if (!e_.countNativeStep()) break;
          ScriptValue element;
          e_.getMember(o, indexText(i), element, false);
          a.elements.push_back(convert(element, depth + 1));
        }
        return a;
      }
      AmfValue a = AmfValue::ofKind(AmfKind::MixedArray);
      a.index = count;
      members(o, a, depth);
      return a;
    }
    case ClassTag::Object: {
      seen_.emplace(o, next_++);
      AmfValue out = AmfValue::ofKind(AmfKind::Object);
      ScriptValue ctor;
      if (e_.getMember(o, "constructor", ctor, false) && ctor.isObject())
        for (const ClassRegistration& r : e_.registeredClasses())
          if (r.constructor.samePayload(ctor) && !r.symbol.empty()) {
            out.kind = AmfKind::TypedObject;
            out.text = r.symbol;
            break;
          }
      members(o, out, depth);
      return out;
    }
    default:
      return AmfValue::ofKind(AmfKind::Unsupported);
  }
}

void AmfToScript::members(ScriptObject* o, const AmfValue& v, size_t depth) {
  for (const AmfMember& m : v.members) {
    if (!e_.countNativeStep()) return;
    e_.setMember(o, m.name, convert(m.value, depth + 1));
  }
}

ScriptValue AmfToScript::convert(const AmfValue& v, size_t depth) {
  if (depth >= kMaxAmfDepth) return ScriptValue();
  switch (v.kind) {
    case AmfKind::Number:
      return ScriptValue::number(v.number);
    case AmfKind::Boolean:
      return ScriptValue::boolean(v.boolean);
    case AmfKind::String:
      return e_.makeString(v.text);
    case AmfKind::Null:
      return ScriptValue::null();
    case AmfKind::Undefined:
    case AmfKind::Unsupported:
      return ScriptValue();
    case AmfKind::Reference:
      return v.index < objects_.size() ? objects_[v.index] : ScriptValue();
    case AmfKind::Date: {
      ScriptObject* d = e_.heap().create(ClassTag::Date);
      ScriptValue held = ScriptValue::object(d);
      ScriptObject* proto = prototypeOf(e_, globalNamed(e_, "Date"));
      d->append("__proto__", proto ? ScriptValue::object(proto) : ScriptValue::object(e_.objectPrototype()),
                kDontEnum | kDontDelete);
      d->primitive() = ScriptValue::number(date::timeClip(v.number));
      return held;
    }
    case AmfKind::Xml: {
      const ScriptValue text = e_.makeString(v.text);
      return e_.call(globalNamed(e_, "XML"), ScriptValue(), &text, 1, true);
    }
    case AmfKind::Object:
    case AmfKind::TypedObject: {
      ScriptObject* o = e_.newObject();
      ScriptValue held = ScriptValue::object(o);
      objects_.push_back(held);
      if (v.kind == AmfKind::TypedObject) {
        const ScriptValue ctor = e_.registeredClass(v.text);
        if (ScriptObject* proto = prototypeOf(e_, ctor)) {
          o->protoProperty()->value = ScriptValue::object(proto);
          o->append("constructor", ctor, kDontEnum);
        }
      }
      members(o, v, depth);
      return held;
    }
    case AmfKind::MixedArray:
    case AmfKind::StrictArray: {
      ScriptObject* a = e_.newArray();
      ScriptValue held = ScriptValue::object(a);
      objects_.push_back(held);
      if (v.kind == AmfKind::MixedArray) {
        members(a, v, depth);
        return held;
      }
      for (size_t i = 0; i < v.elements.size(); ++i) {
        if (!e_.countNativeStep()) break;
        e_.setMember(a, indexText(i), convert(v.elements[i], depth + 1));
      }
      return held;
    }
  }
  return ScriptValue();
}

}  // namespace kivra
