#pragma once
// Byte and bit writer for movie records. Integers are little endian; bit
// fields are packed most-significant bit first, as the reader expects. A value
// that does not fit its field sets a sticky error instead of being truncated
// silently, so the caller can report it once per tag.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra::kit {

// Bits needed for v as an unsigned field (0 for 0).
unsigned unsignedBits(uint32_t v);
// Bits needed for v as a two's-complement field (0 for 0, 1 for -1).
unsigned signedBits(int32_t v);

class ByteWriter {
 public:
  void u8(uint8_t v);
  void u16(uint16_t v);
  void u32(uint32_t v);
  void s16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void f32(float v);
  // Little-endian IEEE double (the plain form; the action push uses its own).
  void f64(double v);
  // Bytes followed by a NUL. A string with an embedded NUL is an error.
  void string(const std::string& s);
  void bytes(const std::vector<uint8_t>& b);
  void bytes(const uint8_t* p, size_t n);

  // Bit fields; the first bit call after byte writes starts a new byte.
  void ub(unsigned n, uint32_t v);
  void sb(unsigned n, int32_t v);
  void bit(bool v) { ub(1, v ? 1u : 0u); }
  // Pads the partial byte with zero bits.
  void align();

  size_t size() const { return out_.size(); }
  // Overwrites an already written u16/u32 (for lengths known only later).
  void patchU16(size_t at, uint16_t v);
  void patchU32(size_t at, uint32_t v);

  const std::vector<uint8_t>& data() const { return out_; }
  std::vector<uint8_t> take();

  // The first error met, or empty.
  const std::string& error() const { return error_; }
  void fail(const std::string& message);

 private:
  std::vector<uint8_t> out_;
  unsigned bitPos_ = 0;  // bits used in the last byte; 0 = byte aligned
  std::string error_;
};

}  // namespace kivra::kit
