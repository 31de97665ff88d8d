// The String constructor, String.fromCharCode and the String.prototype
// methods (native class 251). Every routine first turns `this` (or the
// constructor's argument) into its 16-bit code units and counts positions
// and lengths in units. Results are made in the running movie's mode: code
// page below version 6, UTF-8 from version 6 on.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/script/CaseTables.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

using Units = std::u16string;

bool codePageMode(NativeCall& c) { return c.engine.version() < 6; }

Units thisUnits(NativeCall& c) { return unitsOf(c.engine, c.thisValue); }

// The piece from a up to, not including, b: empty when the string is empty,
// a = b, a is at or past the end or b - a <= 0. An end past the string is
// cut to it.
Units piece(const Units& s, int64_t a, int64_t b) {
  const int64_t n = static_cast<int64_t>(s.size());
  if (n == 0 || a == b || a >= n || b - a <= 0 || a < 0) return Units();
  if (b > n) b = n;
  return s.substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
}

bool matchesAt(const Units& s, int64_t p, const Units& d) {
  return p >= 0 && p + static_cast<int64_t>(d.size()) <= static_cast<int64_t>(s.size()) &&
         s.compare(static_cast<size_t>(p), d.size(), d) == 0;
}

// The normalisation of slice: a negative position counts back from the end.
int64_t slicePosition(int64_t v, int64_t n) { return v < 0 ? std::max<int64_t>(0, n + v) : std::min(v, n); }

void construct(NativeCall& c) {
  ScriptEngine& e = c.engine;
  ScriptValue text = c.argc > 0 ? e.toStringValue(c.args[0]) : ScriptValue::string("", codePageMode(c));
  if (!c.construct) {
    c.result = text;
    return;
  }
  ScriptObject* o = c.thisValue.asObject();
  if (!o) return;
  const Units units = unitsOf(e, text);
  o->setClassTag(ClassTag::String);
  o->primitive() = text;
  o->put("length", ScriptValue::number(static_cast<double>(units.size())), kDontEnum | kDontDelete);
}

void valueOf(NativeCall& c) { c.result = c.engine.toStringValue(c.thisValue); }

void toString(NativeCall& c) {
  if (const ScriptObject* o = c.thisValue.asObject(); o && o->classTag() != ClassTag::String) return;
  c.result = c.engine.toStringValue(c.thisValue);
}

void toUpperCase(NativeCall& c) {
  Units s = thisUnits(c);
  for (char16_t& u : s) u = toUpperUnit(u);
  c.result = unitsValue(c.engine, s, codePageMode(c));
}

void toLowerCase(NativeCall& c) {
  Units s = thisUnits(c);
  for (char16_t& u : s) u = toLowerUnit(u);
  c.result = unitsValue(c.engine, s, codePageMode(c));
}

void charAt(NativeCall& c) {
  const Units s = thisUnits(c);
  const int64_t i = integerArg(c, 0);
  c.result = unitsValue(c.engine, piece(s, i, i + 1), codePageMode(c));
}

void charCodeAt(NativeCall& c) {
  const Units s = thisUnits(c);
  const int64_t i = integerArg(c, 0);
  if (i >= 0 && i < static_cast<int64_t>(s.size())) c.result = ScriptValue::number(s[static_cast<size_t>(i)]);
  else c.result = ScriptValue::number(codePageMode(c) ? 0 : std::numeric_limits<double>::quiet_NaN());
}

void concat(NativeCall& c) {
  Units s = thisUnits(c);
  for (int i = 0; i < c.argc; ++i) {
    s += unitsOf(c.engine, c.args[i]);
    if (s.size() > kMaxNativeStringUnits) return;  // too long to build: no result
  }
  c.result = unitsValue(c.engine, s, codePageMode(c));
}

void indexOf(NativeCall& c) {
  if (c.argc == 0) return;
  const Units s = thisUnits(c), d = unitsOf(c.engine, c.args[0]);
  const int64_t n = static_cast<int64_t>(s.size()), m = static_cast<int64_t>(d.size());
  // A negative start searches from the beginning.
  const int64_t start = argPresent(c, 1) ? std::max<int64_t>(0, integerArg(c, 1)) : 0;
  int64_t found = -1;
  if (n - m >= start)
    for (int64_t p = start; p <= n - m && nativeStep(c.engine, static_cast<size_t>(m)); ++p)
      if (matchesAt(s, p, d)) {
        found = p;
        break;
      }
  c.result = ScriptValue::number(static_cast<double>(found));
}

void lastIndexOf(NativeCall& c) {
  if (c.argc == 0) return;
  const Units s = thisUnits(c), d = unitsOf(c.engine, c.args[0]);
  const int64_t n = static_cast<int64_t>(s.size()), m = static_cast<int64_t>(d.size());
  int64_t p = argPresent(c, 1) ? integerArg(c, 1) : n - m;
  // A start past the last place where the text fits searches from that place.
  if (p > n - m) p = n - m;
  int64_t found = -1;
  for (; p >= 0 && nativeStep(c.engine, static_cast<size_t>(m)); --p)
    if (matchesAt(s, p, d)) {
      found = p;
      break;
    }
  c.result = ScriptValue::number(static_cast<double>(found));
}

