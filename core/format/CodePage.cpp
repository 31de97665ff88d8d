#include "core/format/CodePage.h"

namespace kivra {

namespace {
// Windows-1252 0x80-0x9F; 0 marks the five unassigned bytes, which map to
// themselves.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

CodePage makeWindows1252() {
  std::array<uint16_t, 256> singles{};
  for (int b = 0; b < 256; ++b)
    singles[b] = (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80]) ? kCp1252High[b - 0x80] : static_cast<uint16_t>(b);
  return CodePage(1252, singles, std::array<bool, 256>{}, {});
}
}  // namespace

const CodePage& CodePage::windows1252() {
  static const CodePage page = makeWindows1252();
  return page;
}

CodePage::CodePage(int number, const std::array<uint16_t, 256>& singles, const std::array<bool, 256>& leads,
                   const std::vector<std::pair<uint16_t, uint16_t>>& pairs)
    : number_(number), singles_(singles), leads_(leads) {
  for (bool lead : leads_) multibyte_ = multibyte_ || lead;
  for (const auto& [bytes, unit] : pairs) {
    if (!leads_[bytes >> 8] || unit == 0) continue;
    pairs_.emplace(bytes, unit);
    reverse_.emplace(unit, bytes);
  }
  // Single bytes win over pairs for the same character.
  for (int b = 0; b < 256; ++b)
    if (!leads_[b] && (singles_[b] || b == 0)) reverse_[singles_[b]] = static_cast<uint16_t>(b);
}

void CodePage::widen(std::string_view text, std::u16string& out) const {
  out.reserve(out.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (leads_[b] && i + 1 < text.size()) {
      const auto pair = static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(text[++i]));
      auto it = pairs_.find(pair);
      out.push_back(it == pairs_.end() ? u'\uFFFD' : static_cast<char16_t>(it->second));
      continue;
    }
    out.push_back(singles_[b] || b == 0 ? static_cast<char16_t>(singles_[b]) : u'\uFFFD');
  }
}

bool CodePage::encode(uint32_t unit, std::string& out) const {
  auto it = unit <= 0xFFFF ? reverse_.find(static_cast<uint16_t>(unit)) : reverse_.end();
  if (it == reverse_.end()) return false;
  if (it->second > 0xFF) out.push_back(static_cast<char>(it->second >> 8));
  out.push_back(static_cast<char>(it->second & 0xFF));
  return true;
}

}  // namespace kivra
