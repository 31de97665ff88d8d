#include "core/format/Inflater.h"

#include <climits>

namespace kivra {

Inflater::Inflater() { initialized_ = inflateInit(&stream_) == Z_OK; }

Inflater::~Inflater() {
  if (initialized_) inflateEnd(&stream_);
}

size_t Inflater::inflate(const uint8_t* in, size_t inCount, size_t* consumed, uint8_t* out,
                         size_t room) {
  *consumed = 0;
  if (!initialized_ || finished_ || room == 0) return 0;
  size_t produced = 0;
  while (inCount > 0 && room > 0 && !finished_) {
    const uInt inChunk = inCount > UINT_MAX ? UINT_MAX : static_cast<uInt>(inCount);
    const uInt outChunk = room > UINT_MAX ? UINT_MAX : static_cast<uInt>(room);
    stream_.next_in = const_cast<Bytef*>(in);
    stream_.avail_in = inChunk;
    stream_.next_out = out;
    stream_.avail_out = outChunk;
    const int rc = ::inflate(&stream_, Z_NO_FLUSH);
    const size_t used = inChunk - stream_.avail_in;
    const size_t made = outChunk - stream_.avail_out;
    in += used;
    inCount -= used;
    *consumed += used;
    out += made;
    room -= made;
    produced += made;
    // Anything but "success, more to come" ends inflation for good.
    if (rc != Z_OK && rc != Z_BUF_ERROR) finished_ = true;
    if (used == 0 && made == 0) break;
  }
  return produced;
}

}  // namespace kivra
