#pragma once
// JPEG bitmap bodies (tags 6, 21 and 35) decoded with libjpeg into 32-bit
// B, G, R, A pixels.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/render/bitmap/BitmapImage.h"
#include "core/render/bitmap/JpegHeader.h"

namespace kivra {

// Frees memory (the pixels of unlocked bitmaps) before a failed decoder is
// tried once more.
struct ReleasePixelsHook {
  void (*release)(void* context) = nullptr;
  void* context = nullptr;

  void operator()() const {
    if (release) release(context);
  }
};

struct JpegSession;

// The movie's shared tables (tag 8) and the decoder that holds them. Only
// the first tag 8 counts; if its tables cannot be read there is no shared
// decoder and images that need it get no pixels.
class JpegTables {
 public:
  JpegTables();
  ~JpegTables();
  JpegTables(const JpegTables&) = delete;
  JpegTables& operator=(const JpegTables&) = delete;

  [[nodiscard]] bool load(const uint8_t* data, size_t length);
  bool loaded() const { return session_ != nullptr; }

  // Tag 6: an image without tables of its own.
  [[nodiscard]] bool decode(const uint8_t* data, size_t length, BitmapImage& out,
              const ReleasePixelsHook& hook = {});

 private:
  std::unique_ptr<JpegSession> session_;
  bool attempted_ = false;
};

// Reads the header as the decoder does (passing over a leading tables-only
// stream) and applies its limits: 1, 3 or 4 components and a bitmap it is
// willing to allocate. False when the decoder would refuse the image before
// decoding any of its rows.
[[nodiscard]] bool checkJpegHeader(const uint8_t* data, size_t length, JpegImageSize& out);

// Tag 21: a complete JPEG stream. False leaves `out` empty.
[[nodiscard]] bool decodeJpegBitmap(const uint8_t* data, size_t length, BitmapImage& out,
                      const ReleasePixelsHook& hook = {});

// Tag 35: u32 JPEG length, the JPEG stream, then zlib-compressed alpha bytes.
// Colours are clamped to the alpha so the pixels stay premultiplied.
[[nodiscard]] bool decodeJpegAlphaBitmap(const uint8_t* body, size_t length, BitmapImage& out,
                           const ReleasePixelsHook& hook = {});

}  // namespace kivra
