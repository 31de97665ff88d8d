#pragma once
// One datum of the movie script: a kind code and a payload. Copying a value
// adds a reference to its string, object or clip reference; destroying or
// clearing one drops it. A fresh or cleared value is undefined.
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/script/ClipReference.h"
#include "core/script/ScriptString.h"

namespace kivra {

class ScriptObject;

// The order is also the index of the `typeof` names.
enum class ValueKind : uint8_t { Number = 0, Boolean = 1, String = 2, Object = 3, Clip = 4, Null = 5, Undefined = 6 };

// The counted part of a script object, kept here so that values can count
// references without knowing the whole object.
class ObjectCell {
 public:
  uint32_t refs() const { return refs_; }
  void retain() { ++refs_; }
  void release() {
    if (--refs_ == 0) unreferenced();
  }

 protected:
  ObjectCell() = default;
  ~ObjectCell() = default;
  // Hands the object to its heap unless it is permanent or a clip's object.
  void unreferenced();
  uint32_t refs_ = 0;
};

class ScriptValue {
 public:
  ScriptValue() : kind_(ValueKind::Undefined) { u_.n = 0; }
  ~ScriptValue() { drop(); }
  ScriptValue(const ScriptValue& o) : kind_(o.kind_), u_(o.u_) { take(); }
  ScriptValue(ScriptValue&& o) noexcept : kind_(o.kind_), u_(o.u_) { o.kind_ = ValueKind::Undefined; }
  ScriptValue& operator=(const ScriptValue& o) {
    if (this != &o) {
      // The old payload goes last: `o` may be held only through it.
      ScriptValue old(std::move(*this));
      kind_ = o.kind_;
      u_ = o.u_;
      take();
    }
    return *this;
  }
  ScriptValue& operator=(ScriptValue&& o) noexcept {
    if (this != &o) {
      drop();
      kind_ = o.kind_;
      u_ = o.u_;
      o.kind_ = ValueKind::Undefined;
    }
    return *this;
  }
  // Assignments to a value known to be undefined (an empty stack slot):
  // nothing to drop first.
  [[gnu::always_inline]] void fillEmpty(const ScriptValue& o) {
    kind_ = o.kind_;
    u_ = o.u_;
    take();
  }
  [[gnu::always_inline]] void fillEmpty(ScriptValue&& o) {
    kind_ = o.kind_;
    u_ = o.u_;
    o.kind_ = ValueKind::Undefined;
  }
  // A copy that adds no reference, into an empty slot whose source outlives
  // it; the slot is emptied with forget(), which drops nothing.
  [[gnu::always_inline]] void borrow(const ScriptValue& o) {
    kind_ = o.kind_;
    u_ = o.u_;
  }
  [[gnu::always_inline]] void forget() { kind_ = ValueKind::Undefined; }
  void swap(ScriptValue& o) noexcept {
    std::swap(kind_, o.kind_);
    std::swap(u_, o.u_);
  }

  static ScriptValue number(double d) {
    ScriptValue v;
    v.kind_ = ValueKind::Number;
    v.u_.n = d;
    return v;
  }
  static ScriptValue boolean(bool b) {
    ScriptValue v;
    v.kind_ = ValueKind::Boolean;
    v.u_.b = b;
    return v;
  }
  static ScriptValue null() {
    ScriptValue v;
    v.kind_ = ValueKind::Null;
    return v;
  }
  static ScriptValue undefined() { return ScriptValue(); }
  // Takes over one reference of `s` (null is the empty string).
  static ScriptValue adoptString(ScriptString* s) {
    ScriptValue v;
    v.kind_ = ValueKind::String;
    v.u_.s = s;
    return v;
  }
  static ScriptValue string(ScriptString* s) {
    if (s) s->retain();
    return adoptString(s);
  }
  // Undefined when the text is too long for a string (ScriptString::fits).
  // Out of line: inlined, the check costs the interpreter's loop registers.
  static ScriptValue string(std::string_view text, bool legacyOrigin);
  static ScriptValue object(ScriptObject* o);  // ScriptObject.h
  static ScriptValue clip(ClipReference* r) {
    ScriptValue v;
    if (!r) return v;
    v.kind_ = ValueKind::Clip;
    v.u_.c = r;
    r->retain();
    return v;
  }

