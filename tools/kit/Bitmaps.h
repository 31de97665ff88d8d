#pragma once
// Bitmap characters for movies: an RGBA image type, PNG and JPEG files read
// into it, and the bodies of the bitmap tags (JPEG tables, JPEG images with
// and without tables, JPEG with an alpha plane, lossless with and without
// alpha). Failures are returned with a reason; nothing throws.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra::kit {

// Straight (not premultiplied) R, G, B, A bytes, rows top to bottom.
struct RgbaImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;

  RgbaImage() = default;
  RgbaImage(uint32_t w, uint32_t h) : width(w), height(h), pixels(size_t{w} * h * 4, 0) {}
  bool empty() const { return width == 0 || height == 0; }
  uint8_t* at(uint32_t x, uint32_t y) { return pixels.data() + (size_t{y} * width + x) * 4; }
  const uint8_t* at(uint32_t x, uint32_t y) const { return pixels.data() + (size_t{y} * width + x) * 4; }
  bool opaque() const;
};

bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error);
bool isJpegData(const std::vector<uint8_t>& bytes);
bool isPngData(const std::vector<uint8_t>& bytes);

// PNG or JPEG bytes, told apart by their signature.
bool decodeImage(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error);
bool decodePng(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error);
bool decodeJpeg(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error);
bool readImageFile(const std::string& path, RgbaImage& out, std::string& error);
bool encodePng(const RgbaImage& image, std::vector<uint8_t>& out, std::string& error);
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

constexpr int kDefaultJpegQuality = 85;

// A complete JPEG stream of the image's colours (alpha is ignored).
bool encodeJpeg(const RgbaImage& image, int quality, std::vector<uint8_t>& out, std::string& error);
// libjpeg's standard quantisation tables scaled to `quality` and its standard
// Huffman tables, as a tables-only stream: the body of tag 8.
bool jpegTablesData(int quality, std::vector<uint8_t>& out, std::string& error);
// An image stream without tables, to be decoded with jpegTablesData(quality).
bool encodeJpegWithoutTables(const RgbaImage& image, int quality, std::vector<uint8_t>& out, std::string& error);

// Lossless formats as the movie numbers them.
enum LosslessFormat : int { kLosslessIndex8 = 3, kLosslessRgb555 = 4, kLosslessArgb32 = 5 };

// The fields of a lossless body after the id; `zlib` is the compressed
// palette and rows as they are stored.
struct LosslessData {
  uint8_t format = kLosslessArgb32;
  uint16_t width = 0;
  uint16_t height = 0;
  uint16_t colors = 0;  // palette entries, 1..256; written for formats up to 3
  std::vector<uint8_t> zlib;
};

// Encodes an image for tag 20 (`withAlpha` false: alpha dropped, palette
// entries R, G, B) or tag 36 (palette entries R, G, B, A; colours
// premultiplied, since the player takes them as they are). Format 4 has no
// alpha channel, so tag 36 keeps only the colours there. Rows are padded to
// 32 bits. Format 3 fails when the image has more than 256 colours.
bool encodeLossless(const RgbaImage& image, int format, bool withAlpha, LosslessData& out, std::string& error);

// Tag bodies.
std::vector<uint8_t> losslessBody(uint16_t id, const LosslessData& d);
std::vector<uint8_t> jpegBody(uint16_t id, const std::vector<uint8_t>& jpeg);  // tags 6 and 21
// Tag 35: u32 JPEG length, the JPEG stream, the zlib alpha plane.
std::vector<uint8_t> jpegAlphaBody(uint16_t id, const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& alpha);
// The JPEG stream and zlib alpha plane of tag 35. The JPEG carries the
// premultiplied colours, which the player's clamp to alpha leaves as they are.
bool encodeJpegAlpha(const RgbaImage& image, int quality, std::vector<uint8_t>& jpeg, std::vector<uint8_t>& alpha,
                     std::string& error);

// zlib at the best compression, so the kit writes the same bytes every time.
std::vector<uint8_t> deflateBytes(const uint8_t* data, size_t size);

}  // namespace kivra::kit
