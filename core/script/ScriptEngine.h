#pragma once
// The script engine of one player: the object heap and the global object,
// the operand stack, the stack of action contexts, the run loop over the
// pending lists, conversions, member access with prototype walks and the
// call protocol. The record loop that runs a block (Interpreter) works on
// this state.
//
// Everything runs on the player's thread. Nothing here throws; limits set
// the `abort flag`, which stops every running script until the outermost run
// ends. Values handed out stay valid while the caller holds them.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/format/CodePage.h"
#include "core/movie/ActionQueue.h"
#include "core/script/ActionContext.h"
#include "core/script/ClipBridge.h"
#include "core/script/ConstantPool.h"
#include "core/script/DecodedBlock.h"
#include "core/script/IntervalTimers.h"
#include "core/script/NativeCall.h"
#include "core/script/ScriptHeap.h"
#include "core/script/ScriptLimits.h"
#include "core/script/ScriptObject.h"
#include "core/script/ScriptValue.h"
#include "core/script/ValueStack.h"

namespace kivra {

class PlayerServices;
class DisplayClipBridge;
class SharedObjects;
struct NativeClass;

// A class linked to a library symbol name with Object.registerClass.
struct ClassRegistration {
  std::string symbol;
  ScriptValue constructor;
};

// Primitive hints.
enum class Hint : uint8_t { Number, String, Default };

class ScriptEngine {
 public:
  explicit ScriptEngine(PlayerServices& player);
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  PlayerServices& player() { return player_; }
  ScriptHeap& heap() { return heap_; }
  // The bridge to clips, paths and clip properties. The engine's own bridge
  // works over the player's display; tests may put another in its place.
  void setClipBridge(ClipBridge* bridge) { bridge_ = bridge; }
  ClipBridge& clips() { return *bridge_; }
  DisplayClipBridge& displayClips() { return *displayBridge_; }

  // ---- The global object and the bootstrap --------------------------------
  // Made on first request, with the primitives registered on it.
  ScriptObject* global();
  ScriptObject* objectPrototype();
  ScriptObject* functionPrototype();
  // Installs a class's table (replacing one of the same number). Classes are
  // registered before natives are made: a native function keeps the routine
  // found when it was made.
  void registerNativeClass(const NativeClass& nativeClass);
  bool hasNativeClass(uint16_t nativeClass) const;
  // A new native function object; undefined for an unknown class.
  ScriptValue makeNative(uint16_t nativeClass, uint16_t method, bool constructor);
  // A new plain object whose __proto__ is Object.prototype.
  ScriptObject* newObject();
  // Runs action bytes once with the global object as the target and as
  // `this` (the class library; the variables land on the global object).
  void runOnGlobal(const uint8_t* code, size_t length, int version);

  // ---- State of the class library --------------------------------------
  // The capabilities query string, made with the global object.
  const std::string& capabilities() const { return capabilities_; }
  IntervalTimers& timers() { return timers_; }
  // The local shared objects opened by the player's movies.
  SharedObjects& sharedObjects();
  std::vector<ClassRegistration>& registeredClasses() { return registeredClasses_; }
  // The class registered for a library symbol name, or undefined.
  ScriptValue registeredClass(std::string_view symbol) const;
  // Applies the registered class (or the built-in one) to a new clip, once.
  void constructClip(ScriptObject* clip, int version);
  // updateAfterEvent() asked for a redraw when the running handler returns.
  void requestRedraw() { redrawNow_ = true; }
  bool takeRedrawRequest() {
    const bool r = redrawNow_;
    redrawNow_ = false;
    return r;
  }
  ScriptObject* newArray();

