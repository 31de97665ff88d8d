#pragma once
// AMF0 values to bytes and back. Numbers are big-endian IEEE doubles, as are
// all multi-byte fields. The reader cannot read past its end; a value that
// does not fit in the bytes, an unknown marker, nesting deeper than
// kMaxAmfDepth, more than kMaxAmfValues values or a reference to an object
// not read yet fails the read instead. Nothing here recurses deeper than
// kMaxAmfDepth.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/net/AmfValue.h"

namespace kivra {

constexpr size_t kMaxAmfDepth = 256;
// Values one decoder reads at most: a byte each would otherwise cost a
// hundred in the model.
constexpr size_t kMaxAmfValues = size_t{1} << 18;

// Big-endian fields over a byte range; beyond the end every read yields 0
// and marks the reader failed.
class AmfReader {
 public:
  AmfReader(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  bool failed() const { return failed_; }
  void fail() { failed_ = true; }
  size_t position() const { return i_; }
  size_t remaining() const { return i_ < n_ ? n_ - i_ : 0; }
  bool atEnd() const { return i_ >= n_; }
  uint8_t peek() const { return i_ < n_ ? p_[i_] : 0; }
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  double f64();
  // `length` bytes, or fails (and gives nothing) when fewer are left.
  std::string_view bytes(size_t length);
  std::string_view string16() { return bytes(u16()); }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t i_ = 0;
  bool failed_ = false;
};

// Reads values one after another, numbering the objects it meets. A stream
// whose table starts with an object read elsewhere (a shared object's data)
// starts the count there.
class Amf0Decoder {
 public:
  explicit Amf0Decoder(AmfReader& reader, uint32_t objectsBefore = 0) : r_(reader), objects_(objectsBefore) {}
  // One value; false (with `out` holding what was read) when it cannot be
  // read whole. After a failure the reader is failed too.
  [[nodiscard]] bool read(AmfValue& out);
  uint32_t objectsRead() const { return objects_; }

 private:
  bool readValue(AmfValue& out, size_t depth);
  bool readMembers(std::vector<AmfMember>& members, size_t depth);

  AmfReader& r_;
  uint32_t objects_;
  size_t values_ = 0;
};

// Appends big-endian fields and AMF0 values.
class Amf0Writer {
 public:
  explicit Amf0Writer(std::vector<uint8_t>& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v);
  void u32(uint32_t v);
  void f64(double d);
  // A u16 length and the bytes (cut at 65,535 bytes).
  void string16(std::string_view s);
  // One value. A container that would nest kMaxAmfDepth deep or more is
  // written as undefined, so that whatever is written reads back.
  void write(const AmfValue& v) { writeValue(v, 0); }

 private:
  void writeValue(const AmfValue& v, size_t depth);
  void writeMembers(const std::vector<AmfMember>& members, size_t depth);

  std::vector<uint8_t>& out_;
};

}  // namespace kivra
