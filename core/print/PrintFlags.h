#pragma once
// The flag byte of a print request, and how a script's print URL sets it.
#include <cstdint>
#include <string_view>

namespace kivra {

enum PrintFlag : uint8_t {
  kPrintFromScript = 0x01,  // print the whole page range
  kPrintFromHost = 0x02,    // the host's Print command
  kPrintAreaMax = 0x08,     // area: the union of every page's bounds
  kPrintAreaFrame = 0x10,   // area: each page's own bounds
  kPrintAsBitmap = 0x20,
};

// "Print:AREA" or "PrintAsBitmap:AREA" (prefix in any letter case): the
// request's flags; 0 for any other URL.
uint8_t printFlagsOfUrl(std::string_view url);

}  // namespace kivra
