// Shape bodies from arbitrary bytes: the first byte picks the tag, the role,
// the scale and the anti-aliasing factor; the rest is the tag body. The
// build and a sweep of a small target must finish without reading outside
// the body.
#include <cstddef>
#include <cstdint>

#include "core/render/ShapeParser.h"
#include "fuzz/BuildAndSweep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  if (size < 1) return 0;
  static constexpr uint16_t kTags[4] = {2, 22, 32, 46};
  const uint8_t mode = data[0];
  ShapeInstance in;
  in.tagCode = kTags[mode & 3];
  in.role = (mode & 4) ? BuildRole::Mask : BuildRole::Normal;
  in.factor = (mode & 8) ? 1 : 4;
  in.matrix.a = in.matrix.d = (mode & 16) ? kFixedOne / 5 : kFixedOne / 20 * in.factor;
  in.ratio = (mode & 32) ? 40000 : 0;
  in.body = data + 1;
  in.length = size - 1;
  fuzz::buildAndSweep(in);
  return 0;
}
