// DefineEditText bodies from arbitrary bytes. Whatever the flag word
// announces, nothing is read outside the bytes, and what the parser keeps
// fits in them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/text/EditTextTag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kivra;
  // A copy, so that a read past the end is caught.
  const std::vector<uint8_t> body(data, data + size);
  EditTextDefinition out;
  const bool complete = parseEditTextTag(body.data(), body.size(), out);
  if (out.flags > 0xFFFF && !(out.flags & kFieldBorder)) __builtin_trap();
  if (out.variable.size() + out.initialText.size() > size) __builtin_trap();
  if (complete && out.variable.size() + 1 > size) __builtin_trap();
  return 0;
}
