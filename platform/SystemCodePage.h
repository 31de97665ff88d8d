#pragma once
// The system code page for older movies' text, built from the C library's
// converter (iconv) for the Windows code page chosen on the command line.
#include <memory>

#include "core/format/CodePage.h"

namespace kivra {

// Windows code page `number` (1252 Western, 932 Japanese, 936, 949, 950
// ...); null when the system cannot convert it. 1252 is the built-in table.
std::unique_ptr<CodePage> loadSystemCodePage(int number);

}  // namespace kivra
