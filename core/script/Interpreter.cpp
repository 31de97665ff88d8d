// The action interpreter: one loop over the records of a block, with the
// operands popped and converted by the opcode table's descriptors. The
// loop's two switches take their cases from interpreter/*.inc, one file per
// family: Fast* by decoded kind (the fast paths), General* by opcode. They
// are included, not called, so that the loop's state stays in registers;
// the families that use little or none of it are handlers of their own,
// out of the loop (interpreter/StringActions.cpp, TimelineActions.cpp,
// VariableActions.cpp, BlockActions.cpp).
#include <cmath>
#include <cstring>
#include <new>

#include "core/script/Interpreter.h"
#include "core/script/PlayerServices.h"
#include "core/format/ActionReader.h"
#include "core/script/NumberText.h"
#include "core/format/OpcodeTable.h"
#include "core/script/QuickLookups.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

namespace {

struct DescriptorTable {
  uint16_t d[256] = {};
  constexpr DescriptorTable() {
#define KIVRA_DESCRIPTOR(code, name, k1, k2, k3, result, payload) d[code] = opDescriptor(k1, k2, k3, result);
    KIVRA_OPCODE_TABLE(KIVRA_DESCRIPTOR)
#undef KIVRA_DESCRIPTOR
  }
};
constexpr DescriptorTable kDescriptors;

constexpr uint8_t op(Opcode o) { return static_cast<uint8_t>(o); }

// fmod, with whole numbers below 2^53 done in integers (the same result,
// the sign of a zero included, without the library's long path).
[[gnu::noinline]] double moduloOf(double l, double r) {
  // A positive whole left operand and divisor of 31 bits, the common case:
  // 32-bit division gives the same (a positive or zero remainder).
  constexpr double kInt31 = 2147483647.0;
  if (l > 0 && l <= kInt31 && r >= 1 && r <= kInt31) {
    const int32_t li = static_cast<int32_t>(l), ri = static_cast<int32_t>(r);
    if (static_cast<double>(li) == l && static_cast<double>(ri) == r) return static_cast<double>(li % ri);
  }
  constexpr double kExact = 9007199254740992.0;  // 2^53
  // (Whole within that range: the conversion to an integer and back gives
  // the same number, without the library's trunc.)
  if (l > -kExact && l < kExact && r > -kExact && r < kExact && r != 0 &&
      static_cast<double>(static_cast<int64_t>(l)) == l && static_cast<double>(static_cast<int64_t>(r)) == r) {
    const int64_t m = static_cast<int64_t>(l) % static_cast<int64_t>(r);
    if (m == 0) return l < 0 || (l == 0 && std::signbit(l)) ? -0.0 : 0.0;
    return static_cast<double>(m);
  }
  return std::fmod(l, r);
}

const ScriptValue kNone;

}  // namespace

std::string ScriptEngine::legacyText(const ScriptValue& v) {
  // The narrow text in the running movie's encoding.
  const ScriptString* s = v.asString();
  if (!s) return std::string();
  return text::convert(s->text(), s->legacyOrigin(), version_ <= 5, *codePage_);
}

std::shared_ptr<const DecodedBlock> ScriptEngine::decodedBlock(const uint8_t* code, size_t length, bool legacy) {
  auto it = decodedBlocks_.find(code);
  if (it != decodedBlocks_.end() && it->second->matches(code, length, legacy)) return it->second;
  // Running blocks hold their own reference: dropping the cache is safe.
  if (decodedBlocks_.size() >= kMaxDecodedBlocks) decodedBlocks_.clear();
  auto block = std::make_shared<const DecodedBlock>(code, length, legacy, true, fastPaths_);
  decodedBlocks_[code] = block;
  return block;
}

