#pragma once
// JPEG files for the tests, made by libjpeg's compressor from a synthetic
// gradient.
#include <cstdint>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace kivra::test {

// A gradient image compressed at a low quality (fast even when large).
inline std::vector<uint8_t> makeJpeg(int width, int height, int components) {
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 10, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * components);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < components; ++k)
        row[static_cast<size_t>(x) * components + k] = static_cast<JSAMPLE>((x + c.next_scanline * (k + 1)) & 0xFF);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> jpeg(out, out + size);
  std::free(out);
  jpeg_destroy_compress(&c);
  return jpeg;
}

}  // namespace kivra::test
