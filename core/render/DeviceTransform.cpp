#include "core/render/DeviceTransform.h"

namespace kivra {

[[gnu::noinline]] void toDeviceWide(const MATRIX& m, int64_t x, int64_t y, int64_t& ox, int64_t& oy) {
  constexpr int64_t kDeviceLimit = int64_t{1} << 29;
  auto r = [](__int128 p) { return static_cast<int64_t>((p >> 16) + ((p >> 15) & 1)); };
  ox = std::clamp<int64_t>(r(static_cast<__int128>(m.a) * x) + r(static_cast<__int128>(m.c) * y) + m.tx,
                           -kDeviceLimit, kDeviceLimit);
  oy = std::clamp<int64_t>(r(static_cast<__int128>(m.b) * x) + r(static_cast<__int128>(m.d) * y) + m.ty,
                           -kDeviceLimit, kDeviceLimit);
}

}  // namespace kivra
