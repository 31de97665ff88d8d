#include "core/script/DecodedBlock.h"

#include <algorithm>

#include <cstring>

#include "core/format/ActionReader.h"
#include "core/format/OpcodeTable.h"

namespace kivra {

namespace {

// The variable, member and call actions look names up through a cache.
bool takesCache(uint8_t kind) {
  return kind == DecodedAction::kCall || kind == DecodedAction::kGetVariable ||
         kind == DecodedAction::kSetVariable || kind == DecodedAction::kGetMember ||
         kind == DecodedAction::kSetMember;
}

}  // namespace

uint8_t DecodedAction::kindOf(uint8_t op) {
  switch (static_cast<Opcode>(op)) {
    case Opcode::Push:
      return kPushLoose;
    case Opcode::Pop:
      return kPop;
    case Opcode::Jump:
      return kJump;
    case Opcode::If:
      return kIf;
    case Opcode::Not:
      return kNot;
    case Opcode::StoreRegister:
      return kStoreRegister;
    case Opcode::Add:
    case Opcode::Add2:
    case Opcode::Subtract:
    case Opcode::Multiply:
    case Opcode::Divide:
    case Opcode::Modulo:
      return kArithmetic;
    case Opcode::Increment:
    case Opcode::Decrement:
      return kStep;
    case Opcode::Less2:
    case Opcode::Greater:
    case Opcode::Less:
    case Opcode::Equals:
    case Opcode::Equals2:
    case Opcode::StrictEquals:
      return kCompare;
    case Opcode::CallFunction:
    case Opcode::CallMethod:
      return kCall;
    case Opcode::Return:
      return kReturn;
    case Opcode::GetVariable:
      return kGetVariable;
    case Opcode::SetVariable:
      return kSetVariable;
    case Opcode::GetMember:
      return kGetMember;
    case Opcode::SetMember:
      return kSetMember;
    default:
      return kGeneral;
  }
}

void DecodedBlock::decodeRecord(const uint8_t* code, size_t length, size_t pc, bool legacy, bool fastPaths,
                                DecodedAction& out, std::vector<PushItem>& items) {
  out = DecodedAction();
  const uint8_t op = code[pc];
  out.op = op;
  out.kind = fastPaths ? DecodedAction::kindOf(op) : static_cast<uint8_t>(DecodedAction::kGeneral);
  out.pc = op == 0 ? kEndMark : static_cast<uint32_t>(pc);
  out.payload = static_cast<uint32_t>(pc);
  out.next = pc + 1;
  if (op >= 0x80) {
    const size_t declared = (pc + 1 < length ? code[pc + 1] : 0) | ((pc + 2 < length ? code[pc + 2] : 0) << 8);
    out.next = pc + 3 + declared;
    if (pc + 3 <= length) {
      out.payload = static_cast<uint32_t>(pc + 3);
      // A record running past the block's end keeps what there is.
      out.payloadLength = static_cast<uint32_t>(out.next > length ? length - (pc + 3) : declared);
    } else {
      // A record cut short by the end of the block: no payload.
      out.payload = static_cast<uint32_t>(length);
      out.payloadLength = 0;
    }
  }
  const uint8_t* payload = code + out.payload;
  switch (static_cast<Opcode>(op)) {
    case Opcode::Jump:
    case Opcode::If:
      out.offset = ActionReader(payload, out.payloadLength).s16();
      // The loop's If is one of two bytes inside the block; any other goes
      // the general way.
      if (op == static_cast<uint8_t>(Opcode::If) && (out.next != pc + 5 || out.next > length))
        out.kind = DecodedAction::kGeneral;
      break;
    case Opcode::StoreRegister:
      out.reg = ActionReader(payload, out.payloadLength).u8();
      break;
    case Opcode::Push: {
      out.firstItem = static_cast<uint32_t>(items.size());
      ActionReader r(payload, out.payloadLength);
      while (!r.atEnd()) {
        const uint8_t type = r.u8();
        PushItem item;
        switch (type) {
          case 0:
            item.value = ScriptValue::string(r.string(), legacy);
            break;
          case 1:
            item.value = ScriptValue::number(r.f32());
            break;
          case 2:
            item.value = ScriptValue::null();
            break;
          case 3:
            break;
          case 4:
            item.kind = PushItem::Register;
            item.index = r.u8();
            break;
          case 5:
            item.value = ScriptValue::boolean(r.u8() != 0);
            break;
          case 6:
            item.value = ScriptValue::number(r.f64Swapped());
            break;
          case 7:
            item.value = ScriptValue::number(static_cast<int32_t>(r.u32()));
            break;
          case 8:
          case 9:
            item.kind = PushItem::Constant;
            item.index = type == 8 ? r.u8() : r.u16();
            break;
          default:
            // An unknown item type ends the record: its size is unknown.
            out.itemCount = static_cast<uint32_t>(items.size() - out.firstItem);
            return;
        }
        items.push_back(std::move(item));
      }
      out.itemCount = static_cast<uint32_t>(items.size() - out.firstItem);
      break;
    }
    default:
      break;
  }
}

DecodedBlock::DecodedBlock(const uint8_t* code, size_t length, bool legacy, bool keepBytes, bool fastPaths)
    : legacy_(legacy), fastPaths_(fastPaths) {
  if (keepBytes) bytes_.assign(code, code + length);
  length_ = length;
  size_t pc = 0;
  size_t caches = 0;
  while (pc < length) {
    DecodedAction a;
    decodeRecord(code, length, pc, legacy, fastPaths, a, items_);
    if (takesCache(a.kind)) ++caches;
    actions_.push_back(a);
    pc = a.next;
  }
  // The caches stay where they are from here on: each record points at its own.
  caches_.resize(caches);
  LookupCache* next = caches_.data();
  for (DecodedAction& a : actions_)
    if (takesCache(a.kind)) a.cache = next++;
  for (DecodedAction& a : actions_) {
    if (a.op != static_cast<uint8_t>(Opcode::Jump) && a.op != static_cast<uint8_t>(Opcode::If)) continue;
    const int64_t to = static_cast<int64_t>(a.next) + a.offset;
    if (to < 0 || static_cast<uint64_t>(to) >= length) continue;
    const int64_t target = recordAt(static_cast<size_t>(to));
    if (target >= 0) a.target = static_cast<uint32_t>(target);
  }
  for (size_t i = 0; fastPaths && i < actions_.size(); ++i) {
    DecodedAction& a = actions_[i];
    if (a.kind == DecodedAction::kArithmetic && i + 1 < actions_.size() &&
        actions_[i + 1].kind == DecodedAction::kReturn)
      a.kind = DecodedAction::kArithmeticReturn;
    if (a.op != static_cast<uint8_t>(Opcode::Push)) continue;
    a.kind = DecodedAction::kPush;  // the block's own items
    if (a.itemCount == 0 || i + 1 == actions_.size()) continue;
    const PushItem* end = items_.data() + a.firstItem + a.itemCount;
    // A name is a pushed string or a constant (a string of the pool, checked
    // when the record runs).
    const bool nameLast = (end[-1].kind == PushItem::Value && end[-1].value.isString()) ||
                          end[-1].kind == PushItem::Constant;
    switch (DecodedAction::kindOf(actions_[i + 1].op)) {
      case DecodedAction::kGetVariable:
      case DecodedAction::kGetMember:
        if (nameLast) a.kind = DecodedAction::kPushName;
        break;
      case DecodedAction::kArithmetic:
      case DecodedAction::kCompare: {
        const bool rightNumber = end[-1].kind == PushItem::Value && end[-1].value.isNumber();
        const bool arithmetic = DecodedAction::kindOf(actions_[i + 1].op) == DecodedAction::kArithmetic;
        if (a.itemCount == 1 && rightNumber)
          a.kind = arithmetic ? DecodedAction::kPushNumberOperand : DecodedAction::kPushNumberCompare;
        else if (a.itemCount == 2 && rightNumber && end[-2].kind == PushItem::Register)
          a.kind = arithmetic ? DecodedAction::kPushRegisterNumber : DecodedAction::kPushRegisterCompare;
        else a.kind = DecodedAction::kPushOperands;
        break;
      }
      case DecodedAction::kReturn:
        if (a.itemCount == 1) a.kind = DecodedAction::kPushReturn;
        break;
      case DecodedAction::kCall: {
        const size_t need = actions_[i + 1].op == static_cast<uint8_t>(Opcode::CallMethod) ? 3 : 2;
        if (a.itemCount < need) break;
        const PushItem& count = end[-static_cast<std::ptrdiff_t>(need)];
        if (nameLast && count.kind == PushItem::Value && count.value.isNumber()) {
          a.kind = need == 2 ? DecodedAction::kPushCallFunction : DecodedAction::kPushCall;
          a.callCount = static_cast<int8_t>(DecodedAction::fewArgs(count.value.asNumber()));
        }
        break;
      }
      default:
        break;
    }
  }
  // The end mark: no position matches it.
  DecodedAction end;
  end.pc = kEndMark;
  actions_.push_back(end);
}

int64_t DecodedBlock::recordAt(size_t pc) const {
  if (pc >= length_) return -1;
  // The end mark, if there is one yet, is last and matches no position.
  const auto found = std::lower_bound(actions_.begin(), actions_.end(), pc,
                                      [](const DecodedAction& a, size_t p) { return a.pc < p; });
  if (found == actions_.end() || found->pc != pc) return -1;
  return found - actions_.begin();
}

bool DecodedBlock::matches(const uint8_t* code, size_t length, bool legacy) const {
  return legacy == legacy_ && bytes_.size() == length && length_ == length &&
         (length == 0 || std::memcmp(bytes_.data(), code, length) == 0);
}

}  // namespace kivra