void slice(NativeCall& c) {
  if (c.argc == 0) return;
  const Units s = thisUnits(c);
  const int64_t n = static_cast<int64_t>(s.size());
  const int64_t start = slicePosition(integerArg(c, 0), n);
  int64_t end = slicePosition(argPresent(c, 1) ? integerArg(c, 1) : n, n);
  if (end < start) end = start;
  c.result = unitsValue(c.engine, piece(s, start, end), codePageMode(c));
}

void substring(NativeCall& c) {
  if (c.argc == 0) return;
  const Units s = thisUnits(c);
  const int64_t n = static_cast<int64_t>(s.size());
  int64_t start = integerArg(c, 0);
  int64_t end = argPresent(c, 1) ? integerArg(c, 1) : n;
  end = std::clamp<int64_t>(end, 0, n);
  if (start < 0) start = 0;
  if (start >= n) start = end = 0;
  if (end < start) std::swap(start, end);
  c.result = unitsValue(c.engine, piece(s, start, end), codePageMode(c));
}

void substr(NativeCall& c) {
  if (c.argc == 0) return;
  const Units s = thisUnits(c);
  const int64_t n = static_cast<int64_t>(s.size());
  int64_t start = integerArg(c, 0);
  const int64_t count = argPresent(c, 1) ? integerArg(c, 1) : n;
  if (start < 0) start = std::max<int64_t>(0, start + n);
  int64_t end = start + count;
  start = slicePosition(start, n);
  end = slicePosition(end, n);
  if (end < start) end = start;
  c.result = unitsValue(c.engine, piece(s, start, end), codePageMode(c));
}

void split(NativeCall& c) {
  ScriptEngine& e = c.engine;
  const bool v6 = e.version() >= 6, codePage = codePageMode(c);
  ScriptObject* array = e.newArray();
  c.result = ScriptValue::object(array);
  double count = 0;
  auto add = [&](const Units& u) {
    e.setMember(array, indexName(count), unitsValue(c.engine, u, codePage));
    ++count;
  };
  const Units s = thisUnits(c);
  const bool hasDelimiter = argPresent(c, 0);
  const Units d = hasDelimiter ? unitsOf(e, c.args[0]) : Units(u",");
  if (v6 && s.empty()) {
    if (!(hasDelimiter && d.empty())) add(Units());
    return;
  }
  if ((v6 && !hasDelimiter) || (!v6 && hasDelimiter && d.empty())) {
    add(s);
    return;
  }
  const bool limited = argPresent(c, 1);
  const double limit = limited ? integerArg(c, 1) : 0;
  const int64_t n = static_cast<int64_t>(s.size()), k = static_cast<int64_t>(d.size());
  int64_t start = 0;
  for (int64_t i = 0; i <= n;) {
    if (limited && count >= limit) break;
    if (!nativeStep(c.engine, static_cast<size_t>(k))) break;
    if (count >= kMaxNativeElements) {
      c.result.clear();  // too many pieces to make: no result
      return;
    }
    if (k == 0) {
      if (i < n) add(piece(s, i, i + 1));
      ++i;
    } else if (v6) {
      if (i == n || matchesAt(s, i, d)) {
        add(piece(s, start, i));
        start = i + k;
        i += k;
      } else {
        ++i;
      }
    } else {
      // Below version 6 the delimiter is compared with one unit only, so a
      // longer delimiter never matches.
      if (i == n || (k == 1 && s[static_cast<size_t>(i)] == d[0])) {
        add(piece(s, start, i));
        start = i + 1;
      }
      ++i;
    }
  }
}

void fromCharCode(NativeCall& c) {
  Units units;
  for (int i = 0; i < c.argc; ++i) {
    const char16_t u = static_cast<char16_t>(integerArg(c, i) & 0xFFFF);
    if (u == 0) break;
    units.push_back(u);
  }
  if (!codePageMode(c)) {
    c.result = unitsValue(c.engine, units, false);
    return;
  }
  // Below version 6 the units become code-page bytes: a unit above 255 gives
  // its high byte, then its low byte. The text ends at a zero byte.
  std::string bytes;
  for (char16_t u : units) {
    if (u > 255) {
      bytes.push_back(static_cast<char>(u >> 8));
      if ((u & 0xFF) == 0) break;
    }
    bytes.push_back(static_cast<char>(u & 0xFF));
  }
  c.result = ScriptValue::string(bytes, true);
}

constexpr NativeMethod kStringMethods[] = {
    {0, "String", construct},
    {1, "valueOf", valueOf},
    {2, "toString", toString},
    {3, "toUpperCase", toUpperCase},
    {4, "toLowerCase", toLowerCase},
    {5, "charAt", charAt},
    {6, "charCodeAt", charCodeAt},
    {7, "concat", concat},
    {8, "indexOf", indexOf},
    {9, "lastIndexOf", lastIndexOf},
    {10, "slice", slice},
    {11, "substring", substring},
    {12, "split", split},
    {13, "substr", substr},
    {14, "fromCharCode", fromCharCode},
};

}  // namespace

const NativeClass kStringNatives{kNativeString, "String", kStringMethods};

}  // namespace kivra
