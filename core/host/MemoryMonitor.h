#pragma once
// What the player's thread holds from the allocator, for the scripts'
// memory budget.
#include <cstddef>

namespace kivra {

class MemoryMonitor {
 public:
  virtual ~MemoryMonitor() = default;
  // Bytes held now; 0 when the host cannot tell (then no budget applies).
  virtual size_t memoryInUse() { return 0; }
  // A script was aborted because the movie's memory passed the budget. The
  // movie plays on.
  virtual void scriptOverMemoryBudget(size_t budgetBytes) { (void)budgetBytes; }
};

}  // namespace kivra
