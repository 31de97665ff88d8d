#pragma once
// A bag of named properties with a prototype link: plain objects, arrays,
// functions, the global object, activation objects and the script side of
// clips. Names compare without regard to the case of a-z. Properties keep
// their insertion order in a list and are found through a hash table.
//
// Lifetime: objects belong to their ScriptHeap. Values count references; an
// object whose count drops to 0 is freed by the heap (clip objects and
// permanent objects ignore the count), and the heap's collector frees cycles.
// The lookup rules that walk prototypes or call getters live in ScriptEngine.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/script/ConstantPool.h"
#include "core/script/ScriptValue.h"

namespace kivra {

class DecodedBlock;
class DisplayObject;
struct NativeCall;
class ScriptHeap;

// Property flag bits.
enum PropertyFlags : uint16_t {
  kDontEnum = 0x01,
  kDontDelete = 0x02,
  kReadOnly = 0x04,
  kInUse = 0x10,        // a getter, setter or watch callback is running
  kForceWrite = 0x40,   // assignment only: write even if read-only
  kVersion6Only = 0x80,
  kHiddenFrom6 = 0x100,
  kNoInheritedSetter = 0x200,  // assignment only
};

enum class ClassTag : uint8_t {
  Object,
  Array,
  Date,
  String,
  Number,
  Boolean,
  Sound,
  SharedObjectData,
  XmlNode,  // an XMLNode or XML object: its native state is an XmlNodeState
  Activation,
  Arguments,
  Super,
  Clip,
};

struct Property {
  std::string name;
  uint32_t hash = 0;
  ScriptValue value;
  uint16_t flags = 0;
  bool accessor = false;
  ScriptValue getter;
  ScriptValue setter;
  Property* next = nullptr;  // insertion order
  Property* prev = nullptr;
  Property* hashNext = nullptr;

  bool visibleTo(int version) const {
    if ((flags & kVersion6Only) && version < 6) return false;
    if ((flags & kHiddenFrom6) && version >= 6) return false;
    return true;
  }
};

// One scope-chain entry: an object (or a clip, by reference) and whether a
// `with` put it there.
struct ScopeEntry {
  ScriptValue object;
  bool isWith = false;
};

struct FunctionParam2 {
  uint8_t reg = 0;
  ScriptValue name;  // string
};

struct FunctionBody {
  bool native = false;
  // Native: the class and method numbers, and the routine found for them
  // when the function was made (null: the call does nothing).
  uint16_t nativeClass = 0;
  uint16_t method = 0;
  void (*nativeRun)(NativeCall&) = nullptr;
  // Script: a private copy of the body and what was in force at definition.
  std::vector<uint8_t> code;
  std::shared_ptr<const DecodedBlock> decoded;  // made on the first call
  PoolRef pool;
  bool function2 = false;
  uint8_t registerCount = 0;
  uint16_t flags2 = 0;
  std::vector<FunctionParam2> params;
  std::vector<ScopeEntry> scope;
  ScriptValue definedIn;  // the clip where it was defined
  int version = 6;
  // Set with the decoded form on the first call: a plain call of this
  // function needs only the common set-up (version 6 or later, DefineFunction2
  // with at most 8 registers, no preloads, each parameter in a register of
  // its own, a chain that fits the context).
  bool simpleCall = false;
  // Told apart from every other body prepared by the engine (never reused),
  // so that a call context can keep this body's chain from call to call.
  uint64_t callId = 0;
  // What the call's pending activation gets from the flags (DefineFunction2).
  bool callHasThis = true;
  bool callHasArguments = true;
  bool callMaySuper = true;  // when `this` is an object or a clip
};

// What the natives of a built-in class keep with one of its objects (the
// node behind an XML object); owned by the object and dropped with its
// values, so the collector's sweep lets go of it too.
class NativeState {
 public:
  virtual ~NativeState() = default;
};

struct WatchEntry {
  std::string name;
  ScriptValue callback;
  ScriptValue userData;
};

// Locals that every activation has without storing them as properties.
struct ActivationData {
  ScriptValue thisValue;
  bool hasThis = false;
  bool hasArguments = false;
  bool hasSuper = false;
  std::vector<ScriptValue> args;
  ScriptValue callee;
  ScriptValue caller;
  ScriptValue argumentsObject;  // built on first read
  ScriptValue superObject;      // built on first read
};

class ScriptObject : public ObjectCell {
 public:
  ScriptObject(ScriptHeap& heap, ClassTag tag);
  ~ScriptObject();
  ScriptObject(const ScriptObject&) = delete;
  ScriptObject& operator=(const ScriptObject&) = delete;

  ScriptHeap& heap() const { return *heap_; }
  ClassTag classTag() const { return tag_; }
  void setClassTag(ClassTag t) {
    tag_ = t;
    newLayout();
  }

  // ---- Own properties ----------------------------------------------------
  Property* findOwn(std::string_view name, uint32_t hash) {
    if (lastFound_ && lastFound_->hash == hash && equalsIgnoringCase(lastFound_->name, name)) return lastFound_;
    return findInTable(name, hash);
  }
  Property* findOwn(std::string_view name) { return findOwn(name, ScriptString::nameHash(name)); }
  Property* findOwn(const ScriptString* name) {
    return name ? findOwn(name->text(), name->hash()) : nullptr;
  }
  // Appends a new property (the name must not exist yet).
  Property* append(std::string_view name, uint32_t hash, const ScriptValue& value, uint16_t flags);
  Property* append(std::string_view name, const ScriptValue& value, uint16_t flags) {
    return append(name, ScriptString::nameHash(name), value, flags);
  }
  // Sets or creates an own property directly, without any rule (engine setup).
  void put(std::string_view name, const ScriptValue& value, uint16_t flags = 0);
  // Removes an own property regardless of flags.
  void remove(Property* p);
  Property* firstProperty() const { return head_; }
  size_t propertyCount() const { return count_; }

