// Member access with prototype walks, getters and setters, watches, array
// length, deletion, enumeration, and variables along the scope chain.
#include <cmath>

#include "core/script/ClipEvents.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

uint32_t clipEventBit(std::string_view name) {
  if (name.size() < 3 || foldCase(name[0]) != 'O' || foldCase(name[1]) != 'N') return 0;
  for (const ClipEventName& e : kClipEventNames)
    if (equalsIgnoringCase(name, e.name)) return e.bit;
  return 0;
}

namespace {

// Re-finds a property after a call that may have changed the object and
// clears its in-use bit.
void clearInUse(ScriptObject* o, std::string_view name) {
  if (Property* p = o->findOwn(name)) p->flags &= ~kInUse;
}

// A leading run of decimal digits as an array index, or -1.
int64_t arrayIndex(std::string_view name) {
  if (name.empty() || name[0] < '0' || name[0] > '9') return -1;
  int64_t k = 0;
  for (char c : name) {
    if (c < '0' || c > '9') break;
    k = k * 10 + (c - '0');
    if (k > 0xFFFFFFFFLL) return -1;
  }
  return k;
}

}  // namespace

bool ScriptEngine::getMember(ScriptObject* object, const ScriptValue& name, ScriptValue& out, bool allowResolve) {
  const ScriptString* s = name.asString();
  return getMember(object, name.stringView(), s ? s->hash() : 0, out, allowResolve);
}

bool ScriptEngine::getMember(ScriptObject* object, std::string_view name, ScriptValue& out, bool allowResolve) {
  return getMember(object, name, ScriptString::nameHash(name), out, allowResolve);
}

bool ScriptEngine::getMember(ScriptObject* object, std::string_view name, uint32_t hash, ScriptValue& out,
                             bool allowResolve) {
  if (!object) return false;
  // The common case first: a plain own property of the object itself.
  if (object->classTag() != ClassTag::Super) {
    Property* p = object->findOwn(name, hash);
    if (p && !p->accessor && p->visibleTo(version_)) {
      out = p->value;
      return true;
    }
  }
  ScriptObject* start = object;
  if (object->classTag() == ClassTag::Super) {
    ScriptObject* target = toObject(object->superTarget());
    start = target ? target->prototype() : nullptr;
    start = start ? start->prototype() : nullptr;
  }
  // `this` of a getter or resolver call; made only when one runs.
  auto thisFor = [this, object]() {
    if (object->classTag() == ClassTag::Super) return object->superTarget();
    return object->isClipObject() ? clipValue(object) : ScriptValue::object(object);
  };
  ScriptValue resolver;
  int steps = 0;
  for (ScriptObject* o = start; o;) {
    if (++steps > kMaxChain) {
      abort_ = true;
      return false;
    }
    Property* p = o->findOwn(name, hash);
    if (p && p->visibleTo(version_)) {
      if (p->accessor && p->getter.isObject() && !(p->flags & kInUse)) {
        p->flags |= kInUse;
        ScriptValue holder = ScriptValue::object(object);  // keeps the object while the getter runs
        ScriptValue keep = ScriptValue::object(o);
        ScriptValue getter = p->getter;
        out = call(getter, thisFor(), nullptr, 0);
        clearInUse(o, name);
      } else {
        out = p->value;
      }
      return true;
    }
    if (o->isClipObject() && !version4_ && bridge_->clipMember(*o, name, out)) return true;
    if (allowResolve && resolver.isUndefined() && o->resolveProperty() &&
        o->resolveProperty()->visibleTo(version_))
      resolver = o->resolveProperty()->value;
    ScriptObject* next = o->prototype();
    if (!next && o->isClipObject()) {
      // A clip without a prototype gets MovieClip's on the spot.
      ScriptValue mc;
      if (getMember(global(), "MovieClip", mc, false)) {
        ScriptValue proto;
        if (ScriptObject* ctor = mc.asObject(); ctor && getMember(ctor, "prototype", proto, false) &&
                                                 proto.isObject() && proto.asObject() != o) {
          o->put("__proto__", proto, kDontEnum | kDontDelete);
          o->put("constructor", mc, kDontEnum | kDontDelete);
          next = proto.asObject();
        }
      }
    }
    o = next;
  }
  if (resolver.isObject() && resolver.asObject()->isFunction()) {
    ScriptValue holder = ScriptValue::object(object);
    ScriptValue arg = makeString(name);
    out = call(resolver, thisFor(), &arg, 1);
    return true;
  }
  return false;
}

