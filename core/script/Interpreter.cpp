// The action interpreter: one loop over the records of a block, with the
// operands popped and converted by the opcode table's descriptors.
#include <cmath>
#include <cstring>
#include <new>

#include "core/script/PlayerServices.h"
#include "core/format/ActionReader.h"
#include "core/script/NumberText.h"
#include "core/format/OpcodeTable.h"
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

// Characters of legacy string actions: UTF-8 in version 6, bytes (with the
// code page's double-byte pairs for the multibyte twins) before.
size_t charLength(std::string_view s, size_t pos, bool utf8, bool multibyte) {
  const uint8_t b = static_cast<uint8_t>(s[pos]);
  size_t n = 1;
  if (utf8) n = b < 0x80 ? 1 : (b >= 0xC0 && b < 0xE0) ? 2 : (b >= 0xE0 && b < 0xF0) ? 3 : 1;
  else if (multibyte && text::isLeadByte(b)) n = 2;
  return pos + n > s.size() ? s.size() - pos : n;
}

size_t countChars(std::string_view s, bool utf8, bool multibyte) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += charLength(s, i, utf8, multibyte)) ++n;
  return n;
}

// Byte offset of character number `c`.
size_t charOffset(std::string_view s, size_t c, bool utf8, bool multibyte) {
  size_t i = 0;
  while (c > 0 && i < s.size()) {
    i += charLength(s, i, utf8, multibyte);
    --c;
  }
  return i;
}

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
  return text::convert(s->text(), s->legacyOrigin(), version_ <= 5);
}

std::shared_ptr<const DecodedBlock> ScriptEngine::decodedBlock(const uint8_t* code, size_t length, bool legacy) {
  auto it = decodedBlocks_.find(code);
  if (it != decodedBlocks_.end() && it->second->matches(code, length, legacy)) return it->second;
  // Running blocks hold their own reference: dropping the cache is safe.
  if (decodedBlocks_.size() >= kMaxDecodedBlocks) decodedBlocks_.clear();
  auto block = std::make_shared<const DecodedBlock>(code, length, legacy, true);
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
    runDecoded(ctx, code, length, *decoded);
    return;
  }
  // (The cache may drop the block while it runs.)
  const std::shared_ptr<const DecodedBlock> hold = decodedBlock(code, length, legacy);
  runDecoded(ctx, code, length, *hold);
}

