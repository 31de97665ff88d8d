#pragma once
// A system code page: how the text of movies older than version 6 (and
// external text when a movie asks for the code page) maps to UTF-16 units
// and back. Windows-1252 is built in; the host builds others from its
// conversion library (double-byte pages have lead bytes whose pairs form
// one character).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kivra {

class CodePage {
 public:
  // Windows Western (1252), the default.
  static const CodePage& windows1252();

  // From tables: the unit of every single byte (0: none), which bytes lead
  // a pair, and the unit of every pair (lead << 8 | trail).
  CodePage(int number, const std::array<uint16_t, 256>& singles, const std::array<bool, 256>& leads,
           const std::vector<std::pair<uint16_t, uint16_t>>& pairs);

  int number() const { return number_; }
  bool multibyte() const { return multibyte_; }
  bool isLeadByte(uint8_t b) const { return leads_[b]; }

  // Appends the units of code-page text. A byte or pair with no character
  // gives U+FFFD.
  void widen(std::string_view text, std::u16string& out) const;
  // Appends the bytes of one unit: one, or two for a pair; 0 bytes (false)
  // when the page has no such character.
  bool encode(uint32_t unit, std::string& out) const;

 private:
  int number_ = 0;
  bool multibyte_ = false;
  std::array<uint16_t, 256> singles_{};
  std::array<bool, 256> leads_{};
  std::unordered_map<uint16_t, uint16_t> pairs_;    // lead << 8 | trail -> unit
  std::unordered_map<uint16_t, uint16_t> reverse_;  // unit -> byte or pair
};

}  // namespace kivra
