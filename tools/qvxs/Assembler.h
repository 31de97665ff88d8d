#pragma once
// Action assembly text: one record per line, mnemonics from the opcode table.
//   Push "text" 42 1.5 f:1.5 true null undefined r:1 c:3 c16:300
//   loop:                      a label; Jump loop / If loop
//   DefineFunction "name" "a" "b" {   ...body...   }
//   DefineFunction2 "name" regs=3 flags=preloadThis "a" r1:"b" {  ...  }
//   With {  ...  }
//   op 0x2A  /  op 0x8F 01ff   a raw record (code, payload bytes in hex)
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kit/ActionWriter.h"
#include "tools/qvxs/SourceText.h"

namespace kivra::qvxs {

// Assembles lines into `w` (labels are shared by the whole writer).
bool assembleLines(const std::vector<Node>& lines, kit::ActionWriter& w, Diagnostics& diag);
// A whole action block, ending with the End action.
bool assembleBlock(const std::vector<Node>& lines, int line, std::vector<uint8_t>& out, Diagnostics& diag);

// Disassembles a block that ends with the End action into assembly lines
// indented by `indent` spaces. Returns false when the bytes have no text form
// (no trailing End, a body that ends inside a record, a truncated record).
bool disassemble(const uint8_t* p, size_t n, int indent, std::vector<std::string>& out);

// Hex helpers shared with raw tags.
std::string hexBytes(const uint8_t* p, size_t n);
bool parseHexWords(const std::vector<std::string>& words, size_t first, std::vector<uint8_t>& out);

}  // namespace kivra::qvxs
