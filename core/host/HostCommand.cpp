#include "core/host/HostCommand.h"

namespace kivra {

namespace {
constexpr std::string_view kPrefix = "VXCommand:";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Parses a decimal number filling the whole text (surrounding white space
// allowed); sets `zero` when its value is 0.
bool parseNumber(std::string_view s, bool& zero) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false;
  bool nonZero = false;
  for (; i < s.size() && isDigit(s[i]); ++i) {
    digits = true;
    nonZero |= s[i] != '0';
  }
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && isDigit(s[i]); ++i) {
      digits = true;
      nonZero |= s[i] != '0';
    }
  }
  if (!digits) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j >= s.size() || !isDigit(s[j])) return false;
    while (j < s.size() && isDigit(s[j])) ++j;
    i = j;  // an exponent never turns zero into non-zero or back
  }
  while (i < s.size() && isSpace(s[i])) ++i;
  if (i != s.size()) return false;
  zero = !nonZero;
  return true;
}
}  // namespace

HostCommand hostCommandNamed(std::string_view name) {
  struct Entry {
    std::string_view name;
    HostCommand command;
  };
  static constexpr Entry kCommands[] = {
      {"quit", HostCommand::Quit},           {"fullscreen", HostCommand::FullScreen},
      {"allowscale", HostCommand::AllowScale}, {"showmenu", HostCommand::ShowMenu},
      {"trapallkeys", HostCommand::TrapAllKeys}, {"exec", HostCommand::Exec},
  };
  for (const Entry& e : kCommands)
    if (equalsIgnoringCase(name, e.name)) return e.command;
  return HostCommand::Unknown;
}

bool splitHostCommandUrl(std::string_view url, std::string_view& name) {
  if (url.size() < kPrefix.size() || !equalsIgnoringCase(url.substr(0, kPrefix.size()), kPrefix))
    return false;
  name = url.substr(kPrefix.size());
  return true;
}

bool hostCommandFlag(std::string_view argument) {
  bool zero = false;
  if (parseNumber(argument, zero)) return !zero;
  return equalsIgnoringCase(argument, "true") || equalsIgnoringCase(argument, "yes");
}

bool isLaunchableProgramName(std::string_view name) {
  if (name.empty() || name == "." || name.find("..") != std::string_view::npos) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '.' || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace kivra
