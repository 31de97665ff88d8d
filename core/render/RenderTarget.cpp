#include "core/render/RenderTarget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kivra {

bool RenderTarget::create(int width, int height, PixelFormat format, bool inverted) {
  if (width < 0 || height < 0 || width > 32000 || height > 32000) return false;
  width_ = width;
  height_ = height;
  format_ = format;
  inverted_ = inverted;
  rowBytes_ = ((static_cast<size_t>(width) * bitsPerPixel(format) + 31) / 32) * 4;
  bytes_.assign(rowBytes_ * static_cast<size_t>(height), 0);
  if (isPaletteFormat(format)) {
    if (!palette_) palette_ = std::make_unique<Palette>();
    palette_->build(format);
  } else {
    palette_.reset();
  }
  fill(0xFFFFFFFFu);
  return true;
}

void RenderTarget::fill(uint32_t argb) {
  if (empty()) return;
  if (format_ == PixelFormat::Bgra32 || format_ == PixelFormat::Bgra32Alt) {
    for (int y = 0; y < height_; ++y) std::fill_n(row(y), width_, argb);
    return;
  }
  ExpandedPixel chunk[256];
  const ExpandedPixel p = unpackArgb(argb);
  std::fill_n(chunk, 256, p);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; x += 256) writeChunk(x, y, std::min(256, width_ - x), chunk);
}

uint8_t RenderTarget::paletteIndex(ExpandedPixel p, int x, int y) const {
  const int b = static_cast<int>(p & 0xFF), g = static_cast<int>((p >> 16) & 0xFF), r = static_cast<int>((p >> 32) & 0xFF);
  if (format_ == PixelFormat::Mono1) {
    const int level = (r + g + b + 3) / 48;  // 0..16
    if (!dither_) return level >= 8 ? 1 : 0;
    return level > ditherThreshold(x, y) ? 1 : 0;
  }
  const Palette& pal = *palette_;
  const uint8_t first = pal.nearest(r, g, b);
  if (!dither_) return first;
  const uint32_t e = pal.entry[first];
  const int dr = static_cast<int>((e >> 16) & 0xFF) - r, dg = static_cast<int>((e >> 8) & 0xFF) - g,
            db = static_cast<int>(e & 0xFF) - b;
  const int e1 = std::abs(dr) + std::abs(dg) + std::abs(db);
  if (e1 < 8) return first;
  // The colour reflected past the first entry's error picks the second.
  const int rr = std::clamp(r - dr, 0, 255), rg = std::clamp(g - dg, 0, 255), rb = std::clamp(b - db, 0, 255);
  const uint8_t second = pal.nearest(rr, rg, rb);
  if (second == first) return first;
  const uint32_t e2v = pal.entry[second];
  const int e2 = std::abs(static_cast<int>((e2v >> 16) & 0xFF) - r) + std::abs(static_cast<int>((e2v >> 8) & 0xFF) - g) +
                 std::abs(static_cast<int>(e2v & 0xFF) - b);
  const int pattern = std::min(15, 16 * e1 / (e1 + e2));
  return ditherThreshold(x, y) < pattern ? second : first;
}

void RenderTarget::writeChunk(int x, int y, int n, const ExpandedPixel* in) {
  if (y < 0 || y >= height_ || x < 0 || n <= 0) return;
  n = std::min(n, width_ - x);
  uint8_t* row = rowData(y);
  switch (format_) {
    case PixelFormat::Bgra32:
    case PixelFormat::Bgra32Alt: {
      uint32_t* p = reinterpret_cast<uint32_t*>(row) + x;
      for (int i = 0; i < n; ++i) p[i] = packArgb(in[i]);
      break;
    }
    case PixelFormat::Bgr24: {
      uint8_t* p = row + static_cast<size_t>(x) * 3;
      for (int i = 0; i < n; ++i, p += 3) {
        p[0] = static_cast<uint8_t>(in[i]);
        p[1] = static_cast<uint8_t>(in[i] >> 16);
        p[2] = static_cast<uint8_t>(in[i] >> 32);
      }
      break;
    }
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: {
      uint16_t* p = reinterpret_cast<uint16_t*>(row) + x;
      const bool six = format_ == PixelFormat::Rgb565;
      for (int i = 0; i < n; ++i) {
        const uint32_t b = in[i] & 0xFF, g = (in[i] >> 16) & 0xFF, r = (in[i] >> 32) & 0xFF;
        p[i] = six ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                   : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
      }
      break;
    }
    default: {
      const int bits = bitsPerPixel(format_);
      const int perByte = 8 / bits;
      const uint8_t mask = static_cast<uint8_t>((1 << bits) - 1);
      for (int i = 0; i < n; ++i) {
        const int px = x + i;
        const uint8_t idx = paletteIndex(in[i], px, y);
        uint8_t& byte = row[px / perByte];
        const int shift = (perByte - 1 - px % perByte) * bits;  // leftmost pixel in the high bits
        byte = static_cast<uint8_t>((byte & ~(mask << shift)) | ((idx & mask) << shift));
      }
      break;
    }
  }
}

void RenderTarget::readChunk(int x, int y, int n, ExpandedPixel* out) const {
  if (y < 0 || y >= height_ || x < 0 || n <= 0) return;
  n = std::min(n, width_ - x);
  const uint8_t* row = rowData(y);
  switch (format_) {
    case PixelFormat::Bgra32:
    case PixelFormat::Bgra32Alt: {
      const uint32_t* p = reinterpret_cast<const uint32_t*>(row) + x;
      for (int i = 0; i < n; ++i) out[i] = unpackArgb(p[i]);
      break;
    }
    case PixelFormat::Bgr24: {
      const uint8_t* p = row + static_cast<size_t>(x) * 3;
      for (int i = 0; i < n; ++i, p += 3) out[i] = expand(p[0], p[1], p[2], 255);
      break;
    }
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: {
      const uint16_t* p = reinterpret_cast<const uint16_t*>(row) + x;
      const bool six = format_ == PixelFormat::Rgb565;
      for (int i = 0; i < n; ++i) {
        const uint32_t v = p[i];
        const uint32_t r5 = six ? v >> 11 : (v >> 10) & 31;
        const uint32_t g = six ? (v >> 5) & 63 : (v >> 5) & 31;
        const uint32_t b5 = v & 31;
        const uint32_t g8 = six ? (g << 2 | g >> 4) : (g << 3 | g >> 2);
        out[i] = expand(static_cast<uint8_t>(b5 << 3 | b5 >> 2), static_cast<uint8_t>(g8),
                        static_cast<uint8_t>(r5 << 3 | r5 >> 2), 255);
      }
      break;
    }
    default: {
      const int bits = bitsPerPixel(format_);
      const int perByte = 8 / bits;
      const uint8_t mask = static_cast<uint8_t>((1 << bits) - 1);
      for (int i = 0; i < n; ++i) {
        const int px = x + i;
        const int shift = (perByte - 1 - px % perByte) * bits;
        const uint8_t idx = static_cast<uint8_t>((row[px / perByte] >> shift) & mask);
        out[i] = unpackArgb(palette_->entry[idx]);
      }
      break;
    }
  }
}

}  // namespace kivra
