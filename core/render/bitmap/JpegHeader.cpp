#include "core/render/bitmap/JpegHeader.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "core/render/bitmap/BitmapImage.h"

namespace kivra {

namespace {

bool isStartOfFrame(uint8_t marker) {
  // 0xC4 (Huffman tables), 0xC8 (reserved) and 0xCC (arithmetic coding
  // conditioning) share the range but are not frames.
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM, RST0..7, SOI, EOI.
bool standsAlone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

// Plain C data only: libjpeg's error exit jumps back over the frame that
// reads the header, so nothing here may need a destructor.
struct HeaderSession {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  jmp_buf jump;
  jpeg_source_mgr source;
};

HeaderSession* sessionOf(j_common_ptr cinfo) {
  return reinterpret_cast<HeaderSession*>(reinterpret_cast<char*>(cinfo->err) - offsetof(HeaderSession, errors));
}

void errorExit(j_common_ptr cinfo) { std::longjmp(sessionOf(cinfo)->jump, 1); }
void emitMessage(j_common_ptr, int) {}
void outputMessage(j_common_ptr) {}
void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// All the data is there from the start: asking for more means it ends early.
boolean fillInput(j_decompress_ptr cinfo) {
  cinfo->err->msg_code = JERR_INPUT_EOF;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  return FALSE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    src->next_input_byte += src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    (void)fillInput(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

// The one frame the error exit jumps to; `s` is zeroed and created.
bool readHeader(HeaderSession* s, const uint8_t* data, size_t length, JpegImageSize* out) {
  if (setjmp(s->jump)) return false;
  s->source.init_source = initSource;
  s->source.fill_input_buffer = fillInput;
  s->source.skip_input_data = skipInput;
  s->source.resync_to_restart = jpeg_resync_to_restart;
  s->source.term_source = termSource;
  s->source.next_input_byte = data;
  s->source.bytes_in_buffer = length;
  s->cinfo.src = &s->source;
  int rc = jpeg_read_header(&s->cinfo, FALSE);
  // Tables and image may come as two streams, as in a bitmap tag.
  if (rc == JPEG_HEADER_TABLES_ONLY) rc = jpeg_read_header(&s->cinfo, FALSE);
  if (rc != JPEG_HEADER_OK) return false;
  const int components = s->cinfo.num_components;
  if (components != 1 && components != 3 && components != 4) return false;
  const uint64_t bytes = BitmapImage::bytesNeeded(kBitmapBgra32, s->cinfo.image_width, s->cinfo.image_height);
  if (bytes == 0 || bytes > BitmapImage::kMaxBytes) return false;
  out->width = s->cinfo.image_width;
  out->height = s->cinfo.image_height;
  return true;
}

}  // namespace

bool findJpegImageSize(const uint8_t* data, size_t length, JpegImageSize& out) {
  if (!data || length < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  size_t p = 2;
  while (p < length) {
    // Like the decoder, pass over stray bytes and fill bytes to the next marker.
    if (data[p] != 0xFF) {
      ++p;
      continue;
    }
    while (p < length && data[p] == 0xFF) ++p;
    if (p >= length) return false;
    const uint8_t marker = data[p++];
    if (marker == 0x00) continue;  // a stuffed zero, not a marker
    if (marker == 0xDA) return false;  // a scan before any frame
    if (standsAlone(marker)) continue;
    if (length - p < 2) return false;
    const size_t segment = static_cast<size_t>(data[p]) << 8 | data[p + 1];
    if (segment < 2) return false;
    if (isStartOfFrame(marker)) {
      // Length (2), precision (1), height (2), width (2).
      if (segment < 7 || length - p < 7) return false;
      out.height = static_cast<uint32_t>(data[p + 3]) << 8 | data[p + 4];
      out.width = static_cast<uint32_t>(data[p + 5]) << 8 | data[p + 6];
      return out.width > 0 && out.height > 0;
    }
    if (length - p < segment) return false;
    p += segment;
  }
  return false;
}

bool checkJpegHeader(const uint8_t* data, size_t length, JpegImageSize& out) {
  if (!data || length == 0) return false;
  HeaderSession session;
  std::memset(&session, 0, sizeof session);
  session.cinfo.err = jpeg_std_error(&session.errors);
  session.errors.error_exit = errorExit;
  session.errors.emit_message = emitMessage;
  session.errors.output_message = outputMessage;
  JpegImageSize size;
  bool ok = false;
  if (!setjmp(session.jump)) {
    jpeg_create_decompress(&session.cinfo);
    ok = readHeader(&session, data, length, &size);
  }
  jpeg_destroy_decompress(&session.cinfo);
  if (ok) out = size;
  return ok;
}

}  // namespace kivra
