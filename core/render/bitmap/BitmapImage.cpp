#include "core/render/bitmap/BitmapImage.h"

#include <cstring>
#include <new>

namespace kivra {

uint32_t BitmapImage::rowBytesFor(int format, uint32_t width) {
  const uint64_t w = width;
  uint64_t bytes = 0;
  switch (format) {
    case kBitmapIndex1: bytes = ((w + 31) >> 3) & ~uint64_t{3}; break;
    case kBitmapIndex2: bytes = ((w + 15) >> 2) & ~uint64_t{3}; break;
    case kBitmapIndex4: bytes = ((w + 7) >> 1) & ~uint64_t{3}; break;
    case kBitmapIndex8: bytes = (w + 3) & ~uint64_t{3}; break;
    case kBitmapRgb555: bytes = (2 * w + 3) & ~uint64_t{3}; break;
    case kBitmapBgra32: bytes = 4 * w; break;
    default: return 0;
  }
  return bytes > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes);
}

uint64_t BitmapImage::bytesNeeded(int format, uint32_t width, uint32_t height) {
  if (width == 0 || height == 0) return 0;
  return uint64_t{rowBytesFor(format, width)} * height;
}

bool BitmapImage::create(int format, uint32_t width, uint32_t height) {
  clear();
  const uint64_t bytes = bytesNeeded(format, width, height);
  if (bytes == 0 || bytes > maxBytes_) return false;
  bits_.reset(new (std::nothrow) uint8_t[bytes]);
  if (!bits_) return false;
  if (format <= kBitmapIndex8) {
    palette_.reset(new (std::nothrow) uint8_t[kPaletteEntries * 4]);
    if (!palette_) {
      bits_.reset();
      return false;
    }
    std::memset(palette_.get(), 0, kPaletteEntries * 4);
  }
  format_ = format;
  width_ = width;
  height_ = height;
  rowBytes_ = rowBytesFor(format, width);
  return true;
}

void BitmapImage::clear() {
  bits_.reset();
  palette_.reset();
  paletteCount_ = 0;
  width_ = height_ = rowBytes_ = 0;
}

bool BitmapImage::release() {
  if (lockCount_ > 0) return false;
  clear();
  return true;
}

uint8_t* BitmapImage::lock() {
  ++lockCount_;
  return bits_.get();
}

void BitmapImage::unlock() {
  if (lockCount_ > 0) --lockCount_;
}

BitmapPixels BitmapImage::pixels() const {
  BitmapPixels p;
  if (!bits_) return p;
  p.format = format_;
  p.width = static_cast<int>(width_);
  p.height = static_cast<int>(height_);
  p.rowBytes = rowBytes_;
  p.bits = bits_.get();
  p.palette = palette_.get();
  p.hasAlpha = transparent_;
  return p;
}

void BitmapImage::setPaletteCount(uint32_t count) {
  if (!palette_) return;
  paletteCount_ = count > kPaletteEntries ? kPaletteEntries : count;
}

void BitmapImage::setPaletteEntry(uint32_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (!palette_ || index >= kPaletteEntries) return;
  uint8_t* entry = palette_.get() + index * 4;
  entry[0] = b;
  entry[1] = g;
  entry[2] = r;
  entry[3] = a;
}

}  // namespace kivra
