// The engine's state, the bootstrap of the global object, the run loop over
// the pending lists, the call protocol and the collector's trigger.
#include "core/script/ScriptEngine.h"

#include <limits>

#include "core/script/PlayerServices.h"
#include "core/script/ClipEvents.h"
#include "core/format/OpcodeTable.h"
#include "core/script/ClassLibrary.h"
#include "core/script/natives/CoreNatives.h"
#include "core/script/DisplayClipBridge.h"
#include "core/script/Interpreter.h"
#include "core/script/QuickLookups.h"
#include "core/script/SharedObjects.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {
constexpr uint32_t kClockMask = 0x7FFFFFFF;
constexpr uint32_t kCollectIntervalMs = 60000;
const ScriptValue kUndefined;
}  // namespace

const ScriptValue& NativeCall::arg(int i) const { return i >= 0 && i < argc ? args[i] : kUndefined; }

ScriptEngine::ScriptEngine(PlayerServices& player) : player_(player) {
  displayBridge_ = std::make_unique<DisplayClipBridge>(player, *this);
  bridge_ = displayBridge_.get();
  displayBridgeBase_ = bridge_;
  stack_.reserve(128);
}

ScriptEngine::~ScriptEngine() {
  stack_.clear();
  for (ScriptValue& r : globalRegisters_) r.clear();
  poolCache_.clear();
  poolCacheBytes_ = 0;
  decodedBlocks_.clear();
  for (auto& c : callContexts_) c.reset();
  timers_.clearAll();
  sharedObjects_.reset();
  registeredClasses_.clear();
  displayBridge_.reset();
  heap_.destroyAll();
}

// ---- Global object and natives ------------------------------------------------

ScriptObject* ScriptEngine::global() {
  if (!global_) buildGlobal();
  return global_;
}

ScriptObject* ScriptEngine::objectPrototype() {
  global();
  return objectProto_;
}

ScriptObject* ScriptEngine::functionPrototype() {
  global();
  return functionProto_;
}

void ScriptEngine::buildGlobal() {
  // Object.prototype and Function.prototype come first: every function
  // object made below links to them.
  objectProto_ = heap_.create();
  objectProto_->setPermanent(true);
  functionProto_ = heap_.create();
  functionProto_->setPermanent(true);
  functionProto_->put("__proto__", ScriptValue::object(objectProto_), kDontEnum | kDontDelete);
  global_ = heap_.create();
  global_->setPermanent(true);
  global_->put("__proto__", ScriptValue::object(objectProto_), kDontEnum | kDontDelete);
  capabilities_ = capabilitiesString(*this);
  player_.debugLog("SetCapabilitiesString: " + capabilities_ + "\n");
  installNativeClasses(*this);
  installCoreNatives(*this);
  // The library is built into the player, so this fails only in a broken
  // build; scripts then have the primitives alone.
  if (!runClassLibrary(*this)) player_.debugLog("the built-in class library could not be read\n");
  // Built-in names are never enumerated.
  for (Property* p = global_->firstProperty(); p; p = p->next) p->flags |= kDontEnum;
}

void ScriptEngine::runOnGlobal(const uint8_t* code, size_t length, int version) {
  if (contextCount_ >= kMaxContexts) return;
  const size_t savedStack = stack_.size();
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  ActionContext ctx;
  ctx.kind = ActionContext::Queued;
  ctx.version = version;
  ctx.version4 = version < 5;
  ctx.target = ScriptValue::object(global_);
  ScriptObject* vars = heap_.create(ClassTag::Activation);
  ctx.scope[0].object = ScriptValue::object(global_);
  ctx.scope[1].object = ctx.target;
  ctx.scope[2].object = ScriptValue::object(vars);
  ctx.scopeCount = 3;
  ctx.clipEntry = 1;
  ctx.activation = vars;
  ActivationData& a = vars->makeActivation();
  a.thisValue = ctx.target;
  a.hasThis = true;
  ctx.registers = globalRegisters_;
  ctx.registerCount = 4;
  ++runDepth_;
  execute(ctx, code, length);
  --runDepth_;
  while (stack_.size() > savedStack) stack_.pop_back();
  version_ = savedVersion;
  version4_ = savedVersion4;
  if (runDepth_ == 0) abort_ = false;
}

ScriptValue ScriptEngine::registeredClass(std::string_view symbol) const {
  for (const ClassRegistration& r : registeredClasses_)
    if (r.symbol == symbol) return r.constructor;
  return ScriptValue();
}

void ScriptEngine::registerNativeClass(const NativeClass& nativeClass) {
  for (const NativeClass*& entry : natives_)
    if (entry->number == nativeClass.number) {
      entry = &nativeClass;
      return;
    }
  natives_.push_back(&nativeClass);
}

bool ScriptEngine::hasNativeClass(uint16_t nativeClass) const {
  for (const NativeClass* entry : natives_)
    if (entry->number == nativeClass) return true;
  return false;
}

ScriptValue ScriptEngine::makeNative(uint16_t nativeClass, uint16_t method, bool constructor) {
  const NativeClass* cls = nullptr;
  for (const NativeClass* entry : natives_)
    if (entry->number == nativeClass) cls = entry;
  if (!cls) return ScriptValue();
  global();
  ScriptObject* fn = heap_.create();
  ScriptValue v = ScriptValue::object(fn);
  auto body = std::make_unique<FunctionBody>();
  body->native = true;
  body->nativeClass = nativeClass;
  body->method = method;
  body->nativeRun = findNativeRoutine(*cls, method);
  fn->setFunction(std::move(body));
  fn->put("__proto__", ScriptValue::object(functionProto_), kDontEnum | kDontDelete | kVersion6Only);
  if (constructor) attachPrototype(fn);
  return v;
}

