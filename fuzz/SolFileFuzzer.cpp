// Shared-object files from arbitrary bytes: reading must stay within the
// bytes and the limits; whatever was read writes back to a file that reads
// as the same object and writes the same bytes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/net/SharedObjectFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  SharedObjectFile file;
  const SolReadStatus status = readSharedObjectFile(data, size, file);
  if (status != SolReadStatus::Ok && status != SolReadStatus::Damaged) return 0;
  const std::vector<uint8_t> bytes = writeSharedObjectFile(file);
  SharedObjectFile again;
  if (readSharedObjectFile(bytes.data(), bytes.size(), again) != SolReadStatus::Ok) std::abort();
  if (again.name != file.name || again.stamp != file.stamp || again.extra != file.extra ||
      again.members != file.members || again.longPath != file.longPath)
    std::abort();
  if (writeSharedObjectFile(again) != bytes) std::abort();
  return 0;
}
