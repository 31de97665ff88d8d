#include "tools/kit/Bitmaps.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "tools/kit/ByteWriter.h"

namespace kivra::kit {

namespace {

uint8_t premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }

// 8-bit channel to the nearest 5-bit level.
uint16_t to5(uint8_t c) { return static_cast<uint16_t>((c * 31 + 127) / 255); }

RgbaImage premultiplied(const RgbaImage& image) {
  RgbaImage out = image;
  for (size_t i = 0; i + 3 < out.pixels.size(); i += 4)
    for (int c = 0; c < 3; ++c) out.pixels[i + c] = premultiply(out.pixels[i + c], out.pixels[i + 3]);
  return out;
}

// --- libjpeg -----------------------------------------------------------------
// libjpeg reports errors by a jump out of its calls, so the frames below that
// call it hold only plain C data: nothing with a destructor is skipped.

struct JpegError {
  jpeg_error_mgr manager;  // first member: libjpeg's err pointer is this struct
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
  JpegError* e = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}
void jpegQuiet(j_common_ptr, int) {}

void initJpegError(JpegError& e) {
  jpeg_std_error(&e.manager);
  e.manager.error_exit = jpegErrorExit;
  e.manager.emit_message = jpegQuiet;
  e.message[0] = '\0';
}

// Appends the compressed bytes to a vector.
struct VectorDestination {
  jpeg_destination_mgr manager;  // first member, as above
  std::vector<uint8_t>* out;
  JOCTET buffer[4096];
};

void destinationInit(j_compress_ptr cinfo) {
  VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->manager.next_output_byte = d->buffer;
  d->manager.free_in_buffer = sizeof d->buffer;
}

boolean destinationEmpty(j_compress_ptr cinfo) {
  VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->insert(d->out->end(), d->buffer, d->buffer + sizeof d->buffer);
  destinationInit(cinfo);
  return TRUE;
}

void destinationTerm(j_compress_ptr cinfo) {
  VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->insert(d->out->end(), d->buffer, d->buffer + (sizeof d->buffer - d->manager.free_in_buffer));
}

enum class JpegMode { Complete, TablesOnly, WithoutTables };

struct JpegEncoder {
  jpeg_compress_struct cinfo;
  JpegError error;
  VectorDestination destination;
};

// The frame libjpeg may jump back to.
bool runEncoder(JpegEncoder* e, const RgbaImage* image, int quality, JpegMode mode) {
  if (setjmp(e->error.jump)) return false;
  jpeg_compress_struct& cinfo = e->cinfo;
  jpeg_create_compress(&cinfo);
  e->destination.manager.init_destination = destinationInit;
  e->destination.manager.empty_output_buffer = destinationEmpty;
  e->destination.manager.term_destination = destinationTerm;
  cinfo.dest = &e->destination.manager;
  cinfo.image_width = image ? image->width : 1;
  cinfo.image_height = image ? image->height : 1;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (mode == JpegMode::TablesOnly) {
    jpeg_write_tables(&cinfo);
    return true;
  }
  if (mode == JpegMode::WithoutTables) {
    // The tables come from the movie's shared table tag.
    jpeg_suppress_tables(&cinfo, TRUE);
    cinfo.write_JFIF_header = FALSE;
  }
  jpeg_start_compress(&cinfo, mode == JpegMode::Complete ? TRUE : FALSE);
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              image->width * 3, 1);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* in = image->at(0, cinfo.next_scanline);
    for (uint32_t x = 0; x < image->width; ++x) {
      row[0][x * 3] = in[x * 4];
      row[0][x * 3 + 1] = in[x * 4 + 1];
      row[0][x * 3 + 2] = in[x * 4 + 2];
    }
    jpeg_write_scanlines(&cinfo, row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

bool encode(const RgbaImage* image, int quality, JpegMode mode, std::vector<uint8_t>& out, std::string& error) {
  out.clear();
  if (quality < 0 || quality > 100) {
    error = "JPEG quality " + std::to_string(quality) + " is outside 0..100";
    return false;
  }
  if (image && (image->empty() || image->width > 0xFFFF || image->height > 0xFFFF)) {
    error = "a JPEG image must be 1..65535 pixels wide and high";
    return false;
  }
  JpegEncoder e;
  std::memset(&e, 0, sizeof e);
  initJpegError(e.error);
  e.cinfo.err = &e.error.manager;
  e.destination.out = &out;
  const bool ok = runEncoder(&e, image, quality, mode);
  jpeg_destroy_compress(&e.cinfo);
  if (!ok) error = std::string("JPEG encoder: ") + e.error.message;
  return ok;
}

struct JpegDecoder {
  jpeg_decompress_struct cinfo;
  JpegError error;
};

bool runDecoder(JpegDecoder* d, const std::vector<uint8_t>* bytes, RgbaImage* out) {
  if (setjmp(d->error.jump)) return false;
  jpeg_decompress_struct& cinfo = d->cinfo;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes->data(), static_cast<unsigned long>(bytes->size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    std::snprintf(d->error.message, sizeof d->error.message, "no image in the stream");
    return false;
  }
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    std::snprintf(d->error.message, sizeof d->error.message, "CMYK images are not supported");
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = cinfo.output_width;
  out->height = cinfo.output_height;
  out->pixels.assign(size_t{out->width} * out->height * 4, 255);
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              cinfo.output_width * 3, 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    uint8_t* dst = out->at(0, cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, row, 1);
    for (uint32_t x = 0; x < out->width; ++x) {
      dst[x * 4] = row[0][x * 3];
      dst[x * 4 + 1] = row[0][x * 3 + 1];
      dst[x * 4 + 2] = row[0][x * 3 + 2];
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

bool RgbaImage::opaque() const {
  for (size_t i = 3; i < pixels.size(); i += 4)
    if (pixels[i] != 255) return false;
  return true;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read '" + path + "'";
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    error = "cannot write '" + path + "'";
    return false;
  }
  return true;
}

bool isJpegData(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

bool isPngData(const std::vector<uint8_t>& bytes) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

bool decodePng(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    error = std::string("PNG: ") + image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    error = std::string("PNG: ") + image.message;
    png_image_free(&image);
    return false;
  }
  out.width = image.width;
  out.height = image.height;
  out.pixels = std::move(pixels);
  return true;
}

bool decodeJpeg(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error) {
  JpegDecoder d;
  std::memset(&d, 0, sizeof d);
  initJpegError(d.error);
  d.cinfo.err = &d.error.manager;
  const bool ok = runDecoder(&d, &bytes, &out);
  jpeg_destroy_decompress(&d.cinfo);
  if (!ok) {
    error = std::string("JPEG: ") + d.error.message;
    out = RgbaImage();
  }
  return ok;
}

bool decodeImage(const std::vector<uint8_t>& bytes, RgbaImage& out, std::string& error) {
  if (isPngData(bytes)) return decodePng(bytes, out, error);
  if (isJpegData(bytes)) return decodeJpeg(bytes, out, error);
  error = "neither a PNG nor a JPEG image";
  return false;
}

bool readImageFile(const std::string& path, RgbaImage& out, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, bytes, error)) return false;
  if (!decodeImage(bytes, out, error)) {
    error = "'" + path + "': " + error;
    return false;
  }
  return true;
}

bool encodePng(const RgbaImage& image, std::vector<uint8_t>& out, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr)) {
    error = std::string("PNG: ") + png.message;
    return false;
  }
  out.resize(size);
  if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), 0, nullptr)) {
    error = std::string("PNG: ") + png.message;
    return false;
  }
  out.resize(size);
  return true;
}