ScriptObject* ScriptEngine::newObject() {
  ScriptObject* o = heap_.create();
  o->append("__proto__", ScriptValue::object(objectPrototype()), kDontEnum | kDontDelete);
  return o;
}

ScriptObject* ScriptEngine::newArray() {
  ScriptObject* o = heap_.create(ClassTag::Array);
  ScriptValue arrayCtor;
  ScriptValue proto;
  if (getMember(global(), "Array", arrayCtor, false) && arrayCtor.isObject() &&
      getMember(arrayCtor.asObject(), "prototype", proto, false) && proto.isObject())
    o->append("__proto__", proto, kDontEnum | kDontDelete);
  else
    o->append("__proto__", ScriptValue::object(objectPrototype()), kDontEnum | kDontDelete);
  o->append("length", ScriptValue::number(0), kDontEnum | kDontDelete);
  return o;
}

SharedObjects& ScriptEngine::sharedObjects() {
  if (!sharedObjects_) sharedObjects_ = std::make_unique<SharedObjects>(*this);
  return *sharedObjects_;
}

void ScriptEngine::movieUnloaded() {
  // Shared objects are written while their data is still whole.
  if (sharedObjects_) sharedObjects_->unloadAll();
  poolCache_.clear();
  poolCacheBytes_ = 0;
  decodedBlocks_.clear();
  timers_.clearAll();
  displayBridge_->movieUnloaded();
}

ScriptValue ScriptEngine::clipValue(ScriptObject* clip) {
  if (!clip) return ScriptValue();
  return ScriptValue::clip(clip->clipReference());
}

// ---- Run loop ------------------------------------------------------------------------

void ScriptEngine::run(ActionQueue& queue, bool fromOutside) {
  if (runDepth_ > 0 && !fromOutside) return;
  if (runDepth_ >= kMaxRuns) {
    abort_ = true;
    return;
  }
  const RunState state = enterRun();
  ActionQueue* savedQueue = queue_;
  queue_ = &queue;
  ActionBlock block;
  while (!abort_) {
    if (!queue.pop(ActionList::Init, block) && !queue.pop(ActionList::Construct, block) &&
        !queue.pop(ActionList::Frame, block))
      break;
    runQueuedBlock(block);
  }
  if (abort_) queue.clear();
  queue_ = savedQueue;
  leaveRun(state);
  if (state.outermost) maybeCollect();
}

ScriptEngine::RunState ScriptEngine::enterRun() {
  global();
  const RunState state{runDepth_ == 0, version_, version4_};
  if (state.outermost) {
    slowStart_ = player_.scriptClock() & kClockMask;
    actionsCounted_ += roundLength_ - untilCheck_;
    untilCheck_ = roundLength_ = kClockCheckActions;
  }
  ++runDepth_;
  return state;
}

void ScriptEngine::leaveRun(const RunState& state) {
  version_ = state.version;
  version4_ = state.version4;
  --runDepth_;
  if (state.outermost) {
    stack_.clear();
    abort_ = false;
  }
}

void ScriptEngine::runQueuedBlock(const ActionBlock& block) {
  ScriptObject* clip = bridge_->clipObject(block.clip);
  if (!clip) return;
  ScriptValue target = clipValue(clip);
  if (block.construct) {
    constructClip(clip, block.version);
    return;
  }
  if (block.event && !block.code) {
    // Event blocks call the handler method of the event's name.
    for (const auto& e : kClipEventNames)
      if (e.bit == block.event) {
        version_ = block.version;
        version4_ = false;
        callMethod(target, e.name, nullptr, 0);
        break;
      }
    return;
  }
  if (!block.code) return;
  if (contextCount_ >= kMaxContexts) {
    abort_ = true;
    return;
  }
  ActionContext ctx;
  ctx.kind = ActionContext::Queued;
  ctx.version = block.version;
  ctx.version4 = block.version < 5;
  ctx.target = target;
  ctx.scope[0].object = ScriptValue::object(global());
  ctx.scope[1].object = target;
  ctx.scopeCount = 3;
  ctx.clipEntry = 1;
  // The block's variables object is made when something needs it (a local,
  // a nested function, a path lookup); until then its `this` is the target.
  ctx.pendingEntry = 2;
  ctx.pendingThis = &ctx.target;
  ctx.pendingHasThis = true;
  ctx.registers = globalRegisters_;
  ctx.registerCount = 4;
  execute(ctx, block.code, block.length);
}

