#include "tools/kit/ActionWriter.h"

#include <cstring>

namespace kivra::kit {

PushItem PushItem::str(std::string s) {
  PushItem p;
  p.type = PushType::String;
  p.string = std::move(s);
  return p;
}
PushItem PushItem::floating(float f) {
  PushItem p;
  p.type = PushType::Float;
  p.number = f;
  return p;
}
PushItem PushItem::null() {
  PushItem p;
  p.type = PushType::Null;
  return p;
}
PushItem PushItem::undefined() { return PushItem{}; }
PushItem PushItem::reg(uint8_t r) {
  PushItem p;
  p.type = PushType::Register;
  p.integer = r;
  return p;
}
PushItem PushItem::boolean(bool b) {
  PushItem p;
  p.type = PushType::Boolean;
  p.integer = b ? 1 : 0;
  return p;
}
PushItem PushItem::dbl(double d) {
  PushItem p;
  p.type = PushType::Double;
  p.number = d;
  return p;
}
PushItem PushItem::integ(int32_t i) {
  PushItem p;
  p.type = PushType::Integer;
  p.integer = i;
  return p;
}
PushItem PushItem::constant(uint16_t index) {
  PushItem p;
  p.type = index <= 0xFF ? PushType::Constant8 : PushType::Constant16;
  p.integer = index;
  return p;
}
PushItem PushItem::constant16(uint16_t index) {
  PushItem p;
  p.type = PushType::Constant16;
  p.integer = index;
  return p;
}

void ActionWriter::fail(const std::string& e) {
  if (error_.empty()) error_ = e;
}

void ActionWriter::record(uint8_t code, const std::vector<uint8_t>& payload) {
  w_.u8(code);
  if (code >= 0x80) {
    if (payload.size() > 0xFFFF) fail("action payload longer than 65535 bytes");
    w_.u16(static_cast<uint16_t>(payload.size()));
    w_.bytes(payload);
  } else if (!payload.empty()) {
    fail("codes below 0x80 carry no payload");
  }
}

void ActionWriter::op(Opcode code) {
  const OpcodeInfo* info = opcodeInfo(static_cast<uint8_t>(code));
  if (!info || (info->payload != PayloadKind::None && info->payload != PayloadKind::Empty))
    return fail("opcode needs a payload");
  record(static_cast<uint8_t>(code), {});
}

void ActionWriter::gotoFrame(uint16_t frame) {
  ByteWriter p;
  p.u16(frame);
  record(static_cast<uint8_t>(Opcode::GotoFrame), p.take());
}

void ActionWriter::getUrl(const std::string& url, const std::string& target) {
  ByteWriter p;
  p.string(url);
  p.string(target);
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::GetURL), p.take());
}

void ActionWriter::storeRegister(uint8_t reg) { record(static_cast<uint8_t>(Opcode::StoreRegister), {reg}); }

void ActionWriter::constantPool(const std::vector<std::string>& pool) {
  ByteWriter p;
  if (pool.size() > 0xFFFF) fail("constant pool with more than 65535 entries");
  p.u16(static_cast<uint16_t>(pool.size()));
  for (const std::string& s : pool) p.string(s);
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::ConstantPool), p.take());
}

void ActionWriter::strictMode(uint8_t value) { record(static_cast<uint8_t>(Opcode::StrictMode), {value}); }

void ActionWriter::waitForFrame(uint16_t frame, uint8_t skip) {
  ByteWriter p;
  p.u16(frame);
  p.u8(skip);
  record(static_cast<uint8_t>(Opcode::WaitForFrame), p.take());
}

void ActionWriter::setTarget(const std::string& path) {
  ByteWriter p;
  p.string(path);
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::SetTarget), p.take());
}

void ActionWriter::goToLabel(const std::string& label) {
  ByteWriter p;
  p.string(label);
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::GoToLabel), p.take());
}

void ActionWriter::waitForFrame2(uint8_t skip) { record(static_cast<uint8_t>(Opcode::WaitForFrame2), {skip}); }

void ActionWriter::getUrl2(uint8_t flags) { record(static_cast<uint8_t>(Opcode::GetURL2), {flags}); }

void ActionWriter::gotoFrame2(bool play, const uint16_t* bias) {
  ByteWriter p;
  p.u8(static_cast<uint8_t>((play ? 1 : 0) | (bias ? 2 : 0)));
  if (bias) p.u16(*bias);
  record(static_cast<uint8_t>(Opcode::GotoFrame2), p.take());
}