  // ---- Running ----------------------------------------------------------------
  // Runs the pending lists. Returns at once when called from inside a script
  // and `fromOutside` is false.
  void run(ActionQueue& queue, bool fromOutside = true);
  bool aborted() const { return abort_; }
  void abortScripts() { abort_ = true; }
  bool running() const { return runDepth_ > 0; }
  // The memory budget: past `baseline` + `budget` bytes in use (the host's
  // count), the running script is aborted at its next clock reading.
  // Runs aborted by the time limit or the memory budget so far.
  uint64_t limitAborts() const { return limitAborts_; }
  void setMemoryBaseline(size_t bytes) { memoryBaseline_ = bytes; }
  void setMemoryBudget(size_t bytes) { memoryBudget_ = bytes; }
  size_t memoryBudget() const { return memoryBudget_; }
  // Something large was just built: read the clock and the memory at the
  // next action instead of up to kClockCheckActions later.
  // checkSoon() out of the interpreter's loop, for its rare callers there.
  [[gnu::noinline, gnu::cold]] void checkSoonCold() { checkSoon(); }
  void checkSoon() {
    actionsCounted_ += roundLength_ - untilCheck_;
    untilCheck_ = roundLength_ = 1;
  }
  // Natives that loop count their steps as actions, so that the time limit
  // also stops a script stuck in one long native call. Returns false once
  // the scripts are aborted: the native should stop.
  bool countNativeStep() {
    countAction();
    return !abort_;
  }
  // How long (script clock ms) a run goes before the host is asked to abort
  // it; a headless host may shorten it, never lengthen it.
  void setSlowScriptLimit(uint32_t ms) { slowScriptMs_ = ms < kSlowScriptMs ? ms : kSlowScriptMs; }
  uint32_t slowScriptLimit() const { return slowScriptMs_; }
  // The queue being run (for clip actions that queue more blocks).
  ActionQueue* queue() const { return queue_; }
  // The level-0 movie is going away: cached constant pools point into it
  // and the root clip's object goes with it.
  void movieUnloaded();

  // A listener event raised by the player (`Key`, `Mouse`, `Stage`...):
  // calls broadcastMessage(method, args...) on the global object of that
  // name, when it exists, as an outermost script run.
  void broadcast(std::string_view object, std::string_view method, const ScriptValue* args, int argc);

  // ---- Calls ------------------------------------------------------------------------
  // Calls a function value; `construct` makes the call a construction.
  ScriptValue call(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args, int argc,
                   bool construct = false);
  // The same, not constructing, for a caller that holds `function` until the
  // call returns (the call borrows it).
  ScriptValue callHeld(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args, int argc);
  ScriptValue callMethod(const ScriptValue& object, std::string_view name, const ScriptValue* args, int argc);
  // A call made by the player outside any script run (timers, listener
  // events): it is timed and limited as a run of its own.
  ScriptValue callFromOutside(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args,
                              int argc);
  ScriptValue callMethodFromOutside(const ScriptValue& object, std::string_view name, const ScriptValue* args,
                                    int argc);

  // ---- Conversions (by the rules of the running movie version) -------------
  int version() const { return version_; }
  bool version4() const { return version4_; }
  bool toBoolean(const ScriptValue& v);
  double toNumber(const ScriptValue& v);
  ScriptValue toStringValue(const ScriptValue& v);
  std::string toStdString(const ScriptValue& v);
  // False when an object's method gives another object.
  bool toPrimitive(const ScriptValue& v, Hint hint, ScriptValue& out);
  ScriptValue makeString(std::string_view text) {
    if (text.size() >= kLargeString) checkSoon();
    return ScriptValue::string(text, version_ <= 5);
  }
  // Strings this long or longer have the memory checked at the next action.
  static constexpr size_t kLargeString = size_t{64} << 10;
  // Object or clip object behind a value; null for other kinds.
  ScriptObject* toObject(const ScriptValue& v);
  bool abstractEquals(const ScriptValue& a, const ScriptValue& b);
  bool strictEquals(const ScriptValue& a, const ScriptValue& b);
  // a < b: 1 true, 0 false, -1 undefined (NaN).
  int lessThan(const ScriptValue& a, const ScriptValue& b);
  const char* typeOf(const ScriptValue& v);
  // Legacy string equality and order between string values (unit rules).
  static bool stringsEqual(const ScriptString* a, const ScriptString* b);
  static int compareStrings(const ScriptString* a, const ScriptString* b, const CodePage& cp);
  // The player's random generator: one 31-bit draw, or a draw below n (0
  // when n <= 0). Seeded from the clock on first use unless seeded before.
  uint32_t randomDraw();
  uint32_t randomBelow(int32_t n);
  void seedRandom(uint32_t seed);

