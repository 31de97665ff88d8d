#include "core/net/Amf0Codec.h"

#include <cstring>

namespace kivra {

namespace {
constexpr uint8_t kObjectEnd = 9;
constexpr uint8_t kLongString = 12;
}  // namespace

uint8_t AmfReader::u8() {
  if (i_ >= n_) {
    failed_ = true;
    return 0;
  }
  return p_[i_++];
}

uint16_t AmfReader::u16() {
  const uint16_t hi = u8();
  return static_cast<uint16_t>((hi << 8) | u8());
}

uint32_t AmfReader::u32() {
  const uint32_t hi = u16();
  return (hi << 16) | u16();
}

double AmfReader::f64() {
  const uint64_t hi = u32();
  const uint64_t b = (hi << 32) | u32();
  double d;
  std::memcpy(&d, &b, 8);
  return d;
}

std::string_view AmfReader::bytes(size_t length) {
  if (length > remaining()) {
    failed_ = true;
    i_ = n_;
    return {};
  }
  std::string_view s(reinterpret_cast<const char*>(p_) + i_, length);
  i_ += length;
  return s;
}

bool Amf0Decoder::read(AmfValue& out) {
  out = AmfValue();
  if (r_.failed()) return false;
  if (!readValue(out, 0)) {
    r_.fail();
    return false;
  }
  return !r_.failed();
}

bool Amf0Decoder::readMembers(std::vector<AmfMember>& members, size_t depth) {
  for (;;) {
    const std::string_view name = r_.string16();
    if (r_.failed()) return false;
    if (name.empty() && r_.peek() == kObjectEnd && !r_.atEnd()) {
      r_.u8();
      return true;
    }
    AmfMember& m = members.emplace_back();
    m.name.assign(name);
    if (!readValue(m.value, depth + 1)) return false;
  }
}

bool Amf0Decoder::readValue(AmfValue& out, size_t depth) {
  if (depth >= kMaxAmfDepth || ++values_ > kMaxAmfValues) return false;
  const uint8_t marker = r_.u8();
  if (r_.failed()) return false;
  switch (marker) {
    case static_cast<uint8_t>(AmfKind::Number):
      out.kind = AmfKind::Number;
      out.number = r_.f64();
      break;
    case static_cast<uint8_t>(AmfKind::Boolean):
      out.kind = AmfKind::Boolean;
      out.boolean = r_.u8() != 0;
      break;
    case static_cast<uint8_t>(AmfKind::String):
      out.kind = AmfKind::String;
      out.text.assign(r_.string16());
      break;
    case kLongString:
      out.kind = AmfKind::String;
      out.text.assign(r_.bytes(r_.u32()));
      break;
    case static_cast<uint8_t>(AmfKind::Xml):
      out.kind = AmfKind::Xml;
      out.text.assign(r_.bytes(r_.u32()));
      break;
    case static_cast<uint8_t>(AmfKind::Null):
    case static_cast<uint8_t>(AmfKind::Undefined):
    case static_cast<uint8_t>(AmfKind::Unsupported):
      out.kind = static_cast<AmfKind>(marker);
      break;
    case static_cast<uint8_t>(AmfKind::Reference):
      out.kind = AmfKind::Reference;
      out.index = r_.u16();
      if (out.index >= objects_) return false;
      break;
    case static_cast<uint8_t>(AmfKind::Date):
      out.kind = AmfKind::Date;
      out.number = r_.f64();
      out.timeZone = static_cast<int16_t>(r_.u16());
      break;
    case static_cast<uint8_t>(AmfKind::Object):
      out.kind = AmfKind::Object;
      ++objects_;
      return readMembers(out.members, depth);
    case static_cast<uint8_t>(AmfKind::TypedObject):
      out.kind = AmfKind::TypedObject;
      ++objects_;
      out.text.assign(r_.string16());
      return !r_.failed() && readMembers(out.members, depth);
    case static_cast<uint8_t>(AmfKind::MixedArray):
      out.kind = AmfKind::MixedArray;
      ++objects_;
      out.index = r_.u32();
      return !r_.failed() && readMembers(out.members, depth);
    case static_cast<uint8_t>(AmfKind::StrictArray): {
      out.kind = AmfKind::StrictArray;
      ++objects_;
      // The count is not trusted for memory: every element takes a byte.
      const uint32_t count = r_.u32();
      if (r_.failed() || count > r_.remaining()) return false;
      out.elements.reserve(count < 1024 ? count : 1024);
      for (uint32_t i = 0; i < count; ++i)
        if (!readValue(out.elements.emplace_back(), depth + 1)) return false;
      break;
    }
    default:
      return false;
  }
  return !r_.failed();
}

void Amf0Writer::u16(uint16_t v) {
  out_.push_back(static_cast<uint8_t>(v >> 8));
  out_.push_back(static_cast<uint8_t>(v));
}

void Amf0Writer::u32(uint32_t v) {
  u16(static_cast<uint16_t>(v >> 16));
  u16(static_cast<uint16_t>(v));
}

void Amf0Writer::f64(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  u32(static_cast<uint32_t>(b >> 32));
  u32(static_cast<uint32_t>(b));
}

void Amf0Writer::string16(std::string_view s) {
  const size_t n = s.size() < 0xFFFF ? s.size() : 0xFFFF;
  u16(static_cast<uint16_t>(n));
  out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

void Amf0Writer::writeMembers(const std::vector<AmfMember>& members, size_t depth) {
  for (const AmfMember& m : members) {
    string16(m.name);
    writeValue(m.value, depth + 1);
  }
  u16(0);
  u8(kObjectEnd);
}

void Amf0Writer::writeValue(const AmfValue& v, size_t depth) {
  // The deepest level a reader takes holds no containers.
  if (depth >= kMaxAmfDepth || (depth + 1 >= kMaxAmfDepth && v.countsAsObject())) {
    u8(static_cast<uint8_t>(AmfKind::Undefined));
    return;
  }
  auto longBytes = [this](std::string_view s) {
    const size_t n = s.size() <= 0xFFFFFFFFu ? s.size() : 0xFFFFFFFFu;
    u32(static_cast<uint32_t>(n));
    out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  };
  switch (v.kind) {
    case AmfKind::Number:
      u8(0);
      f64(v.number);
      return;
    case AmfKind::Boolean:
      u8(1);
      u8(v.boolean ? 1 : 0);
      return;
    case AmfKind::String:
      if (v.text.size() < 0x10000) {
        u8(2);
        string16(v.text);
      } else {
        u8(kLongString);
        longBytes(v.text);
      }
      return;
    case AmfKind::Xml:
      u8(15);
      longBytes(v.text);
      return;
    case AmfKind::Reference:
      u8(7);
      u16(static_cast<uint16_t>(v.index));
      return;
    case AmfKind::Date:
      u8(11);
      f64(v.number);
      u16(static_cast<uint16_t>(v.timeZone));
      return;
    case AmfKind::Object:
      u8(3);
      writeMembers(v.members, depth);
      return;
    case AmfKind::TypedObject:
      u8(16);
      string16(v.text);
      writeMembers(v.members, depth);
      return;
    case AmfKind::MixedArray:
      u8(8);
      u32(v.index);
      writeMembers(v.members, depth);
      return;
    case AmfKind::StrictArray:
      u8(10);
      u32(static_cast<uint32_t>(v.elements.size()));
      for (const AmfValue& e : v.elements) writeValue(e, depth + 1);
      return;
    case AmfKind::Null:
    case AmfKind::Undefined:
    case AmfKind::Unsupported:
      u8(static_cast<uint8_t>(v.kind));
      return;
  }
  u8(static_cast<uint8_t>(AmfKind::Undefined));
}

}  // namespace kivra
