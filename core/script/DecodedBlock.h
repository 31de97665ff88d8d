#pragma once
// A block of action records decoded once: each record's opcode, payload
// bounds and next position, the items of Push records as ready values and
// the operands of jumps and StoreRegister. Decoding a record depends only on
// its bytes (and, for pushed strings, on the encoding of the running movie),
// so the decoded record found for a position gives what decoding the bytes
// there again would. A position where no record of the linear scan starts
// (a jump into the middle of a record) has none: the interpreter decodes the
// bytes there one record at a time, as they come.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/script/ScriptValue.h"

namespace kivra {

struct PushItem {
  enum Kind : uint8_t { Value, Register, Constant };
  Kind kind = Value;
  uint16_t index = 0;  // register number or constant index
  ScriptValue value;   // for Value items
};

class ScriptObject;
struct Property;

// Where a variable or member name was found the last time at one action.
// Right while the objects passed keep their address and layout stamp (and,
// for members, their prototype links); the users check flags and values.
struct LookupCache {
  static constexpr int kMaxDepth = 4;
  ScriptValue name;  // held, so that no other string takes its address
  ScriptObject* objects[kMaxDepth] = {};  // member: the object and its prototypes up to the holder
  uint64_t layouts[kMaxDepth] = {};
  Property* property = nullptr;
  int8_t depth = -1;  // member: the holder's index in `objects`; -1: empty
  int8_t entry = -1;  // variable: the holder's scope entry; -1: empty
};

struct DecodedAction {
  // The record's first byte; kEndMark for an End record, which is never the
  // record expected next (the loop's slow head ends the run there).
  uint32_t pc = 0;
  uint32_t payload = 0;  // offset of the payload
  uint32_t payloadLength = 0;
  size_t next = 0;       // where the following record starts (may lie past the end)
  uint8_t op = 0;
  // What the interpreter dispatches on: the hot actions each have a kind
  // (a Push also by what follows it), every other record is kGeneral.
  uint8_t kind = 0;
  enum Kind : uint8_t {
    kGeneral = 0,
    kPush,
    // Push whose last item is a string naming the variable or member that
    // the GetVariable or GetMember right after it reads.
    kPushName,
    // Push before an action that takes two numbers (arithmetic or a
    // comparison); its last items (or its last and the value below) may be them.
    kPushOperands,
    // The same forms of it most used: one number, the right operand, the
    // left being on the stack; a register then a number. Each has a kind
    // for arithmetic and one for a comparison, so that each case of the
    // loop is taken by one of them only.
    kPushNumberOperand,
    kPushNumberCompare,
    kPushRegisterNumber,
    kPushRegisterCompare,
    // Push whose last items are the argument count, the object and the name
    // for the CallMethod right after it; the count and the name for a
    // CallFunction.
    kPushCall,
    kPushCallFunction,
    // Push of one item that the Return right after it returns.
    kPushReturn,
    // Push decoded on the spot (a jump into the middle of a record): its
    // items are not in the block's list.
    kPushLoose,
    kPop,
    kJump,
    kIf,  // only of a two-byte offset inside the block
    kNot,
    kStoreRegister,
    kArithmetic,  // Add, Add2, Subtract, Multiply, Divide, Modulo
    kArithmeticReturn,  // the same, before a Return, which returns its result
    kStep,        // Increment, Decrement
    kCompare,     // Less2, Greater, Less, Equals, Equals2, StrictEquals
    kCall,        // CallFunction, CallMethod
    kReturn,
    kGetVariable,
    kSetVariable,
    kGetMember,
    kSetMember,
  };
  // The kind of a record of opcode `op` (a Push: as decoded on the spot).
  static uint8_t kindOf(uint8_t op);
  uint8_t reg = 0;       // StoreRegister: the register
  // A Push before a call (kPushCall, kPushCallFunction): the call's argument
  // count when it is a whole number up to kFewArgs (such calls can be made
  // quickly), else -1.
  int8_t callCount = -1;
  static constexpr int kFewArgs = 4;
  // An argument count as callCount holds it.
  static int fewArgs(double count) {
    if (!(count >= 0 && count <= kFewArgs)) return -1;
    const int n = static_cast<int>(count);
    return n == count ? n : -1;
  }
  int16_t offset = 0;    // Jump and If: the branch offset
  // Jump and If: the index of the record where the branch lands, when one of
  // the block's records starts there.
  uint32_t target = kNoTarget;
  static constexpr uint32_t kNoTarget = 0xFFFFFFFF;
  uint32_t firstItem = 0;  // Push: its items in the block's item list
  uint32_t itemCount = 0;
  // Variable, member and call actions of a block: their lookup cache, in the
  // block's list. (Null for records decoded on the spot.)
  LookupCache* cache = nullptr;
};

class DecodedBlock {
 public:
  // Decodes every record of the linear scan from the start. `legacy` is the
  // encoding of pushed strings (movies of version 5 and lower).
  // Blocks are shorter than 4 GiB (kEndMark is no position).
  // Without `fastPaths` every record is kGeneral, fused with none and given
  // no lookup cache: the loop runs each the general way, by its opcode.
  DecodedBlock(const uint8_t* code, size_t length, bool legacy, bool keepBytes, bool fastPaths = true);
  // Records point into the block's own lists.
  DecodedBlock(const DecodedBlock&) = delete;
  DecodedBlock& operator=(const DecodedBlock&) = delete;

  // Decodes the one record at `pc` (pc < length), appending its push items
  // to `items`; of kind kGeneral without `fastPaths`.
  static void decodeRecord(const uint8_t* code, size_t length, size_t pc, bool legacy, bool fastPaths,
                           DecodedAction& out, std::vector<PushItem>& items);

  // The record starting at `pc`, or null.
  const DecodedAction* at(size_t pc) const {
    const int64_t i = recordAt(pc);
    return i >= 0 ? &actions_[static_cast<size_t>(i)] : nullptr;
  }
  // The records in order, then an end mark whose position is kEndMark.
  const DecodedAction* actions() const { return actions_.data(); }
  const DecodedAction* endMark() const { return &actions_.back(); }
  static constexpr uint32_t kEndMark = 0xFFFFFFFF;
  const PushItem* items() const { return items_.data(); }
  bool legacy() const { return legacy_; }
  bool fastPaths() const { return fastPaths_; }
  // The lookup cache of a decoded action, or null (records decoded on the
  // spot have none).
  LookupCache* cache(const DecodedAction& a) const { return a.cache; }
  // True when the block was decoded from these very bytes (blocks that kept
  // a copy of their bytes only).
  bool matches(const uint8_t* code, size_t length, bool legacy) const;

 private:
  std::vector<DecodedAction> actions_;
  // The number of the record starting at `pc`, or -1: a search of the
  // records, which are in order of position (a table by position would
  // take four bytes for every byte of the block).
  int64_t recordAt(size_t pc) const;

  size_t length_ = 0;
  std::vector<PushItem> items_;
  std::vector<uint8_t> bytes_;
  mutable std::vector<LookupCache> caches_;  // filled as the block runs
  bool legacy_ = false;
  bool fastPaths_ = true;
};

}  // namespace kivra