  // ---- Members ----------------------------------------------------------------------
  // Get member with the prototype walk, getters, clip names and __resolve.
  bool getMember(ScriptObject* object, const ScriptValue& name, ScriptValue& out, bool allowResolve = true);
  bool getMember(ScriptObject* object, std::string_view name, ScriptValue& out, bool allowResolve = true);
  ScriptValue getMember(const ScriptValue& object, std::string_view name);
  // Set member with read-only, setters, watches and array length.
  void setMember(ScriptObject* object, const ScriptValue& name, const ScriptValue& value, uint16_t flags = 0);
  void setMember(ScriptObject* object, std::string_view name, const ScriptValue& value, uint16_t flags = 0);
  // The same with the name's hash (ScriptString::nameHash) already known.
  bool getMember(ScriptObject* object, std::string_view name, uint32_t hash, ScriptValue& out,
                 bool allowResolve = true);
  void setMember(ScriptObject* object, std::string_view name, uint32_t hash, const ScriptValue& value,
                 uint16_t flags = 0);
  bool deleteMember(ScriptObject* object, std::string_view name);
  bool addAccessor(ScriptObject* object, std::string_view name, const ScriptValue& getter, const ScriptValue& setter);
  bool watch(ScriptObject* object, std::string_view name, const ScriptValue& callback, const ScriptValue& userData);
  bool unwatch(ScriptObject* object, std::string_view name);
  // Names of an object and its prototypes, as `for..in` sees them.
  void enumerate(ScriptObject* object, std::vector<std::string>& names);
  bool instanceOf(const ScriptValue& value, const ScriptValue& constructor);
  // ZqSetPropFlags.
  void setPropertyFlags(ScriptObject* object, const ScriptValue& names, int set, int clear);
  // The function's constructor-made prototype wiring.
  void attachPrototype(ScriptObject* function);

  // ---- Operand stack ------------------------------------------------------------------
  void push(ScriptValue v) { stack_.push_back(std::move(v)); }
  ScriptValue pop() {
    if (stack_.empty()) return ScriptValue();
    return stack_.take();
  }
  size_t stackSize() const { return stack_.size(); }

  // The interpreter's fast paths: fused records, quick and simple calls,
  // lookup caches. On by default; off, the blocks and functions decoded
  // from then on run every record the general way, by its opcode, so that
  // each fast path can be checked against it. Set before the movie runs.
  void setFastPaths(bool on);
  bool fastPaths() const { return fastPaths_; }
  // The system code page of older movies' text (not owned; outlives the
  // engine).
  void setCodePage(const CodePage& cp) { codePage_ = &cp; }
  const CodePage& codePage() const { return *codePage_; }

  // Statistics for tests.
  uint64_t actionsRun() const { return actionsCounted_ + (roundLength_ - untilCheck_); }
  size_t collections() const { return collections_; }
  void collectGarbage();

 private:
  // The record loop works on the engine's state directly.
  friend class Interpreter;
  void buildGlobal();
  void runQueuedBlock(const ActionBlock& block);

