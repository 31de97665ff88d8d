#include "platform/InputScript.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace kivra {

namespace {
struct NamedKey {
  const char* name;
  uint16_t code;
  uint16_t virtualKey;
};

constexpr NamedKey kNamedKeys[] = {
    {"Left", kKeyLeft, kVkLeft},         {"Right", kKeyRight, kVkRight},
    {"Home", kKeyHome, kVkHome},         {"End", kKeyEnd, kVkEnd},
    {"Insert", kKeyInsert, kVkInsert},   {"Delete", kKeyDelete, kVkDelete},
    {"Backspace", kKeyBackspace, kVkBackspace},
    {"Enter", kKeyEnter, kVkEnter},      {"Up", kKeyUp, kVkUp},
    {"Down", kKeyDown, kVkDown},         {"PageUp", kKeyPageUp, kVkPageUp},
    {"PageDown", kKeyPageDown, kVkPageDown},
    {"Tab", kKeyTab, kVkTab},            {"Escape", kKeyEscape, kVkEscape},
    {"Space", kKeySpace, kVkSpace},      {"Shift", kKeyShift, kVkShift},
    {"Control", kKeyControl, kVkControl},
};

bool parseLong(const std::string& s, long& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = std::strtol(s.c_str(), &end, 10);
  return errno == 0 && *end == 0;
}

// Decodes one UTF-8 sequence at s[i]; returns 0 on a malformed sequence.
uint32_t decodeUtf8(const std::string& s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t b0 = byte(i);
  int extra = 0;
  uint32_t cp = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + extra >= s.size()) return 0;  // sequence cut off
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return cp;
}
}  // namespace

bool parseKeyName(const std::string& nameIn, KeyEvent& key, uint32_t& typed) {
  key = KeyEvent{};
  typed = 0;
  std::string name = nameIn;
  for (;;) {
    if (name.size() > 6 && name.compare(0, 6, "Shift+") == 0) {
      key.shift = true;
      name.erase(0, 6);
    } else if (name.size() > 5 && name.compare(0, 5, "Ctrl+") == 0) {
      key.control = true;
      name.erase(0, 5);
    } else {
      break;
    }
  }
  for (const NamedKey& k : kNamedKeys) {
    if (name == k.name) {
      key.code = k.code;
      key.virtualKey = k.virtualKey;
      if (k.code == kKeySpace && !key.control) typed = ' ';
      if (k.code == kKeyShift) key.shift = true;
      if (k.code == kKeyControl) key.control = true;
      return true;
    }
  }
  if (name.size() >= 2 && name[0] == 'F') {
    long n = 0;
    if (parseLong(name.substr(1), n) && n >= 1 && n <= 15) {
      key.virtualKey = static_cast<uint16_t>(kVkF1 + n - 1);
      key.code = static_cast<uint16_t>(key.virtualKey - 71);
      return true;
    }
    return false;
  }
  size_t i = 0;
  const uint32_t c = name.empty() ? 0 : decodeUtf8(name, i);
  if (c == 0 || i != name.size() || c > 0xFFFF) return false;
  uint32_t ch = c;
  if (key.shift && ch >= 'a' && ch <= 'z') ch -= 32;
  key.code = static_cast<uint16_t>(ch);
  // Letters and digits have the virtual key of their upper-case form.
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    key.virtualKey = static_cast<uint16_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (!key.control) typed = ch;
  return true;
}

bool parseInputScript(const std::string& text, std::vector<InputEvent>& events, std::string& error) {
  events.clear();
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream words(line.substr(first));
    std::string stepText, verb;
    words >> stepText >> verb;
    InputEvent ev;
    ev.line = lineNo;
    if (!parseLong(stepText, ev.step) || ev.step < 1) return fail("expected a step number >= 1");
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (verb == "mouse") {
      std::istringstream xy(rest);
      std::string xs, ys, extra;
      long x = 0, y = 0;
      xy >> xs >> ys >> extra;
      if (!parseLong(xs, x) || !parseLong(ys, y) || !extra.empty())
        return fail("expected \"mouse X Y\"");
      if (x < -32000 || x > 32000 || y < -32000 || y > 32000) return fail("mouse position out of range");
      ev.kind = InputEvent::Kind::Mouse;
      ev.x = static_cast<int>(x);
      ev.y = static_cast<int>(y);
      events.push_back(ev);
    } else if (verb == "down" || verb == "up") {
      if (!rest.empty()) return fail("\"" + verb + "\" takes no argument");
      ev.kind = verb == "down" ? InputEvent::Kind::Down : InputEvent::Kind::Up;
      events.push_back(ev);
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
      uint32_t typed = 0;
      if (!parseKeyName(rest, ev.key, typed)) return fail("unknown key \"" + rest + "\"");
      if (verb != "keyup") {
        ev.kind = InputEvent::Kind::KeyDown;
        events.push_back(ev);
        if (typed) {
          InputEvent t = ev;
          t.kind = InputEvent::Kind::Type;
          t.character = typed;
          events.push_back(t);
        }
      }
      if (verb != "keydown") {
        ev.kind = InputEvent::Kind::KeyUp;
        events.push_back(ev);
      }
    } else if (verb == "type") {
      if (rest.empty()) return fail("\"type\" needs text");
      for (size_t i = 0; i < rest.size();) {
        const uint32_t c = decodeUtf8(rest, i);
        if (c == 0) return fail("text is not valid UTF-8");
        ev.kind = InputEvent::Kind::Type;
        ev.character = c;
        events.push_back(ev);
      }
    } else {
      return fail(verb.empty() ? "missing event" : "unknown event \"" + verb + "\"");
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const InputEvent& a, const InputEvent& b) { return a.step < b.step; });
  return true;
}

}  // namespace kivra