  // The prototype: the value of the own `__proto__` property, or null.
  ScriptObject* prototype() const { return proto_ ? proto_->value.asObject() : nullptr; }
  Property* protoProperty() const { return proto_; }
  Property* resolveProperty() const { return resolve_; }
  Property* lengthProperty() const { return length_; }

  // A stamp that changes whenever a property is added or removed (or the
  // class changes), unique over all objects of the heap: a lookup cached
  // with an object's address and stamp is still right while both match,
  // since the same properties are where they were. Values, flags and the
  // prototype link are not covered: users of the stamp check those.
  uint64_t layout() const { return layout_; }

  bool hasAccessors() const { return hasAccessors_; }
  void setHasAccessors() { hasAccessors_ = true; }

  // ---- Functions ----------------------------------------------------------
  FunctionBody* function() const { return function_.get(); }
  void setFunction(std::unique_ptr<FunctionBody> f) { function_ = std::move(f); }
  bool isFunction() const { return function_ != nullptr; }

  // ---- Clips ----------------------------------------------------------------
  bool isClipObject() const { return tag_ == ClassTag::Clip; }
  DisplayObject* clip() const { return clip_; }
  void setClip(DisplayObject* c) { clip_ = c; }
  // The clip's shared reference, made on first request.
  ClipReference* clipReference();
  // The clip is going away: values that refer to it keep a dead reference
  // with the path it last had.
  void detachClip(std::string lastPath);

  // ---- Other engine state ---------------------------------------------------
  std::vector<WatchEntry>* watches() const { return watches_.get(); }
  std::vector<WatchEntry>& makeWatches();
  ActivationData* activation() const { return activation_.get(); }
  ActivationData& makeActivation();
  ScriptValue& superTarget() { return superTarget_; }
  NativeState* nativeState() const { return nativeState_.get(); }
  void setNativeState(std::unique_ptr<NativeState> s) { nativeState_ = std::move(s); }
  // The primitive kept inside String, Number and Boolean objects.
  ScriptValue& primitive() { return primitive_; }
  uint32_t eventMask() const { return eventMask_; }
  void setEventMask(uint32_t m) { eventMask_ = m; }

  // Permanent objects (the global object, prototypes of the library) and
  // clip objects are never freed by the counts.
  bool permanent() const { return permanent_; }
  void setPermanent(bool p) { permanent_ = p; }

  // Calls f(ScriptValue&) on every value this object holds (collector).
  template <typename F>
  void forEachValue(F&& f) {
    for (Property* p = head_; p; p = p->next) {
      f(p->value);
      if (p->accessor) {
        f(p->getter);
        f(p->setter);
      }
    }
    if (function_) {
      for (ScopeEntry& e : function_->scope) f(e.object);
      f(function_->definedIn);
    }
    if (watches_)
      for (WatchEntry& w : *watches_) {
        f(w.callback);
        f(w.userData);
      }
    if (activation_) {
      f(activation_->thisValue);
      for (ScriptValue& a : activation_->args) f(a);
      f(activation_->callee);
      f(activation_->caller);
      f(activation_->argumentsObject);
      f(activation_->superObject);
    }
    f(superTarget_);
    f(primitive_);
  }
  // Drops every held value (the collector breaks cycles this way).
  void clearAll();

  // Heap bookkeeping.
  size_t heapIndex = 0;
  uint32_t gcCount = 0;
  bool gcMarked = false;
  bool dying = false;

 private:
  friend class ObjectCell;
  void rehash(size_t buckets);
  Property* findInTable(std::string_view name, uint32_t hash);
  void forget(Property* p);
  void newLayout();

  ScriptHeap* heap_;
  uint64_t layout_ = 0;
  ClassTag tag_;
  bool hasAccessors_ = false;
  bool permanent_ = false;
  uint32_t eventMask_ = 0;
  DisplayObject* clip_ = nullptr;
  ClipReference* clipRef_ = nullptr;

  Property* head_ = nullptr;
  Property* tail_ = nullptr;
  std::vector<Property*> buckets_;
  size_t count_ = 0;
  Property* lastFound_ = nullptr;
  Property* resolve_ = nullptr;
  Property* length_ = nullptr;
  Property* proto_ = nullptr;

  std::unique_ptr<FunctionBody> function_;
  std::unique_ptr<std::vector<WatchEntry>> watches_;
  std::unique_ptr<ActivationData> activation_;
  std::unique_ptr<NativeState> nativeState_;
  ScriptValue superTarget_;
  ScriptValue primitive_;
};

inline ScriptValue ScriptValue::object(ScriptObject* o) {
  ScriptValue v;
  if (!o) return ScriptValue::null();
  v.kind_ = ValueKind::Object;
  v.u_.o = o;
  o->retain();
  return v;
}

inline ScriptObject* ScriptValue::asObject() const {
  return kind_ == ValueKind::Object ? static_cast<ScriptObject*>(u_.o) : nullptr;
}

}  // namespace kivra
