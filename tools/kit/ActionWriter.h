#pragma once
// Action byte-code assembler. Opcodes, payload shapes and push types come
// from the one opcode table in core/script/OpcodeTable.h. Labels may be used
// before they are defined; Jump and If offsets count from the end of their
// own record. Function and With bodies are written inline and their sizes
// patched when the body is closed.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/format/OpcodeTable.h"
#include "tools/kit/ByteWriter.h"

namespace kivra::kit {

struct PushItem {
  PushType type = PushType::Undefined;
  std::string string;   // String
  double number = 0;    // Float, Double
  int32_t integer = 0;  // Integer, Boolean, Register, Constant8/16

  static PushItem str(std::string s);
  static PushItem floating(float f);
  static PushItem null();
  static PushItem undefined();
  static PushItem reg(uint8_t r);
  static PushItem boolean(bool b);
  static PushItem dbl(double d);
  static PushItem integ(int32_t i);
  static PushItem constant(uint16_t index);  // 8-bit form when it fits
  static PushItem constant16(uint16_t index);
};

struct FunctionParam {
  uint8_t reg = 0;  // DefineFunction2: 0 = a named local
  std::string name;
};

class ActionWriter {
 public:
  // Any opcode without payload, or with an empty one (Call).
  void op(Opcode code);
  void gotoFrame(uint16_t frame);
  void getUrl(const std::string& url, const std::string& target);
  void storeRegister(uint8_t reg);
  void constantPool(const std::vector<std::string>& pool);
  void strictMode(uint8_t value);
  void waitForFrame(uint16_t frame, uint8_t skip);
  void setTarget(const std::string& path);
  void goToLabel(const std::string& label);
  void waitForFrame2(uint8_t skip);
  void getUrl2(uint8_t flags);
  // Flag bit 0 = play; the bias is written (and flag bit 1 set) when given.
  void gotoFrame2(bool play, const uint16_t* bias = nullptr);
  void push(const std::vector<PushItem>& items);

  void label(const std::string& name);
  void jump(const std::string& label);
  void ifTrue(const std::string& label);
  // Jump or If with a literal offset.
  void branch(Opcode code, int16_t offset);

  void beginFunction(const std::string& name, const std::vector<std::string>& params);
  void beginFunction2(const std::string& name, uint8_t registerCount, uint16_t flags,
                      const std::vector<FunctionParam>& params);
  void beginWith();
  // Closes the innermost function or With body.
  void endBlock();

  // Any code with a raw payload (codes 0x80 and above carry a length).
  void raw(uint8_t code, const std::vector<uint8_t>& payload);

  // Resolves labels, checks that every body is closed and appends the End
  // action when asked. Returns false with the first error.
  bool finish(std::vector<uint8_t>& out, std::string& error, bool appendEnd = true);

  size_t size() const { return w_.size(); }

 private:
  void record(uint8_t code, const std::vector<uint8_t>& payload);
  void fail(const std::string& e);

  struct Fixup {
    size_t at;      // the offset field
    size_t recordEnd;
    std::string label;
  };
  ByteWriter w_;
  std::map<std::string, size_t> labels_;
  std::vector<Fixup> fixups_;
  std::vector<size_t> openBlocks_;  // position of each open body's u16 size
  std::string error_;
};

}  // namespace kivra::kit
