#pragma once
// The state of one running block of actions: its scope chain, registers,
// target and the call that set it up.
#include <cstdint>
#include <cstddef>
#include <vector>

#include "core/script/ConstantPool.h"
#include "core/script/ScriptLimits.h"
#include "core/script/ScriptObject.h"
#include "core/script/ScriptValue.h"

namespace kivra {

// A local of a call whose activation object is not made yet: a parameter of
// a DefineFunction body or a DefineLocal. The activation gets them as
// properties, in this order, when it is made.
struct PendingLocal {
  ScriptValue name;  // a string with no path characters, not a special name
  uint32_t hash = 0;
  uint16_t flags = 0;
  ScriptValue value;
};

// One running block of actions. The contexts of script function calls are
// reused from call to call; a field added here must either be set on every
// call by ScriptEngine::runScriptFunction or be put back to its default in
// ScriptEngine::resetCallContext. A context last used by a simple call
// (ScriptEngine::callSimple, callQuick) instead keeps, until the next call at its
// depth, what every call of that function sets alike: its borrowed chain,
// function, pool and target and the fields they imply (`chainOf` names the
// function's body); runScriptFunction lets them go first
// (ScriptEngine::releaseKept). The fields a call sets, and those the
// interpreter reads on every record, come first, together.
struct ActionContext {
  enum Kind : uint8_t { Queued = 0, Call = 1, Construct = 2 };
  Kind kind = Queued;
  bool version4 = false;  // `version-4 mode`
  bool hasOverride = false;
  bool returned = false;
  // Borrowed from the function, as below: forgotten, not dropped, on reset.
  bool borrowedTarget = false;
  bool borrowedPool = false;
  bool borrowedFunction = false;  // borrowed from a caller that holds it for the call
  // A function call makes its activation object only when something needs
  // it (ScriptEngine::activationOf): a local, a nested function, `arguments`,
  // a path lookup. Until then the scope entry at `pendingEntry` is empty and
  // the activation's flags wait here, with its `this`, caller and arguments
  // borrowed from the call, which outlives the context's run.
  bool pendingHasThis = false;
  bool pendingHasArguments = false;
  bool pendingHasSuper = false;  // the flags allow it: `this` decides (pendingSuper)
  int version = 6;
  int withCount = 0;
  int registerCount = 0;
  int scopeCount = 0;
  // The first entries of a call's chain are borrowed from its function,
  // which the caller holds for the call: they add no references and are
  // forgotten, not dropped, when the context is reset.
  int borrowedScope = 0;
  int clipEntry = 1;  // index of the scope entry that is the target clip
  int pendingEntry = -1;
  int pendingArgc = 0;
  int pendingLocalCount = 0;  // entries of pendingLocals in use (activation not made)
  // The function body (FunctionBody::callId) whose call set this context
  // up last and whose borrowed values it keeps between calls; 0 for none.
  uint64_t chainOf = 0;
  ScriptValue* registers = nullptr;
  PoolRef pool;
  ScriptObject* activation = nullptr;  // held by its scope entry
  const ScriptValue* pendingThis = nullptr;
  // The caller's context, whose function (when it has one) is the caller;
  // it is the same for the whole run of this one.
  const ActionContext* pendingCaller = nullptr;
  const ScriptValue* pendingArgs = nullptr;
  ScriptValue target;    // the context's own clip (clip value)
  ScriptValue function;  // also the activation's callee
  ScriptValue returnValue;
  ScriptValue override;  // the SetTarget override, when hasOverride
  static constexpr int kInlineRegisters = 8;
  ScriptValue inlineRegisters[kInlineRegisters];  // for register counts up to 8
  ScopeEntry scope[kMaxScope];
  static constexpr int kPendingLocals = 8;
  PendingLocal pendingLocals[kPendingLocals];
  std::vector<ScriptValue> ownRegisters;
  // End positions of the `with` blocks in force (innermost last).
  size_t withStart[kMaxScope];
  size_t withEnd[kMaxScope];

  // The pending local of that name, or null.
  PendingLocal* findPendingLocal(const ScriptString* name) {
    return const_cast<PendingLocal*>(static_cast<const ActionContext*>(this)->findPendingLocal(name));
  }
  const PendingLocal* findPendingLocal(const ScriptString* name) const {
    // The names of a body's locals and the names it reads mostly come from
    // its constant pool: the same strings.
    for (int i = 0; i < pendingLocalCount; ++i)
      if (pendingLocals[i].name.knownString() == name) return &pendingLocals[i];
    if (!name || pendingLocalCount == 0) return nullptr;
    const uint32_t h = name->hash();
    for (int i = 0; i < pendingLocalCount; ++i) {
      const PendingLocal& l = pendingLocals[i];
      if (l.hash == h && equalsIgnoringCase(l.name.stringView(), name->text())) return &l;
    }
    return nullptr;
  }
  // Drops the pending locals.
  void clearPendingLocals() {
    for (int i = 0; i < pendingLocalCount; ++i) {
      pendingLocals[i].name.clear();
      pendingLocals[i].value.clear();
    }
    pendingLocalCount = 0;
  }

  bool pendingSuper() const {
    return pendingHasSuper && pendingThis && (pendingThis->isObject() || pendingThis->isClip());
  }

  ActionContext() = default;
  ActionContext(const ActionContext&) = delete;
  ActionContext& operator=(const ActionContext&) = delete;
  ~ActionContext() {
    for (int i = 0; i < borrowedScope; ++i) scope[i].object.forget();
    if (borrowedTarget) target.forget();
    if (borrowedFunction) function.forget();
    if (borrowedPool) pool.forget();
  }
};

}  // namespace kivra
