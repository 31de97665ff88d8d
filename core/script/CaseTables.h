#pragma once
// Upper- and lower-case mapping of single 16-bit code units. Units up to 127
// change only for the letters a-z and A-Z; the others are looked up in sorted
// tables by binary search.
#include <cstddef>

namespace kivra {

char16_t toUpperUnit(char16_t u);
char16_t toLowerUnit(char16_t u);
// Table sizes, for tests.
size_t upperCasePairs();
size_t lowerCasePairs();

}  // namespace kivra
