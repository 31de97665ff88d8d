#pragma once
// The bitmap characters of one movie: decoded the first time a fill uses
// them, released under memory pressure while no build holds them, and
// decoded again on next use. Also keeps the movie's shared JPEG tables.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/render/FillStyle.h"
#include "core/render/bitmap/JpegDecoder.h"

namespace kivra {

class Dictionary;
struct Character;

class MovieBitmaps : public BitmapSource {
 public:
  explicit MovieBitmaps(Dictionary& dictionary) : dictionary_(dictionary) {}

  // The first tables the movie carries (later ones are ignored).
  void setJpegTables(const uint8_t* data, size_t length);

  // Decodes on first use; an image that cannot be decoded stays empty and
  // its fills paint their fallback colour.
  std::shared_ptr<BitmapImage> bitmap(uint16_t characterId) override;
  // Frees the pixels of every bitmap nothing holds locked; returns the
  // bytes freed.
  size_t releaseUnlocked();

 private:
  bool decode(const Character& c, BitmapImage& out);

  Dictionary& dictionary_;
  const uint8_t* tablesData_ = nullptr;
  size_t tablesLength_ = 0;
  JpegTables tables_;
};

}  // namespace kivra