void ScriptEngine::constructClip(ScriptObject* clip, int version) {
  DisplayObject* d = DisplayClipBridge::displayObject(clip);
  if (!d || !displayBridge_->markConstructed(*d)) return;
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  version_ = version;
  version4_ = false;
  ScriptValue ctor;
  const CharacterKindOps& ops = kindOps(d->kind());
  if (ops.ownStream) {
    if (d->character()) ctor = registeredClass(d->character()->exportName);
  } else if (ops.scriptClass) {
    getMember(global(), ops.scriptClass, ctor, false);
  }
  ScriptValue proto;
  if (!ctor.isObject() || !getMember(ctor.asObject(), "prototype", proto, false) || !proto.isObject()) {
    // No class: the MovieClip prototype is attached on first lookup.
    version_ = savedVersion;
    version4_ = savedVersion4;
    return;
  }
  clip->put("__proto__", proto, kDontEnum | kDontDelete);
  clip->put("__constructor__", ctor, kDontEnum | kVersion6Only);
  ScriptValue self = clipValue(clip);
  if (ctor.asObject()->function() && !ctor.asObject()->function()->native)
    call(ctor, self, nullptr, 0);
  else if (FunctionBody* body = ctor.asObject()->function(); body && body->nativeRun &&
                                                              d->kind() == CharacterKind::EditText) {
    // The field's native class gives the clip's own object its property
    // pairs, as a construction of it.
    NativeCall rec{*this, ScriptValue(), 0, nullptr, self, body->method, true, ScriptValue()};
    body->nativeRun(rec);
  }
  version_ = savedVersion;
  version4_ = savedVersion4;
}

void ScriptEngine::broadcast(std::string_view object, std::string_view method, const ScriptValue* args, int argc) {
  if (runDepth_ >= kMaxRuns || argc < 0) return;
  ScriptValue broadcaster, send;
  ScriptObject* target = nullptr;
  if (!getMember(global(), object, broadcaster, false) || !(target = toObject(broadcaster))) return;
  if (!getMember(target, "broadcastMessage", send)) return;
  std::vector<ScriptValue> all;
  all.reserve(static_cast<size_t>(argc) + 1);
  all.push_back(makeString(method));
  for (int i = 0; i < argc; ++i) all.push_back(args[i]);
  // Listener events run by the rules of the level-0 movie.
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  if (const TimelinePlayer* root = player_.level0()) version_ = root->version();
  version4_ = false;
  callFromOutside(send, broadcaster, all.data(), static_cast<int>(all.size()));
  version_ = savedVersion;
  version4_ = savedVersion4;
}

// ---- Calls ----------------------------------------------------------------------------

ScriptValue ScriptEngine::callMethod(const ScriptValue& object, std::string_view name, const ScriptValue* args,
                                     int argc) {
  ScriptObject* o = toObject(object);
  if (!o) return ScriptValue();
  ScriptValue fn;
  if (name.empty()) fn = object;
  else if (!getMember(o, name, fn)) return ScriptValue();
  return call(fn, object, args, argc, false);
}

ScriptValue ScriptEngine::callFromOutside(const ScriptValue& function, const ScriptValue& thisValue,
                                          const ScriptValue* args, int argc) {
  const RunState state = enterRun();
  ScriptValue result = call(function, thisValue, args, argc);
  leaveRun(state);
  return result;
}

ScriptValue ScriptEngine::callMethodFromOutside(const ScriptValue& object, std::string_view name,
                                                const ScriptValue* args, int argc) {
  ScriptObject* o = toObject(object);
  ScriptValue fn;
  if (!o || !getMember(o, name, fn)) return ScriptValue();
  return callFromOutside(fn, object, args, argc);
}

// The caller's context outlives the call, so its target is read in place.
const ScriptValue& ScriptEngine::callerTarget() const {
  if (contextCount_ == 0) return kUndefined;
  const ActionContext& c = *contexts_[contextCount_ - 1];
  return c.hasOverride ? c.override : c.target;
}

ScriptValue ScriptEngine::call(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args,
                               int argc, bool construct) {
  ScriptObject* fn = function.asObject();
  if (!fn) return ScriptValue();
  return callFunction(fn, thisValue, args, argc, construct, callerTarget());
}

void ScriptEngine::setFastPaths(bool on) {
  fastPaths_ = on;
  // Blocks decoded the other way are decoded anew.
  decodedBlocks_.clear();
}

ScriptValue ScriptEngine::callHeld(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args,
                                   int argc) {
  ScriptObject* fn = function.asObject();
  if (!fn) return ScriptValue();
  const ScriptValue* callerTarget = &this->callerTarget();
  // A plain call of a script function borrows the function from the caller.
  if (callsDirectly(fn, fn->function())) {
    if (fn->function()->simpleCall) return callSimple(function, thisValue, args, argc, *callerTarget);
    return runScriptFunction(fn, thisValue, args, argc, false, *callerTarget, kUndefined, &function);
  }
  return callFunction(fn, thisValue, args, argc, false, *callerTarget);
}

ScriptValue ScriptEngine::callFunction(ScriptObject* fn, const ScriptValue& thisIn, const ScriptValue* args,
                                       int argc, bool construct, const ScriptValue& callerTarget) {
  // Every caller holds the function while it runs.
  if (abort_ || !fn) return ScriptValue();
  if (fn->classTag() == ClassTag::Super) {
    // Calling `super` runs the constructor of the prototype above.
    ScriptObject* target = toObject(fn->superTarget());
    ScriptObject* proto = target ? target->prototype() : nullptr;
    ScriptValue ctor;
    if (!proto || !getMember(proto, "__constructor__", ctor, false) || !ctor.isObject()) return ScriptValue();
    return callFunction(ctor.asObject(), fn->superTarget(), args, argc, false, callerTarget);
  }
  FunctionBody* body = fn->function();
  if (!body) return ScriptValue();
  if (contextCount_ >= kMaxContexts || nativeDepth_ >= kMaxContexts) {
    abort_ = true;
    return ScriptValue();
  }
  // The common case, a plain call of a script function, makes no object.
  if (!construct && !body->native) return runScriptFunction(fn, thisIn, args, argc, false, callerTarget, kUndefined);
  ScriptValue newObject;
  const ScriptValue* thisValue = &thisIn;
  if (construct) {
    ScriptValue fnHolder = ScriptValue::object(fn);
    ScriptObject* o = heap_.create();
    newObject = ScriptValue::object(o);
    ScriptValue proto;
    getMember(fn, "prototype", proto, false);
    o->append("__proto__", proto.isObject() ? proto : ScriptValue::object(objectPrototype()),
              kDontEnum | kDontDelete);
    o->append("constructor", fnHolder, kDontEnum | kHiddenFrom6);
    o->append("__constructor__", fnHolder, kDontEnum | kVersion6Only);
    thisValue = &newObject;
  }
  if (body->native) {
    NativeRoutine run = body->nativeRun;
    if (!run) return construct ? newObject : ScriptValue();
    NativeCall rec{*this, callerTarget, argc, args, *thisValue, body->method, construct, ScriptValue()};
    ++nativeDepth_;
    run(rec);
    --nativeDepth_;
    if (construct) return rec.result.isObject() ? rec.result : newObject;
    return rec.result;
  }
  return runScriptFunction(fn, *thisValue, args, argc, construct, callerTarget, newObject);
}

