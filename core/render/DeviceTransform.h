#pragma once
// Twips points to device sub-pixels, each product rounded on its own and in
// 64 bits (128 for coordinates past 32 bits), so no input can overflow.
// Shapes and scripted drawings map their points the same way.
#include <algorithm>
#include <cstdint>

#include "core/format/Records.h"

namespace kivra {

// Points whose coordinates exceed 32 bits (rare: far-off or huge shapes).
void toDeviceWide(const MATRIX& m, int64_t x, int64_t y, int64_t& ox, int64_t& oy);

// Called for every point of every shape each frame: the common case inline.
inline void toDevice(const MATRIX& m, int64_t x, int64_t y, int64_t& ox, int64_t& oy) {
  constexpr int64_t kDeviceLimit = int64_t{1} << 29;
  if (x == static_cast<int32_t>(x) && y == static_cast<int32_t>(y)) [[likely]] {
    // 32-bit factors: every product fits in 64 bits.
    auto r = [](int64_t p) { return (p >> 16) + ((p >> 15) & 1); };
    ox = std::clamp<int64_t>(r(int64_t{m.a} * x) + r(int64_t{m.c} * y) + m.tx, -kDeviceLimit, kDeviceLimit);
    oy = std::clamp<int64_t>(r(int64_t{m.b} * x) + r(int64_t{m.d} * y) + m.ty, -kDeviceLimit, kDeviceLimit);
    return;
  }
  toDeviceWide(m, x, y, ox, oy);
}

}  // namespace kivra
