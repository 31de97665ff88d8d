#pragma once
// Tag bodies found in movies the kit wrote, for tests that check bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kivra::test {

// Bodies of the tags with `code` in an uncompressed movie.
inline std::vector<std::vector<uint8_t>> tagBodies(const std::vector<uint8_t>& movie, uint16_t code) {
  std::vector<std::vector<uint8_t>> out;
  if (movie.size() < 9) return out;
  size_t pos = 8;
  const unsigned nbits = movie[8] >> 3;
  pos += (5 + 4 * nbits + 7) / 8 + 4;
  while (pos + 2 <= movie.size()) {
    const unsigned v = movie[pos] | (movie[pos + 1] << 8);
    size_t len = v & 0x3F;
    pos += 2;
    if (len == 0x3F) {
      if (pos + 4 > movie.size()) break;
      len = movie[pos] | (movie[pos + 1] << 8) | (movie[pos + 2] << 16) | (static_cast<size_t>(movie[pos + 3]) << 24);
      pos += 4;
    }
    if (pos + len > movie.size()) break;
    if ((v >> 6) == code) out.emplace_back(movie.begin() + static_cast<long>(pos), movie.begin() + static_cast<long>(pos + len));
    pos += len;
  }
  return out;
}

}  // namespace kivra::test