ScriptValue ScriptEngine::getMember(const ScriptValue& object, std::string_view name) {
  ScriptValue out;
  getMember(toObject(object), name, out);
  return out;
}

void ScriptEngine::setMember(ScriptObject* object, const ScriptValue& name, const ScriptValue& value,
                             uint16_t flags) {
  const ScriptString* s = name.asString();
  setMember(object, name.stringView(), s ? s->hash() : 0, value, flags);
}

void ScriptEngine::setMember(ScriptObject* o, std::string_view name, const ScriptValue& value, uint16_t flags) {
  setMember(o, name, ScriptString::nameHash(name), value, flags);
}

void ScriptEngine::setMember(ScriptObject* o, std::string_view name, uint32_t hash, const ScriptValue& valueIn,
                             uint16_t flags) {
  if (!o || name.empty()) return;
  ScriptValue holder = ScriptValue::object(o);
  ScriptValue value = valueIn;
  if (o->classTag() == ClassTag::Array) {
    Property* len = o->lengthProperty();
    const double oldLength = len ? toNumber(len->value) : 0;
    if (equalsIgnoringCase(name, "length")) {
      const double newLength = static_cast<uint32_t>(toBits32(toNumber(value)));
      if (oldLength - newLength <= static_cast<double>(o->propertyCount())) {
        for (double k = newLength; k < oldLength; ++k)
          if (Property* e = o->findOwn(formatNumber(k))) o->remove(e);
      } else {
        // A long array with few elements: look at the properties, not at
        // every index in between.
        for (Property* e = o->firstProperty(); e;) {
          Property* next = e->next;
          const int64_t k = arrayIndex(e->name);
          if (k >= newLength && k < oldLength && formatNumber(static_cast<double>(k)) == e->name) o->remove(e);
          e = next;
        }
      }
      value = ScriptValue::number(newLength);
    } else {
      const int64_t k = arrayIndex(name);
      if (k >= 0 && static_cast<double>(k) >= oldLength) {
        if (len) len->value = ScriptValue::number(static_cast<double>(k + 1));
        else o->append("length", ScriptValue::number(static_cast<double>(k + 1)), kDontEnum | kDontDelete);
      }
    }
  }
  Property* p = o->findOwn(name, hash);
  if (p && (p->flags & kReadOnly) && !(flags & kForceWrite)) return;
  if (!p) {
    if (!(flags & kNoInheritedSetter)) {
      int steps = 0;
      for (ScriptObject* q = o->prototype(); q; q = q->prototype()) {
        if (++steps > kMaxChain) {
          abort_ = true;
          return;
        }
        if (!q->hasAccessors()) continue;
        Property* s = q->findOwn(name, hash);
        if (s && s->accessor && s->visibleTo(version_)) {
          if (s->setter.isObject() && !(s->flags & kInUse)) {
            s->flags |= kInUse;
            ScriptValue keep = ScriptValue::object(q);
            ScriptValue setter = s->setter;
            ScriptValue thisValue = o->isClipObject() ? clipValue(o) : holder;
            call(setter, thisValue, &value, 1);
            clearInUse(q, name);
            return;
          }
          break;
        }
      }
    }
    p = o->append(name, hash, ScriptValue(), flags);
    if (!p) return;
  }
  if (std::vector<WatchEntry>* watches = o->watches()) {
    for (size_t i = 0; i < watches->size(); ++i) {
      if (!equalsIgnoringCase((*watches)[i].name, name) || (p->flags & kInUse)) continue;
      p->flags |= kInUse;
      ScriptValue callback = (*watches)[i].callback;
      ScriptValue args[4] = {makeString(name), p->value, value, (*watches)[i].userData};
      ScriptValue thisValue = o->isClipObject() ? clipValue(o) : holder;
      value = call(callback, thisValue, args, 4);
      clearInUse(o, name);
      p = o->findOwn(name, hash);
      if (!p) return;
      break;
    }
  }
  if (p->accessor) {
    if (p->setter.isObject() && !(p->flags & kInUse)) {
      p->flags |= kInUse;
      ScriptValue setter = p->setter;
      ScriptValue thisValue = o->isClipObject() ? clipValue(o) : holder;
      call(setter, thisValue, &value, 1);
      clearInUse(o, name);
      return;
    }
    if (!(p->flags & kInUse)) return;  // a getter without a setter: read-only
  }
  p->value = std::move(value);
  if (version_ <= 5 && !(flags & kVersion6Only)) p->flags &= ~kVersion6Only;
  if (const uint32_t bit = clipEventBit(name)) o->setEventMask(o->eventMask() | bit);
}

