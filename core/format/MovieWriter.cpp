#include "core/format/MovieWriter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kivra {

namespace {

// Growth doubles small buffers and then adds this much at a time, so a big
// movie does not reserve twice its size.
constexpr size_t kGrowthStep = size_t{64} << 10;
constexpr size_t kMinCapacity = 256;
constexpr size_t kSlack = 1024;

}  // namespace

bool MovieWriter::fail() {
  ok_ = false;
  return false;
}

bool MovieWriter::makeRoom(size_t extra) {
  if (!ok_) return false;
  if (extra > kMaxLength || total() > kMaxLength - extra) return fail();
  const size_t needed = length_ + extra;
  if (needed <= capacity_) return true;
  size_t next = capacity_ < kMinCapacity ? kMinCapacity
                : capacity_ < kGrowthStep  ? capacity_ * 2
                                           : capacity_ + kGrowthStep;
  if (next < needed) next = needed + kSlack;
  return regrow(next);
}

bool MovieWriter::regrow(size_t capacity) {
  std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[capacity]);
  if (!grown) return fail();
  if (length_ > 0) std::memcpy(grown.get(), buffer_.get(), length_);
  buffer_ = std::move(grown);
  capacity_ = capacity;
  return true;
}

bool MovieWriter::reserve(size_t bytes) {
  if (!ok_) return false;
  if (bytes > kMaxLength) return fail();
  if (bytes <= capacity_) return true;
  return regrow(std::max(bytes, kMinCapacity));
}

void MovieWriter::writeU8(uint8_t value) {
  flushBits();
  if (!makeRoom(1)) return;
  putByte(value);
}

void MovieWriter::writeU16(uint16_t value) {
  flushBits();
  if (!makeRoom(2)) return;
  putByte(static_cast<uint8_t>(value));
  putByte(static_cast<uint8_t>(value >> 8));
}

void MovieWriter::writeU32(uint32_t value) {
  flushBits();
  if (!makeRoom(4)) return;
  for (int shift = 0; shift < 32; shift += 8) putByte(static_cast<uint8_t>(value >> shift));
}

void MovieWriter::writeBytes(const uint8_t* bytes, size_t count) {
  flushBits();
  if (count == 0) return;
  if (!bytes) {
    fail();
    return;
  }
  if (!makeRoom(count)) return;
  std::memcpy(buffer_.get() + length_, bytes, count);
  length_ += count;
}

void MovieWriter::writeZeros(size_t count) {
  flushBits();
  if (count == 0 || !makeRoom(count)) return;
  std::memset(buffer_.get() + length_, 0, count);
  length_ += count;
}

void MovieWriter::writeBits(uint32_t value, unsigned count) {
  if (count > 32) {
    fail();
    return;
  }
  for (unsigned i = count; i-- > 0 && ok_;) {
    bits_ = bits_ << 1 | ((value >> i) & 1u);
    if (++bitCount_ == 8) {
      if (!makeRoom(1)) return;
      putByte(static_cast<uint8_t>(bits_));
      bits_ = 0;
      bitCount_ = 0;
    }
  }
}

void MovieWriter::flushBits() {
  if (bitCount_ == 0) return;
  const uint8_t last = static_cast<uint8_t>(bits_ << (8 - bitCount_));
  bits_ = 0;
  bitCount_ = 0;
  if (!makeRoom(1)) return;
  putByte(last);
}

void MovieWriter::writeRect(const RECT& rect) {
  flushBits();
  const unsigned n = std::max({signedBits(rect.xmin), signedBits(rect.xmax), signedBits(rect.ymin),
                               signedBits(rect.ymax)});
  if (n > 31) {  // the count field has 5 bits
    fail();
    return;
  }
  writeBits(n, 5);
  writeSignedBits(rect.xmin, n);
  writeSignedBits(rect.xmax, n);
  writeSignedBits(rect.ymin, n);
  writeSignedBits(rect.ymax, n);
  flushBits();
}