[[gnu::noinline]] void ScriptEngine::prepareBody(FunctionBody& body) {
  body.decoded =
      std::make_shared<const DecodedBlock>(body.code.data(), body.code.size(), body.version <= 5, false, fastPaths_);
  const uint16_t f = body.function2 ? body.flags2 : 0;
  body.callHasThis = !(f & kSuppressThis) && !(f & kPreloadThis);
  body.callHasArguments = !(f & kSuppressArguments) && !(f & kPreloadArguments);
  body.callMaySuper = body.version >= 6 && !(f & kSuppressSuper) && !(f & kPreloadSuper);
  constexpr uint16_t kPreloads =
      kPreloadThis | kPreloadArguments | kPreloadSuper | kPreloadRoot | kPreloadParent | kPreloadGlobal;
  bool simple = body.version >= 6 && !(f & kPreloads) && body.scope.size() < static_cast<size_t>(kMaxScope);
  if (body.function2) {
    simple = simple && body.registerCount <= ActionContext::kInlineRegisters;
    static_assert(ActionContext::kInlineRegisters <= 32, "a simple call's registers are bits of `used`");
    uint32_t used = 0;  // registers taken by the parameters so far
    for (const FunctionParam2& p : body.params) {
      if (!simple) break;
      simple = p.reg != 0 && p.reg < body.registerCount && !(used & (1u << p.reg));
      // A register past the count may be past the mask's bits too.
      if (simple) used |= 1u << p.reg;
    }
  } else {
    // A parameter's name is the pool's string of the same text when there
    // is one: the body's reads of it find it by address.
    if (const ConstantPool* pool = body.pool.get()) {
      for (FunctionParam2& p : body.params) {
        for (const ScriptValue& c : pool->strings) {
          if (c.isString() && c.stringView() == p.name.stringView()) {
            p.name = c;
            break;
          }
        }
      }
    }
    // Parameters that all wait in the call as locals, under distinct names.
    simple = simple && body.params.size() <= static_cast<size_t>(ActionContext::kPendingLocals);
    for (size_t i = 0; i < body.params.size() && simple; ++i) {
      simple = pendableLocalName(body.params[i].name.asString());
      for (size_t j = 0; j < i && simple; ++j)
        simple = !equalsIgnoringCase(body.params[i].name.stringView(), body.params[j].name.stringView());
    }
  }
  // (Without the fast paths every call takes the general set-up.)
  body.simpleCall = simple && fastPaths_;
  body.callId = ++lastBodyId_;
}

namespace {

// A simple function's parameters go straight into their registers, each
// empty and its own, or (a DefineFunction body's) into the call's pending
// locals, which are empty (FunctionBody::simpleCall).
[[gnu::always_inline]] inline void fillParameterRegisters(ActionContext& ctx, const FunctionBody& body,
                                                          const ScriptValue* args, int argc) {
  const FunctionParam2* const params = body.params.data();
  const int paramCount = static_cast<int>(body.params.size());
  if (!body.function2) [[unlikely]] {
    for (int i = 0; i < paramCount; ++i) {
      PendingLocal& l = ctx.pendingLocals[i];
      l.name.fillEmpty(params[i].name);
      l.hash = params[i].name.knownString()->hash();
      l.flags = 0;
      if (i < argc) l.value.fillEmpty(args[i]);
    }
    ctx.pendingLocalCount = paramCount;
    return;
  }
  const int given = argc < paramCount ? argc : paramCount;
  for (int i = 0; i < given; ++i) ctx.inlineRegisters[params[i].reg].fillEmpty(args[i]);
}

// Borrows the function's chain (its innermost entries when it is longer
// than a context holds) as the context's first scope entries; their count.
int borrowChain(ActionContext& ctx, const FunctionBody& body) {
  const ScopeEntry* from = body.scope.data();
  const int n = static_cast<int>(body.scope.size());
  const int first = n > kMaxScope - 1 ? n - (kMaxScope - 1) : 0;
  const int count = n - first;
  for (int i = 0; i < count; ++i) {
    ScopeEntry& e = ctx.scope[i];
    e.object.borrow(from[first + i].object);
    e.isWith = from[first + i].isWith;
  }
  ctx.borrowedScope = count;
  return count;
}

}  // namespace

