#pragma once
// The lookup caches' inline checks for the common shapes of a variable read
// or write: the record loop and the quick call ask them before the general
// cached lookups (ScriptEngine::cachedGetVariable, cachedSetVariable).
#include "core/script/ClipReference.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

inline const Property* ScriptEngine::quickCachedProperty(const ActionContext& ctx, const ScriptString* name,
                                                        const LookupCache& c) const {
  // (An empty cache's entry, -1, is past any count as unsigned; a filled
  // one's name is a string.)
  const int entry = c.entry;
  if (static_cast<unsigned>(entry) >= static_cast<unsigned>(ctx.scopeCount) || c.name.knownString() != name ||
      entry == ctx.pendingEntry || ctx.version4 || ctx.hasOverride ||
      (ctx.pendingLocalCount != 0 && ctx.findPendingLocal(name)))
    return nullptr;
  for (int i = ctx.scopeCount - 1; i > entry; --i) {
    if (i == ctx.pendingEntry) continue;
    const ScriptObject* o = ctx.scope[i].object.asObject();
    if (!o || o->classTag() != ClassTag::Activation || o->propertyCount() != 0) return nullptr;
  }
  const ScriptValue& holder = ctx.scope[entry].object;
  const ScriptObject* h = holder.isObject() ? holder.asObject() : holder.isClip() ? holder.asClip()->object() : nullptr;
  if (h != c.objects[0] || h->layout() != c.layouts[0]) return nullptr;
  const Property* p = c.property;
  if (p->accessor || !p->visibleTo(version_)) return nullptr;
  return p;
}

[[gnu::always_inline]] inline bool ScriptEngine::quickCachedVariable(const ActionContext& ctx, const ScriptString* name,
                                              const LookupCache& c, ScriptValue& out) const {
  // A local waiting in the call, with no `with` entry above it.
  if (ctx.pendingLocalCount != 0 && ctx.pendingEntry == ctx.scopeCount - 1 && !ctx.version4) {
    if (const PendingLocal* l = ctx.findPendingLocal(name)) {
      out.fillEmpty(l->value);
      return true;
    }
  }
  const Property* p = quickCachedProperty(ctx, name, c);
  if (!p) return false;
  out.fillEmpty(p->value);
  return true;
}

inline bool ScriptEngine::quickCachedSetVariable(ActionContext& ctx, const ScriptString* name,
                                                 const LookupCache& c, const ScriptValue& value) {
  if (ctx.pendingLocalCount != 0 && ctx.pendingEntry == ctx.scopeCount - 1 && !ctx.version4 &&
      bridge_ == displayBridgeBase_) {
    if (PendingLocal* l = ctx.findPendingLocal(name)) {
      l->value = value;
      return true;
    }
  }
  if (c.entry < 0 || c.name.knownString() != name || ctx.version4 || c.entry >= ctx.scopeCount ||
      c.entry == ctx.pendingEntry || ctx.hasOverride || bridge_ != displayBridgeBase_ ||
      (ctx.pendingLocalCount != 0 && ctx.findPendingLocal(name)))
    return false;
  for (int i = ctx.scopeCount - 1; i > c.entry; --i) {
    if (i == ctx.pendingEntry && i != ctx.clipEntry && i != 0 && ctx.scopeCount > 1) continue;
    const ScriptObject* o = ctx.scope[i].object.asObject();
    if (!o || i == ctx.pendingEntry || i == ctx.clipEntry || i == 0 || o->classTag() != ClassTag::Activation ||
        o->propertyCount() != 0)
      return false;
  }
  const ScriptValue& holder = ctx.scope[c.entry].object;
  ScriptObject* h = holder.asObject();
  if (!h) {
    const ClipReference* r = holder.asClip();
    h = r ? r->object() : nullptr;
  }
  if (h != c.objects[0] || h->layout() != c.layouts[0] || (h->watches() && !h->watches()->empty())) return false;
  Property* p = c.property;
  if (p->accessor || (p->flags & kReadOnly)) return false;
  p->value = value;
  if (version_ <= 5) p->flags &= ~kVersion6Only;
  return true;
}

}  // namespace kivra