bool ScriptEngine::deleteMember(ScriptObject* o, std::string_view name) {
  if (!o) return false;
  Property* p = o->findOwn(name);
  if (!p || (p->flags & kDontDelete)) return false;
  ScriptValue holder = ScriptValue::object(o);
  o->remove(p);
  if (const uint32_t bit = clipEventBit(name)) o->setEventMask(o->eventMask() & ~bit);
  return true;
}

bool ScriptEngine::addAccessor(ScriptObject* o, std::string_view name, const ScriptValue& getter,
                               const ScriptValue& setter) {
  if (!o || name.empty()) return false;
  if (!getter.isObject() || !getter.asObject()->isFunction()) return false;
  if (!setter.isNull() && !(setter.isObject() && setter.asObject()->isFunction())) return false;
  Property* p = o->findOwn(name);
  if (!p) p = o->append(name, ScriptValue(), 0);
  p->accessor = true;
  p->getter = getter;
  p->setter = setter.isObject() ? setter : ScriptValue();
  o->setHasAccessors();
  return true;
}

bool ScriptEngine::watch(ScriptObject* o, std::string_view name, const ScriptValue& callback,
                         const ScriptValue& userData) {
  if (!o || name.empty() || !callback.isObject() || !callback.asObject()->isFunction()) return false;
  std::vector<WatchEntry>& w = o->makeWatches();
  for (WatchEntry& e : w)
    if (equalsIgnoringCase(e.name, name)) {
      e.callback = callback;
      e.userData = userData;
      return true;
    }
  w.push_back(WatchEntry{std::string(name), callback, userData});
  return true;
}

bool ScriptEngine::unwatch(ScriptObject* o, std::string_view name) {
  if (!o || !o->watches()) return false;
  std::vector<WatchEntry>& w = *o->watches();
  for (size_t i = 0; i < w.size(); ++i)
    if (equalsIgnoringCase(w[i].name, name)) {
      WatchEntry gone = std::move(w[i]);
      w.erase(w.begin() + static_cast<long>(i));
      return true;
    }
  return false;
}

void ScriptEngine::enumerate(ScriptObject* object, std::vector<std::string>& names) {
  if (!object) return;
  if (object->isClipObject()) bridge_->childNames(*object, names);
  int steps = 0;
  for (ScriptObject* o = object; o; o = o->prototype()) {
    if (++steps > kMaxChain) {
      abort_ = true;
      return;
    }
    for (Property* p = o->firstProperty(); p; p = p->next) {
      if ((p->flags & kDontEnum) || !p->visibleTo(version_)) continue;
      bool seen = false;
      for (const std::string& n : names)
        if (equalsIgnoringCase(n, p->name)) {
          seen = true;
          break;
        }
      if (!seen) names.push_back(p->name);
    }
  }
}

bool ScriptEngine::instanceOf(const ScriptValue& value, const ScriptValue& constructor) {
  ScriptObject* o = toObject(value);
  ScriptObject* ctor = constructor.asObject();
  if (!o || !ctor) return false;
  ScriptValue proto;
  if (!getMember(ctor, "prototype", proto, false) || !proto.isObject()) return false;
  int steps = 0;
  for (ScriptObject* p = o->prototype(); p; p = p->prototype()) {
    if (++steps > kMaxChain) {
      abort_ = true;
      return false;
    }
    if (p == proto.asObject()) return true;
  }
  return false;
}

void ScriptEngine::setPropertyFlags(ScriptObject* o, const ScriptValue& names, int set, int clear) {
  if (!o) return;
  set &= 0xFF;
  clear &= 0xFF;
  if (set == 0 && clear == 0) {
    setMember(o, "length", ScriptValue::number(0));
    return;
  }
  auto apply = [set, clear](Property* p) {
    p->flags = static_cast<uint16_t>((p->flags & ~clear) | set);
  };
  if (names.isNull()) {
    for (Property* p = o->firstProperty(); p; p = p->next) apply(p);
    return;
  }
  const std::string list = toStdString(names);
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (Property* p = o->findOwn(std::string_view(list).substr(start, comma - start))) apply(p);
    start = comma + 1;
  }
}

