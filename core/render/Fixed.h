#pragma once
// Named fixed-point types used by the renderer. 16.16 and 8.8 come from the
// movie records; the rest are the renderer's own working formats.
#include <cstdint>

#include "core/format/Records.h"

namespace kivra {

using SubPixel = int32_t;   // device sub-pixels: pixels x the anti-aliasing factor
using Fixed8_24 = int32_t;  // 8.24 fixed point, used by curve forward differences
using Fixed24_8 = int32_t;  // gradient space: gradient units x 256

// Rounds a 16.16 product held in 64 bits to an integer:
// (p >> 16) + ((p >> 15) & 1), i.e. round half up.
inline int32_t roundFixed16(int64_t p) {
  return static_cast<int32_t>((p >> 16) + ((p >> 15) & 1));
}

// v * f where f is 16.16, rounded as above.
inline int32_t mulFixed16(int32_t v, Fixed16 f) {
  return roundFixed16(static_cast<int64_t>(v) * f);
}

inline int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace kivra