bool ScriptEngine::definedInPresent(const FunctionBody& body) {
  // (A clip still in place is the common case; toObject decides the rest.)
  const ClipReference* defined = body.definedIn.asClip();
  return (defined && defined->object()) || (!body.definedIn.isUndefined() && toObject(body.definedIn));
}

ScriptValue ScriptEngine::runScriptFunction(ScriptObject* fn, const ScriptValue& thisValue, const ScriptValue* args,
                                            int argc, bool construct, const ScriptValue& callerTarget,
                                            const ScriptValue& newObject, const ScriptValue* held) {
  FunctionBody* body = fn->function();
  if (!body->decoded) [[unlikely]]
    prepareBody(*body);
  // (Every call runs in a context counted against the limit, checked by the
  // caller: the depth stays below it.)
  if (callDepth_ >= static_cast<size_t>(kMaxContexts)) [[unlikely]] {
    abort_ = true;
    return ScriptValue();
  }
  if (!callContexts_[callDepth_]) [[unlikely]]
    callContexts_[callDepth_] = std::make_unique<ActionContext>();
  ActionContext& ctx = *callContexts_[callDepth_++];
  if (ctx.chainOf != 0) releaseKept(ctx);
  struct Release {
    ScriptEngine& engine;
    ActionContext& ctx;
    ~Release() {
      resetCallContext(ctx);
      --engine.callDepth_;
    }
  } release{*this, ctx};
  // The context is as resetCallContext left it: its values are empty, and
  // every field that reset does not put back is set here.
  const int bodyVersion = body->version;
  ctx.kind = construct ? ActionContext::Construct : ActionContext::Call;
  ctx.version = bodyVersion;
  ctx.version4 = false;
  // The function (and so its body, its pool and its chain) is held while it
  // runs: by the caller, which the context borrows it from, or by the context.
  ctx.pool.borrow(body->pool);
  ctx.borrowedPool = true;
  if (held) {
    ctx.function.borrow(*held);
    ctx.borrowedFunction = true;
  } else {
    ctx.function.fillEmpty(ScriptValue::object(fn));
  }
  // Target clip.
  if (bodyVersion <= 5) {
    if (thisValue.isClip()) ctx.target.fillEmpty(thisValue);
    else if (!callerTarget.isUndefined()) ctx.target.fillEmpty(callerTarget);
    else ctx.target.fillEmpty(body->definedIn);
  } else {
    // The clip the function was defined in is borrowed, like the chain.
    if (definedInPresent(*body)) {
      ctx.target.borrow(body->definedIn);
      ctx.borrowedTarget = true;
    } else {
      ctx.target.fillEmpty(callerTarget);
    }
  }
  // Scope chain; the activation object at its end is made when needed.
  int scopeCount;
  if (bodyVersion <= 5) {
    ctx.scope[0].object = ScriptValue::object(global());
    ctx.scope[0].isWith = false;
    ctx.scope[1].object = ctx.target;
    ctx.scope[1].isWith = false;
    scopeCount = 2;
  } else {
    scopeCount = borrowChain(ctx, *body);
  }
  ctx.clipEntry = 1;
  ctx.pendingEntry = scopeCount;
  ctx.scope[scopeCount].isWith = false;
  ctx.scopeCount = scopeCount + 1;
  ctx.pendingThis = &thisValue;
  ctx.pendingHasThis = body->callHasThis;
  ctx.pendingHasArguments = body->callHasArguments;
  ctx.pendingArgs = args;
  ctx.pendingArgc = argc;
  ctx.pendingCaller = contextCount_ > 0 ? contexts_[contextCount_ - 1] : nullptr;
  ctx.pendingHasSuper = body->callMaySuper;
  if (body->simpleCall) [[likely]] {
    if (body->function2) [[likely]] {
      ctx.registerCount = body->registerCount;
      ctx.registers = ctx.inlineRegisters;
    } else {
      ctx.registers = globalRegisters_;
      ctx.registerCount = 4;
    }
    fillParameterRegisters(ctx, *body, args, argc);
  } else {
    setUpRegisters(ctx, *body, thisValue, args, argc);
  }
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  execute(ctx, body->code.data(), body->code.size(), body->decoded.get());
  version_ = savedVersion;
  version4_ = savedVersion4;
  if (construct) return newObject;
  return ctx.returned ? std::move(ctx.returnValue) : ScriptValue();
}

bool ScriptEngine::callQuick(ActionContext& caller, const LookupCache& c, const ScriptString* name, int count) {
  // All the arguments are on the stack.
  if (count < 0 || static_cast<size_t>(count) > stack_.size()) return false;
  // (The quick read has no side effects: a miss leaves nothing to undo.)
  const Property* p = quickCachedProperty(caller, name, c);
  ScriptObject* f = p ? p->value.asObject() : nullptr;
  if (!f || !f->isFunction()) return false;
  FunctionBody& body = *f->function();
  // (A simple body is a script's, and no super object's: of callsDirectly's
  // checks, those of the limits are left.)
  if (!body.simpleCall || abort_ || contextCount_ >= kMaxContexts || nativeDepth_ >= kMaxContexts ||
      callDepth_ >= static_cast<size_t>(kMaxContexts))
    return false;
  // The function is held while it runs (the variable may change), as a
  // value the context borrows.
  f->retain();
  ScriptValue fn;
  fn.borrow(p->value);
  // The first popped is the first argument.
  alignas(ScriptValue) unsigned char storage[DecodedAction::kFewArgs * sizeof(ScriptValue)];
  ScriptValue* args = reinterpret_cast<ScriptValue*>(storage);
  for (int i = 0; i < count; ++i) new (args + i) ScriptValue(stack_.take());
  // `this` is undefined for a call by name.
  ActionContext& ctx =
      beginSimple(body, fn, kUndefined, args, count, caller.hasOverride ? caller.override : caller.target, &caller);
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  // (A simple body's version is 6 or later: its decoded form reads it so.)
  Interpreter::run(*this, ctx, body.code.data(), body.code.size(), *body.decoded);
  version_ = savedVersion;
  version4_ = savedVersion4;
  // The result goes straight to the stack.
  if (ctx.returned) {
    stack_.push_back(std::move(ctx.returnValue));
    ctx.returned = false;
  } else {
    stack_.push_back(ScriptValue());
  }
  endSimple(ctx, body);
  for (int i = 0; i < count; ++i) args[i].~ScriptValue();
  fn.forget();
  f->release();
  return true;
}

