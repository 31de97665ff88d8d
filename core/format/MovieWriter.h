#pragma once
// Writes a movie into memory: little-endian integers, bit fields, RECT and
// MATRIX records and tag headers, in one buffer that grows as needed. Used
// for the movies the player makes itself around loaded images and sounds.
//
// A write that would pass kMaxLength, fails to allocate, or would break a
// tag header is refused: the writer then stays failed and ignores every
// later write, so a caller checks ok() once when it is done. Single owner,
// any thread; no state outside the object.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/format/Records.h"

namespace kivra {

class MovieWriter {
 public:
  // The movie intake refuses longer movies, so the writer never makes one.
  static constexpr size_t kMaxLength = size_t{256} << 20;
  // A short tag header holds lengths up to 62; 63 marks the long form.
  static constexpr uint32_t kMaxShortTagLength = 62;

  MovieWriter() = default;
  MovieWriter(const MovieWriter&) = delete;
  MovieWriter& operator=(const MovieWriter&) = delete;

  bool ok() const { return ok_; }
  // Bytes in the buffer (not counting bytes already handed out by drainTo).
  size_t length() const { return length_; }
  // Every byte written since construction, drained ones included: the
  // position in the movie of the next byte.
  size_t total() const { return drained_ + length_; }
  const uint8_t* data() const { return buffer_.get(); }

  // Makes room for `bytes` in all now, so a writer that knows its size
  // copies its data once.
  [[nodiscard]] bool reserve(size_t bytes);

  // Byte writes start on a byte boundary: pending bits are flushed first.
  void writeU8(uint8_t value);
  void writeU16(uint16_t value);
  void writeU32(uint32_t value);
  void writeBytes(const uint8_t* bytes, size_t count);
  void writeZeros(size_t count);

  // The low `count` bits of `value` (at most 32), most significant first.
  // A negative value written this way is its two's complement, as SB reads it.
  void writeBits(uint32_t value, unsigned count);
  void writeSignedBits(int32_t value, unsigned count) { writeBits(static_cast<uint32_t>(value), count); }
  // Pads the pending bits with zeros to a whole byte.
  void flushBits();

  // The fewest bits SB[n] needs to hold `value` (0 for 0). A negative value
  // needs as many bits as its complement, plus the sign.
  static constexpr unsigned signedBits(int32_t value) {
    if (value == 0) return 0;
    const uint32_t magnitude = value < 0 ? ~static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    return static_cast<unsigned>(std::bit_width(magnitude)) + 1;
  }

  // Bit-field records with the fewest bits that hold their values.
  void writeRect(const RECT& rect);
  void writeMatrix(const MATRIX& matrix);

  // "XVQ", the version and a file length to be patched later (or the one given).
  void writeFileHeader(uint8_t version, uint32_t fileLength = 0);
  // Sets the header's file length to total(), or to `length`; the header
  // must still be in the buffer.
  [[nodiscard]] bool patchFileLength();
  [[nodiscard]] bool patchFileLength(uint32_t length);

  // Reserves the tag header: 6 bytes for the long form, else 2. Tags do not
  // nest; the code must fit in 10 bits.
  void beginTag(uint16_t code, bool longForm);
  // Writes the header for the body written since beginTag. A short tag
  // whose body is longer than 62 bytes is refused.
  [[nodiscard]] bool endTag();
  // A tag without a body (ShowFrame, End).
  void writeEmptyTag(uint16_t code);

  // Appends the buffer to `out` and empties it, keeping the capacity; the
  // count goes on in total(). Pending bits are flushed first. Refused while
  // a tag is open.
  [[nodiscard]] bool drainTo(std::vector<uint8_t>& out);

 private:
  // The one place a writer fails: set a breakpoint here to catch them all.
  bool fail();
  bool makeRoom(size_t extra);
  // A buffer of `capacity` bytes holding what was written.
  bool regrow(size_t capacity);
  void putByte(uint8_t value) { buffer_[length_++] = value; }

  std::unique_ptr<uint8_t[]> buffer_;
  size_t length_ = 0;
  size_t capacity_ = 0;
  size_t drained_ = 0;
  uint32_t bits_ = 0;      // pending bits, the oldest highest
  unsigned bitCount_ = 0;  // how many, always below 8
  bool tagOpen_ = false;
  bool tagLong_ = false;
  uint16_t tagCode_ = 0;
  size_t tagStart_ = 0;  // buffer offset of the reserved header
  bool ok_ = true;
};

}  // namespace kivra