void ScriptEngine::attachPrototype(ScriptObject* fn) {
  ScriptObject* proto = newObject();
  ScriptValue pv = ScriptValue::object(proto);
  proto->put("constructor", ScriptValue::object(fn), kDontEnum | kDontDelete);
  fn->put("prototype", pv, kDontEnum | kDontDelete);
}

// ---- Variables ---------------------------------------------------------------

ScriptObject* ScriptEngine::contextTarget(ActionContext& ctx) {
  return toObject(ctx.hasOverride ? ctx.override : ctx.target);
}

ScriptObject* ScriptEngine::scopeObject(ActionContext& ctx, int i) {
  if (i == ctx.clipEntry && ctx.hasOverride) return toObject(ctx.override);
  if (i == ctx.pendingEntry) return activationOf(ctx);
  const ScriptValue& v = ctx.scope[i].object;
  if (ScriptObject* o = v.asObject()) return o;
  if (ClipReference* r = v.asClip()) return r->object();  // a removed clip is skipped
  return nullptr;
}

bool ScriptEngine::splitPath(ActionContext& ctx, std::string_view name, std::string_view& path,
                             std::string_view& var) {
  size_t sep = std::string_view::npos;
  if (ctx.version4) {
    sep = name.rfind(':');
  } else {
    const size_t colon = name.rfind(':'), dot = name.rfind('.');
    if (colon != std::string_view::npos) sep = colon;
    if (dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep)) sep = dot;
  }
  if (sep == std::string_view::npos) return false;
  path = name.substr(0, sep);
  var = name.substr(sep + 1);
  return true;
}

namespace {

// "name.scroll" or "name.maxscroll": the field's variable name and which.
bool scrollSuffix(std::string_view var, std::string_view& field, bool& max) {
  const size_t dot = var.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view suffix = var.substr(dot + 1);
  max = equalsIgnoringCase(suffix, "maxscroll");
  if (!max && !equalsIgnoringCase(suffix, "scroll")) return false;
  field = var.substr(0, dot);
  return true;
}

}  // namespace

bool ScriptEngine::getFieldScroll(ScriptObject& target, std::string_view var, ScriptValue& out) {
  std::string_view field;
  bool max = false;
  return scrollSuffix(var, field, max) && bridge_->fieldScroll(target, field, max, out);
}

bool ScriptEngine::setFieldScroll(ScriptObject& target, std::string_view var, const ScriptValue& value) {
  std::string_view field;
  bool max = false;
  // maxscroll is read-only: writing it changes nothing.
  if (!scrollSuffix(var, field, max)) return false;
  ScriptValue ignored;
  return max ? bridge_->fieldScroll(target, field, true, ignored) : bridge_->setFieldScroll(target, field, value);
}

bool ScriptEngine::setScrollThroughPath(ScriptObject& start, std::string_view path, const ScriptValue& value) {
  // The path's last part names the variable a field mirrors.
  const size_t cut = path.find_last_of(":.");
  ScriptObject* holder = &start;
  std::string_view name = path;
  if (cut != std::string_view::npos) {
    holder = bridge_->resolvePath(&start, path.substr(0, cut), 0);
    name = path.substr(cut + 1);
  }
  return holder && !name.empty() && bridge_->setFieldScroll(*holder, name, value);
}

bool ScriptEngine::specialLocal(ScriptObject* activation, std::string_view name, ScriptValue& out) {
  ActivationData* a = activation->activation();
  if (!a || name.size() < 4 || name.size() > 9) return false;
  if (a->hasThis && equalsIgnoringCase(name, "this")) {
    out = a->thisValue;
    return true;
  }
  if (a->hasArguments && equalsIgnoringCase(name, "arguments")) {
    out = argumentsObject(activation);
    return true;
  }
  if (a->hasSuper && equalsIgnoringCase(name, "super")) {
    out = superObject(activation);
    return true;
  }
  return false;
}

