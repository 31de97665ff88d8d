#pragma once
// Processor-specific versions of the rasterizer's compositing loops. They
// produce exactly the bytes of the portable loops in Rasterizer.cpp.
#include "core/render/raster/Rasterizer.h"

namespace kivra {

// Null where the processor or the build lacks the instructions.
const RasterKernels* sse2Kernels();
const RasterKernels* avx2Kernels();

}  // namespace kivra