void ScriptEngine::runDecoded(ActionContext& ctx, const uint8_t* code, size_t length, const DecodedBlock& block) {
  contexts_[contextCount_++] = &ctx;
  version_ = ctx.version;
  version4_ = ctx.version4;
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
        countAction();
      }
      // (The records follow one another: the one after a Not starts where
      // it ends, unless it is an End, which is no If.)
      if (n->kind == DecodedAction::kIf) {
        pc = n->next;
        countAction();
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
      push(ScriptValue::boolean(flag));
      return;
    }
    if (pc < length && code[pc] == op(Opcode::Not)) {
      flag = !flag;
      ++pc;
      countAction();
    }
    if (pc + 5 <= length && code[pc] == op(Opcode::If) && code[pc + 1] == 2 && code[pc + 2] == 0) {
      const int16_t offset = static_cast<int16_t>(code[pc + 3] | (code[pc + 4] << 8));
      pc += 5;
      countAction();
      if (flag) pc += offset;
    } else {
      push(ScriptValue::boolean(flag));
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
    stack_.reserve(stack_.size() + static_cast<size_t>(end - item));
    for (; item != end; ++item) {
      if (const ScriptValue* v = itemValue(*item)) stack_.pushReserved(*v);
      else stack_.pushReserved(ScriptValue());
    }
  };
  // GetMember and SetMember, shared by the fast and the general path.
  auto getMemberOp = [&](const ScriptValue& object, const ScriptValue& name, ScriptValue& out) {
    if (ScriptObject* o = toObject(object)) {
      getMember(o, name, out);
    } else if (object.isString() && equalsIgnoringCase(name.stringView(), "length")) {
      // A string value answers length as a String object would.
      const ScriptString* str = object.asString();
      out = ScriptValue::number(str ? static_cast<double>(str->units().size()) : 0.0);
    } else if (object.isString() || object.isNumber() || object.isBoolean()) {
      const char* cls = object.isString() ? "String" : object.isNumber() ? "Number" : "Boolean";
      ScriptValue proto = getMember(getMember(ScriptValue::object(global()), cls), "prototype");
      if (ScriptObject* p = proto.asObject()) getMember(p, name, out);
    }
  };
  auto setMemberOp = [&](const ScriptValue& object, const ScriptValue& name, const ScriptValue& value) {
    ScriptObject* o = toObject(object);
    if (!o) return;
    if (o->isClipObject() && bridge_->setClipMember(*o, name.stringView(), value)) return;
    setMember(o, name, value);
  };

  // The four call actions: the function (a variable, or a member of
  // `object` for the method forms) called with `count` arguments from the
  // stack; the result is pushed.
  auto callAction = [&](const DecodedAction* act, bool method, bool construct, const ScriptValue& name,
                        const ScriptValue& object, double countD) {
    int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
    if (static_cast<size_t>(count) > stack_.size()) count = static_cast<int>(stack_.size());
    // The first popped is the first argument. A few fit on the C++ stack,
    // more go to the heap (made only as many as there are: most calls pass
    // one or two).
    constexpr int kFewArgs = 4;
    alignas(ScriptValue) unsigned char fewStorage[kFewArgs * sizeof(ScriptValue)];
    ScriptValue* args = reinterpret_cast<ScriptValue*>(fewStorage);
    if (count > kFewArgs) [[unlikely]]
      args = static_cast<ScriptValue*>(::operator new(sizeof(ScriptValue) * static_cast<size_t>(count)));
    for (int i = 0; i < count; ++i) new (args + i) ScriptValue(stack_.take());
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
        push(ScriptValue());
        return;
      }
      LookupCache* c = decoded->cache(*act);
      if (name.stringView().empty()) {
        fn = object;
      } else if (c && object.isObject() && cachedGetMember(object.asObject(), name.asString(), *c, fn)) {
        // found where it was last time
      } else if (ScriptObject* o = toObject(object)) {
        getMember(o, name, fn);
      } else {
        // A primitive borrows its class's prototype.
        const char* cls = object.isString() ? "String" : object.isNumber() ? "Number" : "Boolean";
        ScriptValue proto = getMember(getMember(ScriptValue::object(global()), cls), "prototype");
        if (ScriptObject* p = proto.asObject()) getMember(p, name, fn);
      }
      if (object.isClip()) callerTarget = &object;
    } else {
      LookupCache* c = decoded->cache(*act);
      if (!c || !name.isString() ||
          !(quickCachedVariable(ctx, name.asString(), *c, fn) || cachedGetVariable(ctx, name.asString(), *c, fn)))
        fn = getVariable(ctx, name);
    }
    ScriptObject* f = fn.asObject();
    if (!f || !f->isFunction()) {
      push(ScriptValue());
      return;
    }
    // A plain call of a script function passes callFunction's checks here.
    FunctionBody* body = f->function();
    const bool direct = !construct && callsDirectly(f, body);
    if (direct && body->simpleCall) {
      // The call puts the version back as it found it.
      push(callSimple(fn, thisValue, args, count, *callerTarget));
      // (The function is an object: its reference is dropped in place.)
      fn.forget();
      f->release();
      return;
    }
    ScriptValue r2 = direct ? runScriptFunction(f, thisValue, args, count, false, *callerTarget, kNone, &fn)
                         : callFunction(f, thisValue, args, count, construct, *callerTarget);
    version_ = ctx.version;
    version4_ = ctx.version4;
    push(std::move(r2));
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
      if (std::isnan(l) || std::isnan(r)) push(ScriptValue());  // ordering with NaN is undefined
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
    countAction();
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
  while (!abort_) {
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
        DecodedBlock::decodeRecord(code, length, pc, decoded->legacy(), loose->action, loose->items);
        act = &loose->action;
      }
      if (act->op == 0) break;  // the end of the actions (never the record expected)
      if (ctx.withCount > 0 || skip > 0) expect = endMark;
      if (skip > 0) {
        pc = act->next;
        countAction();
        --skip;
        continue;
      }
    }
    pc = act->next;
    countAction();

    // Fast paths: the hottest actions with their common operand kinds, worked
    // on the stack in place. Each gives the result of the general path below
    // (operands popped and converted by the descriptor, then the handler);
    // any other case falls through to it.
    switch (act->kind) {
      case DecodedAction::kPushName: {
        const PushItem* items = blockItems + act->firstItem;
        const PushItem* end = items + act->itemCount;
        // A name pushed for the GetVariable or GetMember right after goes
        // to it directly; that action is counted and run here as the loop
        // would (the Push cannot have set the abort flag, no `with` can
        // end in between, and a Push that ran was not skipped).
        if (ctx.withCount == 0) {
          const DecodedAction* nextAct = expect;
          const ScriptValue& name = end[-1].value;
          LookupCache* c = decoded->cache(*nextAct);
          const bool member = nextAct->op == op(Opcode::GetMember);
          // (A member's object is a pushed value only when it is on the stack
          // already: Push items are never objects.)
          if (!member || (end - items == 1 && !stack_.empty() && stack_.back().isObject())) {
            pushItems(items, end - 1);
            if (abort_) {
              push(name);
              continue;
            }
            runFused(nextAct);
            if (!member) {
              // A cached read fills the empty slot above the top in place.
              stack_.reserve(stack_.size() + 1);
              ScriptValue& slot = stack_.slotAbove();
              if (c && (quickCachedVariable(ctx, name.asString(), *c, slot) ||
                        cachedGetVariable(ctx, name.asString(), *c, slot)))
                stack_.pushFilled();
              else
                push(getVariable(ctx, name));
            } else {
              ScriptValue& top = stack_.back();
              ScriptValue out;
              if (c && cachedGetMember(top.asObject(), name.asString(), *c, out)) {
                top.clearObject();
                top.fillEmpty(std::move(out));
              } else {
                ScriptValue object = stack_.take();
                getMemberOp(object, name, out);
                push(std::move(out));
              }
            }
            continue;
          }
        }
        goto plainPush;
      }
      case DecodedAction::kPushOperands: {
        const PushItem* items = blockItems + act->firstItem;
        const PushItem* end = items + act->itemCount;
        // Two numbers for the arithmetic or comparison right after: it
        // takes them without their going through the stack, counted and
        // run here as the loop would (as above).
        if (ctx.withCount == 0) {
          const DecodedAction* nextAct = expect;
          const uint8_t nextOp = nextAct->op;
          const ScriptValue* y = numberItem(end[-1]);
          const ScriptValue* x = act->itemCount >= 2 ? numberItem(end[-2])
                                 : !stack_.empty() && stack_.back().isNumber() ? &stack_.back()
                                                                          : nullptr;
          if (x && y && !(nextOp == op(Opcode::Divide) && ctx.version4 && y->asNumber() == 0)) {
            const double l = x->asNumber(), r = y->asNumber();
            const PushItem* operands = act->itemCount >= 2 ? end - 2 : end - 1;
            pushItems(items, operands);
            if (abort_) {
              pushItems(operands, end);
              continue;
            }
            runFused(nextAct);
            if (act->itemCount < 2) stack_.popPlain();  // the left operand
            const bool arith = nextOp == op(Opcode::Add) || nextOp == op(Opcode::Add2) ||
                               nextOp == op(Opcode::Subtract) || nextOp == op(Opcode::Multiply) ||
                               nextOp == op(Opcode::Divide) || nextOp == op(Opcode::Modulo);
            if (arith) push(ScriptValue::number(arithmetic(nextOp, l, r)));
            else compare(nextOp, l, r);
            continue;
          }
        }
        goto plainPush;
      }
      case DecodedAction::kPushNumberOperand: {
        // The same, for a number pushed as the right operand of a left one
        // on the stack.
        if (ctx.withCount != 0 || stack_.empty() || !stack_.back().isNumber()) goto plainPush;
        const DecodedAction* nextAct = expect;
        const uint8_t nextOp = nextAct->op;
        const double r = blockItems[act->firstItem].value.asNumber();
        if ((nextOp == op(Opcode::Divide) && ctx.version4 && r == 0) || abort_) goto plainPush;
        runFused(nextAct);
        ScriptValue& x = stack_.back();
        x.setNumber(arithmetic(nextOp, x.asNumber(), r));
        continue;
      }
      case DecodedAction::kPushNumberCompare: {
        if (ctx.withCount != 0 || stack_.empty() || !stack_.back().isNumber() || abort_) goto plainPush;
        const DecodedAction* nextAct = expect;
        const double r = blockItems[act->firstItem].value.asNumber();
        runFused(nextAct);
        const double l = stack_.back().asNumber();
        stack_.popPlain();
        compare(nextAct->op, l, r);
        continue;
      }
      case DecodedAction::kPushRegisterNumber: {
        // The same, for a register and a number.
        const PushItem* items = blockItems + act->firstItem;
        const unsigned reg = items[0].index;
        if (ctx.withCount != 0 || reg >= static_cast<unsigned>(ctx.registerCount) || !ctx.registers[reg].isNumber())
          goto plainPush;
        const DecodedAction* nextAct = expect;
        const uint8_t nextOp = nextAct->op;
        const double l = ctx.registers[reg].asNumber(), r = items[1].value.asNumber();
        if ((nextOp == op(Opcode::Divide) && ctx.version4 && r == 0) || abort_) goto plainPush;
        runFused(nextAct);
        push(ScriptValue::number(arithmetic(nextOp, l, r)));
        continue;
      }
      case DecodedAction::kPushRegisterCompare: {
        const PushItem* items = blockItems + act->firstItem;
        const unsigned reg = items[0].index;
        if (ctx.withCount != 0 || reg >= static_cast<unsigned>(ctx.registerCount) ||
            !ctx.registers[reg].isNumber() || abort_)
          goto plainPush;
        const DecodedAction* nextAct = expect;
        const double l = ctx.registers[reg].asNumber(), r = items[1].value.asNumber();
        runFused(nextAct);
        compare(nextAct->op, l, r);
        continue;
      }
      case DecodedAction::kPushCallFunction: {
        // The count and name of the CallFunction right after (as above).
        if (ctx.withCount != 0 || abort_) goto plainPush;
        const PushItem* items = blockItems + act->firstItem;
        const PushItem* end = items + act->itemCount;
        pushItems(items, end - 2);
        const DecodedAction* nextAct = expect;
        runFused(nextAct);
        LookupCache* c = decoded->cache(*nextAct);
        if (c && callQuick(ctx, *c, end[-1].value.asString(), act->callCount)) continue;
        callAction(nextAct, false, false, end[-1].value, ScriptValue(), end[-2].value.asNumber());
        continue;
      }
      case DecodedAction::kPushCall: {
        // The count, object and name of the CallMethod right after.
        if (ctx.withCount != 0 || abort_) goto plainPush;
        const PushItem* items = blockItems + act->firstItem;
        const PushItem* end = items + act->itemCount;
        pushItems(items, end - 3);
        const DecodedAction* nextAct = expect;
        runFused(nextAct);
        // The object is copied: a register may change while the call runs.
        ScriptValue object;
        if (const ScriptValue* v = itemValue(end[-2])) object = *v;
        callAction(nextAct, true, false, end[-1].value, object, end[-3].value.asNumber());
        continue;
      }
      case DecodedAction::kPushReturn: {
        // The one item goes straight to the Return right after it, counted
        // and run here as the loop would.
        if (ctx.withCount != 0 || abort_) goto plainPush;
        const ScriptValue* v = itemValue(blockItems[act->firstItem]);
        runFused(expect);
        // (A context's return value is empty until its one Return.)
        if (v) ctx.returnValue.fillEmpty(*v);
        ctx.returned = true;
        goto finished;
      }
      case DecodedAction::kPush:
      plainPush:
        pushItems(blockItems + act->firstItem, blockItems + act->firstItem + act->itemCount);
        continue;
      case DecodedAction::kPushLoose:
        pushItems(loose->items.data(), loose->items.data() + act->itemCount);
        continue;
      case DecodedAction::kPop:
        if (!stack_.empty()) stack_.pop_back();
        continue;
      case DecodedAction::kJump:
        pc += act->offset;
        if (expect != endMark) expect = branchTarget(act);
        continue;
      case DecodedAction::kIf: {
        if (stack_.empty()) break;
        const ScriptValue& c = stack_.back();
        bool taken;
        if (c.isBoolean()) taken = c.asBoolean();
        else if (c.isNumber()) taken = c.asNumber() != 0 && !std::isnan(c.asNumber());
        else break;
        stack_.popPlain();
        if (taken) {
          pc += act->offset;
          if (expect != endMark) expect = branchTarget(act);
        }
        continue;
      }
      case DecodedAction::kNot: {
        if (stack_.empty()) break;
        const ScriptValue& c = stack_.back();
        bool value;
        if (c.isBoolean()) value = c.asBoolean();
        else if (c.isNumber()) value = c.asNumber() != 0 && !std::isnan(c.asNumber());
        else break;
        stack_.popPlain();
        booleanResult(!value);
        continue;
      }
      case DecodedAction::kStoreRegister: {
        const uint8_t reg = act->reg;
        // Followed by Pop, the value is moved and the Pop skipped.
        const bool fusePop = pc < length && code[pc] == op(Opcode::Pop);
        ScriptValue v;
        if (fusePop) {
          v = pop();
          if (expect->pc == pc) ++expect;  // the Pop is the record expected
          ++pc;
          countAction();
        } else if (!stack_.empty()) {
          v = stack_.back();
        }
        if (reg < ctx.registerCount) ctx.registers[reg] = std::move(v);
        continue;
      }
      case DecodedAction::kArithmetic: {
        if (stack_.size() < 2) break;
        const ScriptValue& y = stack_.back();
        const ScriptValue& x = stack_[stack_.size() - 2];
        if (!x.isNumber() || !y.isNumber()) break;
        const double l = x.asNumber(), r = y.asNumber();
        if (act->op == op(Opcode::Divide) && ctx.version4 && r == 0) break;  // "#ERROR#"
        stack_.popPlain();
        stack_.back().setNumber(arithmetic(act->op, l, r));
        continue;
      }
      case DecodedAction::kArithmeticReturn: {
        // The same; the Return right after is counted and run here as the
        // loop would (unless the count stopped the script before it).
        if (stack_.size() < 2) break;
        const ScriptValue& y = stack_.back();
        const ScriptValue& x = stack_[stack_.size() - 2];
        if (!x.isNumber() || !y.isNumber()) break;
        const double l = x.asNumber(), r = y.asNumber();
        if (act->op == op(Opcode::Divide) && ctx.version4 && r == 0) break;
        stack_.popPlain();
        const double result = arithmetic(act->op, l, r);
        if (abort_) {
          stack_.back().setNumber(result);
          continue;
        }
        runFused(expect);
        stack_.popPlain();
        // (A context's return value is empty until its one Return.)
        ctx.returnValue.fillEmpty(ScriptValue::number(result));
        ctx.returned = true;
        goto finished;
      }
      case DecodedAction::kStep: {
        if (stack_.empty() || !stack_.back().isNumber()) break;
        ScriptValue& x = stack_.back();
        x.setNumber(x.asNumber() + (act->op == op(Opcode::Increment) ? 1 : -1));
        continue;
      }
      case DecodedAction::kCompare: {
        if (stack_.size() < 2) break;
        const ScriptValue& y = stack_.back();
        const ScriptValue& x = stack_[stack_.size() - 2];
        if (!x.isNumber() || !y.isNumber()) break;
        const double l = x.asNumber(), r = y.asNumber();
        stack_.popPlain();
        stack_.popPlain();
        compare(act->op, l, r);
        continue;
      }
      case DecodedAction::kCall: {
        const bool method = act->op == op(Opcode::CallMethod);
        const size_t operands = method ? 3 : 2;
        if (stack_.size() < operands || !stack_.back().isString() || !stack_[stack_.size() - operands].isNumber())
          break;
        const ScriptValue name = stack_.take();
        const ScriptValue object = method ? stack_.take() : ScriptValue();
        const double countD = stack_.back().asNumber();
        stack_.popPlain();
        if (!method) {
          LookupCache* c = decoded->cache(*act);
          if (c && callQuick(ctx, *c, name.asString(), DecodedAction::fewArgs(countD))) continue;
        }
        callAction(act, method, false, name, object, countD);
        continue;
      }
      case DecodedAction::kReturn:
        ctx.returnValue.fillEmpty(pop());
        ctx.returned = true;
        goto finished;
      case DecodedAction::kGetVariable: {
        if (stack_.empty() || !stack_.back().isString()) break;
        if (LookupCache* c = decoded->cache(*act)) {
          ScriptValue out;
          const ScriptString* name = stack_.back().asString();
          if (quickCachedVariable(ctx, name, *c, out) || cachedGetVariable(ctx, name, *c, out)) {
            stack_.back() = std::move(out);
            continue;
          }
        }
        const ScriptValue name = stack_.take();
        push(getVariable(ctx, name));
        continue;
      }
      case DecodedAction::kSetVariable: {
        if (stack_.size() < 2 || !stack_[stack_.size() - 2].isString()) break;
        if (LookupCache* c = decoded->cache(*act)) {
          const ScriptString* name = stack_[stack_.size() - 2].asString();
          if (quickCachedSetVariable(ctx, name, *c, stack_.back()) ||
              cachedSetVariable(ctx, name, *c, stack_.back())) {
            stack_.pop_back();
            stack_.popString();
            continue;
          }
        }
        const ScriptValue value = stack_.take();
        const ScriptValue name = stack_.take();
        setVariable(ctx, name, value);
        continue;
      }
      case DecodedAction::kGetMember: {
        if (stack_.size() < 2 || !stack_.back().isString()) break;
        if (LookupCache* c = decoded->cache(*act); c && stack_[stack_.size() - 2].isObject()) {
          ScriptValue out;
          if (cachedGetMember(stack_[stack_.size() - 2].asObject(), stack_.back().asString(), *c, out)) {
            stack_.popString();
            stack_.back() = std::move(out);
            continue;
          }
        }
        const ScriptValue name = stack_.take();
        const ScriptValue object = stack_.take();
        ScriptValue out;
        getMemberOp(object, name, out);
        push(std::move(out));
        continue;
      }
      case DecodedAction::kSetMember: {
        if (stack_.size() < 3 || !stack_[stack_.size() - 2].isString()) break;
        if (LookupCache* c = decoded->cache(*act); c && stack_[stack_.size() - 3].isObject() &&
                                                   cachedSetMember(stack_[stack_.size() - 3].asObject(),
                                                                   stack_[stack_.size() - 2].asString(), *c,
                                                                   stack_.back())) {
          stack_.pop_back();
          stack_.popString();
          stack_.popObject();
          continue;
        }
        const ScriptValue value = stack_.take();
        const ScriptValue name = stack_.take();
        const ScriptValue object = stack_.take();
        setMemberOp(object, name, value);
        continue;
      }
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
      ScriptValue v = pop();
      switch (kind) {
        case kOpBoolean:
          a[i] = ScriptValue::boolean(toBoolean(v));
          break;
        case kOpNumber:
          a[i] = v.isNumber() ? std::move(v) : ScriptValue::number(toNumber(v));
          break;
        case kOpString:
          a[i] = v.isString() ? std::move(v) : toStringValue(v);
          break;
        case kOpPrimitiveNumber:
        case kOpPrimitiveDefault: {
          const Hint hint = kind == kOpPrimitiveDefault && ctx.version >= 6 ? Hint::Default : Hint::Number;
          if (!toPrimitive(v, hint, a[i])) a[i] = toStringValue(v);
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
    ScriptObject* target = nullptr;

    switch (code0) {
      case op(Opcode::NextFrame):
        if ((target = contextTarget(ctx))) bridge_->nextFrame(*target);
        break;
      case op(Opcode::PreviousFrame):
        if ((target = contextTarget(ctx))) bridge_->previousFrame(*target);
        break;
      case op(Opcode::Play):
        if ((target = contextTarget(ctx))) bridge_->play(*target);
        break;
      case op(Opcode::Stop):
        if ((target = contextTarget(ctx))) bridge_->stop(*target);
        break;
      case op(Opcode::ToggleQuality):
        bridge_->toggleQuality();
        break;
      case op(Opcode::StopSounds):
        bridge_->stopSounds();
        break;
      case op(Opcode::Add):
        num = a[1].asNumber() + a[0].asNumber();
        break;
      case op(Opcode::Subtract):
        num = a[1].asNumber() - a[0].asNumber();
        break;
      case op(Opcode::Multiply):
        num = a[1].asNumber() * a[0].asNumber();
        break;
      case op(Opcode::Divide):
        if (ctx.version4 && a[0].asNumber() == 0) result = makeString("#ERROR#");
        else result = ScriptValue::number(a[1].asNumber() / a[0].asNumber());
        break;
      case op(Opcode::Equals):
        flag = a[1].asNumber() == a[0].asNumber();
        break;
      case op(Opcode::Less):
        flag = a[1].asNumber() < a[0].asNumber();
        break;
      case op(Opcode::And):
        flag = a[1].asBoolean() && a[0].asBoolean();
        break;
      case op(Opcode::Or):
        flag = a[1].asBoolean() || a[0].asBoolean();
        break;
      case op(Opcode::Not):
        flag = !a[0].asBoolean();
        break;
      case op(Opcode::StringEquals):
      case op(Opcode::StringLess):
      case op(Opcode::StringGreater): {
        int c;
        if (ctx.version >= 6) {
          std::u16string x, y;
          text::widen(legacyText(a[1]), false, x);
          text::widen(legacyText(a[0]), false, y);
          c = x.compare(y);
        } else {
          const std::string x = legacyText(a[1]), y = legacyText(a[0]);
          c = 0;
          for (size_t i = 0; c == 0; ++i) {
            if (i >= x.size() || i >= y.size()) {
              c = x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
              break;
            }
            c = static_cast<int8_t>(x[i]) - static_cast<int8_t>(y[i]);
          }
        }
        if (code0 == op(Opcode::StringEquals)) flag = c == 0;
        else if (code0 == op(Opcode::StringLess)) flag = c < 0;
        else flag = c > 0;
        break;
      }
      case op(Opcode::StringLength):
      case op(Opcode::MBStringLength):
        num = static_cast<double>(
            countChars(legacyText(a[0]), ctx.version >= 6, code0 == op(Opcode::MBStringLength)));
        break;
      case op(Opcode::StringExtract):
      case op(Opcode::MBStringExtract): {
        const std::string s = legacyText(a[2]);
        const bool utf8 = ctx.version >= 6, mb = code0 == op(Opcode::MBStringExtract);
        const double total = static_cast<double>(countChars(s, utf8, mb));
        double start = std::trunc(a[1].asNumber()) - 1;
        if (std::isnan(start) || start < 0) start = 0;
        if (start > total) start = total;
        double count = std::trunc(a[0].asNumber());
        if (std::isnan(count) || count < 0 || start + count > total) count = total - start;
        const size_t from = charOffset(s, static_cast<size_t>(start), utf8, mb);
        const size_t to = charOffset(s, static_cast<size_t>(start + count), utf8, mb);
        result = makeString(std::string_view(s).substr(from, to - from));
        break;
      }
      case op(Opcode::Pop):
        break;
      case op(Opcode::ToInteger):
        num = toInteger32(a[0].asNumber());
        break;
      case op(Opcode::GetVariable):
        result = getVariable(ctx, a[0]);
        break;
      case op(Opcode::SetVariable):
        setVariable(ctx, a[1], a[0]);
        break;
      case op(Opcode::SetTarget2):
      case op(Opcode::SetTarget): {
        const std::string_view path = code0 == op(Opcode::SetTarget) ? r.string() : a[0].stringView();
        if (path.empty()) {
          ctx.hasOverride = false;
          ctx.override.clear();
        } else {
          ScriptObject* own = toObject(ctx.target);
          ScriptObject* t = own ? bridge_->resolvePath(own, path, ctx.version4 ? kPathVersion4 : 0) : nullptr;
          ctx.hasOverride = true;
          ctx.override = t ? (t->isClipObject() ? clipValue(t) : ScriptValue::object(t)) : ScriptValue();
        }
        if (ctx.kind == ActionContext::Queued && ctx.activation)
          ctx.activation->makeActivation().thisValue = ctx.hasOverride ? ctx.override : ctx.target;
        else if (ctx.kind == ActionContext::Queued)
          ctx.pendingThis = ctx.hasOverride ? &ctx.override : &ctx.target;
        break;
      }
      case op(Opcode::StringAdd): {
        std::string s = legacyText(a[1]);
        s += legacyText(a[0]);
        result = makeString(s);
        break;
      }
      case op(Opcode::GetProperty):
      case op(Opcode::SetProperty): {
        const bool get = code0 == op(Opcode::GetProperty);
        const ScriptValue& path = get ? a[1] : a[2];
        const int index = toInteger32(get ? a[0].asNumber() : a[1].asNumber());
        target = contextTarget(ctx);
        if (!path.stringView().empty()) {
          ScriptObject* own = toObject(ctx.target);
          target = own ? bridge_->resolvePath(own, path.stringView(), ctx.version4 ? kPathVersion4 : 0) : nullptr;
        }
        if (target && !target->isClipObject()) target = nullptr;
        if (get) result = target ? bridge_->getProperty(*target, index) : ScriptValue();
        else if (target) bridge_->setProperty(*target, index, a[0]);
        break;
      }
      case op(Opcode::CloneSprite): {
        const int32_t depth = toInteger32(a[0].asNumber());
        target = contextTarget(ctx);
        ScriptObject* source = target ? bridge_->resolvePath(target, a[2].stringView(), 0) : nullptr;
        if (source && source->isClipObject() && depth >= 0 && depth < 2130706430)
          bridge_->cloneSprite(*source, a[1].stringView(), depth);
        break;
      }
      case op(Opcode::RemoveSprite): {
        target = contextTarget(ctx);
        ScriptObject* c = target ? bridge_->resolvePath(target, a[0].stringView(), 0) : nullptr;
        if (c && c->isClipObject()) bridge_->removeSprite(*c);
        break;
      }
      case op(Opcode::Trace):
        player_.trace(std::string(a[0].stringView()));
        break;
      case op(Opcode::StartDrag): {
        double bounds[4];
        const bool constrain = a[2].asNumber() != 0;
        if (constrain) {
          // Popped bottom, right, top, left; kept as left, top, right, bottom in twips.
          const double bottom = toNumber(pop()), right = toNumber(pop()), top = toNumber(pop()),
                       left = toNumber(pop());
          bounds[0] = left * 20;
          bounds[1] = top * 20;
          bounds[2] = right * 20;
          bounds[3] = bottom * 20;
        }
        target = contextTarget(ctx);
        ScriptObject* c = target ? bridge_->resolvePath(target, a[0].stringView(), 0) : nullptr;
        if (c && c->isClipObject()) bridge_->startDrag(*c, a[1].asNumber() != 0, constrain ? bounds : nullptr);
        break;
      }
      case op(Opcode::EndDrag):
        bridge_->endDrag();
        break;
      case op(Opcode::RandomNumber):
        num = randomBelow(toInteger32(a[0].asNumber()));
        break;
      case op(Opcode::CharToAscii):
      case op(Opcode::MBCharToAscii): {
        const std::string s = legacyText(a[0]);
        if (s.empty()) {
          num = 0;
        } else if (ctx.version >= 6) {
          size_t pos = 0;
          num = text::decodeUtf8(s, pos);
        } else if (code0 == op(Opcode::MBCharToAscii) && s.size() > 1 && text::isLeadByte(s[0])) {
          num = static_cast<uint8_t>(s[0]) * 256 + static_cast<uint8_t>(s[1]);
        } else {
          num = static_cast<uint8_t>(s[0]);
        }
        break;
      }
      case op(Opcode::AsciiToChar):
      case op(Opcode::MBAsciiToChar): {
        const uint32_t c = static_cast<uint32_t>(toInteger32(a[0].asNumber()));
        std::string s;
        if (ctx.version >= 6) {
          text::appendUtf8(c & 0xFFFF, s);
        } else if (code0 == op(Opcode::MBAsciiToChar) && (c & 0xFFFF) >= 256) {
          s.push_back(static_cast<char>((c >> 8) & 0xFF));
          s.push_back(static_cast<char>(c & 0xFF));
        } else {
          s.push_back(static_cast<char>(c & 0xFF));
        }
        result = makeString(s);
        break;
      }
      case op(Opcode::GetTime):
        num = static_cast<double>(player_.milliseconds() - player_.startTime());
        break;
      case op(Opcode::Delete):
        flag = deleteMember(toObject(a[1]), a[0].stringView());
        break;
      case op(Opcode::Delete2): {
        std::string_view name = a[0].stringView(), path, var;
        const bool hasPath = splitPath(ctx, name, path, var);
        if (hasPath) name = var;
        for (int i = ctx.scopeCount - 1; i >= 1 && !flag; --i) {
          ScriptObject* o = scopeObject(ctx, i);
          if (o && hasPath && !path.empty()) o = bridge_->resolvePath(o, path, 0);
          if (o && o->findOwn(name)) {
            flag = deleteMember(o, name);
            break;
          }
        }
        break;
      }
      case op(Opcode::DefineLocal):
        if (ctx.kind != ActionContext::Queued) {
          ScriptObject* act = activationOf(ctx);
          if (Property* p = act->findOwn(a[1].asString())) p->value = a[0];
          else if (!a[1].stringView().empty()) act->append(a[1].stringView(), a[0], kDontDelete);
        } else {
          setVariable(ctx, a[1], a[0]);
        }
        break;
      case op(Opcode::DefineLocal2):
        if (ctx.kind != ActionContext::Queued) {
          ScriptObject* act = activationOf(ctx);
          if (!act->findOwn(a[0].asString()) && !a[0].stringView().empty())
            act->append(a[0].stringView(), ScriptValue(), kDontDelete);
        } else {
          const ScriptValue existing = getVariable(ctx, a[0]);
          if (existing.isUndefined()) setVariable(ctx, a[0], ScriptValue());
        }
        break;
      case op(Opcode::CallFunction):
      case op(Opcode::NewObject):
      case op(Opcode::CallMethod):
      case op(Opcode::NewMethod): {
        const bool method = code0 == op(Opcode::CallMethod) || code0 == op(Opcode::NewMethod);
        const bool construct = code0 == op(Opcode::NewObject) || code0 == op(Opcode::NewMethod);
        const double countD = method ? toNumber(a[2]) : a[1].asNumber();
        callAction(act, method, construct, a[0], method ? a[1] : kNone, countD);
        break;
      }
      case op(Opcode::Return):
        ctx.returnValue = pop();
        ctx.returned = true;
        pc = length;
        break;
      case op(Opcode::Modulo):
        num = std::fmod(a[1].asNumber(), a[0].asNumber());
        break;
      case op(Opcode::InitArray): {
        const double countD = a[0].asNumber();
        const int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
        ScriptObject* arr = newArray();
        result = ScriptValue::object(arr);
        for (int i = 0; i < count && stack_.size() > 0; ++i) setMember(arr, std::to_string(i), pop());
        if (Property* len = arr->lengthProperty()) len->value = ScriptValue::number(count);
        push(std::move(result));
        break;
      }
      case op(Opcode::InitObject): {
        const double countD = a[0].asNumber();
        const int count = std::isnan(countD) || countD < 0 ? 0 : countD > 65535 ? 65535 : static_cast<int>(countD);
        ScriptObject* o = newObject();
        result = ScriptValue::object(o);
        for (int i = 0; i < count && stack_.size() > 0; ++i) {
          ScriptValue value = pop();
          ScriptValue name = toStringValue(pop());
          setMember(o, name, value);
        }
        push(std::move(result));
        break;
      }
      case op(Opcode::TypeOf):
        result = makeString(typeOf(a[0]));
        break;
      case op(Opcode::TargetPath):
        if (a[0].isClip()) result = toStringValue(a[0]);
        break;
      case op(Opcode::Enumerate):
      case op(Opcode::Enumerate2): {
        ScriptValue subject = code0 == op(Opcode::Enumerate) ? getVariable(ctx, a[0]) : a[0];
        push(ScriptValue::null());
        std::vector<std::string> names;
        enumerate(toObject(subject), names);
        for (const std::string& n : names) push(makeString(n));
        break;
      }
      case op(Opcode::Add2):
        if (a[0].isString() || a[1].isString()) {
          const ScriptValue x = toStringValue(a[1]), y = toStringValue(a[0]);
          if (!y.asString()) {
            result = x;
          } else if (!x.asString()) {
            result = y;
          } else {
            // Too long a whole is undefined, as a native's result would be.
            if (ScriptString* whole = ScriptString::concat(x.asString(), y.asString(), ctx.version <= 5)) {
              if (whole->size() >= kLargeString) [[unlikely]] checkSoonCold();
              result = ScriptValue::adoptString(whole);
            }
          }
        } else {
          result = ScriptValue::number(toNumber(a[1]) + toNumber(a[0]));
        }
        break;
      case op(Opcode::Less2):
      case op(Opcode::Greater): {
        const int c = code0 == op(Opcode::Less2) ? lessThan(a[1], a[0]) : lessThan(a[0], a[1]);
        if (c < 0) {
          push(ScriptValue());
        } else {
          booleanResult(c == 1);
          continue;
        }
        break;
      }
      case op(Opcode::Equals2):
        flag = abstractEquals(a[1], a[0]);
        break;
      case op(Opcode::StrictEquals):
        flag = strictEquals(a[1], a[0]);
        break;
      case op(Opcode::ToNumber):
        num = a[0].asNumber();
        break;
      case op(Opcode::ToString):
        result = a[0];
        break;
      case op(Opcode::PushDuplicate):
        push(stack_.size() > 0 ? stack_.back() : ScriptValue());
        break;
      case op(Opcode::StackSwap):
        push(std::move(a[0]));
        push(std::move(a[1]));
        break;
      case op(Opcode::GetMember):
        getMemberOp(a[1], a[0], result);
        break;
      case op(Opcode::SetMember):
        setMemberOp(a[2], a[1], a[0]);
        break;
      case op(Opcode::Increment):
        num = a[0].asNumber() + 1;
        break;
      case op(Opcode::Decrement):
        num = a[0].asNumber() - 1;
        break;
      case op(Opcode::InstanceOf):
        flag = instanceOf(a[1], a[0]);
        break;
      case op(Opcode::BitAnd):
        num = toBits32(a[1].asNumber()) & toBits32(a[0].asNumber());
        break;
      case op(Opcode::BitOr):
        num = toBits32(a[1].asNumber()) | toBits32(a[0].asNumber());
        break;
      case op(Opcode::BitXor):
        num = toBits32(a[1].asNumber()) ^ toBits32(a[0].asNumber());
        break;
      case op(Opcode::BitLShift):
        num = static_cast<int32_t>(static_cast<uint32_t>(toBits32(a[1].asNumber()))
                                   << (toBits32(a[0].asNumber()) & 31));
        break;
      case op(Opcode::BitRShift):
        num = toBits32(a[1].asNumber()) >> (toBits32(a[0].asNumber()) & 31);
        break;
      case op(Opcode::BitURShift):
        num = static_cast<uint32_t>(toBits32(a[1].asNumber())) >> (toBits32(a[0].asNumber()) & 31);
        break;
      case op(Opcode::GotoFrame):
        if ((target = contextTarget(ctx))) bridge_->gotoFrame(*target, r.u16(), false);
        break;
      case op(Opcode::GetURL): {
        const std::string_view url = r.string();
        const std::string_view window = r.string();
        // "VXCommand:" URLs go to the host; everything else is a request.
        if (!player_.routeHostCommandUrl(std::string(url), std::string(window), nullptr))
          bridge_->getUrl(contextTarget(ctx), url, window, 0);
        break;
      }
      case op(Opcode::ConstantPool):
        if (ctx.borrowedPool) {
          ctx.pool.forget();
          ctx.borrowedPool = false;
        }
        ctx.pool = constantPool(payload, payloadLength);
        break;
      case op(Opcode::StrictMode):
        break;
      case op(Opcode::WaitForFrame):
      case op(Opcode::WaitForFrame2): {
        int frame = 0;
        bool known = true;
        int count = 0;
        target = contextTarget(ctx);
        if (code0 == op(Opcode::WaitForFrame)) {
          frame = r.u16();
          count = r.u8();
        } else {
          count = r.u8();
          std::string_view spec = a[0].stringView(), path;
          if (const size_t colon = spec.rfind(':'); colon != std::string_view::npos && target) {
            path = spec.substr(0, colon);
            spec = spec.substr(colon + 1);
            target = bridge_->resolvePath(target, path, 0);
          }
          double d;
          if (readDecimal(spec, false, d)) frame = toInteger32(d) - 1;
          else if (target) frame = bridge_->frameOfLabel(*target, spec);
          known = frame >= 0;
        }
        if (!target || !target->isClipObject()) break;
        if (known && bridge_->framesLoaded(*target) <= frame) skip = count;
        break;
      }
      case op(Opcode::GoToLabel):
        if ((target = contextTarget(ctx))) {
          const int frame = bridge_->frameOfLabel(*target, r.string());
          if (frame >= 0) bridge_->gotoFrame(*target, frame, false);
        }
        break;
      case op(Opcode::GotoFrame2):
      case op(Opcode::Call): {
        target = contextTarget(ctx);
        const uint8_t flags = code0 == op(Opcode::GotoFrame2) ? r.u8() : 0;
        const int bias = (flags & 2) ? r.u16() : 0;
        std::string_view spec = a[0].stringView();
        if (const size_t colon = spec.rfind(':'); colon != std::string_view::npos && target) {
          target = bridge_->resolvePath(target, spec.substr(0, colon), 0);
          spec = spec.substr(colon + 1);
        }
        if (!target || !target->isClipObject()) break;
        double d;
        int frame = readDecimal(spec, false, d) ? toInteger32(d) - 1 : bridge_->frameOfLabel(*target, spec);
        if (frame < 0) break;
        frame += bias;
        if (code0 == op(Opcode::GotoFrame2)) {
          bridge_->gotoFrame(*target, frame, flags & 1);
          break;
        }
        std::vector<ActionBlock> blocks;
        bridge_->frameActions(*target, frame, blocks);
        for (const ActionBlock& b : blocks) {
          if (abort_) break;
          ActionBlock run = b;
          run.clip = nullptr;
          runQueuedBlock(run);
        }
        version_ = ctx.version;
        version4_ = ctx.version4;
        break;
      }
      case op(Opcode::DefineFunction):
      case op(Opcode::DefineFunction2): {
        // The body size is the last field of the record.
        const size_t bodySize = payloadLength >= 2 ? (payload[payloadLength - 2] | (payload[payloadLength - 1] << 8)) : 0;
        const size_t bodyStart = pc <= length ? pc : length;
        const size_t bodyLength = bodySize < length - bodyStart ? bodySize : length - bodyStart;
        defineFunction(ctx, payload, payloadLength, code + bodyStart, bodyLength,
                       code0 == op(Opcode::DefineFunction2));
        pc = bodyStart + bodyLength;
        break;
      }
      case op(Opcode::With): {
        const size_t size = r.u16();
        ScriptObject* o = toObject(a[0]);
        if (!o || ctx.scopeCount >= kMaxScope || ctx.withCount >= kMaxScope) {
          pc += size;
          break;
        }
        ctx.scope[ctx.scopeCount].object = a[0].isClip() ? a[0] : ScriptValue::object(o);
        ctx.scope[ctx.scopeCount].isWith = true;
        ++ctx.scopeCount;
        ctx.withStart[ctx.withCount] = pc;
        ctx.withEnd[ctx.withCount] = pc + size;
        ++ctx.withCount;
        break;
      }
      case op(Opcode::If):
        if (a[0].asBoolean()) pc += r.s16();
        break;
      case op(Opcode::GetURL2):
        if (!player_.routeHostCommandUrl(std::string(a[1].stringView()), std::string(a[0].stringView()),
                                         nullptr))
          bridge_->getUrl(contextTarget(ctx), a[1].stringView(), a[0].stringView(), r.u8());
        break;
      default:
        break;  // not in the table: skipped
    }

    switch (resultKind) {
      case kResultBoolean:
        booleanResult(flag);
        break;
      case kResultNumber:
        push(ScriptValue::number(num));
        break;
      case kResultValue:
        push(std::move(result));
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
  --contextCount_;
}

}  // namespace kivra
