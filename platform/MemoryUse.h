#pragma once
// How much memory the process holds from the allocator: what the movie's
// memory budget is measured against.
#include <cstddef>

namespace kivra {

// Bytes allocated and not yet freed on the main thread's heap (glibc's main
// arena and its mapped blocks, or the sanitizer's allocator in sanitizer
// builds); 0 when it cannot be told.
size_t allocatedBytes();

}  // namespace kivra
