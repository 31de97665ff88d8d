#pragma once
// The bytes of a local shared object's file: one record (type 2) holding
// "TCSO", the format version, the object's name and stamp and its members
// as AMF0 values, and for objects kept under a long-path folder a second
// record (type 3) naming the object's relative path. All integers are
// big-endian. Versions 2 to 4 are read; version 4 is written.
//
// The reader cannot read past the bytes it is given. Objects inside the
// members are numbered from 1: the object holding the members is object 0.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/net/AmfValue.h"

namespace kivra {

struct SharedObjectFile {
  std::string name;
  uint32_t extra = 0;  // kept from a version-4 file, written back
  uint32_t stamp = 0;
  std::vector<AmfMember> members;
  // The relative path below the shared-object root; written only when set.
  std::string longPath;
};

enum class SolReadStatus : uint8_t {
  Ok,
  TooShort,     // 9 bytes or fewer
  NotAnObject,  // not a type-2 record, or not "TCSO"
  Truncated,    // the record runs past the end of the bytes
  BadVersion,   // a version other than 2, 3 or 4
  Damaged,      // the header is good but a member could not be read: the members before it are kept
};

// Reads a whole file. With Ok or Damaged, `out` holds the name, stamp, the
// members read and the long-path record when there is a whole one.
[[nodiscard]] SolReadStatus readSharedObjectFile(const uint8_t* data, size_t size, SharedObjectFile& out);
// The bytes of a version-4 file (member flags 0: local objects).
std::vector<uint8_t> writeSharedObjectFile(const SharedObjectFile& file);

}  // namespace kivra