void MovieWriter::writeMatrix(const MATRIX& m) {
  flushBits();
  const bool hasScale = m.a != kFixedOne || m.d != kFixedOne;
  const bool hasRotate = m.b != 0 || m.c != 0;
  const unsigned scaleBits = hasScale ? std::max(signedBits(m.a), signedBits(m.d)) : 0;
  const unsigned rotateBits = hasRotate ? std::max(signedBits(m.b), signedBits(m.c)) : 0;
  const unsigned moveBits = std::max(signedBits(m.tx), signedBits(m.ty));
  if (scaleBits > 31 || rotateBits > 31 || moveBits > 31) {
    fail();
    return;
  }
  writeBits(hasScale, 1);
  if (hasScale) {
    writeBits(scaleBits, 5);
    writeSignedBits(m.a, scaleBits);
    writeSignedBits(m.d, scaleBits);
  }
  writeBits(hasRotate, 1);
  if (hasRotate) {
    writeBits(rotateBits, 5);
    writeSignedBits(m.b, rotateBits);
    writeSignedBits(m.c, rotateBits);
  }
  writeBits(moveBits, 5);
  writeSignedBits(m.tx, moveBits);
  writeSignedBits(m.ty, moveBits);
  flushBits();
}

void MovieWriter::writeFileHeader(uint8_t version, uint32_t fileLength) {
  static constexpr uint8_t kMagic[3] = {'X', 'V', 'Q'};
  writeBytes(kMagic, sizeof kMagic);
  writeU8(version);
  writeU32(fileLength);
}

bool MovieWriter::patchFileLength() {
  flushBits();
  return patchFileLength(static_cast<uint32_t>(total()));  // total() <= kMaxLength
}

bool MovieWriter::patchFileLength(uint32_t length) {
  if (!ok_) return false;
  // The header must not have been handed out yet.
  if (drained_ != 0 || length_ < 8) return fail();
  for (int i = 0; i < 4; ++i) buffer_[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  return true;
}

void MovieWriter::beginTag(uint16_t code, bool longForm) {
  if (!ok_) return;
  if (tagOpen_ || code > 0x3FF) {
    fail();
    return;
  }
  flushBits();
  const size_t headerBytes = longForm ? 6 : 2;
  if (!makeRoom(headerBytes)) return;
  tagStart_ = length_;
  std::memset(buffer_.get() + length_, 0, headerBytes);
  length_ += headerBytes;
  tagOpen_ = true;
  tagLong_ = longForm;
  tagCode_ = code;
}

bool MovieWriter::endTag() {
  if (!ok_) return false;
  if (!tagOpen_) return fail();
  flushBits();
  if (!ok_) return false;
  tagOpen_ = false;
  uint8_t* header = buffer_.get() + tagStart_;
  const size_t body = length_ - tagStart_ - (tagLong_ ? 6 : 2);
  if (!tagLong_) {
    if (body > kMaxShortTagLength) return fail();
    const uint16_t word = static_cast<uint16_t>(tagCode_ << 6 | body);
    header[0] = static_cast<uint8_t>(word);
    header[1] = static_cast<uint8_t>(word >> 8);
    return true;
  }
  const uint16_t word = static_cast<uint16_t>(tagCode_ << 6 | 0x3F);
  header[0] = static_cast<uint8_t>(word);
  header[1] = static_cast<uint8_t>(word >> 8);
  const uint32_t body32 = static_cast<uint32_t>(body);  // body < kMaxLength
  for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<uint8_t>(body32 >> (8 * i));
  return true;
}

void MovieWriter::writeEmptyTag(uint16_t code) {
  beginTag(code, false);
  (void)endTag();  // a failure stays in ok()
}

bool MovieWriter::drainTo(std::vector<uint8_t>& out) {
  if (!ok_) return false;
  if (tagOpen_) return fail();
  flushBits();
  if (!ok_) return false;
  if (length_ > 0) out.insert(out.end(), buffer_.get(), buffer_.get() + length_);
  drained_ += length_;
  length_ = 0;
  return true;
}

}  // namespace kivra
