#pragma once
// The sort of Array.prototype.sort and sortOn. Scripts can watch the order in
// which their comparison function is called and where equal elements end
// up, so the algorithm is fixed, not merely correct:
//
// Quicksort over lo = 0 .. hi = n - 1 with the first element of each range
// as its pivot P, leaving a hole where P was. Scan from the right (j from hi
// down, not below the hole) while P comes after element j; move element j
// into the hole. Scan from the left (i up from the hole, not beyond j) until
// P comes after element i; move element i into position j. Repeat until the
// scans meet at m and put P there. Sort the smaller of lo..m-1 and m+1..hi by
// a nested call, the larger by continuing the loop (so the nesting depth
// stays below log2 n). This leaves the elements in descending order; they
// are then reversed.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/script/ScriptEngine.h"

namespace kivra {

// `after(p, e)` returns 1 when pivot p comes after e, 0 when not, and a
// negative number to give up; then the range is left in an unspecified order
// and the function returns false.
template <typename T, typename After>
bool quickSortDescending(std::vector<T>& a, std::ptrdiff_t lo, std::ptrdiff_t hi, After& after) {
  while (lo < hi) {
    T pivot = std::move(a[lo]);
    std::ptrdiff_t i = lo, j = hi;
    while (i < j) {
      while (i < j) {
        const int r = after(pivot, a[j]);
        if (r < 0) return false;
        if (r == 0) break;
        --j;
      }
      if (i < j) a[i] = std::move(a[j]);
      while (i < j) {
        const int r = after(pivot, a[i]);
        if (r < 0) return false;
        if (r > 0) break;
        ++i;
      }
      if (i < j) a[j] = std::move(a[i]);
    }
    a[i] = std::move(pivot);
    const std::ptrdiff_t m = i;
    if (m - lo <= hi - m) {
      if (!quickSortDescending(a, lo, m - 1, after)) return false;
      lo = m + 1;
    } else {
      if (!quickSortDescending(a, m + 1, hi, after)) return false;
      hi = m - 1;
    }
  }
  return true;
}

template <typename T, typename After>
bool sortDescendingThenReverse(std::vector<T>& a, After&& after) {
  if (!a.empty() && !quickSortDescending(a, 0, static_cast<std::ptrdiff_t>(a.size()) - 1, after)) return false;
  std::reverse(a.begin(), a.end());
  return true;
}

// One element being sorted: the element and the key it is compared by.
struct SortEntry {
  ScriptValue item;
  ScriptValue key;
  ScriptValue text;  // the key's string form, kept for primitive keys
  bool hasText = false;
};

// A comparison that a script can see the end of: an object bound as the
// comparison function, or the default string comparison.
constexpr uint64_t kMaxSortComparisons = uint64_t{1} << 26;

class ScriptSortComparator {
 public:
  // `function` undefined: the default comparison.
  ScriptSortComparator(ScriptEngine& engine, const ScriptValue& function) : engine_(engine), function_(function) {}
  int operator()(SortEntry& pivot, SortEntry& other);
  uint64_t comparisons() const { return comparisons_; }

 private:
  const ScriptValue& textOf(SortEntry& e, ScriptValue& scratch);

  ScriptEngine& engine_;
  ScriptValue function_;
  uint64_t comparisons_ = 0;
};

}  // namespace kivra