PoolRef ScriptEngine::constantPool(const uint8_t* payload, size_t length) {
  auto it = poolCache_.find(payload);
  if (it != poolCache_.end()) {
    ConstantPool* p = it->second.get();
    if (p->source.size() == length && (length == 0 || std::memcmp(p->source.data(), payload, length) == 0))
      return it->second;
  }
  // Contexts hold their own references: dropping the cache is safe, and a
  // movie of many big pools keeps only the recent ones.
  if (poolCacheBytes_ + length > kMaxPoolCacheBytes) {
    poolCache_.clear();
    poolCacheBytes_ = 0;
  }
  poolCacheBytes_ += length;
  PoolRef ref(ConstantPool::create());
  ConstantPool* pool = ref.get();
  pool->source.assign(payload, payload + length);
  ActionReader r(payload, length);
  const unsigned count = r.u16();
  pool->strings.reserve(count);
  for (unsigned i = 0; i < count && !r.atEnd(); ++i) pool->strings.push_back(makeString(r.string()));
  poolCache_[payload] = ref;
  return ref;
}

void ScriptEngine::defineFunction(ActionContext& ctx, const uint8_t* payload, size_t length, const uint8_t* body,
                                  size_t bodyLength, bool function2) {
  ActionReader r(payload, length);
  const std::string_view name = r.string();
  const unsigned paramCount = r.u16();
  auto fb = std::make_unique<FunctionBody>();
  fb->function2 = function2;
  if (function2) {
    fb->registerCount = r.u8();
    fb->flags2 = r.u16();
  }
  for (unsigned i = 0; i < paramCount && !r.atEnd(); ++i) {
    FunctionParam2 p;
    if (function2) p.reg = r.u8();
    p.name = makeString(r.string());
    fb->params.push_back(std::move(p));
  }
  fb->code.assign(body, body + bodyLength);
  fb->pool = ctx.pool;
  fb->version = ctx.version;
  // Functions defined on a clip keep it as their target; those defined with
  // another object as the target (the class library's, on the global
  // object) run on their caller's.
  fb->definedIn = ctx.hasOverride ? ctx.override : ctx.target;
  if (!fb->definedIn.isClip()) fb->definedIn.clear();
  activationOf(ctx);  // the new function's scope holds it
  for (int i = 0; i < ctx.scopeCount; ++i) {
    ScopeEntry e = ctx.scope[i];
    if (i == ctx.clipEntry && ctx.hasOverride) e.object = ctx.override;
    fb->scope.push_back(std::move(e));
  }
  ScriptObject* fn = heap_.create();
  ScriptValue fv = ScriptValue::object(fn);
  fn->setFunction(std::move(fb));
  fn->append("__proto__", ScriptValue::object(functionPrototype()), kDontEnum | kDontDelete);
  ScriptObject* proto = newObject();
  ScriptValue pv = ScriptValue::object(proto);
  proto->append("constructor", fv, kDontEnum | kDontDelete);
  fn->append("prototype", pv, kDontEnum | kDontDelete);
  if (name.empty()) {
    push(fv);
  } else if (ctx.version >= 6 && ctx.kind != ActionContext::Queued) {
    ScriptObject* act = activationOf(ctx);
    if (Property* p = act->findOwn(name)) p->value = fv;
    else act->append(name, fv, kDontDelete);
  } else if (ScriptObject* t = contextTarget(ctx)) {
    setMember(t, name, fv);
  }
}

void ScriptEngine::execute(ActionContext& ctx, const uint8_t* code, size_t length, const DecodedBlock* decoded) {
  const bool legacy = ctx.version <= 5;
  if (decoded && decoded->legacy() == legacy) {
    Interpreter::run(*this, ctx, code, length, *decoded);
    return;
  }
  // (The cache may drop the block while it runs.)
  const std::shared_ptr<const DecodedBlock> hold = decodedBlock(code, length, legacy);
  Interpreter::run(*this, ctx, code, length, *hold);
}