ScriptValue ScriptEngine::callSimple(const ScriptValue& function, const ScriptValue& thisValue,
                                     const ScriptValue* args, int argc, const ScriptValue& callerTarget) {
  // (Every call runs in a context counted against the limit, checked by the
  // caller: the depth stays below it.)
  if (callDepth_ >= static_cast<size_t>(kMaxContexts)) [[unlikely]] {
    abort_ = true;
    return ScriptValue();
  }
  FunctionBody& body = *function.asObject()->function();
  ActionContext& ctx = beginSimple(body, function, thisValue, args, argc, callerTarget,
                                   contextCount_ > 0 ? contexts_[contextCount_ - 1] : nullptr);
  const int savedVersion = version_;
  const bool savedVersion4 = version4_;
  Interpreter::run(*this, ctx, body.code.data(), body.code.size(), *body.decoded);
  version_ = savedVersion;
  version4_ = savedVersion4;
  ScriptValue result;
  if (ctx.returned) result.fillEmpty(std::move(ctx.returnValue));
  ctx.returned = false;
  endSimple(ctx, body);
  return result;
}

inline ActionContext& ScriptEngine::beginSimple(FunctionBody& body, const ScriptValue& function,
                                                const ScriptValue& thisValue, const ScriptValue* args, int argc,
                                                const ScriptValue& callerTarget,
                                                const ActionContext* callerContext) {
  if (!callContexts_[callDepth_]) [[unlikely]]
    callContexts_[callDepth_] = std::make_unique<ActionContext>();
  ActionContext& ctx = *callContexts_[callDepth_++];
  // The last call at this depth, when it was of the same function, left
  // the context as this call sets it, but for what changes from call to
  // call: the target's check, the pending activation's `this`, arguments
  // and caller, and the parameters.
  if (ctx.chainOf != body.callId) [[unlikely]]
    keepForCalls(ctx, body, function);
  if (definedInPresent(body)) [[likely]] {
    ctx.target.borrow(body.definedIn);
    ctx.borrowedTarget = true;
  } else {
    if (ctx.borrowedTarget) ctx.target.forget();
    ctx.borrowedTarget = false;
    ctx.target.fillEmpty(callerTarget);
  }
  ctx.pendingThis = &thisValue;
  ctx.pendingArgs = args;
  ctx.pendingArgc = argc;
  ctx.pendingCaller = callerContext;
  fillParameterRegisters(ctx, body, args, argc);
  return ctx;
}

inline void ScriptEngine::endSimple(ActionContext& ctx, const FunctionBody& body) {
  // Back to the state the next call of the function expects: what the run
  // may have changed is put back (`with` entries ended with the run; the
  // result was taken).
  if (!ctx.borrowedTarget) ctx.target.clear();
  if (ctx.hasOverride) [[unlikely]] {
    ctx.override.clear();
    ctx.hasOverride = false;
  }
  if (!ctx.borrowedPool) [[unlikely]] {
    ctx.pool = PoolRef();
    ctx.pool.borrow(body.pool);
    ctx.borrowedPool = true;
  }
  if (ctx.activation) {
    // (The activation's entry follows the borrowed chain.)
    ctx.scope[ctx.borrowedScope].object.clear();
    ctx.activation = nullptr;
    ctx.pendingEntry = ctx.borrowedScope;
  }
  if (ctx.registers == ctx.inlineRegisters) [[likely]]
    for (int i = 0; i < ctx.registerCount; ++i) ctx.inlineRegisters[i].clear();
  if (ctx.pendingLocalCount) ctx.clearPendingLocals();
  --callDepth_;
}

void ScriptEngine::keepForCalls(ActionContext& ctx, const FunctionBody& body, const ScriptValue& function) {
  releaseKept(ctx);
  // runScriptFunction's set-up, less what the profile rules out: the
  // version is 6 or later, the chain fits, the registers are inline.
  ctx.kind = ActionContext::Call;
  ctx.version = body.version;
  ctx.version4 = false;
  ctx.pool.borrow(body.pool);
  ctx.borrowedPool = true;
  ctx.function.borrow(function);
  ctx.borrowedFunction = true;
  const int n = borrowChain(ctx, body);
  ctx.clipEntry = 1;
  ctx.pendingEntry = n;
  ctx.scope[n].isWith = false;
  ctx.scopeCount = n + 1;
  ctx.pendingHasThis = body.callHasThis;
  ctx.pendingHasArguments = body.callHasArguments;
  ctx.pendingHasSuper = body.callMaySuper;
  if (body.function2) {
    ctx.registerCount = body.registerCount;
    ctx.registers = ctx.inlineRegisters;
  } else {
    // (A DefineFunction body uses the global registers.)
    ctx.registerCount = 4;
    ctx.registers = globalRegisters_;
  }
  ctx.chainOf = body.callId;
}