void ActionWriter::push(const std::vector<PushItem>& items) {
  ByteWriter p;
  for (const PushItem& item : items) {
    p.u8(static_cast<uint8_t>(item.type));
    switch (item.type) {
      case PushType::String:
        p.string(item.string);
        break;
      case PushType::Float:
        p.f32(static_cast<float>(item.number));
        break;
      case PushType::Null:
      case PushType::Undefined:
        break;
      case PushType::Register:
      case PushType::Boolean:
      case PushType::Constant8:
        if (item.integer < 0 || item.integer > 0xFF) fail("push value " + std::to_string(item.integer) + " does not fit a byte");
        p.u8(static_cast<uint8_t>(item.integer));
        break;
      case PushType::Double: {
        // The high 32 bits come first, each half little endian.
        uint64_t bits;
        std::memcpy(&bits, &item.number, sizeof bits);
        p.u32(static_cast<uint32_t>(bits >> 32));
        p.u32(static_cast<uint32_t>(bits));
        break;
      }
      case PushType::Integer:
        p.u32(static_cast<uint32_t>(item.integer));
        break;
      case PushType::Constant16:
        if (item.integer < 0 || item.integer > 0xFFFF) fail("constant index above 65535");
        p.u16(static_cast<uint16_t>(item.integer));
        break;
    }
  }
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::Push), p.take());
}

void ActionWriter::label(const std::string& name) {
  if (!labels_.emplace(name, w_.size()).second) fail("label '" + name + "' defined twice");
}

void ActionWriter::jump(const std::string& label) {
  branch(Opcode::Jump, 0);
  fixups_.push_back({w_.size() - 2, w_.size(), label});
}

void ActionWriter::ifTrue(const std::string& label) {
  branch(Opcode::If, 0);
  fixups_.push_back({w_.size() - 2, w_.size(), label});
}

void ActionWriter::branch(Opcode code, int16_t offset) {
  ByteWriter p;
  p.s16(offset);
  record(static_cast<uint8_t>(code), p.take());
}

void ActionWriter::beginFunction(const std::string& name, const std::vector<std::string>& params) {
  ByteWriter p;
  p.string(name);
  p.u16(static_cast<uint16_t>(params.size()));
  for (const std::string& s : params) p.string(s);
  p.u16(0);  // body size, patched by endBlock
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::DefineFunction), p.take());
  openBlocks_.push_back(w_.size() - 2);
}

void ActionWriter::beginFunction2(const std::string& name, uint8_t registerCount, uint16_t flags,
                                  const std::vector<FunctionParam>& params) {
  ByteWriter p;
  p.string(name);
  p.u16(static_cast<uint16_t>(params.size()));
  p.u8(registerCount);
  p.u16(flags);
  for (const FunctionParam& param : params) {
    p.u8(param.reg);
    p.string(param.name);
  }
  p.u16(0);
  if (!p.error().empty()) fail(p.error());
  record(static_cast<uint8_t>(Opcode::DefineFunction2), p.take());
  openBlocks_.push_back(w_.size() - 2);
}

void ActionWriter::beginWith() {
  record(static_cast<uint8_t>(Opcode::With), {0, 0});
  openBlocks_.push_back(w_.size() - 2);
}

void ActionWriter::endBlock() {
  if (openBlocks_.empty()) return fail("end of a body that was never begun");
  const size_t at = openBlocks_.back();
  openBlocks_.pop_back();
  const size_t size = w_.size() - (at + 2);
  if (size > 0xFFFF) return fail("body longer than 65535 bytes");
  w_.patchU16(at, static_cast<uint16_t>(size));
}

void ActionWriter::raw(uint8_t code, const std::vector<uint8_t>& payload) { record(code, payload); }

bool ActionWriter::finish(std::vector<uint8_t>& out, std::string& error, bool appendEnd) {
  if (!openBlocks_.empty()) fail("a function or With body is not closed");
  for (const Fixup& f : fixups_) {
    auto it = labels_.find(f.label);
    if (it == labels_.end()) {
      fail("undefined label '" + f.label + "'");
      break;
    }
    const int64_t offset = static_cast<int64_t>(it->second) - static_cast<int64_t>(f.recordEnd);
    if (offset < -32768 || offset > 32767) {
      fail("branch to '" + f.label + "' is out of range");
      break;
    }
    w_.patchU16(f.at, static_cast<uint16_t>(static_cast<int16_t>(offset)));
  }
  if (error_.empty() && !w_.error().empty()) error_ = w_.error();
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  if (appendEnd) w_.u8(0);
  out = w_.take();
  return true;
}

}  // namespace kivra::kit
