#pragma once
// The image size a JPEG stream's header gives, found by a walk over its
// markers without the decoder (JpegDecoder.h's checkJpegHeader asks the
// decoder itself).
#include <cstddef>
#include <cstdint>

namespace kivra {

struct JpegImageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// Walks the markers from the start of image to the first start-of-frame
// marker and reads its size. False when the data does not begin with a start
// of image, when a scan starts or the data ends before any frame marker, or
// when the frame has no width or no height. A tables-only stream before the
// image (start of image, tables, end of image) is walked through.
[[nodiscard]] bool findJpegImageSize(const uint8_t* data, size_t length, JpegImageSize& out);

}  // namespace kivra
