#pragma once
// Bounds-checked reader over a movie's bytes. Every read stops at the read
// limit (the received length, or the end of the tag being read): beyond it a
// read yields zero and sets the overrun flag, which callers check once per
// record. Bit-field records start on a byte boundary; byte reads ignore the
// bit buffer and discard it, so bits read after a byte field start afresh.
#include <cstdint>
#include <string>

#include "core/format/Records.h"

namespace kivra {

struct TagHeader {
  uint16_t code = 0;
  uint32_t length = 0;
  int64_t start = 0;      // the first byte of the tag header
  int64_t bodyStart = 0;  // the first byte after the header
  int64_t end = 0;        // bodyStart + length
  bool longForm = false;
};

enum class TagRead {
  Tag,         // a whole tag is there; the cursor stands at its body
  Incomplete,  // the header or the body has not fully arrived; cursor unchanged
  PastEnd,     // the cursor is negative or beyond the size limit
};

class TagCursor {
 public:
  static constexpr int64_t kUnlimited = -1;

  TagCursor() = default;
  // base: the bytes; available: how many of them may be read.
  TagCursor(const uint8_t* base, int64_t available, int version = 6);

  void reset(const uint8_t* base, int64_t available);
  void setAvailable(int64_t available);
  int64_t available() const { return available_; }
  const uint8_t* base() const { return base_; }

  int64_t position() const { return pos_; }
  void setPosition(int64_t pos);
  // Restricts reads to [position, end): used while a tag body is read.
  void setReadEnd(int64_t end);
  void clearReadEnd() { readEnd_ = -1; }
  int64_t remaining() const;

  // A size limit (the file length) beyond which a tag header is past the end.
  void setSizeLimit(int64_t limit) { sizeLimit_ = limit; }
  int64_t sizeLimit() const { return sizeLimit_; }

  int version() const { return version_; }
  void setVersion(int version) { version_ = version; }

  // Reads the next tag header. The tag's body must have arrived (it lies
  // below `available`) for the read to succeed.
  [[nodiscard]] TagRead readTagHeader(TagHeader& out);

  bool overrun() const { return overrun_; }
  void clearOverrun() { overrun_ = false; }

  uint8_t readU8();
  uint16_t readU16();
  uint32_t readU32();
  int16_t readS16() { return static_cast<int16_t>(readU16()); }
  float readFloat();
  double readDouble();  // little-endian IEEE double
  // Bytes up to and including a NUL; the result excludes the NUL. A string
  // cut off by the limit sets the overrun flag.
  std::string readString();
  // Skips n bytes (to the limit).
  void skip(int64_t n);
  // Pointer to the current byte, or null when nothing remains.
  const uint8_t* current() const;

  void alignToByte() { bitsLeft_ = 0; }
  // Shape records read many short fields, so the usual cases are inline:
  // the bits are in the buffered byte, or all the bytes a field needs lie
  // below the limit.
  uint32_t readUB(unsigned n) {
    if (n > 32) n = 32;
    if (n <= bitsLeft_) {
      bitsLeft_ -= n;
      return lowBits(bitBuffer_ >> bitsLeft_, n);
    }
    const unsigned need = (n - bitsLeft_ + 7) / 8;
    if (pos_ >= 0 && pos_ + need <= limit()) {
      uint64_t bits = lowBits(bitBuffer_, bitsLeft_);
      for (unsigned i = 0; i < need; ++i) bits = bits << 8 | base_[pos_ + i];
      pos_ += need;
      bitBuffer_ = base_[pos_ - 1];
      bitsLeft_ = bitsLeft_ + need * 8 - n;
      return lowBits(bits >> bitsLeft_, n);
    }
    return readUBSlow(n);
  }
  int32_t readSB(unsigned n) {
    if (n == 0) return 0;
    uint32_t v = readUB(n);
    if (n < 32 && (v & (1u << (n - 1)))) v |= ~((1u << n) - 1u);  // sign-extend bit n-1
    return static_cast<int32_t>(v);
  }
  bool readBit() { return readUB(1) != 0; }
  // The next 64 bits from the current bit position, first bit highest;
  // returns how many of them lie below the limit (at most 64, zeros after
  // them). A record that fits is then decoded from one word and passed with
  // skipBits.
  unsigned peekBits64(uint64_t& out) const {
    out = 0;
    const int64_t end = limit();
    if (pos_ < 0 || pos_ > end) return 0;
    uint64_t w = 0;
    unsigned valid = 64;
    if (pos_ + 8 <= end) {
      for (int i = 0; i < 8; ++i) w = w << 8 | base_[pos_ + i];
    } else {
      const int n = static_cast<int>(end - pos_);
      for (int i = 0; i < n; ++i) w = w << 8 | base_[pos_ + i];
      w = n == 0 ? 0 : w << (64 - 8 * n);
      valid = 8 * static_cast<unsigned>(n) + bitsLeft_;
    }
    out = bitsLeft_ == 0 ? w : uint64_t{lowBits(bitBuffer_, bitsLeft_)} << (64 - bitsLeft_) | w >> bitsLeft_;
    return valid;
  }
  // Passes n bits of a word peekBits64 returned (n at most its count), as
  // readUB would.
  void skipBits(unsigned n) {
    if (n <= bitsLeft_) {
      bitsLeft_ -= n;
      return;
    }
    const unsigned need = (n - bitsLeft_ + 7) / 8;
    pos_ += need;
    bitBuffer_ = base_[pos_ - 1];
    bitsLeft_ = bitsLeft_ + need * 8 - n;
  }

  RECT readRect();
  MATRIX readMatrix();
  CXFORM readCxform(bool withAlpha);
  Rgba readRgb();
  Rgba readRgba();

 private:
  int64_t limit() const { return readEnd_ >= 0 ? (readEnd_ < available_ ? readEnd_ : available_) : available_; }
  uint32_t readUBSlow(unsigned n);
  static uint32_t lowBits(uint64_t v, unsigned bits) { return static_cast<uint32_t>(v & ((uint64_t{1} << bits) - 1)); }

  const uint8_t* base_ = nullptr;
  int64_t available_ = 0;
  int64_t pos_ = 0;
  int64_t readEnd_ = -1;
  int64_t sizeLimit_ = kUnlimited;
  uint32_t bitBuffer_ = 0;
  unsigned bitsLeft_ = 0;
  int version_ = 6;
  bool overrun_ = false;
};

}  // namespace kivra
