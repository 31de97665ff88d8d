#pragma once
// The one opcode table of the action byte code, used by the interpreter, the
// assembler and the disassembler. Records with code 0x80 or above carry a
// 16-bit length and a payload; lower codes have none.
#include <cstdint>

namespace kivra {

// How an operand popped before the handler runs is converted.
enum OperandKind : uint8_t {
  kOpNone = 0,
  kOpBoolean = 1,
  kOpNumber = 2,
  kOpString = 3,
  kOpValue = 4,
  kOpPrimitiveNumber = 5,   // to primitive, number hint
  kOpPrimitiveDefault = 6,  // to primitive, default hint from version 6, number hint before
};

// What the interpreter pushes after the handler.
enum ResultKind : uint8_t {
  kResultHandler = 0,  // the handler pushes what it pushes
  kResultBoolean = 1,
  kResultNumber = 2,
  kResultValue = 4,
};

// The shape of an opcode's payload, for the assembler and disassembler.
enum class PayloadKind : uint8_t {
  None,           // code below 0x80
  Empty,          // code 0x80 or above with an empty payload
  Frame,          // u16 frame index
  UrlTarget,      // STRING url, STRING target
  Register,       // u8 register number
  ConstantPool,   // u16 count, STRINGs
  Byte,           // u8
  WaitForFrame,   // u16 frame, u8 skip count
  String,         // STRING
  Function2,      // DefineFunction2 header
  BlockSize,      // u16 size of the block that follows
  Push,           // typed items
  Branch,         // s16 offset from the end of the record
  Function,       // DefineFunction header
  GotoFrame2,     // u8 flags, optional u16 scene bias
};

// Operand descriptor: up to three 4-bit kinds, the lowest nibble for the value
// on top of the stack; bits 12-14 the result kind.
constexpr uint16_t opDescriptor(uint8_t top, uint8_t second, uint8_t third, uint8_t result) {
  return static_cast<uint16_t>(top | (second << 4) | (third << 8) | (result << 12));
}

// X(code, name, operand kinds top first (3), result kind, payload)
#define KIVRA_OPCODE_TABLE(X)                                                             \
  X(0x04, NextFrame, kOpNone, kOpNone, kOpNone, kResultHandler, None)                     \
  X(0x05, PreviousFrame, kOpNone, kOpNone, kOpNone, kResultHandler, None)                 \
  X(0x06, Play, kOpNone, kOpNone, kOpNone, kResultHandler, None)                          \
  X(0x07, Stop, kOpNone, kOpNone, kOpNone, kResultHandler, None)                          \
  X(0x08, ToggleQuality, kOpNone, kOpNone, kOpNone, kResultHandler, None)                 \
  X(0x09, StopSounds, kOpNone, kOpNone, kOpNone, kResultHandler, None)                    \
  X(0x0A, Add, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                        \
  X(0x0B, Subtract, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                   \
  X(0x0C, Multiply, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                   \
  X(0x0D, Divide, kOpNumber, kOpNumber, kOpNone, kResultValue, None)                      \
  X(0x0E, Equals, kOpNumber, kOpNumber, kOpNone, kResultBoolean, None)                    \
  X(0x0F, Less, kOpNumber, kOpNumber, kOpNone, kResultBoolean, None)                      \
  X(0x10, And, kOpBoolean, kOpBoolean, kOpNone, kResultBoolean, None)                     \
  X(0x11, Or, kOpBoolean, kOpBoolean, kOpNone, kResultBoolean, None)                      \
  X(0x12, Not, kOpBoolean, kOpNone, kOpNone, kResultBoolean, None)                        \
  X(0x13, StringEquals, kOpString, kOpString, kOpNone, kResultBoolean, None)              \
  X(0x14, StringLength, kOpString, kOpNone, kOpNone, kResultNumber, None)                 \
  X(0x15, StringExtract, kOpNumber, kOpNumber, kOpString, kResultValue, None)             \
  X(0x17, Pop, kOpValue, kOpNone, kOpNone, kResultHandler, None)                          \
  X(0x18, ToInteger, kOpNumber, kOpNone, kOpNone, kResultNumber, None)                    \
  X(0x1C, GetVariable, kOpString, kOpNone, kOpNone, kResultValue, None)                   \
  X(0x1D, SetVariable, kOpValue, kOpString, kOpNone, kResultHandler, None)                \
  X(0x20, SetTarget2, kOpString, kOpNone, kOpNone, kResultHandler, None)                  \
  X(0x21, StringAdd, kOpString, kOpString, kOpNone, kResultValue, None)                   \
  X(0x22, GetProperty, kOpNumber, kOpString, kOpNone, kResultValue, None)                 \
  X(0x23, SetProperty, kOpValue, kOpNumber, kOpString, kResultHandler, None)              \
  X(0x24, CloneSprite, kOpNumber, kOpString, kOpString, kResultHandler, None)             \
  X(0x25, RemoveSprite, kOpString, kOpNone, kOpNone, kResultHandler, None)                \
  X(0x26, Trace, kOpString, kOpNone, kOpNone, kResultHandler, None)                       \
  X(0x27, StartDrag, kOpString, kOpNumber, kOpNumber, kResultHandler, None)               \
  X(0x28, EndDrag, kOpNone, kOpNone, kOpNone, kResultHandler, None)                       \
  X(0x29, StringLess, kOpString, kOpString, kOpNone, kResultBoolean, None)                \
  X(0x30, RandomNumber, kOpNumber, kOpNone, kOpNone, kResultNumber, None)                 \
  X(0x31, MBStringLength, kOpString, kOpNone, kOpNone, kResultNumber, None)               \
  X(0x32, CharToAscii, kOpString, kOpNone, kOpNone, kResultNumber, None)                  \
  X(0x33, AsciiToChar, kOpNumber, kOpNone, kOpNone, kResultValue, None)                   \
  X(0x34, GetTime, kOpNone, kOpNone, kOpNone, kResultNumber, None)                        \
  X(0x35, MBStringExtract, kOpNumber, kOpNumber, kOpString, kResultValue, None)           \
  X(0x36, MBCharToAscii, kOpString, kOpNone, kOpNone, kResultNumber, None)                \
  X(0x37, MBAsciiToChar, kOpNumber, kOpNone, kOpNone, kResultValue, None)                 \
  X(0x3A, Delete, kOpString, kOpValue, kOpNone, kResultBoolean, None)                     \
  X(0x3B, Delete2, kOpString, kOpNone, kOpNone, kResultBoolean, None)                     \
  X(0x3C, DefineLocal, kOpValue, kOpString, kOpNone, kResultHandler, None)                \
  X(0x3D, CallFunction, kOpString, kOpNumber, kOpNone, kResultHandler, None)              \
  X(0x3E, Return, kOpNone, kOpNone, kOpNone, kResultHandler, None)                        \
  X(0x3F, Modulo, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                     \
  X(0x40, NewObject, kOpString, kOpNumber, kOpNone, kResultHandler, None)                 \
  X(0x41, DefineLocal2, kOpString, kOpNone, kOpNone, kResultHandler, None)                \
  X(0x42, InitArray, kOpNumber, kOpNone, kOpNone, kResultHandler, None)                   \
  X(0x43, InitObject, kOpNumber, kOpNone, kOpNone, kResultHandler, None)                  \
  X(0x44, TypeOf, kOpValue, kOpNone, kOpNone, kResultValue, None)                         \
  X(0x45, TargetPath, kOpValue, kOpNone, kOpNone, kResultValue, None)                     \
  X(0x46, Enumerate, kOpString, kOpNone, kOpNone, kResultHandler, None)                   \
  X(0x47, Add2, kOpPrimitiveDefault, kOpPrimitiveDefault, kOpNone, kResultValue, None)    \
  X(0x48, Less2, kOpPrimitiveNumber, kOpPrimitiveNumber, kOpNone, kResultHandler, None)   \
  X(0x49, Equals2, kOpValue, kOpValue, kOpNone, kResultBoolean, None)                     \
  X(0x4A, ToNumber, kOpNumber, kOpNone, kOpNone, kResultNumber, None)                     \
  X(0x4B, ToString, kOpString, kOpNone, kOpNone, kResultValue, None)                      \
  X(0x4C, PushDuplicate, kOpNone, kOpNone, kOpNone, kResultHandler, None)                 \
  X(0x4D, StackSwap, kOpValue, kOpValue, kOpNone, kResultHandler, None)                   \
  X(0x4E, GetMember, kOpString, kOpValue, kOpNone, kResultValue, None)                    \
  X(0x4F, SetMember, kOpValue, kOpString, kOpValue, kResultHandler, None)                 \
  X(0x50, Increment, kOpNumber, kOpNone, kOpNone, kResultNumber, None)                    \
  X(0x51, Decrement, kOpNumber, kOpNone, kOpNone, kResultNumber, None)                    \
  X(0x52, CallMethod, kOpString, kOpValue, kOpNumber, kResultHandler, None)               \
  X(0x53, NewMethod, kOpString, kOpValue, kOpNumber, kResultHandler, None)                \
  X(0x54, InstanceOf, kOpValue, kOpValue, kOpNone, kResultBoolean, None)                  \
  X(0x55, Enumerate2, kOpValue, kOpNone, kOpNone, kResultHandler, None)                   \
  X(0x60, BitAnd, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                     \
  X(0x61, BitOr, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                      \
  X(0x62, BitXor, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                     \
  X(0x63, BitLShift, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                  \
  X(0x64, BitRShift, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                  \
  X(0x65, BitURShift, kOpNumber, kOpNumber, kOpNone, kResultNumber, None)                 \
  X(0x66, StrictEquals, kOpValue, kOpValue, kOpNone, kResultBoolean, None)                \
  X(0x67, Greater, kOpPrimitiveNumber, kOpPrimitiveNumber, kOpNone, kResultHandler, None) \
  X(0x68, StringGreater, kOpString, kOpString, kOpNone, kResultBoolean, None)             \
  X(0x81, GotoFrame, kOpNone, kOpNone, kOpNone, kResultHandler, Frame)                    \
  X(0x83, GetURL, kOpNone, kOpNone, kOpNone, kResultHandler, UrlTarget)                   \
  X(0x87, StoreRegister, kOpNone, kOpNone, kOpNone, kResultHandler, Register)             \
  X(0x88, ConstantPool, kOpNone, kOpNone, kOpNone, kResultHandler, ConstantPool)          \
  X(0x89, StrictMode, kOpNone, kOpNone, kOpNone, kResultHandler, Byte)                    \
  X(0x8A, WaitForFrame, kOpNone, kOpNone, kOpNone, kResultHandler, WaitForFrame)          \
  X(0x8B, SetTarget, kOpNone, kOpNone, kOpNone, kResultHandler, String)                   \
  X(0x8C, GoToLabel, kOpNone, kOpNone, kOpNone, kResultHandler, String)                   \
  X(0x8D, WaitForFrame2, kOpString, kOpNone, kOpNone, kResultHandler, Byte)               \
  X(0x8E, DefineFunction2, kOpNone, kOpNone, kOpNone, kResultHandler, Function2)          \
  X(0x94, With, kOpValue, kOpNone, kOpNone, kResultHandler, BlockSize)                    \
  X(0x96, Push, kOpNone, kOpNone, kOpNone, kResultHandler, Push)                          \
  X(0x99, Jump, kOpNone, kOpNone, kOpNone, kResultHandler, Branch)                        \
  X(0x9A, GetURL2, kOpString, kOpString, kOpNone, kResultHandler, Byte)                   \
  X(0x9B, DefineFunction, kOpNone, kOpNone, kOpNone, kResultHandler, Function)            \
  X(0x9D, If, kOpBoolean, kOpNone, kOpNone, kResultHandler, Branch)                       \
  X(0x9E, Call, kOpString, kOpNone, kOpNone, kResultHandler, Empty)                       \
  X(0x9F, GotoFrame2, kOpString, kOpNone, kOpNone, kResultHandler, GotoFrame2)

enum class Opcode : uint8_t {
  End = 0x00,
#define KIVRA_OPCODE_ENUM(code, name, k1, k2, k3, result, payload) name = code,
  KIVRA_OPCODE_TABLE(KIVRA_OPCODE_ENUM)
#undef KIVRA_OPCODE_ENUM
};

struct OpcodeInfo {
  uint8_t code;
  const char* name;
  uint16_t descriptor;
  PayloadKind payload;
};

// The entry for a code, or null for a code that is not in the table.
const OpcodeInfo* opcodeInfo(uint8_t code);
// Looks an opcode up by name, ignoring case; null when unknown.
const OpcodeInfo* opcodeByName(const char* name);

// Push item types.
enum class PushType : uint8_t {
  String = 0,
  Float = 1,
  Null = 2,
  Undefined = 3,
  Register = 4,
  Boolean = 5,
  Double = 6,
  Integer = 7,
  Constant8 = 8,
  Constant16 = 9,
};

// DefineFunction2 flag bits.
enum Function2Flags : uint16_t {
  kPreloadThis = 0x01,
  kSuppressThis = 0x02,
  kPreloadArguments = 0x04,
  kSuppressArguments = 0x08,
  kPreloadSuper = 0x10,
  kSuppressSuper = 0x20,
  kPreloadRoot = 0x40,
  kPreloadParent = 0x80,
  kPreloadGlobal = 0x100,
};

}  // namespace kivra
