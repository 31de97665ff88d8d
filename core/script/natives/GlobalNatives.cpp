// Global functions (class 100: escape, unescape, parseInt, parseFloat,
// trace) and updateAfterEvent (class 9).
#include <cmath>
#include <limits>
#include <string>

#include "core/net/UrlVariables.h"
#include "core/script/PlayerServices.h"
#include "core/script/natives/NativeHelpers.h"

namespace kivra {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

double parseInt(std::string_view s, bool hasRadix, int radix) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
  bool negative = false;
  size_t signEnd = i;
  if (signEnd < s.size() && (s[signEnd] == '-' || s[signEnd] == '+')) {
    negative = s[signEnd] == '-';
    ++signEnd;
  }
  if (!hasRadix) {
    radix = 10;
    if (signEnd + 1 < s.size() && s[signEnd] == '0' && (s[signEnd + 1] == 'x' || s[signEnd + 1] == 'X')) {
      radix = 16;
      i = signEnd + 2;
    } else {
      // "0" and octal digits to its end: base 8.
      bool octal = signEnd < s.size() && s[signEnd] == '0';
      for (size_t k = signEnd; octal && k < s.size(); ++k) octal = s[k] >= '0' && s[k] <= '7';
      if (octal) radix = 8;
      i = signEnd;
    }
  } else {
    if (radix < 2 || radix > 36) return kNaN;
    i = signEnd;
  }
  double value = 0;
  bool any = false;
  for (; i < s.size(); ++i) {
    const int d = digitValue(s[i]);
    if (d >= radix) break;
    value = value * radix + d;
    any = true;
  }
  if (!any) return kNaN;
  return negative ? -value : value;
}

void escape(NativeCall& c) {  // escape(s)
  ScriptEngine& e = c.engine;
  if (c.argc >= 1) c.result = e.makeString(urlEscape(e.toStdString(c.arg(0))));
}

void unescape(NativeCall& c) {  // unescape(s)
  ScriptEngine& e = c.engine;
  if (c.argc >= 1) c.result = e.makeString(urlUnescape(e.toStdString(c.arg(0))));
}

void parseIntNative(NativeCall& c) {  // parseInt(s [, radix])
  ScriptEngine& e = c.engine;
  if (c.argc >= 1) {
    const bool hasRadix = c.argc >= 2 && !c.arg(1).isUndefined();
    c.result =
        ScriptValue::number(parseInt(e.toStdString(c.arg(0)), hasRadix, hasRadix ? toInt32(e, c.arg(1)) : 10));
  }
}

void parseFloat(NativeCall& c) {  // parseFloat(s)
  ScriptEngine& e = c.engine;
  if (c.argc < 1) return;
  double d;
  c.result = ScriptValue::number(readDecimal(e.toStdString(c.arg(0)), true, d) ? d : kNaN);
}

// Prints like the Trace action: an author's trace() may reach the player
// either way.
void trace(NativeCall& c) { c.engine.player().trace(c.engine.toStdString(c.arg(0))); }

void updateAfterEvent(NativeCall& c) { c.engine.requestRedraw(); }

constexpr NativeMethod kGlobalMethods[] = {
    {0, "escape", escape}, {1, "unescape", unescape}, {2, "parseInt", parseIntNative},
    {3, "parseFloat", parseFloat}, {4, "trace", trace},
};

// updateAfterEvent never reads its method number.
constexpr NativeMethod kUpdateAfterEventMethods[] = {{0, "updateAfterEvent", updateAfterEvent}};

}  // namespace

const NativeClass kGlobalNatives{kNativeGlobal, "global functions", kGlobalMethods};
const NativeClass kUpdateAfterEventNatives{kNativeUpdateAfterEvent, "updateAfterEvent", kUpdateAfterEventMethods,
                                           updateAfterEvent};

}  // namespace kivra
