#include "core/render/bitmap/JpegDecoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

#include "core/format/Inflater.h"
#include "core/format/TagCursor.h"
#include "core/render/bitmap/LosslessDecoder.h"

namespace kivra {

// Plain C data only: libjpeg's error exit jumps back over frames that touch
// it, so nothing here may need a destructor.
struct JpegSession {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  jmp_buf jump;
  jpeg_source_mgr source;
};

namespace {

enum class Outcome { Done, FailedEarly, FailedLate };

JpegSession* sessionOf(j_common_ptr cinfo) {
  // errors is the session's second member; cinfo->err points at it.
  return reinterpret_cast<JpegSession*>(reinterpret_cast<char*>(cinfo->err) -
                                        offsetof(JpegSession, errors));
}

void errorExit(j_common_ptr cinfo) { std::longjmp(sessionOf(cinfo)->jump, 1); }
// Corrupt data is common in movies; warnings stay quiet.
void emitMessage(j_common_ptr, int) {}
void outputMessage(j_common_ptr) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// The whole body is in the buffer from the start: asking for more means the
// stream is cut short, which is an error rather than a padded image.
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

void setSource(JpegSession* s, const uint8_t* data, size_t length) {
  s->source.init_source = initSource;
  s->source.fill_input_buffer = fillInput;
  s->source.skip_input_data = skipInput;
  s->source.resync_to_restart = jpeg_resync_to_restart;
  s->source.term_source = termSource;
  s->source.next_input_byte = data;
  s->source.bytes_in_buffer = data ? length : 0;
  s->cinfo.src = &s->source;
}

// `s` must be zeroed: jpeg_destroy_decompress is then safe whatever happens.
bool createDecoder(JpegSession* s) {
  s->cinfo.err = jpeg_std_error(&s->errors);
  s->errors.error_exit = errorExit;
  s->errors.emit_message = emitMessage;
  s->errors.output_message = outputMessage;
  if (setjmp(s->jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  return true;
}

bool readTables(JpegSession* s, const uint8_t* data, size_t length) {
  if (setjmp(s->jump)) {
    jpeg_abort_decompress(&s->cinfo);
    return false;
  }
  setSource(s, data, length);
  const int rc = jpeg_read_header(&s->cinfo, FALSE);
  if (rc == JPEG_HEADER_OK) jpeg_abort_decompress(&s->cinfo);  // an image too: keep its tables
  return rc == JPEG_HEADER_TABLES_ONLY || rc == JPEG_HEADER_OK;
}

void convertRow(const JSAMPLE* in, int components, uint8_t* out, uint32_t width) {
  switch (components) {
    case 1:
      for (uint32_t x = 0; x < width; ++x, out += 4) {
        out[0] = out[1] = out[2] = in[x];
        out[3] = 255;
      }
      break;
    case 3:
      for (uint32_t x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 255;
      }
      break;
    default:
      for (uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
        const int base = 255 - in[3] / 2;
        for (int c = 0; c < 3; ++c) {
          const int v = base - in[2 - c];
          out[c] = static_cast<uint8_t>(v < 0 ? 0 : v);
        }
        out[3] = 255;
      }
      break;
  }
}

// The one frame libjpeg's error exit jumps to. It holds no object with a
// destructor; `started` is volatile so it survives the jump.
Outcome decodeImage(JpegSession* s, const uint8_t* data, size_t length, BitmapImage* out) {
  volatile bool started = false;
  if (setjmp(s->jump)) {
    jpeg_abort_decompress(&s->cinfo);
    return started ? Outcome::FailedLate : Outcome::FailedEarly;
  }
  setSource(s, data, length);
  jpeg_decompress_struct& cinfo = s->cinfo;
  int rc = jpeg_read_header(&cinfo, FALSE);
  // Tables and image may come as two streams in one body.
  if (rc == JPEG_HEADER_TABLES_ONLY) rc = jpeg_read_header(&cinfo, FALSE);
  if (rc != JPEG_HEADER_OK) {
    jpeg_abort_decompress(&cinfo);
    return Outcome::FailedEarly;
  }
  switch (cinfo.num_components) {
    case 1: cinfo.out_color_space = JCS_GRAYSCALE; break;
#ifdef JCS_EXTENSIONS
    // The library writes B, G, R, A rows itself, straight into the bitmap.
    case 3: cinfo.out_color_space = JCS_EXT_BGRA; break;
#else
    case 3: cinfo.out_color_space = JCS_RGB; break;
#endif
    case 4: cinfo.out_color_space = JCS_CMYK; break;
    default:
      jpeg_abort_decompress(&cinfo);
      return Outcome::FailedEarly;
  }
  const uint64_t bytes = BitmapImage::bytesNeeded(kBitmapBgra32, cinfo.image_width, cinfo.image_height);
  if (bytes == 0 || bytes > out->maxBytes()) {
    jpeg_abort_decompress(&cinfo);
    return Outcome::FailedEarly;
  }
  jpeg_start_decompress(&cinfo);
  const int components = cinfo.output_components;
  if ((components != 1 && components != 3 && components != 4) ||
      !out->create(kBitmapBgra32, cinfo.output_width, cinfo.output_height)) {
    jpeg_abort_decompress(&cinfo);
    return Outcome::FailedEarly;
  }
  started = true;
  const bool direct = cinfo.out_color_space != JCS_GRAYSCALE && cinfo.out_color_space != JCS_RGB &&
                      cinfo.out_color_space != JCS_CMYK;
  JSAMPARRAY rowBuffer = direct ? nullptr
                                : cinfo.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                          cinfo.output_width * components, 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION y = cinfo.output_scanline;
    JSAMPROW target = direct ? out->row(y) : rowBuffer[0];
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) {
      jpeg_abort_decompress(&cinfo);
      return Outcome::FailedLate;
    }
    if (!direct) convertRow(rowBuffer[0], components, out->row(y), cinfo.output_width);
  }
  // Every row is there; what follows the last scan does not matter.
  jpeg_abort_decompress(&cinfo);
  return Outcome::Done;
}

// A failure before any pixels came may be a lack of memory: free some and
// try once more. A failure part-way gives up.
bool decodeWithRetry(JpegSession* shared, const uint8_t* data, size_t length, BitmapImage& out,
                     const ReleasePixelsHook& hook) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    Outcome outcome = Outcome::FailedEarly;
    if (shared) {
      outcome = decodeImage(shared, data, length, &out);
    } else {
      JpegSession session;
      std::memset(&session, 0, sizeof session);
      if (createDecoder(&session)) outcome = decodeImage(&session, data, length, &out);
      jpeg_destroy_decompress(&session.cinfo);
    }
    if (outcome == Outcome::Done) return true;
    out.release();
    if (outcome == Outcome::FailedLate) return false;
    if (attempt == 0) hook();
  }
  return false;
}

