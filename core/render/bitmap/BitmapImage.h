#pragma once
// A decoded bitmap: pixel rows in one of the internal formats, an optional
// palette and a lock count. Pixels may be released while nobody holds a lock
// and are decoded again on next use.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace kivra {

// Internal pixel formats, as numbered in the movie.
enum BitmapFormat : int {
  kBitmapIndex1 = 0,   // 1-bit palette index, most significant bit first
  kBitmapIndex2 = 1,   // 2-bit index, most significant pair first
  kBitmapIndex4 = 2,   // 4-bit index, high nibble first
  kBitmapIndex8 = 3,   // 8-bit index
  kBitmapRgb555 = 4,   // 16-bit little endian 0RRRRRGGGGGBBBBB
  kBitmapBgra32 = 5,   // B, G, R, A bytes, premultiplied
};

// What the samplers read: a view of decoded pixels. Indexed formats read
// their colours from a palette of 256 B, G, R, A entries.
struct BitmapPixels {
  int format = kBitmapBgra32;
  int width = 0;
  int height = 0;
  uint32_t rowBytes = 0;
  const uint8_t* bits = nullptr;
  const uint8_t* palette = nullptr;
  bool hasAlpha = false;  // the transparency flag: the pixels may be translucent

  bool empty() const { return !bits || width <= 0 || height <= 0; }
};

class BitmapImage {
 public:
  // Larger images are refused outright rather than allocated.
  static constexpr uint64_t kMaxBytes = uint64_t{256} << 20;
  static constexpr int kPaletteEntries = 256;

  BitmapImage() = default;
  BitmapImage(const BitmapImage&) = delete;
  BitmapImage& operator=(const BitmapImage&) = delete;

  // Row bytes of a format at a width; 0 for an unknown format.
  static uint32_t rowBytesFor(int format, uint32_t width);
  // Bytes the pixel rows need; 0 for an unknown format or an empty size.
  static uint64_t bytesNeeded(int format, uint32_t width, uint32_t height);

  // Allocates uninitialised rows (the decoder fills them) and, for indexed
  // formats, a cleared palette. Fails, leaving the image empty, for an
  // unknown format, a zero size, a size over the cap or when memory runs
  // out. Replaces any pixels held, so the image must not be locked.
  [[nodiscard]] bool create(int format, uint32_t width, uint32_t height);
  // Frees bits and palette unless locked; returns whether it did.
  bool release();
  // A lower cap for this image (tests and fuzzing keep allocations small).
  void setMaxBytes(uint64_t maxBytes) { maxBytes_ = maxBytes < kMaxBytes ? maxBytes : kMaxBytes; }
  uint64_t maxBytes() const { return maxBytes_; }
  bool empty() const { return !bits_; }

  uint8_t* lock();
  void unlock();
  int lockCount() const { return lockCount_; }

  uint8_t* bits() { return bits_.get(); }
  const uint8_t* bits() const { return bits_.get(); }
  uint8_t* row(uint32_t y) { return bits_.get() + size_t{y} * rowBytes_; }
  const uint8_t* row(uint32_t y) const { return bits_.get() + size_t{y} * rowBytes_; }
  int format() const { return format_; }
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t rowBytes() const { return rowBytes_; }
  size_t byteCount() const { return size_t{rowBytes_} * height_; }

  // Palette entries are B, G, R, A; room for 256 is kept.
  uint32_t paletteCount() const { return paletteCount_; }
  const uint8_t* palette() const { return palette_.get(); }
  void setPaletteCount(uint32_t count);
  void setPaletteEntry(uint32_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

  // A view for the samplers; empty while the pixels are not decoded.
  BitmapPixels pixels() const;

  bool transparent() const { return transparent_; }
  void setTransparent(bool transparent) { transparent_ = transparent; }

 private:
  void clear();

  std::unique_ptr<uint8_t[]> bits_;
  std::unique_ptr<uint8_t[]> palette_;
  uint32_t paletteCount_ = 0;
  int format_ = kBitmapBgra32;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t rowBytes_ = 0;
  uint64_t maxBytes_ = kMaxBytes;
  int lockCount_ = 0;
  bool transparent_ = false;
};

// Holds an image locked (its pixels cannot be released) for as long as it
// lives; shares ownership so the image outlives the lock.
class BitmapLock {
 public:
  explicit BitmapLock(std::shared_ptr<BitmapImage> image) : image_(std::move(image)) {
    if (image_) image_->lock();
  }
  ~BitmapLock() {
    if (image_) image_->unlock();
  }
  BitmapLock(BitmapLock&& other) noexcept : image_(std::move(other.image_)) {}
  BitmapLock& operator=(BitmapLock&& other) noexcept {
    if (this != &other) {
      if (image_) image_->unlock();
      image_ = std::move(other.image_);
    }
    return *this;
  }
  BitmapLock(const BitmapLock&) = delete;
  BitmapLock& operator=(const BitmapLock&) = delete;

  const BitmapImage* image() const { return image_.get(); }

 private:
  std::shared_ptr<BitmapImage> image_;
};

}  // namespace kivra