void ScriptEngine::releaseKept(ActionContext& ctx) {
  // (A target that was not borrowed was dropped by the call's reset.)
  if (ctx.borrowedTarget) ctx.target.forget();
  ctx.borrowedTarget = false;
  if (ctx.borrowedPool) ctx.pool.forget();
  ctx.borrowedPool = false;
  if (ctx.borrowedFunction) ctx.function.forget();
  ctx.borrowedFunction = false;
  for (int i = 0; i < ctx.borrowedScope; ++i) ctx.scope[i].object.forget();
  ctx.borrowedScope = 0;
  ctx.scopeCount = 0;
  ctx.chainOf = 0;
}

void ScriptEngine::setUpRegisters(ActionContext& ctx, const FunctionBody& body, const ScriptValue& thisValue,
                                  const ScriptValue* args, int argc) {
  const bool function2 = body.function2;
  const uint16_t f = function2 ? body.flags2 : 0;
  if (function2) {
    ctx.registerCount = body.registerCount;
    if (ctx.registerCount <= ActionContext::kInlineRegisters) {
      ctx.registers = ctx.inlineRegisters;
    } else {
      ctx.ownRegisters.resize(body.registerCount);
      ctx.registers = ctx.ownRegisters.data();
    }
  } else {
    ctx.registers = globalRegisters_;
    ctx.registerCount = 4;
  }
  int reg = 1;
  auto preload = [&](const ScriptValue& v) {
    if (reg < ctx.registerCount) ctx.registers[reg] = v;
    ++reg;
  };
  constexpr uint16_t kPreloads =
      kPreloadThis | kPreloadArguments | kPreloadSuper | kPreloadRoot | kPreloadParent | kPreloadGlobal;
  if (f & kPreloads) {
    if (f & kPreloadThis) preload(thisValue);
    if (f & kPreloadArguments) preload(argumentsObject(activationOf(ctx)));
    if (f & kPreloadSuper) {
      ActivationData& made = *activationOf(ctx)->activation();
      made.hasSuper = true;
      preload(superObject(ctx.activation));
      made.hasSuper = false;
    }
    if (f & kPreloadRoot) preload(clipValue(bridge_->rootClip()));
    if (f & kPreloadParent) {
      ScriptValue parent;
      if (ScriptObject* t = toObject(ctx.target)) bridge_->clipMember(*t, "_parent", parent);
      preload(parent);
    }
    if (f & kPreloadGlobal) preload(ScriptValue::object(global()));
  }
  // Parameters.
  // The writes below cannot change the body: its list is read once.
  const FunctionParam2* const params = body.params.data();
  const int paramCount = static_cast<int>(body.params.size());
  for (int i = 0; i < paramCount; ++i) {
    const FunctionParam2& p = params[i];
    const ScriptValue& v = i < argc ? args[i] : kUndefined;
    if (function2 && p.reg != 0) {
      // Registers start empty unless a preload or an earlier parameter
      // used the same one.
      if (p.reg < ctx.registerCount) {
        ScriptValue& slot = ctx.registers[p.reg];
        if (slot.isUndefined()) slot.fillEmpty(v);
        else slot = v;
      }
      continue;
    }
    if (definePendingLocal(ctx, p.name, v, 0, false)) continue;
    ScriptObject* act = activationOf(ctx);
    if (Property* prop = act->findOwn(p.name.asString())) {
      prop->value = v;
    } else if (!p.name.stringView().empty()) {
      act->append(p.name.stringView(), v, 0);
    }
  }
}

bool ScriptEngine::pendableLocalName(const ScriptString* s) {
  // Names whose property means more than a value (the prototype link, the
  // resolver, an array length, event handlers) or that the activation
  // answers itself need the object.
  if (!s || s->hasPathChars()) return false;
  const std::string_view n = s->text();
  return n[0] != '_' && !equalsIgnoringCase(n, "length") && !equalsIgnoringCase(n, "this") &&
         !equalsIgnoringCase(n, "arguments") && !equalsIgnoringCase(n, "super") && clipEventBit(n) == 0;
}

bool ScriptEngine::definePendingLocal(ActionContext& ctx, const ScriptValue& name, const ScriptValue& value,
                                      uint16_t flags, bool keepExisting) {
  // (Without the fast paths every local goes to the object, which shows
  // that the pending ones give the same.)
  if (ctx.activation || ctx.pendingEntry < 0 || ctx.pendingEntry == ctx.clipEntry || ctx.pendingEntry == 0 ||
      ctx.kind == ActionContext::Queued || !fastPaths_)
    return false;
  const ScriptString* s = name.asString();
  if (!s) return false;
  if (PendingLocal* l = ctx.findPendingLocal(s)) {
    if (!keepExisting) l->value = value;
    return true;
  }
  if (ctx.pendingLocalCount == ActionContext::kPendingLocals || !pendableLocalName(s)) return false;
  PendingLocal& l = ctx.pendingLocals[ctx.pendingLocalCount++];
  l.name = name;
  l.hash = s->hash();
  l.flags = flags;
  l.value = value;
  return true;
}