  // Runs a block of actions in a context; true when it ran to its end.
  // `decoded` is the block's decoded form when the caller has it.
  void execute(ActionContext& ctx, const uint8_t* code, size_t length, const DecodedBlock* decoded = nullptr);
  // True for a plain call of a script function that callFunction would hand
  // straight to runScriptFunction: callers on hot paths make the call
  // themselves after these checks.
  bool callsDirectly(const ScriptObject* fn, const FunctionBody* body) const {
    return body && !body->native && !abort_ && fn->classTag() != ClassTag::Super &&
           contextCount_ < kMaxContexts && nativeDepth_ < kMaxContexts;
  }
  // The running context's target (its override when set), undefined outside any run.
  const ScriptValue& callerTarget() const;
  ScriptValue callFunction(ScriptObject* fn, const ScriptValue& thisValue, const ScriptValue* args, int argc,
                           bool construct, const ScriptValue& callerTarget);
  // `held`, when given, is the function's value, held by the caller until
  // the call returns: the context borrows it instead of taking a reference.
  ScriptValue runScriptFunction(ScriptObject* fn, const ScriptValue& thisValue, const ScriptValue* args, int argc,
                                bool construct, const ScriptValue& callerTarget, const ScriptValue& newObject,
                                const ScriptValue* held = nullptr);
  // True when the clip a function was defined in (its target) is still there.
  bool definedInPresent(const FunctionBody& body);
  // A function body's decoded form and call profile, made on its first call.
  void prepareBody(FunctionBody& body);
  // A call's registers, preloads and parameters when its function is not a
  // simple one (FunctionBody::simpleCall).
  void setUpRegisters(ActionContext& ctx, const FunctionBody& body, const ScriptValue& thisValue,
                      const ScriptValue* args, int argc);
  // A plain call of a script function whose body was prepared and has a
  // simple profile (FunctionBody::simpleCall), after callsDirectly's checks;
  // `function` is held by the caller until the call returns.
  ScriptValue callSimple(const ScriptValue& function, const ScriptValue& thisValue, const ScriptValue* args,
                         int argc, const ScriptValue& callerTarget);
  // callSimple's two halves, around the run of the body: the context set
  // up for the call (`callerContext` is the running one, the caller's), and
  // the context put back for the next call, after the result was taken.
  [[gnu::always_inline]] inline ActionContext& beginSimple(FunctionBody& body, const ScriptValue& function,
                                                           const ScriptValue& thisValue, const ScriptValue* args,
                                                           int argc, const ScriptValue& callerTarget,
                                                           const ActionContext* callerContext);
  [[gnu::always_inline]] inline void endSimple(ActionContext& ctx, const FunctionBody& body);
  // The call action's common case, a call by name of a simple function
  // with a few arguments whose read the cache answers quickly (with
  // quickCachedProperty), made with none of the action's general steps;
  // the result is pushed. False, with nothing done, for any other call.
  // `count` is the argument count as DecodedAction::fewArgs gives it.
  bool callQuick(ActionContext& caller, const LookupCache& c, const ScriptString* name, int count);
  // Sets up what every call of a simple function sets alike, in a context
  // that last ran another function.
  void keepForCalls(ActionContext& ctx, const FunctionBody& body, const ScriptValue& function);
  // Lets go what a simple call left in its context for the next.
  static void releaseKept(ActionContext& ctx);
  bool specialLocal(ScriptObject* activation, std::string_view name, ScriptValue& out);
  // The context's activation object, made now if it is still pending.
  ScriptObject* activationOf(ActionContext& ctx);
  // Defines a local of a call whose activation is not made yet without
  // making it (a parameter or a DefineLocal): false when the name or the
  // context needs the object, and nothing was done. An existing local gets
  // the value unless `keepExisting`.
  bool definePendingLocal(ActionContext& ctx, const ScriptValue& name, const ScriptValue& value, uint16_t flags,
                          bool keepExisting);
  // Whether a local of this name may wait in its call (not every name can).
  static bool pendableLocalName(const ScriptString* name);
  // Drops what a call's context held, for the next call (the fields every
  // call sets are left). Inline: it runs after every call.
  [[gnu::always_inline]] static inline void resetCallContext(ActionContext& ctx);
  ScriptValue argumentsObject(ScriptObject* activation);
  ScriptValue superObject(ScriptObject* activation);
  ScriptObject* contextTarget(ActionContext& ctx);
  ScriptValue getVariable(ActionContext& ctx, const ScriptValue& name);
  void setVariable(ActionContext& ctx, const ScriptValue& name, const ScriptValue& value);
  // Lookups through an action's cache: false when the case is not one the
  // cache covers, and then nothing has happened (the general lookup runs).
  // `out` comes in undefined (every caller passes a fresh value), so a hit
  // fills it without dropping anything first.
  bool cachedGetVariable(ActionContext& ctx, const ScriptString* name, LookupCache& c, ScriptValue& out);
  // The cache of a variable read checked inline for the common shapes only
  // (no SetTarget, no removed clip in the way); false sends the read to
  // cachedGetVariable, which decides every case.
  [[gnu::always_inline]] bool quickCachedVariable(const ActionContext& ctx, const ScriptString* name,
                                                 const LookupCache& c,
                           ScriptValue& out) const;
  // The same, giving the property found (or null).
  const Property* quickCachedProperty(const ActionContext& ctx, const ScriptString* name,
                                      const LookupCache& c) const;
  bool cachedSetVariable(ActionContext& ctx, const ScriptString* name, LookupCache& c, const ScriptValue& value);
  // The same for a variable write; false sends it to cachedSetVariable.
  bool quickCachedSetVariable(ActionContext& ctx, const ScriptString* name, const LookupCache& c,
                              const ScriptValue& value);
  // (`out` undefined on entry, as for the variable reads.)
  bool cachedGetMember(ScriptObject* object, const ScriptString* name, LookupCache& c, ScriptValue& out);
  bool cachedSetMember(ScriptObject* object, const ScriptString* name, LookupCache& c, const ScriptValue& value);
  bool skippableForGet(ActionContext& ctx, int entry);
  bool skippableForSet(ActionContext& ctx, int entry);
  bool splitPath(ActionContext& ctx, std::string_view name, std::string_view& path, std::string_view& var);
  // Variable names of text fields' scroll lines: in version-4 mode
  // "field.scroll" and "field.maxscroll" on the target; outside it, a
  // "scroll" written through a path that ends in a field's variable.
  bool getFieldScroll(ScriptObject& target, std::string_view var, ScriptValue& out);
  bool setFieldScroll(ScriptObject& target, std::string_view var, const ScriptValue& value);
  bool setScrollThroughPath(ScriptObject& start, std::string_view path, const ScriptValue& value);
  ScriptObject* scopeObject(ActionContext& ctx, int index);
  ScriptValue clipValue(ScriptObject* clip);
  PoolRef constantPool(const uint8_t* payload, size_t length);
  // The decoded form of a block of actions that does not belong to a
  // function (frame, clip and button actions): remembered by the address of
  // its bytes and checked against a copy of them on every run, so a block
  // freed and another loaded at the same address is decoded anew.
  std::shared_ptr<const DecodedBlock> decodedBlock(const uint8_t* code, size_t length, bool legacy);
  void defineFunction(ActionContext& ctx, const uint8_t* payload, size_t length, const uint8_t* body,
                      size_t bodyLength, bool function2);
  void maybeCollect();
  void slowScriptCheck();
  // Every action run counts; the clock is read every kClockCheckActions, so
  // a run of slow actions (long strings, big arrays) is timed as closely as
  // a run of quick ones. A count down to the next reading costs the loop no
  // more than a count up would.
  [[gnu::always_inline]] void countAction() {
    if (--untilCheck_ == 0) [[unlikely]] slowScriptCheck();
  }  // What a run from outside the interpreter saves and restores around it.
  struct RunState {
    bool outermost;
    int version;
    bool version4;
  };
  RunState enterRun();
  void leaveRun(const RunState& state);
  std::string legacyText(const ScriptValue& v);

