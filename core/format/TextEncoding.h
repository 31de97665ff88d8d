#pragma once
// Narrow text in a movie's encoding (UTF-8 from version 6, the system code
// page before) to and from UTF-16 units.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/format/CodePage.h"

namespace kivra {

namespace text {
// Appends the UTF-16 units of narrow text in the given encoding.
void widen(std::string_view s, bool legacy, const CodePage& cp, std::u16string& out);
// Encodes units in the given encoding (unmappable code-page units become '?').
std::string narrow(std::u16string_view units, bool legacy, const CodePage& cp);
// Re-encodes narrow text from one encoding into the other.
std::string convert(std::string_view s, bool fromLegacy, bool toLegacy, const CodePage& cp);
// Encodes one code point (up to U+10FFFF) as UTF-8.
void appendUtf8CodePoint(uint32_t code, std::string& out);
// Encodes one code unit as UTF-8.
void appendUtf8(uint32_t unit, std::string& out);
// Received bytes that begin with a UTF-16 byte-order mark (either order),
// as UTF-8 in `out` (an odd last byte is half a unit and dropped); false,
// with `out` untouched, when there is no such mark.
bool utf16WithMarkToUtf8(std::string_view bytes, std::string& out);
// Decodes one UTF-8 character at s[pos] (1 to 3 bytes), advancing pos;
// a malformed sequence gives U+FFFD.
uint32_t decodeUtf8(std::string_view s, size_t& pos);
}  // namespace text

}  // namespace kivra
