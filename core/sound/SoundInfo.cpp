#include "core/sound/SoundInfo.h"

namespace kivra {

namespace {
// Little-endian reads that yield zero past the end and remember it.
struct Reader {
  const uint8_t* data;
  size_t length;
  size_t pos = 0;
  bool overrun = false;
  uint32_t read(int bytes) {
    if (overrun || length - pos < static_cast<size_t>(bytes)) {
      overrun = true;
      pos = length;
      return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t{data[pos + i]} << (8 * i);
    pos += static_cast<size_t>(bytes);
    return v;
  }
};
}  // namespace

size_t readSoundInfo(const uint8_t* data, size_t length, SoundInfo& out, bool* complete) {
  out = SoundInfo{};
  Reader r{data, data ? length : 0};
  out.flags = static_cast<uint8_t>(r.read(1));
  // A field cut off by the end is left at its default.
  auto field = [&](uint8_t flag, int bytes, uint32_t& v) {
    if (!(out.flags & flag)) return;
    const uint32_t read = r.read(bytes);
    if (!r.overrun) v = read;
  };
  field(SoundInfo::HasInPoint, 4, out.inPoint);
  field(SoundInfo::HasOutPoint, 4, out.outPoint);
  field(SoundInfo::HasLoops, 2, out.loops);
  if (out.flags & SoundInfo::HasEnvelope) {
    const int count = static_cast<int>(r.read(1));
    for (int i = 0; i < count && !r.overrun; ++i) {
      SoundEnvelope::Point p;
      p.position = r.read(4);
      p.left = static_cast<uint16_t>(r.read(2));
      p.right = static_cast<uint16_t>(r.read(2));
      if (!r.overrun && out.envelope.count < SoundEnvelope::kMaxPoints) out.envelope.points[out.envelope.count++] = p;
    }
  }
  if (complete) *complete = !r.overrun;
  return r.pos;
}

}  // namespace kivra