inline void ScriptEngine::resetCallContext(ActionContext& ctx) {
  // What the call held is dropped (or forgotten when borrowed); the fields
  // runScriptFunction sets on every call are left as they are.
  if (ctx.borrowedTarget) ctx.target.forget();
  else ctx.target.clear();
  ctx.borrowedTarget = false;
  if (ctx.hasOverride) [[unlikely]] {
    ctx.override.clear();
    ctx.hasOverride = false;
  }
  if (ctx.borrowedPool) ctx.pool.forget();
  else ctx.pool = PoolRef();
  ctx.borrowedPool = false;
  // Entries above the count are empty: `with` entries are cleared as they
  // end. Every entry's isWith is set again when it is next used.
  for (int i = 0; i < ctx.borrowedScope; ++i) ctx.scope[i].object.forget();
  for (int i = ctx.borrowedScope; i < ctx.scopeCount; ++i) ctx.scope[i].object.clear();
  ctx.scopeCount = 0;
  ctx.borrowedScope = 0;
  ctx.activation = nullptr;
  if (ctx.borrowedFunction) ctx.function.forget();
  else ctx.function.clear();
  ctx.borrowedFunction = false;
  if (ctx.registers == ctx.inlineRegisters) {
    for (int i = 0; i < ctx.registerCount; ++i) ctx.inlineRegisters[i].clear();
  } else {
    ctx.ownRegisters.clear();
  }
  ctx.returnValue.clear();
  ctx.returned = false;
  ctx.withCount = 0;
  if (ctx.pendingLocalCount) ctx.clearPendingLocals();
}

ScriptObject* ScriptEngine::activationOf(ActionContext& ctx) {
  if (!ctx.activation && ctx.pendingEntry >= 0) {
    ScriptObject* act = heap_.create(ClassTag::Activation);
    ctx.scope[ctx.pendingEntry].object = ScriptValue::object(act);
    ActivationData& a = act->makeActivation();
    if (ctx.pendingThis) a.thisValue = *ctx.pendingThis;
    a.hasThis = ctx.pendingHasThis;
    a.hasArguments = ctx.pendingHasArguments;
    a.hasSuper = ctx.pendingSuper();
    a.args.assign(ctx.pendingArgs, ctx.pendingArgs + ctx.pendingArgc);
    a.callee = ctx.function;
    const ActionContext* caller = ctx.pendingCaller;
    a.caller = caller && !caller->function.isUndefined() ? caller->function : ScriptValue::null();
    ctx.activation = act;
    ctx.pendingEntry = -1;
    // The locals defined so far become its first properties, in order.
    for (int i = 0; i < ctx.pendingLocalCount; ++i) {
      const PendingLocal& l = ctx.pendingLocals[i];
      act->append(l.name.stringView(), l.hash, l.value, l.flags);
    }
    ctx.clearPendingLocals();
  }
  return ctx.activation;
}

ScriptValue ScriptEngine::argumentsObject(ScriptObject* act) {
  ActivationData& a = *act->activation();
  if (a.argumentsObject.isUndefined()) {
    ScriptObject* arr = newArray();
    a.argumentsObject = ScriptValue::object(arr);
    for (size_t i = 0; i < a.args.size(); ++i) setMember(arr, std::to_string(i), a.args[i]);
    arr->put("callee", a.callee, kDontEnum | kDontDelete);
    arr->put("caller", a.caller, kDontEnum | kDontDelete);
  }
  return a.argumentsObject;
}

ScriptValue ScriptEngine::superObject(ScriptObject* act) {
  ActivationData& a = *act->activation();
  if (a.superObject.isUndefined()) {
    ScriptObject* s = heap_.create(ClassTag::Super);
    a.superObject = ScriptValue::object(s);
    s->superTarget() = a.thisValue;
    // Calling super() needs a function body to pass the call checks.
    auto body = std::make_unique<FunctionBody>();
    body->native = true;
    s->setFunction(std::move(body));
  }
  return a.superObject;
}

// ---- Limits and collection ------------------------------------------------------------

void ScriptEngine::slowScriptCheck() {
  actionsCounted_ += roundLength_;
  untilCheck_ = roundLength_ = kClockCheckActions;
  if (memoryBudget_ != 0) {
    const size_t used = player_.memoryInUse();
    if (used > memoryBaseline_ && used - memoryBaseline_ > memoryBudget_) {
      abort_ = true;
      ++limitAborts_;
      player_.scriptOverMemoryBudget(memoryBudget_);
      return;
    }
  }
  const uint32_t now = player_.scriptClock() & kClockMask;
  if (((now - slowStart_) & kClockMask) <= slowScriptMs_) return;
  if (player_.askToAbortSlowScript()) {
    abort_ = true;
    ++limitAborts_;
  } else {
    slowStart_ = player_.scriptClock() & kClockMask;
  }
}

void ScriptEngine::maybeCollect() {
  const uint32_t now = player_.milliseconds() & kClockMask;
  if (((now - lastCollect_) & kClockMask) < kCollectIntervalMs && heap_.objectCount() <= lastCount_ * 5 / 4)
    return;
  collectGarbage();
}

void ScriptEngine::collectGarbage() {
  std::vector<ScriptObject*> roots;
  if (global_) roots.push_back(global_);
  bridge_->collectRoots(roots);
  if (sharedObjects_) sharedObjects_->collectRoots(roots);
  heap_.collect(roots);
  ++collections_;
  lastCollect_ = player_.milliseconds() & kClockMask;
  lastCount_ = heap_.objectCount();
}

}  // namespace kivra