ScriptValue ScriptEngine::getVariable(ActionContext& ctx, const ScriptValue& nameValue) {
  const std::string_view name = nameValue.stringView();
  ScriptValue out;
  const ScriptString* s = nameValue.asString();
  if (s && s->hasPathChars()) {
    // A name made only of slash-path characters names the clip itself.
    if (!ctx.version4 && name.find('/') != std::string_view::npos && name.find(':') == std::string_view::npos &&
        name.find('.') == std::string_view::npos) {
      ScriptObject* start = contextTarget(ctx);
      if (ScriptObject* c = bridge_->resolvePath(start ? start : bridge_->rootClip(), name, 0))
        return c->isClipObject() ? clipValue(c) : ScriptValue::object(c);
      return out;
    }
    std::string_view path, var;
    if (splitPath(ctx, name, path, var)) {
      if (ctx.version4) {
        ScriptObject* start = contextTarget(ctx);
        ScriptObject* o = start ? bridge_->resolvePath(start, path, kPathVersion4) : nullptr;
        if (o && !getFieldScroll(*o, var, out)) getMember(o, var, out);
        return out;
      }
      for (int i = ctx.scopeCount - 1; i >= 0; --i) {
        ScriptObject* so = scopeObject(ctx, i);
        if (!so) continue;
        ScriptObject* o = path.empty() ? so : bridge_->resolvePath(so, path, 0);
        if (o && getMember(o, var, out)) return out;
      }
      return out;
    }
  }
  const uint32_t hash = s ? s->hash() : 0;
  if (ctx.version4) {
    ScriptObject* t = contextTarget(ctx);
    if (t && !(s && s->hasPathChars() && getFieldScroll(*t, name, out))) getMember(t, name, hash, out);
    return out;
  }
  for (int i = ctx.scopeCount - 1; i >= 0; --i) {
    if (i == ctx.pendingEntry) {
      // An activation not made yet holds the locals waiting in the context
      // and the special names.
      if (ctx.pendingLocalCount > 0)
        if (const PendingLocal* l = ctx.findPendingLocal(s)) return l->value;
      if (name.size() < 4 || name.size() > 9) continue;
      if (ctx.pendingHasThis && equalsIgnoringCase(name, "this")) return *ctx.pendingThis;
      if (!(ctx.pendingHasArguments && equalsIgnoringCase(name, "arguments")) &&
          !(ctx.pendingSuper() && equalsIgnoringCase(name, "super")))
        continue;
    }
    ScriptObject* o = scopeObject(ctx, i);
    if (!o) continue;
    if (o->classTag() == ClassTag::Activation) {
      if (specialLocal(o, name, out)) return out;
      // No locals: no own property and no prototype to find it in.
      if (o->propertyCount() == 0) continue;
    }
    if (getMember(o, name, hash, out)) return out;
    if (abort_) break;
  }
  return out;
}

void ScriptEngine::setVariable(ActionContext& ctx, const ScriptValue& nameValue, const ScriptValue& value) {
  std::string_view name = nameValue.stringView();
  std::string_view path;
  bool hasPath = false;
  const ScriptString* s = nameValue.asString();
  if (s && s->hasPathChars()) {
    std::string_view var;
    if (splitPath(ctx, name, path, var)) {
      hasPath = true;
      name = var;
    }
  }
  if (ctx.version4) {
    ScriptObject* t = contextTarget(ctx);
    if (t && hasPath) t = bridge_->resolvePath(t, path, kPathVersion4);
    if (t && !setFieldScroll(*t, name, value)) setMember(t, name, value);
    return;
  }
  const uint32_t hash = s && !hasPath ? s->hash() : ScriptString::nameHash(name);
  for (int i = ctx.scopeCount - 1; i >= 0; --i) {
    // An activation not made yet has no own properties and no prototype:
    // nothing in it takes the assignment unless it is the clip's entry.
    if (i == ctx.pendingEntry && !hasPath && i != ctx.clipEntry && i != 0 && ctx.scopeCount > 1) {
      // Only its pending locals.
      if (ctx.pendingLocalCount > 0) {
        if (PendingLocal* l = ctx.findPendingLocal(s)) {
          l->value = value;
          return;
        }
      }
      continue;
    }
    ScriptObject* o = scopeObject(ctx, i);
    if (!o) continue;
    if (hasPath) {
      ScriptObject* from = o;
      o = path.empty() ? o : bridge_->resolvePath(o, path, 0);
      if (!o) {
        if (equalsIgnoringCase(name, "scroll") && setScrollThroughPath(*from, path, value)) return;
        continue;
      }
    }
    const bool clipEntry = i == ctx.clipEntry || ctx.scopeCount == 1;
    if (i == 0 && ctx.scopeCount > 1 && !hasPath) break;  // the global object is never a target here
    if (o->isClipObject() && bridge_->setClipMember(*o, name, value)) return;
    bool assign = clipEntry || hasPath || o->findOwn(name, hash) != nullptr;
    if (!assign) {
      int steps = 0;
      for (ScriptObject* q = o->prototype(); q && steps < kMaxChain; q = q->prototype(), ++steps) {
        if (!q->hasAccessors()) continue;
        Property* p = q->findOwn(name, hash);
        if (p && p->accessor && p->setter.isObject()) {
          assign = true;
          break;
        }
      }
    }
    if (assign) {
      setMember(o, name, value);
      return;
    }
  }
}

}  // namespace kivra

