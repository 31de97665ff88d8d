#include "core/format/OpcodeTable.h"

#include "core/format/CaseInsensitive.h"

namespace kivra {

namespace {
constexpr OpcodeInfo kOpcodes[] = {
#define KIVRA_OPCODE_INFO(code, name, k1, k2, k3, result, payload) \
  {code, #name, opDescriptor(k1, k2, k3, result), PayloadKind::payload},
    KIVRA_OPCODE_TABLE(KIVRA_OPCODE_INFO)
#undef KIVRA_OPCODE_INFO
};
}  // namespace

const OpcodeInfo* opcodeInfo(uint8_t code) {
  for (const OpcodeInfo& op : kOpcodes)
    if (op.code == code) return &op;
  return nullptr;
}

const OpcodeInfo* opcodeByName(const char* name) {
  for (const OpcodeInfo& op : kOpcodes) {
    const char* a = op.name;
    const char* b = name;
    while (*a && *b && foldCase(*a) == foldCase(*b)) {
      ++a;
      ++b;
    }
    if (*a == 0 && *b == 0) return &op;
  }
  return nullptr;
}

}  // namespace kivra
