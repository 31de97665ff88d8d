// AMF0 values from arbitrary bytes: reading must stay within the bytes and
// the limits; a value read whole must write back to bytes that read as the
// same value and write the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/net/Amf0Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  AmfReader reader(data, size);
  Amf0Decoder decoder(reader);
  std::vector<AmfValue> values;
  while (!reader.atEnd()) {
    AmfValue v;
    if (!decoder.read(v)) break;
    values.push_back(std::move(v));
  }
  std::vector<uint8_t> bytes;
  Amf0Writer writer(bytes);
  for (const AmfValue& v : values) writer.write(v);
  AmfReader again(bytes.data(), bytes.size());
  Amf0Decoder second(again);
  std::vector<uint8_t> bytes2;
  Amf0Writer writer2(bytes2);
  for (const AmfValue& v : values) {
    AmfValue w;
    if (!second.read(w) || !(w == v)) std::abort();
    writer2.write(w);
  }
  if (!again.atEnd() || bytes2 != bytes) std::abort();
  return 0;
}
