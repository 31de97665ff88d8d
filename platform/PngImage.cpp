#include "platform/PngImage.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kivra {

namespace {
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

uint32_t getBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t n) {
  putBe32(out, static_cast<uint32_t>(n));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (n) out.insert(out.end(), data, data + n);
  const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(n + 4));
  putBe32(out, static_cast<uint32_t>(crc));
}

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}
}  // namespace

std::vector<uint8_t> encodePng(const PngImage& image) {
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3)
    return {};
  std::vector<uint8_t> ihdr;
  putBe32(ihdr, static_cast<uint32_t>(image.width));
  putBe32(ihdr, static_cast<uint32_t>(image.height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  putChunk(out, "IHDR", ihdr.data(), ihdr.size());

  const size_t rowBytes = static_cast<size_t>(image.width) * 3;
  std::vector<uint8_t> raw;
  raw.reserve((rowBytes + 1) * image.height);
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);  // filter: none
    const uint8_t* row = image.rgb.data() + rowBytes * y;
    raw.insert(raw.end(), row, row + rowBytes);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
    return {};
  putChunk(out, "IDAT", packed.data(), packedSize);
  putChunk(out, "IEND", nullptr, 0);
  return out;
}

bool writePng(const std::string& path, const PngImage& image) {
  const std::vector<uint8_t> bytes = encodePng(image);
  if (bytes.empty()) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool decodePng(const uint8_t* data, size_t size, PngImage& image) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return false;
  size_t pos = 8;
  uint32_t width = 0, height = 0;
  int channels = 0;
  std::vector<uint8_t> packed;
  bool sawHeader = false;
  while (pos + 12 <= size) {
    const uint32_t n = getBe32(data + pos);
    const uint8_t* type = data + pos + 4;
    if (n > size - pos - 12) return false;
    const uint8_t* body = data + pos + 8;
    if (!std::memcmp(type, "IHDR", 4)) {
      if (n < 13) return false;
      width = getBe32(body);
      height = getBe32(body + 4);
      const uint8_t depth = body[8], colour = body[9], interlace = body[12];
      if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) return false;
      channels = colour == 2 ? 3 : 4;
      if (width == 0 || height == 0 || width > 32000 || height > 32000) return false;
      sawHeader = true;
    } else if (!std::memcmp(type, "IDAT", 4)) {
      packed.insert(packed.end(), body, body + n);
    } else if (!std::memcmp(type, "IEND", 4)) {
      break;
    }
    pos += 12 + static_cast<size_t>(n);
  }
  if (!sawHeader) return false;
  const size_t stride = static_cast<size_t>(width) * channels;
  std::vector<uint8_t> raw((stride + 1) * height);
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawSize, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
      rawSize != raw.size())
    return false;
  std::vector<uint8_t> prev(stride, 0), cur(stride);
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = raw.data() + y * (stride + 1);
    const uint8_t filter = in[0];
    ++in;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<size_t>(channels) ? cur[i - channels] : 0;
      const int b = prev[i];
      const int c = i >= static_cast<size_t>(channels) ? prev[i - channels] : 0;
      int v = in[i];
      switch (filter) {
        case 0: break;
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += paeth(a, b, c); break;
        default: return false;
      }
      cur[i] = static_cast<uint8_t>(v);
    }
    uint8_t* out = image.rgb.data() + static_cast<size_t>(y) * width * 3;
    for (uint32_t x = 0; x < width; ++x)
      std::memcpy(out + x * 3, cur.data() + static_cast<size_t>(x) * channels, 3);
    prev.swap(cur);
  }
  return true;
}

bool readPng(const std::string& path, PngImage& image) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return decodePng(bytes.data(), bytes.size(), image);
}

}  // namespace kivra