bool encodeJpeg(const RgbaImage& image, int quality, std::vector<uint8_t>& out, std::string& error) {
  return encode(&image, quality, JpegMode::Complete, out, error);
}

bool jpegTablesData(int quality, std::vector<uint8_t>& out, std::string& error) {
  return encode(nullptr, quality, JpegMode::TablesOnly, out, error);
}

bool encodeJpegWithoutTables(const RgbaImage& image, int quality, std::vector<uint8_t>& out, std::string& error) {
  return encode(&image, quality, JpegMode::WithoutTables, out, error);
}

std::vector<uint8_t> deflateBytes(const uint8_t* data, size_t size) {
  uLongf length = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> out(length);
  if (compress2(out.data(), &length, data, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK) return {};
  out.resize(length);
  return out;
}

bool encodeLossless(const RgbaImage& image, int format, bool withAlpha, LosslessData& out, std::string& error) {
  if (format != kLosslessIndex8 && format != kLosslessRgb555 && format != kLosslessArgb32) {
    error = "lossless format " + std::to_string(format) + " is not one of 3, 4, 5";
    return false;
  }
  if (image.empty() || image.width > 0xFFFF || image.height > 0xFFFF) {
    error = "a lossless bitmap must be 1..65535 pixels wide and high";
    return false;
  }
  const RgbaImage source = withAlpha ? premultiplied(image) : image;
  const uint32_t w = image.width, h = image.height;
  std::vector<uint8_t> raw;
  out.colors = 0;
  if (format == kLosslessIndex8) {
    // Palette in order of first use, so the same image gives the same bytes.
    std::unordered_map<uint32_t, uint8_t> index;
    std::vector<uint8_t> palette, rows(size_t{(w + 3) & ~3u} * h, 0);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = source.at(x, y);
        const uint8_t a = withAlpha ? p[3] : 255;
        const uint32_t key = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | a;
        auto it = index.find(key);
        if (it == index.end()) {
          if (index.size() == 256) {
            error = "the image has more than 256 colours; format 3 holds at most 256";
            return false;
          }
          it = index.emplace(key, static_cast<uint8_t>(index.size())).first;
          palette.insert(palette.end(), p, p + 3);
          if (withAlpha) palette.push_back(a);
        }
        rows[size_t{y} * ((w + 3) & ~3u) + x] = it->second;
      }
    }
    out.colors = static_cast<uint16_t>(index.size());
    raw = std::move(palette);
    raw.insert(raw.end(), rows.begin(), rows.end());
  } else if (format == kLosslessRgb555) {
    const size_t rowBytes = (2 * size_t{w} + 3) & ~size_t{3};
    raw.assign(rowBytes * h, 0);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = image.at(x, y);  // colours as they are: this format keeps no alpha
        const uint16_t v = static_cast<uint16_t>(to5(p[0]) << 10 | to5(p[1]) << 5 | to5(p[2]));
        raw[y * rowBytes + x * 2] = static_cast<uint8_t>(v >> 8);
        raw[y * rowBytes + x * 2 + 1] = static_cast<uint8_t>(v);
      }
    }
  } else {
    raw.resize(size_t{w} * h * 4);
    for (size_t i = 0; i < raw.size(); i += 4) {
      const uint8_t* p = source.pixels.data() + i;
      raw[i] = withAlpha ? p[3] : 255;
      raw[i + 1] = p[0];
      raw[i + 2] = p[1];
      raw[i + 3] = p[2];
    }
  }
  out.format = static_cast<uint8_t>(format);
  out.width = static_cast<uint16_t>(w);
  out.height = static_cast<uint16_t>(h);
  out.zlib = deflateBytes(raw.data(), raw.size());
  if (out.zlib.empty()) {
    error = "zlib could not compress the pixels";
    return false;
  }
  return true;
}