// The one frame the error exit jumps to while a header is read alone.
bool readImageHeader(JpegSession* s, const uint8_t* data, size_t length, JpegImageSize* out) {
  if (setjmp(s->jump)) return false;
  setSource(s, data, length);
  int rc = jpeg_read_header(&s->cinfo, FALSE);
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

bool checkJpegHeader(const uint8_t* data, size_t length, JpegImageSize& out) {
  if (!data || length == 0) return false;
  JpegSession session;
  std::memset(&session, 0, sizeof session);
  JpegImageSize size;
  const bool ok = createDecoder(&session) && readImageHeader(&session, data, length, &size);
  jpeg_destroy_decompress(&session.cinfo);
  if (ok) out = size;
  return ok;
}

JpegTables::JpegTables() = default;

JpegTables::~JpegTables() {
  if (session_) jpeg_destroy_decompress(&session_->cinfo);
}

bool JpegTables::load(const uint8_t* data, size_t length) {
  if (attempted_) return loaded();
  attempted_ = true;
  session_.reset(new (std::nothrow) JpegSession());
  if (!session_) return false;
  if (createDecoder(session_.get()) && readTables(session_.get(), data, length)) return true;
  jpeg_destroy_decompress(&session_->cinfo);
  session_.reset();
  return false;
}

bool JpegTables::decode(const uint8_t* data, size_t length, BitmapImage& out,
                        const ReleasePixelsHook& hook) {
  out.release();
  if (!session_) return false;
  return decodeWithRetry(session_.get(), data, length, out, hook);
}

bool decodeJpegBitmap(const uint8_t* data, size_t length, BitmapImage& out,
                      const ReleasePixelsHook& hook) {
  out.release();
  if (!decodeWithRetry(nullptr, data, length, out, hook)) return false;
  out.setTransparent(false);
  return true;
}

bool decodeJpegAlphaBitmap(const uint8_t* body, size_t length, BitmapImage& out,
                           const ReleasePixelsHook& hook) {
  out.release();
  if (!body || length < 4) return false;
  TagCursor cursor(body, static_cast<int64_t>(length));
  uint32_t jpegLength = cursor.readU32();
  const size_t after = length - 4;
  if (jpegLength > after) jpegLength = static_cast<uint32_t>(after);
  if (!decodeWithRetry(nullptr, body + 4, jpegLength, out, hook)) return false;
  out.setTransparent(true);

  const uint8_t* in = body + 4 + jpegLength;
  size_t inCount = after - jpegLength;
  const uint64_t total = uint64_t{out.width()} * out.height();
  Inflater inflater;
  uint8_t chunk[2048];
  uint64_t pixel = 0;
  while (pixel < total) {
    const size_t want = total - pixel < sizeof chunk ? static_cast<size_t>(total - pixel) : sizeof chunk;
    const size_t got = inflateBitmapBytes(inflater, in, inCount, chunk, want);
    for (size_t i = 0; i < got; ++i, ++pixel) {
      uint8_t* p = out.row(static_cast<uint32_t>(pixel / out.width())) + (pixel % out.width()) * 4;
      const uint8_t a = chunk[i];
      for (int c = 0; c < 3; ++c)
        if (p[c] > a) p[c] = a;
      p[3] = a;
    }
    if (got < want) break;
  }
  return true;
}

}  // namespace kivra
