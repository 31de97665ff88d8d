#pragma once
// Point-in-shape test on a build's edges, as buttons and scripts use it.
#include <cstdint>

#include "core/render/ShapeBuild.h"

namespace kivra {

// The point is in device sub-pixels. A point outside the build's device
// bounds misses; otherwise crossings of a ray toward +x are counted per fill
// under each edge's rule, and any fill with a non-zero count hits.
[[nodiscard]] bool hitTestShape(const ShapeBuild& build, int64_t x, int64_t y);

}  // namespace kivra
