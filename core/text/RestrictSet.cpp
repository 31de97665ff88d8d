#include "core/text/RestrictSet.h"

namespace kivra {

namespace {

constexpr uint32_t kCodes = 0x10000;

// Includes or excludes codes lo..hi (empty when hi < lo).
struct Step {
  char16_t lo, hi;
  bool include;
};

}  // namespace

RestrictSet::RestrictSet(std::u16string_view restrict) : source_(restrict), bits_(kCodes / 64, 0) {
  if (restrict.empty()) return;
  // First the string is read into steps, each a single character or a range.
  std::vector<Step> steps;
  bool include = true;
  bool range = false;
  char16_t start = 0;
  for (size_t i = 0; i < restrict.size(); ++i) {
    char16_t c = restrict[i];
    if (c == u'\\') {
      if (++i == restrict.size()) break;
      c = restrict[i];
    } else if (c == u'^') {
      include = !include;
      continue;
    } else if (c == u'-') {
      range = true;
      continue;
    }
    if (range) {
      // A range ends the remembered start: the next range begins at code 0.
      steps.push_back({start, c, include});
      start = 0;
      range = false;
    } else {
      steps.push_back({c, c, include});
      start = c;
    }
  }

  // A code takes the switch of the last step that covers it. Going through
  // the steps from the last, each code is decided once: `next` skips the
  // decided ones (with path halving), so many wide ranges stay linear.
  std::vector<uint32_t> next(kCodes + 1);
  for (uint32_t i = 0; i <= kCodes; ++i) next[i] = i;
  auto undecided = [&next](uint32_t i) {
    while (next[i] != i) {
      next[i] = next[next[i]];
      i = next[i];
    }
    return i;
  };
  const bool startsFull = restrict.front() == u'^';
  for (size_t k = steps.size(); k-- > 0;) {
    const Step& s = steps[k];
    for (uint32_t c = undecided(s.lo); c <= s.hi; c = undecided(c + 1)) {
      if (s.include) bits_[c >> 6] |= uint64_t{1} << (c & 63);
      next[c] = c + 1;
    }
  }
  if (startsFull) {
    for (uint32_t c = undecided(0); c < kCodes; c = undecided(c + 1)) {
      bits_[c >> 6] |= uint64_t{1} << (c & 63);
      next[c] = c + 1;
    }
  }
}

}  // namespace kivra