  ValueKind kind() const { return kind_; }
  bool isNumber() const { return kind_ == ValueKind::Number; }
  bool isBoolean() const { return kind_ == ValueKind::Boolean; }
  bool isString() const { return kind_ == ValueKind::String; }
  bool isObject() const { return kind_ == ValueKind::Object; }
  bool isClip() const { return kind_ == ValueKind::Clip; }
  bool isNull() const { return kind_ == ValueKind::Null; }
  bool isUndefined() const { return kind_ == ValueKind::Undefined; }
  bool isNullish() const { return kind_ == ValueKind::Null || kind_ == ValueKind::Undefined; }

  double asNumber() const { return u_.n; }
  bool asBoolean() const { return u_.b; }
  // The string record; null for the empty string.
  ScriptString* asString() const { return kind_ == ValueKind::String ? u_.s : nullptr; }
  // The string record of a value known to be a string, without asking.
  ScriptString* knownString() const { return u_.s; }
  // The text of a string value; empty for every other kind.
  std::string_view stringView() const {
    return kind_ == ValueKind::String && u_.s ? std::string_view(u_.s->text()) : std::string_view();
  }
  ScriptObject* asObject() const;  // ScriptObject.h
  ClipReference* asClip() const { return kind_ == ValueKind::Clip ? u_.c : nullptr; }

  void clear() {
    drop();
    kind_ = ValueKind::Undefined;
  }
  // clear() for a value known to be a string, or an object.
  [[gnu::always_inline]] void clearString() {
    if (u_.s) u_.s->release();
    kind_ = ValueKind::Undefined;
  }
  [[gnu::always_inline]] void clearObject() {
    u_.o->release();
    kind_ = ValueKind::Undefined;
  }
  void setNumber(double d) {
    drop();
    kind_ = ValueKind::Number;
    u_.n = d;
  }
  void setBoolean(bool b) {
    drop();
    kind_ = ValueKind::Boolean;
    u_.b = b;
  }

  // Same kind and the same payload (same record for references).
  bool samePayload(const ScriptValue& o) const;

 private:
  // String, object and clip values hold a reference (kinds 2 to 4): taking
  // one stays inline, dropping one (which may free) is out of line.
  bool counted() const { return static_cast<uint8_t>(static_cast<uint8_t>(kind_) - 2) <= 2; }
  [[gnu::always_inline]] void take() {
    if (counted()) takeCounted();
  }
  [[gnu::always_inline]] void drop() {
    if (counted()) dropCounted();
  }
  void takeCounted() {
    if (kind_ == ValueKind::String) {
      if (u_.s) u_.s->retain();
    } else if (kind_ == ValueKind::Object) {
      u_.o->retain();
    } else {
      u_.c->retain();
    }
  }
  [[gnu::noinline]] void dropCounted() {
    if (kind_ == ValueKind::String) {
      if (u_.s) u_.s->release();
    } else if (kind_ == ValueKind::Object) {
      u_.o->release();
    } else {
      u_.c->release();
    }
  }

  ValueKind kind_;
  union Payload {
    double n;
    bool b;
    ScriptString* s;
    ObjectCell* o;
    ClipReference* c;
  } u_;
};

inline bool ScriptValue::samePayload(const ScriptValue& o) const {
  if (kind_ != o.kind_) return false;
  switch (kind_) {
    case ValueKind::Number:
      return u_.n == o.u_.n;
    case ValueKind::Boolean:
      return u_.b == o.u_.b;
    case ValueKind::String:
      return u_.s == o.u_.s;
    case ValueKind::Object:
      return u_.o == o.u_.o;
    case ValueKind::Clip:
      return u_.c == o.u_.c;
    default:
      return true;
  }
}

}  // namespace kivra
