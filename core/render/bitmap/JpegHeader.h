#pragma once
// What a JPEG stream's header says, found without decoding its pixels: the
// image size by a walk over the markers, and whether the bitmap decoder
// (JpegDecoder.h) would start on the image at all.
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

// Reads the header with libjpeg as the bitmap decoder does (passing over a
// leading tables-only stream) and applies the decoder's own limits: 1, 3 or
// 4 components and a bitmap the decoder is willing to allocate. False when
// the decoder would refuse the image before decoding any of its rows.
[[nodiscard]] bool checkJpegHeader(const uint8_t* data, size_t length, JpegImageSize& out);

}  // namespace kivra
