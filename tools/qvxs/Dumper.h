#pragma once
// Prints a movie as source text that compiles back to the same bytes. Every
// tag is decoded, printed, compiled again and compared; a tag whose text
// would not give back its exact bytes is printed as a raw tag instead.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra::qvxs {

struct DumpStats {
  int tags = 0;
  int rawTags = 0;  // tags kept as raw bytes (unknown, or not reproducible)
};

bool dumpMovie(const std::vector<uint8_t>& file, std::string& text, std::string& error, DumpStats* stats = nullptr);

}  // namespace kivra::qvxs
