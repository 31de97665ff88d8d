#pragma once
// Lossless bitmap bodies (tags 20 and 36, after the character id): format,
// size, an optional palette and zlib-compressed rows.
#include <cstddef>
#include <cstdint>

#include "core/format/Inflater.h"
#include "core/render/bitmap/BitmapImage.h"

namespace kivra {

// Decodes into `out` (which must not be locked). Returns false, leaving the
// image empty, when the header is cut short, the format is unknown or the
// pixels cannot be allocated. A stream that ends early still gives a bitmap:
// the rows it did not reach are cleared.
[[nodiscard]] bool decodeLosslessBitmap(uint16_t tagCode, const uint8_t* body, size_t length, BitmapImage& out);

// Inflates up to `room` bytes from `in` (advanced past what was used);
// returns how many came before the stream ended or failed.
size_t inflateBitmapBytes(Inflater& inflater, const uint8_t*& in, size_t& inCount, uint8_t* out,
                          size_t room);

}  // namespace kivra
