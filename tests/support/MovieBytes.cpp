#include "tests/support/MovieBytes.h"

#include <zlib.h>

#include <algorithm>

namespace kivra::test {

namespace {
unsigned signedBits(int32_t v) {
  unsigned n = 1;
  while (n < 32 && (v < -(int64_t{1} << (n - 1)) || v >= (int64_t{1} << (n - 1)))) ++n;
  return n;
}

struct BitSink {
  Bytes out;
  unsigned used = 8;
  void put(uint32_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (used == 8) {
        out.push_back(0);
        used = 0;
      }
      if ((v >> i) & 1u) out.back() |= static_cast<uint8_t>(0x80u >> used);
      ++used;
    }
  }
};

void le16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void le32(Bytes& b, uint32_t v) {
  le16(b, static_cast<uint16_t>(v));
  le16(b, static_cast<uint16_t>(v >> 16));
}
}  // namespace

Bytes rectRecord(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
  unsigned n = 0;
  for (int32_t v : {xmin, xmax, ymin, ymax}) n = std::max(n, signedBits(v));
  BitSink bits;
  bits.put(n, 5);
  for (int32_t v : {xmin, xmax, ymin, ymax}) bits.put(static_cast<uint32_t>(v), n);
  return bits.out;
}

Bytes tag(uint16_t code, const Bytes& body, bool longForm) {
  Bytes out;
  if (longForm || body.size() >= 0x3F) {
    le16(out, static_cast<uint16_t>((code << 6) | 0x3F));
    le32(out, static_cast<uint32_t>(body.size()));
  } else {
    le16(out, static_cast<uint16_t>((code << 6) | body.size()));
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes showFrame() { return tag(1); }
Bytes endTag() { return tag(0); }
Bytes backgroundTag(uint8_t r, uint8_t g, uint8_t b) { return tag(9, {r, g, b}); }

Bytes movie(const MovieSpec& spec, const std::vector<Bytes>& tags) {
  Bytes body = rectRecord(spec.xmin, spec.xmax, spec.ymin, spec.ymax);
  le16(body, spec.rate);
  le16(body, spec.frameCount);
  for (const Bytes& t : tags) body.insert(body.end(), t.begin(), t.end());

  Bytes out = {static_cast<uint8_t>(spec.compressed ? 'Z' : 'X'), 'V', 'Q',
               static_cast<uint8_t>(spec.version)};
  le32(out, static_cast<uint32_t>(8 + body.size()));
  if (!spec.compressed) {
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }
  uLongf size = compressBound(static_cast<uLong>(body.size()));
  Bytes packed(size);
  compress2(packed.data(), &size, body.data(), static_cast<uLong>(body.size()), 9);
  out.insert(out.end(), packed.begin(), packed.begin() + static_cast<long>(size));
  return out;
}

Bytes movie(const MovieSpec& spec, std::initializer_list<Bytes> tags) {
  return movie(spec, std::vector<Bytes>(tags));
}

Bytes colourMovie(int widthPx, int heightPx, int frames, uint8_t r, uint8_t g, uint8_t b) {
  MovieSpec header;
  header.xmax = widthPx * 20;
  header.ymax = heightPx * 20;
  header.frameCount = static_cast<uint16_t>(frames);
  header.rate = 0x0100;
  std::vector<Bytes> tags = {backgroundTag(r, g, b)};
  for (int i = 0; i < frames; ++i) tags.push_back(showFrame());
  tags.push_back(endTag());
  return movie(header, tags);
}

}  // namespace kivra::test
