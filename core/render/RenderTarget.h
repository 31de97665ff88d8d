#pragma once
// The off-screen bitmap the renderer draws into and the host copies to the
// window. Its pixel format is one of PixelFormat; rows are padded to a
// multiple of 4 bytes and stored top-down, or bottom-up when `inverted`
// (row y then lives at height - 1 - y). The hosts use the default 32-bit
// format: premultiplied 0xAARRGGBB words, top-down, rows exactly width
// words long, so row(y) and pixels() address them directly.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/render/PixelFormat.h"

namespace kivra {

class RenderTarget {
 public:
  RenderTarget() = default;
  [[nodiscard]] bool resize(int width, int height) { return create(width, height, format_, inverted_); }
  [[nodiscard]] bool create(int width, int height, PixelFormat format, bool inverted = false);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  PixelFormat format() const { return format_; }
  bool inverted() const { return inverted_; }
  size_t rowBytes() const { return rowBytes_; }
  // Dithering of palette formats (on by default).
  void setDither(bool on) { dither_ = on; }
  bool dither() const { return dither_; }
  const Palette* palette() const { return palette_.get(); }

  uint8_t* rowData(int y) { return bytes_.data() + static_cast<size_t>(inverted_ ? height_ - 1 - y : y) * rowBytes_; }
  const uint8_t* rowData(int y) const {
    return bytes_.data() + static_cast<size_t>(inverted_ ? height_ - 1 - y : y) * rowBytes_;
  }
  // 32-bit formats only.
  uint32_t* row(int y) { return reinterpret_cast<uint32_t*>(rowData(y)); }
  const uint32_t* row(int y) const { return reinterpret_cast<const uint32_t*>(rowData(y)); }
  const uint32_t* pixels() const { return reinterpret_cast<const uint32_t*>(bytes_.data()); }
  const uint8_t* bits() const { return bytes_.data(); }

  // Fills every pixel with one colour (0xAARRGGBB, premultiplied).
  void fill(uint32_t argb);

  // Converts n expanded pixels into row y from column x (n <= 256).
  void writeChunk(int x, int y, int n, const ExpandedPixel* in);
  // Reads n pixels of row y from column x back as expanded pixels.
  void readChunk(int x, int y, int n, ExpandedPixel* out) const;
  // The expanded colour of one pixel (tests, hit probes).
  ExpandedPixel pixel(int x, int y) const {
    ExpandedPixel p;
    readChunk(x, y, 1, &p);
    return p;
  }

 private:
  uint8_t paletteIndex(ExpandedPixel p, int x, int y) const;

  int width_ = 0;
  int height_ = 0;
  size_t rowBytes_ = 0;
  PixelFormat format_ = PixelFormat::Bgra32;
  bool inverted_ = false;
  bool dither_ = true;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<Palette> palette_;
};

}  // namespace kivra
