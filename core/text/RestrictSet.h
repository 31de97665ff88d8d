#pragma once
// The characters a user may type into a field, compiled from its restrict
// string into one bit per UTF-16 code. The string reads in order: a leading
// "^" starts from every character, "^" turns between including and
// excluding, "A-Z" is a range, a backslash makes the next character literal.
// A field without a restrict string has no set: everything passes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kivra {

class RestrictSet {
 public:
  // Any string compiles, in time linear in its length (plus a fixed 64K
  // step), whatever its ranges.
  explicit RestrictSet(std::u16string_view restrict);

  bool allows(char16_t c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }
  // The string as given (the `restrict` property returns it).
  const std::u16string& source() const { return source_; }

 private:
  std::u16string source_;
  std::vector<uint64_t> bits_;  // 65,536 bits
};

}  // namespace kivra
