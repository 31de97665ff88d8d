#include "core/format/TagCursor.h"

#include <algorithm>
#include <cstring>

namespace kivra {

TagCursor::TagCursor(const uint8_t* base, int64_t available, int version)
    : base_(base), available_(available < 0 ? 0 : available), version_(version) {}

void TagCursor::reset(const uint8_t* base, int64_t available) {
  base_ = base;
  available_ = available < 0 ? 0 : available;
  pos_ = 0;
  readEnd_ = -1;
  bitsLeft_ = 0;
  overrun_ = false;
}

void TagCursor::setAvailable(int64_t available) { available_ = available < 0 ? 0 : available; }

void TagCursor::setPosition(int64_t pos) {
  pos_ = pos;
  bitsLeft_ = 0;
}

void TagCursor::setReadEnd(int64_t end) { readEnd_ = end; }

int64_t TagCursor::remaining() const {
  if (pos_ < 0) return 0;
  return std::max<int64_t>(0, limit() - pos_);
}

const uint8_t* TagCursor::current() const {
  if (pos_ < 0 || pos_ >= limit() || !base_) return nullptr;
  return base_ + pos_;
}

TagRead TagCursor::readTagHeader(TagHeader& out) {
  if (pos_ < 0 || (sizeLimit_ != kUnlimited && sizeLimit_ < pos_)) return TagRead::PastEnd;
  const int64_t start = pos_;
  bitsLeft_ = 0;
  if (available_ - start < 2) return TagRead::Incomplete;
  const uint16_t codeAndLength = static_cast<uint16_t>(base_[start] | (base_[start + 1] << 8));
  int64_t bodyStart = start + 2;
  uint32_t length = codeAndLength & 0x3F;
  const bool longForm = length == 0x3F;
  if (longForm) {
    if (available_ - bodyStart < 4) return TagRead::Incomplete;
    const uint8_t* p = base_ + bodyStart;
    length = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    bodyStart += 4;
  }
  const int64_t end = bodyStart + static_cast<int64_t>(length);
  // A tag that ends beyond the size limit can never arrive whole: the
  // movie is corrupt rather than incomplete.
  if (sizeLimit_ != kUnlimited && end > sizeLimit_) return TagRead::PastEnd;
  if (end > INT32_MAX) return TagRead::PastEnd;
  if (available_ < end) return TagRead::Incomplete;
  out.code = static_cast<uint16_t>(codeAndLength >> 6);
  out.length = length;
  out.start = start;
  out.bodyStart = bodyStart;
  out.end = end;
  out.longForm = longForm;
  pos_ = bodyStart;
  return TagRead::Tag;
}

uint8_t TagCursor::readU8() {
  bitsLeft_ = 0;  // bits after a byte field start on a fresh byte
  if (pos_ < 0 || pos_ >= limit()) {
    overrun_ = true;
    return 0;
  }
  return base_[pos_++];
}

uint16_t TagCursor::readU16() {
  const uint16_t lo = readU8();
  const uint16_t hi = readU8();
  return static_cast<uint16_t>(lo | (hi << 8));
}

uint32_t TagCursor::readU32() {
  const uint32_t lo = readU16();
  const uint32_t hi = readU16();
  return lo | (hi << 16);
}

float TagCursor::readFloat() {
  const uint32_t bits = readU32();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

double TagCursor::readDouble() {
  const uint64_t lo = readU32();
  const uint64_t hi = readU32();
  const uint64_t bits = lo | (hi << 32);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::string TagCursor::readString() {
  bitsLeft_ = 0;
  std::string s;
  const int64_t end = limit();
  if (pos_ < 0) {
    overrun_ = true;
    return s;
  }
  while (pos_ < end) {
    const uint8_t c = base_[pos_++];
    if (c == 0) return s;
    s.push_back(static_cast<char>(c));
  }
  overrun_ = true;
  return s;
}

void TagCursor::skip(int64_t n) {
  bitsLeft_ = 0;
  if (n <= 0) return;
  const int64_t end = limit();
  if (pos_ < 0 || end - pos_ < n) {
    overrun_ = true;
    pos_ = std::max(pos_, end);
    return;
  }
  pos_ += n;
}

// Field by field, byte by byte: reads past the limit give zeros and set the
// overrun flag (readU8).
uint32_t TagCursor::readUBSlow(unsigned n) {
  uint32_t value = 0;
  while (n > 0) {
    if (bitsLeft_ == 0) {
      bitBuffer_ = readU8();
      bitsLeft_ = 8;
    }
    const unsigned take = std::min(n, bitsLeft_);
    const unsigned shift = bitsLeft_ - take;
    const uint32_t bits = (bitBuffer_ >> shift) & ((1u << take) - 1u);
    value = (value << take) | bits;
    bitsLeft_ -= take;
    n -= take;
  }
  return value;
}

RECT TagCursor::readRect() {
  alignToByte();
  RECT r;
  const unsigned n = readUB(5);
  r.xmin = readSB(n);
  r.xmax = readSB(n);
  r.ymin = readSB(n);
  r.ymax = readSB(n);
  alignToByte();
  return r;
}

MATRIX TagCursor::readMatrix() {
  alignToByte();
  MATRIX m;
  if (readBit()) {
    const unsigned n = readUB(5);
    m.a = readSB(n);
    m.d = readSB(n);
  }
  if (readBit()) {
    const unsigned n = readUB(5);
    m.b = readSB(n);
    m.c = readSB(n);
  }
  const unsigned n = readUB(5);
  m.tx = readSB(n);
  m.ty = readSB(n);
  alignToByte();
  return m;
}

CXFORM TagCursor::readCxform(bool withAlpha) {
  alignToByte();
  CXFORM cx;
  const bool hasAdd = readBit();
  const bool hasMult = readBit();
  const unsigned n = readUB(4);
  if (hasMult) {
    cx.flags |= CXFORM::kHasMultipliers;
    cx.rMul = static_cast<Fixed8>(readSB(n));
    cx.gMul = static_cast<Fixed8>(readSB(n));
    cx.bMul = static_cast<Fixed8>(readSB(n));
    if (withAlpha) cx.aMul = static_cast<Fixed8>(readSB(n));
  }
  if (hasAdd) {
    cx.flags |= CXFORM::kHasAddends;
    cx.rAdd = static_cast<int16_t>(readSB(n));
    cx.gAdd = static_cast<int16_t>(readSB(n));
    cx.bAdd = static_cast<int16_t>(readSB(n));
    if (withAlpha) cx.aAdd = static_cast<int16_t>(readSB(n));
  }
  alignToByte();
  return cx;
}

Rgba TagCursor::readRgb() {
  Rgba c;
  c.r = readU8();
  c.g = readU8();
  c.b = readU8();
  c.a = 255;
  return c;
}

Rgba TagCursor::readRgba() {
  Rgba c;
  c.r = readU8();
  c.g = readU8();
  c.b = readU8();
  c.a = readU8();
  return c;
}

}  // namespace kivra
