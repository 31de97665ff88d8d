#pragma once
// A reader over an action record's payload that cannot read past its end:
// beyond the limit every read yields 0 (and strings end).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kivra {

class ActionReader {
 public:
  ActionReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  size_t position() const { return i_; }
  size_t remaining() const { return i_ < n_ ? n_ - i_ : 0; }
  bool atEnd() const { return i_ >= n_; }
  const uint8_t* current() const { return p_ + (i_ < n_ ? i_ : n_); }
  uint8_t u8() { return i_ < n_ ? p_[i_++] : (++i_, 0); }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
  }
  int16_t s16() { return static_cast<int16_t>(u16()); }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
  }
  float f32() {
    const uint32_t b = u32();
    float f;
    std::memcpy(&f, &b, 4);
    return f;
  }
  // The high 32 bits first, then the low, each little-endian.
  double f64Swapped() {
    const uint64_t hi = u32();
    const uint64_t lo = u32();
    const uint64_t b = (hi << 32) | lo;
    double d;
    std::memcpy(&d, &b, 8);
    return d;
  }
  // Bytes up to a NUL (or the end); the NUL is consumed.
  std::string_view string() {
    const size_t start = i_ < n_ ? i_ : n_;
    size_t e = start;
    while (e < n_ && p_[e] != 0) ++e;
    i_ = e + 1;
    return std::string_view(reinterpret_cast<const char*>(p_) + start, e - start);
  }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t i_ = 0;
};

}  // namespace kivra