// ---- Cached lookups ------------------------------------------------------------
// The general lookups above decide the same way in the cases covered here:
// the scope entries passed hold nothing of that name and have no prototype
// (an activation with no locals, or one not made yet), and the holder has
// the name as a plain own property, so the general lookup ends there.

namespace kivra {

namespace {

// Names an activation answers without a property.
bool isSpecialLocal(std::string_view name) {
  return equalsIgnoringCase(name, "this") || equalsIgnoringCase(name, "arguments") ||
         equalsIgnoringCase(name, "super");
}

bool emptyActivation(const ScriptObject* o) {
  return o->classTag() == ClassTag::Activation && o->propertyCount() == 0;
}

}  // namespace

bool ScriptEngine::skippableForGet(ActionContext& ctx, int entry) {
  for (int i = ctx.scopeCount - 1; i > entry; --i) {
    if (i == ctx.pendingEntry) continue;
    ScriptObject* o = scopeObject(ctx, i);
    if (o && !emptyActivation(o)) return false;
  }
  return true;
}

bool ScriptEngine::cachedGetVariable(ActionContext& ctx, const ScriptString* name, LookupCache& c, ScriptValue& out) {
  if (ctx.version4 || !name) return false;
  // A local waiting for its activation, when no `with` entry is above it.
  if (ctx.pendingLocalCount > 0) {
    if (const PendingLocal* l = ctx.findPendingLocal(name)) {
      if (ctx.pendingEntry != ctx.scopeCount - 1) return false;
      out.fillEmpty(l->value);
      return true;
    }
  }
  if (c.entry >= 0 && c.name.asString() == name && c.entry < ctx.scopeCount && c.entry != ctx.pendingEntry &&
      skippableForGet(ctx, c.entry)) {
    ScriptObject* h = scopeObject(ctx, c.entry);
    if (h == c.objects[0] && h->layout() == c.layouts[0]) {
      const Property* p = c.property;
      if (!p->accessor && p->visibleTo(version_)) {
        out.fillEmpty(p->value);
        return true;
      }
    }
  }
  if (name->hasPathChars() || isSpecialLocal(name->text())) return false;
  for (int i = ctx.scopeCount - 1; i >= 0; --i) {
    if (i == ctx.pendingEntry) continue;
    ScriptObject* o = scopeObject(ctx, i);
    if (!o || emptyActivation(o)) continue;
    if (o->classTag() == ClassTag::Super) return false;
    Property* p = o->findOwn(name->text(), name->hash());
    if (!p || p->accessor || !p->visibleTo(version_)) return false;
    c.name = ScriptValue::string(const_cast<ScriptString*>(name));
    c.entry = static_cast<int8_t>(i);
    c.objects[0] = o;
    c.layouts[0] = o->layout();
    c.property = p;
    out.fillEmpty(p->value);
    return true;
  }
  return false;
}

bool ScriptEngine::skippableForSet(ActionContext& ctx, int entry) {
  for (int i = ctx.scopeCount - 1; i > entry; --i) {
    if (i == ctx.pendingEntry) {
      if (i != ctx.clipEntry && i != 0 && ctx.scopeCount > 1) continue;
      return false;
    }
    ScriptObject* o = scopeObject(ctx, i);
    if (!o) continue;
    if (i == ctx.clipEntry || ctx.scopeCount == 1 || i == 0 || !emptyActivation(o)) return false;
  }
  return true;
}

bool ScriptEngine::cachedSetVariable(ActionContext& ctx, const ScriptString* name, LookupCache& c,
                                     const ScriptValue& value) {
  // Only names that no clip property or event handler takes, and no bridge
  // but the player's own (another may take any name).
  if (ctx.version4 || !name || bridge_ != displayBridge_.get()) return false;
  if (ctx.pendingLocalCount > 0) {
    if (PendingLocal* l = ctx.findPendingLocal(name)) {
      if (ctx.pendingEntry != ctx.scopeCount - 1) return false;
      l->value = value;
      return true;
    }
  }
  Property* p = nullptr;
  if (c.entry >= 0 && c.name.asString() == name && c.entry < ctx.scopeCount && c.entry != ctx.pendingEntry &&
      skippableForSet(ctx, c.entry)) {
    ScriptObject* h = scopeObject(ctx, c.entry);
    if (h == c.objects[0] && h->layout() == c.layouts[0] && (!h->watches() || h->watches()->empty()))
      p = c.property;
  }
  if (!p) {
    const std::string_view n = name->text();
    if (name->hasPathChars() || n[0] == '_' || clipEventBit(n) != 0) return false;
    for (int i = ctx.scopeCount - 1; i >= 0 && !p; --i) {
      if (i == ctx.pendingEntry) {
        if (i != ctx.clipEntry && i != 0 && ctx.scopeCount > 1) continue;
        return false;
      }
      ScriptObject* o = scopeObject(ctx, i);
      if (!o) continue;
      if (i == 0 && ctx.scopeCount > 1) return false;
      const bool clipEntry = i == ctx.clipEntry || ctx.scopeCount == 1;
      Property* own = o->findOwn(n, name->hash());
      if (!own) {
        if (!clipEntry && emptyActivation(o)) continue;
        return false;
      }
      if (o->classTag() == ClassTag::Array || o->classTag() == ClassTag::Super ||
          (o->watches() && !o->watches()->empty()))
        return false;
      c.name = ScriptValue::string(const_cast<ScriptString*>(name));
      c.entry = static_cast<int8_t>(i);
      c.objects[0] = o;
      c.layouts[0] = o->layout();
      c.property = own;
      p = own;
    }
    if (!p) return false;
  }
  if (p->accessor || (p->flags & kReadOnly)) return false;
  p->value = value;
  if (version_ <= 5) p->flags &= ~kVersion6Only;
  return true;
}

bool ScriptEngine::cachedGetMember(ScriptObject* object, const ScriptString* name, LookupCache& c,
                                   ScriptValue& out) {
  if (!name) return false;
  if (c.depth >= 0 && c.name.knownString() == name && c.objects[0] == object) {
    bool valid = true;
    for (int i = 0; i <= c.depth && valid; ++i)
      valid = c.objects[i]->layout() == c.layouts[i] && (i == c.depth || c.objects[i]->prototype() == c.objects[i + 1]);
    const Property* p = c.property;
    if (valid && !p->accessor && p->visibleTo(version_)) {
      out.fillEmpty(p->value);
      return true;
    }
  }
  c.depth = -1;
  ScriptObject* o = object;
  for (int d = 0; d < LookupCache::kMaxDepth && o; ++d) {
    if (o->classTag() == ClassTag::Super || o->isClipObject()) return false;
    c.objects[d] = o;
    c.layouts[d] = o->layout();
    if (Property* p = o->findOwn(name->text(), name->hash())) {
      if (p->accessor || !p->visibleTo(version_)) break;
      c.name = ScriptValue::string(const_cast<ScriptString*>(name));
      c.depth = static_cast<int8_t>(d);
      c.property = p;
      out.fillEmpty(p->value);
      return true;
    }
    o = o->prototype();
  }
  return false;
}

bool ScriptEngine::cachedSetMember(ScriptObject* object, const ScriptString* name, LookupCache& c,
                                   const ScriptValue& value) {
  // Only a plain own property of an ordinary object (no array length, no
  // clip property, no watch, setter or read-only flag, no event handler).
  if (!name || object->isClipObject()) return false;
  Property* p = nullptr;
  if (c.depth == 0 && c.name.knownString() == name && c.objects[0] == object && object->layout() == c.layouts[0]) {
    p = c.property;
  } else {
    if (object->classTag() == ClassTag::Array || object->classTag() == ClassTag::Super ||
        clipEventBit(name->text()) != 0)
      return false;
    p = object->findOwn(name->text(), name->hash());
    if (!p) return false;
    c.name = ScriptValue::string(const_cast<ScriptString*>(name));
    c.depth = 0;
    c.objects[0] = object;
    c.layouts[0] = object->layout();
    c.property = p;
  }
  if (p->accessor || (p->flags & kReadOnly) || (object->watches() && !object->watches()->empty())) return false;
  p->value = value;
  if (version_ <= 5) p->flags &= ~kVersion6Only;
  return true;
}

}  // namespace kivra
