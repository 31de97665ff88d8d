// The legacy string actions (comparison, length, extraction, concatenation,
// character codes, each with its multibyte twin) as one handler of the
// record loop's general path: the operands in `a` (top of the stack first),
// popped and converted by the descriptor; the result left in `flag`, `num`
// or `result` as the descriptor's result kind says. They touch none of the
// loop's state, and run out of the loop: cold code kept out of its way.
#include "core/script/Interpreter.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/format/OpcodeTable.h"
#include "core/script/ActionContext.h"
#include "core/script/NumberText.h"
#include "core/script/ScriptEngine.h"
#include "core/script/ScriptString.h"

namespace kivra {

namespace {

// Characters of legacy string actions: UTF-8 in version 6, bytes (with the
// code page's double-byte pairs for the multibyte twins) before.
size_t charLength(std::string_view s, size_t pos, bool utf8, const CodePage* multibyte) {
  const uint8_t b = static_cast<uint8_t>(s[pos]);
  size_t n = 1;
  if (utf8) n = b < 0x80 ? 1 : (b >= 0xC0 && b < 0xE0) ? 2 : (b >= 0xE0 && b < 0xF0) ? 3 : 1;
  else if (multibyte && multibyte->isLeadByte(b)) n = 2;
  return pos + n > s.size() ? s.size() - pos : n;
}

size_t countChars(std::string_view s, bool utf8, const CodePage* multibyte) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); i += charLength(s, i, utf8, multibyte)) ++n;
  return n;
}

// Byte offset of character number `c`.
size_t charOffset(std::string_view s, size_t c, bool utf8, const CodePage* multibyte) {
  size_t i = 0;
  while (c > 0 && i < s.size()) {
    i += charLength(s, i, utf8, multibyte);
    --c;
  }
  return i;
}

}  // namespace

void Interpreter::stringAction(ScriptEngine& e, const ActionContext& ctx, uint8_t code0, const ScriptValue* a,
                               bool& flag, double& num, ScriptValue& result) {
  constexpr auto op = [](Opcode o) { return static_cast<uint8_t>(o); };
  switch (code0) {
    case op(Opcode::StringEquals):
    case op(Opcode::StringLess):
    case op(Opcode::StringGreater): {
      int c;
      if (ctx.version >= 6) {
        std::u16string x, y;
        text::widen(e.legacyText(a[1]), false, e.codePage(), x);
        text::widen(e.legacyText(a[0]), false, e.codePage(), y);
        c = x.compare(y);
      } else {
        const std::string x = e.legacyText(a[1]), y = e.legacyText(a[0]);
        c = 0;
        for (size_t i = 0; c == 0; ++i) {
          if (i >= x.size() || i >= y.size()) {
            c = x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
            break;
          }
          c = static_cast<int8_t>(x[i]) - static_cast<int8_t>(y[i]);
        }
      }
      if (code0 == op(Opcode::StringEquals)) flag = c == 0;
      else if (code0 == op(Opcode::StringLess)) flag = c < 0;
      else flag = c > 0;
      break;
    }
    case op(Opcode::StringLength):
    case op(Opcode::MBStringLength):
      num = static_cast<double>(
          countChars(e.legacyText(a[0]), ctx.version >= 6,
                     code0 == op(Opcode::MBStringLength) ? &e.codePage() : nullptr));
      break;
    case op(Opcode::StringExtract):
    case op(Opcode::MBStringExtract): {
      const std::string s = e.legacyText(a[2]);
      const bool utf8 = ctx.version >= 6;
      const CodePage* mb = code0 == op(Opcode::MBStringExtract) ? &e.codePage() : nullptr;
      const double total = static_cast<double>(countChars(s, utf8, mb));
      double start = std::trunc(a[1].asNumber()) - 1;
      if (std::isnan(start) || start < 0) start = 0;
      if (start > total) start = total;
      double count = std::trunc(a[0].asNumber());
      if (std::isnan(count) || count < 0 || start + count > total) count = total - start;
      const size_t from = charOffset(s, static_cast<size_t>(start), utf8, mb);
      const size_t to = charOffset(s, static_cast<size_t>(start + count), utf8, mb);
      result = e.makeString(std::string_view(s).substr(from, to - from));
      break;
    }
    case op(Opcode::StringAdd): {
      std::string s = e.legacyText(a[1]);
      s += e.legacyText(a[0]);
      result = e.makeString(s);
      break;
    }
    case op(Opcode::CharToAscii):
    case op(Opcode::MBCharToAscii): {
      const std::string s = e.legacyText(a[0]);
      if (s.empty()) {
        num = 0;
      } else if (ctx.version >= 6) {
        size_t pos = 0;
        num = text::decodeUtf8(s, pos);
      } else if (code0 == op(Opcode::MBCharToAscii) && s.size() > 1 &&
                 e.codePage().isLeadByte(static_cast<uint8_t>(s[0]))) {
        num = static_cast<uint8_t>(s[0]) * 256 + static_cast<uint8_t>(s[1]);
      } else {
        num = static_cast<uint8_t>(s[0]);
      }
      break;
    }
    case op(Opcode::AsciiToChar):
    case op(Opcode::MBAsciiToChar): {
      const uint32_t c = static_cast<uint32_t>(toInteger32(a[0].asNumber()));
      std::string s;
      if (ctx.version >= 6) {
        text::appendUtf8(c & 0xFFFF, s);
      } else if (code0 == op(Opcode::MBAsciiToChar) && (c & 0xFFFF) >= 256) {
        s.push_back(static_cast<char>((c >> 8) & 0xFF));
        s.push_back(static_cast<char>(c & 0xFF));
      } else {
        s.push_back(static_cast<char>(c & 0xFF));
      }
      result = e.makeString(s);
      break;
    }
    default:
      break;
  }
}

}  // namespace kivra
