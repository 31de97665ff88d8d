#include "tools/kit/ByteWriter.h"

#include <cstring>

namespace kivra::kit {

unsigned unsignedBits(uint32_t v) {
  unsigned n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

unsigned signedBits(int32_t v) {
  if (v == 0) return 0;
  // A negative value needs as many bits as its complement, plus the sign.
  const uint32_t magnitude = v < 0 ? ~static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  return unsignedBits(magnitude) + 1;
}

void ByteWriter::u8(uint8_t v) {
  bitPos_ = 0;
  out_.push_back(v);
}

void ByteWriter::u16(uint16_t v) {
  u8(static_cast<uint8_t>(v));
  u8(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::u32(uint32_t v) {
  u16(static_cast<uint16_t>(v));
  u16(static_cast<uint16_t>(v >> 16));
}

void ByteWriter::f32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  u32(bits);
}

void ByteWriter::f64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  u32(static_cast<uint32_t>(bits));
  u32(static_cast<uint32_t>(bits >> 32));
}

void ByteWriter::string(const std::string& s) {
  if (s.find('\0') != std::string::npos) fail("string contains a NUL byte");
  bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  u8(0);
}

void ByteWriter::bytes(const std::vector<uint8_t>& b) { bytes(b.data(), b.size()); }

void ByteWriter::bytes(const uint8_t* p, size_t n) {
  bitPos_ = 0;
  out_.insert(out_.end(), p, p + n);
}

void ByteWriter::ub(unsigned n, uint32_t v) {
  if (n > 32) {
    fail("bit field wider than 32 bits");
    return;
  }
  if (n < 32 && (v >> n) != 0) fail("value " + std::to_string(v) + " does not fit " + std::to_string(n) + " bits");
  for (unsigned i = n; i > 0; --i) {
    if (bitPos_ == 0) out_.push_back(0);
    if ((v >> (i - 1)) & 1u) out_.back() |= static_cast<uint8_t>(0x80u >> bitPos_);
    bitPos_ = (bitPos_ + 1) & 7;
  }
}

void ByteWriter::sb(unsigned n, int32_t v) {
  if (n < 32 && signedBits(v) > n) {
    fail("value " + std::to_string(v) + " does not fit " + std::to_string(n) + " signed bits");
    return;
  }
  const uint32_t mask = n >= 32 ? 0xFFFFFFFFu : ((1u << n) - 1u);
  ub(n, static_cast<uint32_t>(v) & mask);
}

void ByteWriter::align() { bitPos_ = 0; }

void ByteWriter::patchU16(size_t at, uint16_t v) {
  if (at + 2 > out_.size()) return fail("patch beyond the written bytes");
  out_[at] = static_cast<uint8_t>(v);
  out_[at + 1] = static_cast<uint8_t>(v >> 8);
}

void ByteWriter::patchU32(size_t at, uint32_t v) {
  if (at + 4 > out_.size()) return fail("patch beyond the written bytes");
  for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> ByteWriter::take() {
  bitPos_ = 0;
  return std::move(out_);
}

void ByteWriter::fail(const std::string& message) {
  if (error_.empty()) error_ = message;
}

}  // namespace kivra::kit