std::vector<uint8_t> losslessBody(uint16_t id, const LosslessData& d) {
  ByteWriter w;
  w.u16(id);
  w.u8(d.format);
  w.u16(d.width);
  w.u16(d.height);
  if (d.format <= kLosslessIndex8) w.u8(static_cast<uint8_t>(d.colors == 0 ? 0 : d.colors - 1));
  w.bytes(d.zlib);
  return w.take();
}

std::vector<uint8_t> jpegBody(uint16_t id, const std::vector<uint8_t>& jpeg) {
  ByteWriter w;
  w.u16(id);
  w.bytes(jpeg);
  return w.take();
}

std::vector<uint8_t> jpegAlphaBody(uint16_t id, const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& alpha) {
  ByteWriter w;
  w.u16(id);
  w.u32(static_cast<uint32_t>(jpeg.size()));
  w.bytes(jpeg);
  w.bytes(alpha);
  return w.take();
}

bool encodeJpegAlpha(const RgbaImage& image, int quality, std::vector<uint8_t>& jpeg, std::vector<uint8_t>& alpha,
                     std::string& error) {
  if (!encodeJpeg(premultiplied(image), quality, jpeg, error)) return false;
  std::vector<uint8_t> plane(size_t{image.width} * image.height);
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = image.pixels[i * 4 + 3];
  alpha = deflateBytes(plane.data(), plane.size());
  if (alpha.empty()) {
    error = "zlib could not compress the alpha plane";
    return false;
  }
  return true;
}

}  // namespace kivra::kit