void Interpreter::run(ScriptEngine& e, ActionContext& ctx, const uint8_t* code, size_t length,
                      const DecodedBlock& block) {
  e.contexts_[e.contextCount_++] = &ctx;
  e.version_ = ctx.version;
  e.version4_ = ctx.version4;
  const DecodedBlock* const decoded = &block;
  const DecodedAction* const actions = decoded->actions();
  const PushItem* const blockItems = decoded->items();
  const DecodedAction* expect = actions;  // the decoded record expected next
  // A record decoded on the spot (a position inside another record); made
  // the first time one is needed.
  struct LooseRecord {
    DecodedAction action;
    std::vector<PushItem> items;
  };
  std::unique_ptr<LooseRecord> loose;
  size_t pc = 0;
  int skip = 0;  // actions left to skip for WaitForFrame
  // Where a taken branch lands: the record at its target, when the block has
  // one there, else the record after it, which does not match and so sends
  // the loop to its slow head.
  auto branchTarget = [&](const DecodedAction* branch) __attribute__((always_inline)) {
    return branch->target != DecodedAction::kNoTarget ? actions + branch->target : branch + 1;
  };
  // A boolean result feeding Not (and then If) never touches the stack.
  auto booleanResult = [&](bool flag) __attribute__((always_inline)) {
    const DecodedAction* n = expect;
    if (n->pc == pc) {
      // The block's own records follow (no `with` block or skip is in force):
      // they tell what comes next without reading the bytes.
      if (n->op == op(Opcode::Not)) {
        flag = !flag;
        pc = n->next;
        ++n;
        e.countAction();
      }
      // (The records follow one another: the one after a Not starts where
      // it ends, unless it is an End, which is no If.)
      if (n->kind == DecodedAction::kIf) {
        pc = n->next;
        e.countAction();
        if (flag) {
          pc += n->offset;
          n = branchTarget(n);
        } else {
          ++n;
        }
        expect = n;
        return;
      }
      expect = n;
      e.push(ScriptValue::boolean(flag));
      return;
    }
    if (pc < length && code[pc] == op(Opcode::Not)) {
      flag = !flag;
      ++pc;
      e.countAction();
    }
    if (pc + 5 <= length && code[pc] == op(Opcode::If) && code[pc + 1] == 2 && code[pc + 2] == 0) {
      const int16_t offset = static_cast<int16_t>(code[pc + 3] | (code[pc + 4] << 8));
      pc += 5;
      e.countAction();
      if (flag) pc += offset;
    } else {
      e.push(ScriptValue::boolean(flag));
    }
  };
  // Push: each typed item of the record in turn.
  // A pushed item's value, or null for undefined (a register past the
  // function's count, a constant without a pool in force).
  auto itemValue = [&](const PushItem& item) __attribute__((always_inline)) -> const ScriptValue* {
    if (item.kind == PushItem::Value) return &item.value;
    if (item.kind == PushItem::Register) return item.index < ctx.registerCount ? &ctx.registers[item.index] : nullptr;
    ConstantPool* pool = ctx.pool.get();
    return pool && item.index < pool->strings.size() ? &pool->strings[item.index] : nullptr;
  };
  auto pushItems = [&](const PushItem* item, const PushItem* end) {
    if (item == end) return;  // a fused Push often has nothing before its operands
    e.stack_.reserve(e.stack_.size() + static_cast<size_t>(end - item));
    for (; item != end; ++item) {
      if (const ScriptValue* v = itemValue(*item)) e.stack_.pushReserved(*v);
      else e.stack_.pushReserved(ScriptValue());
    }
  };
  // GetMember and SetMember, shared by the fast and the general path.
  auto getMemberOp = [&](const ScriptValue& object, const ScriptValue& name, ScriptValue& out) {
    if (ScriptObject* o = e.toObject(object)) {
      e.getMember(o, name, out);
    } else if (object.isString() && equalsIgnoringCase(name.stringView(), "length")) {
      // A string value answers length as a String object would.
      const ScriptString* str = object.asString();
      out = ScriptValue::number(str ? static_cast<double>(str->units(e.codePage()).size()) : 0.0);
    } else if (object.isString() || object.isNumber() || object.isBoolean()) {
      const char* cls = object.isString() ? "String" : object.isNumber() ? "Number" : "Boolean";
      ScriptValue proto = e.getMember(e.getMember(ScriptValue::object(e.global()), cls), "prototype");
      if (ScriptObject* p = proto.asObject()) e.getMember(p, name, out);
    }
  };
  auto setMemberOp = [&](const ScriptValue& object, const ScriptValue& name, const ScriptValue& value) {
    ScriptObject* o = e.toObject(object);
    if (!o) return;
    if (o->isClipObject() && e.bridge_->setClipMember(*o, name.stringView(), value)) return;
    e.setMember(o, name, value);
  };

  // The four call actions: the function (a variable, or a member of
  // `object` for the method forms) called with `count` arguments from the
  // stack; the result is pushed.
  auto callAction = [&](const DecodedAction* act, bool method, bool construct, const ScriptValue& name,
                        const ScriptValue& object, double countD) {
    int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
    if (static_cast<size_t>(count) > e.stack_.size()) count = static_cast<int>(e.stack_.size());
    // The first popped is the first argument. A few fit on the C++ stack,
    // more go to the heap (made only as many as there are: most calls pass
    // one or two).
    constexpr int kFewArgs = 4;
    alignas(ScriptValue) unsigned char fewStorage[kFewArgs * sizeof(ScriptValue)];
    ScriptValue* args = reinterpret_cast<ScriptValue*>(fewStorage);
    if (count > kFewArgs) [[unlikely]]
      args = static_cast<ScriptValue*>(::operator new(sizeof(ScriptValue) * static_cast<size_t>(count)));
    for (int i = 0; i < count; ++i) new (args + i) ScriptValue(e.stack_.take());
    struct DropArgs {
      ScriptValue* args;
      int count;
      ~DropArgs() {
        for (int i = 0; i < count; ++i) args[i].~ScriptValue();
        if (count > kFewArgs) [[unlikely]]
          ::operator delete(args);
      }
    } dropArgs{args, count};
    ScriptValue fn;
    // `this` is the object of a method call, undefined otherwise.
    const ScriptValue& thisValue = object;
    const ScriptValue* callerTarget = ctx.hasOverride ? &ctx.override : &ctx.target;
    if (method) {
      if (object.isNullish()) {
        e.push(ScriptValue());
        return;
      }
      LookupCache* c = decoded->cache(*act);
      if (name.stringView().empty()) {
        fn = object;
      } else if (c && object.isObject() && e.cachedGetMember(object.asObject(), name.asString(), *c, fn)) {
        // found where it was last time
      } else if (ScriptObject* o = e.toObject(object)) {
        e.getMember(o, name, fn);
      } else {
        // A primitive borrows its class's prototype.
        const char* cls = object.isString() ? "String" : object.isNumber() ? "Number" : "Boolean";
        ScriptValue proto = e.getMember(e.getMember(ScriptValue::object(e.global()), cls), "prototype");
        if (ScriptObject* p = proto.asObject()) e.getMember(p, name, fn);
      }
      if (object.isClip()) callerTarget = &object;
    } else {
      LookupCache* c = decoded->cache(*act);
      if (!c || !name.isString() ||
          !(e.quickCachedVariable(ctx, name.asString(), *c, fn) || e.cachedGetVariable(ctx, name.asString(), *c, fn)))
        fn = e.getVariable(ctx, name);
    }
    ScriptObject* f = fn.asObject();
    if (!f || !f->isFunction()) {
      e.push(ScriptValue());
      return;
    }
    // A plain call of a script function passes callFunction's checks here.
    FunctionBody* body = f->function();
    const bool direct = !construct && e.callsDirectly(f, body);
    if (direct && body->simpleCall) {
      // The call puts the version back as it found it.
      e.push(e.callSimple(fn, thisValue, args, count, *callerTarget));
      // (The function is an object: its reference is dropped in place.)
      fn.forget();
      f->release();
      return;
    }
    ScriptValue r2 = direct ? e.runScriptFunction(f, thisValue, args, count, false, *callerTarget, kNone, &fn)
                         : e.callFunction(f, thisValue, args, count, construct, *callerTarget);
    e.version_ = ctx.version;
    e.version4_ = ctx.version4;
    e.push(std::move(r2));
  };

  // The number-only fast paths of arithmetic and comparisons.
  auto arithmetic = [](uint8_t code0, double l, double r) __attribute__((always_inline)) {
    switch (code0) {
      case op(Opcode::Subtract):
        return l - r;
      case op(Opcode::Multiply):
        return l * r;
      case op(Opcode::Divide):
        return l / r;
      case op(Opcode::Modulo):
        return moduloOf(l, r);
      default:
        return l + r;
    }
  };
  auto compare = [&](uint8_t code0, double l, double r) __attribute__((always_inline)) {
    if (code0 == op(Opcode::Less2) || code0 == op(Opcode::Greater)) {
      if (std::isnan(l) || std::isnan(r)) e.push(ScriptValue());  // ordering with NaN is undefined
      else booleanResult(code0 == op(Opcode::Less2) ? l < r : r < l);
    } else if (code0 == op(Opcode::Less)) {
      booleanResult(l < r);
    } else {
      booleanResult(l == r);
    }
  };
  // The action after a fused Push is counted and stepped over as the loop
  // would have done it.
  auto runFused = [&](const DecodedAction* nextAct) __attribute__((always_inline)) {
    pc = nextAct->next;
    ++expect;
    e.countAction();
  };
  // A pushed item as a number operand, or null.
  auto numberItem = [&](const PushItem& item) -> const ScriptValue* {
    const ScriptValue* v = itemValue(item);
    return v && v->isNumber() ? v : nullptr;
  };

  // While a `with` block or a WaitForFrame skip is in force every record
  // goes through the slow head, which checks them: `expect` is then the end
  // mark, which no position matches.
  const DecodedAction* const endMark = decoded->endMark();
  while (!e.abort_) {
    // The record expected next starts below the end.
    const DecodedAction* act = expect;
    if (act->pc == pc) [[likely]] {
      ++expect;
    } else {
      while (ctx.withCount > 0 && (pc >= ctx.withEnd[ctx.withCount - 1] || pc < ctx.withStart[ctx.withCount - 1])) {
        --ctx.withCount;
        ctx.scope[--ctx.scopeCount] = ScopeEntry();
      }
      if (pc >= length) break;
      if ((act = decoded->at(pc))) {
        expect = act + 1;
      } else {
        if (!loose) loose = std::make_unique<LooseRecord>();
        loose->items.clear();
        DecodedBlock::decodeRecord(code, length, pc, decoded->legacy(), decoded->fastPaths(), loose->action,
                                   loose->items);
        act = &loose->action;
      }
      if (act->op == 0) break;  // the end of the actions (never the record expected)
      if (ctx.withCount > 0 || skip > 0) expect = endMark;
      if (skip > 0) {
        pc = act->next;
        e.countAction();
        --skip;
        continue;
      }
    }
    pc = act->next;
    e.countAction();

    // Fast paths: the hottest actions with their common operand kinds, worked
    // on the stack in place. Each gives the result of the general path below
    // (operands popped and converted by the descriptor, then the handler);
    // any other case falls through to it.
    switch (act->kind) {
#include "core/script/interpreter/FastStack.inc"
#include "core/script/interpreter/FastArithmetic.inc"
#include "core/script/interpreter/FastMembers.inc"
#include "core/script/interpreter/FastCalls.inc"
#include "core/script/interpreter/FastControl.inc"
      case DecodedAction::kGeneral:
        break;
      default:
        __builtin_unreachable();  // the decoder gives no other kind
    }
    const uint8_t code0 = act->op;
    const uint8_t* payload = code + act->payload;
    const size_t payloadLength = act->payloadLength;
    ActionReader r(payload, payloadLength);

    // Operands, top of the stack first. (Each record's operands and result
    // are its own: the slots are made for the record and dropped after it.)
    ScriptValue a[3];
    uint16_t desc = kDescriptors.d[code0];
    if (code0 == op(Opcode::Equals2) && ctx.version <= 5)
      desc = opDescriptor(kOpPrimitiveNumber, kOpPrimitiveNumber, kOpNone, kResultBoolean);
    for (int i = 0; i < 3; ++i) {
      const int kind = (desc >> (4 * i)) & 0xF;
      if (kind == kOpNone) break;
      ScriptValue v = e.pop();
      switch (kind) {
        case kOpBoolean:
          a[i] = ScriptValue::boolean(e.toBoolean(v));
          break;
        case kOpNumber:
          a[i] = v.isNumber() ? std::move(v) : ScriptValue::number(e.toNumber(v));
          break;
        case kOpString:
          a[i] = v.isString() ? std::move(v) : e.toStringValue(v);
          break;
        case kOpPrimitiveNumber:
        case kOpPrimitiveDefault: {
          const Hint hint = kind == kOpPrimitiveDefault && ctx.version >= 6 ? Hint::Default : Hint::Number;
          if (!e.toPrimitive(v, hint, a[i])) a[i] = e.toStringValue(v);
          break;
        }
        default:
          a[i] = std::move(v);
          break;
      }
    }
    const int resultKind = (desc >> 12) & 0x7;
    bool flag = false;
    double num = 0;
    ScriptValue result;

    switch (code0) {
#include "core/script/interpreter/GeneralStack.inc"
#include "core/script/interpreter/GeneralArithmetic.inc"
      case op(Opcode::StringEquals):
      case op(Opcode::StringLess):
      case op(Opcode::StringGreater):
      case op(Opcode::StringLength):
      case op(Opcode::MBStringLength):
      case op(Opcode::StringExtract):
      case op(Opcode::MBStringExtract):
      case op(Opcode::StringAdd):
      case op(Opcode::CharToAscii):
      case op(Opcode::MBCharToAscii):
      case op(Opcode::AsciiToChar):
      case op(Opcode::MBAsciiToChar):
        stringAction(e, ctx, code0, a, flag, num, result);
        break;
#include "core/script/interpreter/GeneralMembers.inc"
      case op(Opcode::GetVariable):
      case op(Opcode::SetVariable):
      case op(Opcode::DefineLocal):
      case op(Opcode::DefineLocal2):
      case op(Opcode::Delete):
      case op(Opcode::Delete2):
      case op(Opcode::InitArray):
      case op(Opcode::InitObject):
      case op(Opcode::Enumerate):
      case op(Opcode::Enumerate2):
        variableAction(e, ctx, code0, a, flag, result);
        break;
#include "core/script/interpreter/GeneralCalls.inc"
#include "core/script/interpreter/GeneralControl.inc"
      case op(Opcode::DefineFunction):
      case op(Opcode::DefineFunction2):
      case op(Opcode::With):
      case op(Opcode::ConstantPool):
      case op(Opcode::WaitForFrame):
      case op(Opcode::WaitForFrame2):
      {
        const Resume resume = blockAction(e, ctx, code0, a, code, length, payload, payloadLength, Resume{pc, skip});
        pc = resume.pc;
        skip = resume.skip;
        break;
      }
      case op(Opcode::NextFrame):
      case op(Opcode::PreviousFrame):
      case op(Opcode::Play):
      case op(Opcode::Stop):
      case op(Opcode::GotoFrame):
      case op(Opcode::GoToLabel):
      case op(Opcode::GotoFrame2):
      case op(Opcode::Call):
      case op(Opcode::SetTarget2):
      case op(Opcode::SetTarget):
      case op(Opcode::GetProperty):
      case op(Opcode::SetProperty):
      case op(Opcode::CloneSprite):
      case op(Opcode::RemoveSprite):
      case op(Opcode::StartDrag):
      case op(Opcode::EndDrag):
      case op(Opcode::TargetPath):
      case op(Opcode::ToggleQuality):
      case op(Opcode::StopSounds):
      case op(Opcode::GetURL):
      case op(Opcode::GetURL2):
      case op(Opcode::Trace):
      case op(Opcode::GetTime):
        clipAction(e, ctx, code0, a, r, num, result);
        break;
      default:
        break;  // not in the table: skipped
    }

    switch (resultKind) {
      case kResultBoolean:
        // (Without the fast paths the Not or If after it runs on its own.)
        if (decoded->fastPaths()) booleanResult(flag);
        else e.push(ScriptValue::boolean(flag));
        break;
      case kResultNumber:
        e.push(ScriptValue::number(num));
        break;
      case kResultValue:
        e.push(std::move(result));
        break;
      default:
        break;
    }
    // A `with` block or a skip begun: the slow head takes every record.
    if (ctx.withCount > 0 || skip > 0) expect = endMark;
  }
finished:
  while (ctx.withCount > 0) {
    --ctx.withCount;
    ctx.scope[--ctx.scopeCount] = ScopeEntry();
  }
  --e.contextCount_;
}

}  // namespace kivra