  PlayerServices& player_;
  ScriptHeap heap_;  // first: destroyed last
  ClipBridge* bridge_ = nullptr;
  ClipBridge* displayBridgeBase_ = nullptr;  // displayBridge_ as a ClipBridge
  std::unique_ptr<DisplayClipBridge> displayBridge_;
  ScriptObject* global_ = nullptr;
  ScriptObject* objectProto_ = nullptr;
  ScriptObject* functionProto_ = nullptr;
  std::vector<const NativeClass*> natives_;
  std::string capabilities_;
  IntervalTimers timers_;
  std::unique_ptr<SharedObjects> sharedObjects_;
  std::vector<ClassRegistration> registeredClasses_;
  bool redrawNow_ = false;

  ValueStack stack_;
  // The running contexts, innermost last; every way into execute checks
  // the limit first.
  ActionContext* contexts_[kMaxContexts] = {};
  int contextCount_ = 0;
  // Contexts of script function calls, one per call depth, kept for reuse:
  // clearing the few fields a call used costs less than making and dropping
  // a whole context (scope chain, registers) on every call.
  // (Each runs in one of the running contexts: there are never more.)
  std::unique_ptr<ActionContext> callContexts_[kMaxContexts];
  size_t callDepth_ = 0;
  uint64_t lastBodyId_ = 0;  // FunctionBody::callId of the last body prepared
  ScriptValue globalRegisters_[4];
  ActionQueue* queue_ = nullptr;
  std::unordered_map<const uint8_t*, PoolRef> poolCache_;
  static constexpr size_t kMaxPoolCacheBytes = size_t{8} << 20;  // of pool bytes held
  size_t poolCacheBytes_ = 0;
  static constexpr size_t kMaxDecodedBlocks = 4096;
  std::unordered_map<const uint8_t*, std::shared_ptr<const DecodedBlock>> decodedBlocks_;

  int version_ = 6;
  bool version4_ = false;
  bool fastPaths_ = true;
  const CodePage* codePage_ = &CodePage::windows1252();
  bool abort_ = false;
  int runDepth_ = 0;
  int nativeDepth_ = 0;
  uint16_t untilCheck_ = kClockCheckActions;   // actions left before the next reading
  uint16_t roundLength_ = kClockCheckActions;  // what untilCheck_ was set to
  uint32_t slowStart_ = 0;
  uint32_t slowScriptMs_ = kSlowScriptMs;
  size_t memoryBaseline_ = 0;
  uint64_t limitAborts_ = 0;
  size_t memoryBudget_ = kDefaultMemoryBudget;
  uint64_t actionsCounted_ = 0;  // actions run before the present round
  uint32_t randomState_ = 0;
  bool randomSeeded_ = false;
  uint32_t lastCollect_ = 0;
  size_t lastCount_ = 0;
  size_t collections_ = 0;
};

}  // namespace kivra
