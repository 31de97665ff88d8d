#include "platform/SystemCodePage.h"

#include <iconv.h>

#include <cerrno>
#include <string>
#include <vector>

namespace kivra {

namespace {

enum class Converted { Unit, Incomplete, Invalid };

// One character of code-page bytes to one UTF-16 unit.
Converted convertOne(iconv_t cd, const char* bytes, size_t count, uint16_t& unit) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state for each character
  char in[2] = {bytes[0], count > 1 ? bytes[1] : '\0'};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t inLeft = count, outLeft = sizeof out;
  if (iconv(cd, &ip, &inLeft, &op, &outLeft) == static_cast<size_t>(-1))
    return errno == EINVAL ? Converted::Incomplete : Converted::Invalid;
  if (inLeft != 0 || sizeof out - outLeft != 2) return Converted::Invalid;
  unit = static_cast<uint16_t>(static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8);
  return Converted::Unit;
}

}  // namespace

std::unique_ptr<CodePage> loadSystemCodePage(int number) {
  if (number == 1252) return std::make_unique<CodePage>(CodePage::windows1252());
  if (number <= 0 || number > 65535) return nullptr;
  const std::string name = "CP" + std::to_string(number);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  std::array<uint16_t, 256> singles{};
  std::array<bool, 256> leads{};
  std::vector<std::pair<uint16_t, uint16_t>> pairs;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    uint16_t unit = 0;
    const Converted one = convertOne(cd, &byte, 1, unit);
    if (one == Converted::Unit) {
      singles[b] = unit;
      continue;
    }
    if (one != Converted::Incomplete) continue;
    // A lead byte: the trails that complete it.
    for (int t = 0x40; t < 0x100; ++t) {
      const char two[2] = {byte, static_cast<char>(t)};
      if (convertOne(cd, two, 2, unit) == Converted::Unit) {
        leads[b] = true;
        pairs.emplace_back(static_cast<uint16_t>(b << 8 | t), unit);
      }
    }
  }
  iconv_close(cd);
  return std::make_unique<CodePage>(number, singles, leads, pairs);
}

}  // namespace kivra
