#pragma once
// Minimal PNG files for screenshots: writes 8-bit RGB; reads 8-bit RGB or
// RGBA, non-interlaced (alpha is dropped). zlib does the compression.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

struct PngImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // rows top-down, 3 bytes a pixel
};

[[nodiscard]] bool writePng(const std::string& path, const PngImage& image);
[[nodiscard]] bool readPng(const std::string& path, PngImage& image);
// The same, on bytes in memory.
std::vector<uint8_t> encodePng(const PngImage& image);
[[nodiscard]] bool decodePng(const uint8_t* data, size_t size, PngImage& image);

}  // namespace kivra
