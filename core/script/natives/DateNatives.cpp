// The Date constructor, Date.UTC and the Date.prototype methods (native
// class 103). A Date object holds one time value as its primitive. Methods
// 0-20 work in local time; the same number plus 128 is the UTC twin, which
// works on the time value directly. 256 is the constructor, 257 Date.UTC.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/script/DateMath.h"
#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

using namespace date;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint16_t kUtcTwin = 128;

enum DateMethod : uint16_t {
  kGetFullYear = 0, kGetYear, kGetMonth, kGetDate, kGetDay, kGetHours, kGetMinutes, kGetSeconds,
  kGetMilliseconds, kSetFullYear, kSetMonth, kSetDate, kSetHours, kSetMinutes, kSetSeconds,
  kSetMilliseconds, kGetTime, kSetTime, kGetTimezoneOffset, kToString, kSetYear,
  kConstruct = 256, kDateUtc = 257,
};

double now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// Up to seven arguments as numbers; a missing or undefined one ends the list.
int readFields(NativeCall& c, double (&out)[7]) {
  int n = 0;
  while (n < 7 && argPresent(c, n)) {
    out[n] = c.engine.toNumber(c.args[n]);
    ++n;
  }
  return n;
}

// A two-digit year means the twentieth century.
double fullYear(double y) {
  const double whole = std::trunc(y);
  return whole >= 0 && whole <= 99 ? whole + 1900 : y;
}

double localFromFields(const double (&f)[7], int n) {
  const double day = makeDay(fullYear(f[0]), n > 1 ? f[1] : 0, n > 2 ? f[2] : 1);
  return makeDate(day, makeTime(n > 3 ? f[3] : 0, n > 4 ? f[4] : 0, n > 5 ? f[5] : 0, n > 6 ? f[6] : 0));
}

std::string dateText(double t, bool utc) {
  if (std::isnan(t)) return "Invalid Date";
  const double local = utc ? t : localTime(t, systemOffsetAt);
  const int month = monthFromTime(local), weekday = weekDay(local);
  if (month < 0 || month > 11 || weekday < 0 || weekday > 6) return "Invalid Date";
  static constexpr char kDays[] = "SunMonTueWedThuFriSat";
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const long offsetMinutes = std::lround((local - t) / 60000.0);
  const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[96];
  std::snprintf(text, sizeof text, "%.3s %.3s %d %02d:%02d:%02d GMT%c%02ld%02ld %.0f", kDays + 3 * weekday,
                kMonths + 3 * month, dateFromTime(local), hourFromTime(local), minFromTime(local), secFromTime(local),
                offsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60, yearFromTime(local));
  return text;
}

void construct(NativeCall& c) {
  if (!c.construct) {
    c.result = c.engine.makeString(dateText(timeClip(now()), false));
    return;
  }
  ScriptObject* o = c.thisValue.asObject();
  if (!o) return;
  double f[7];
  const int n = readFields(c, f);
  double t = kNaN;
  if (n == 0) t = timeClip(now());
  else if (n == 1) t = timeClip(f[0]);
  else t = timeClip(utcFromLocal(localFromFields(f, n), systemOffsetAt));
  o->setClassTag(ClassTag::Date);
  o->primitive() = ScriptValue::number(t);
}

void utc(NativeCall& c) {
  double f[7];
  const int n = readFields(c, f);
  c.result = ScriptValue::number(n == 0 ? kNaN : timeClip(localFromFields(f, n)));
}

double get(uint16_t method, double t, double local) {
  switch (method) {
    case kGetFullYear: return yearFromTime(local);
    case kGetYear: return yearFromTime(local) - 1900;
    case kGetMonth: return monthFromTime(local);
    case kGetDate: return dateFromTime(local);
    case kGetDay: return weekDay(local);
    case kGetHours: return hourFromTime(local);
    case kGetMinutes: return minFromTime(local);
    case kGetSeconds: return secFromTime(local);
    case kGetMilliseconds: return msFromTime(local);
    case kGetTime: return t;
    case kGetTimezoneOffset: return (t - local) / 60000.0;
    default: return kNaN;
  }
}

// The new local (or UTC) value of a setter from its fields; the fields it
// is not given keep their values in `local`.
double set(uint16_t method, double local, const double (&f)[7], int n) {
  if (method == kSetYear) {
    const double fields[7] = {fullYear(f[0])};
    return set(kSetFullYear, local, fields, 1);
  }
  if (method == kSetFullYear) {
    // An invalid date gets its year from the epoch's other fields.
    if (std::isnan(local)) local = 0;
    const double day = makeDay(f[0], n > 1 ? f[1] : monthFromTime(local), n > 2 ? f[2] : dateFromTime(local));
    return makeDate(day, timeWithinDay(local));
  }
  if (std::isnan(local)) return kNaN;
  const double year = yearFromTime(local), month = monthFromTime(local), date = dateFromTime(local);
  const double h = hourFromTime(local), m = minFromTime(local), s = secFromTime(local), ms = msFromTime(local);
  const double today = day(local), time = timeWithinDay(local);
  switch (method) {
    case kSetMonth: return makeDate(makeDay(year, f[0], n > 1 ? f[1] : date), time);
    case kSetDate: return makeDate(makeDay(year, month, f[0]), time);
    case kSetHours:
      return makeDate(today, makeTime(f[0], n > 1 ? f[1] : m, n > 2 ? f[2] : s, n > 3 ? f[3] : ms));
    case kSetMinutes: return makeDate(today, makeTime(h, f[0], n > 1 ? f[1] : s, n > 2 ? f[2] : ms));
    case kSetSeconds: return makeDate(today, makeTime(h, m, f[0], n > 1 ? f[1] : ms));
    case kSetMilliseconds: return makeDate(today, makeTime(h, m, s, f[0]));
    default: return kNaN;
  }
}

void method(NativeCall& c) {
  ScriptObject* o = c.thisValue.asObject();
  if (!o || o->classTag() != ClassTag::Date) return;
  const bool utcTwin = c.method >= kUtcTwin;
  const uint16_t m = utcTwin ? c.method - kUtcTwin : c.method;
  const double t = o->primitive().isNumber() ? o->primitive().asNumber() : kNaN;
  if (m == kToString) {
    c.result = c.engine.makeString(dateText(t, utcTwin));
    return;
  }
  const bool setter = (m >= kSetFullYear && m <= kSetMilliseconds) || m == kSetTime || m == kSetYear;
  if (!setter) {
    if (std::isnan(t)) c.result = ScriptValue::number(kNaN);
    else c.result = ScriptValue::number(get(m, t, utcTwin ? t : localTime(t, systemOffsetAt)));
    return;
  }
  double f[7];
  const int n = readFields(c, f);
  if (n == 0) return;
  double value;
  if (m == kSetTime) {
    value = timeClip(f[0]);
  } else {
    const double local = utcTwin || std::isnan(t) ? t : localTime(t, systemOffsetAt);
    const double changed = set(m, local, f, n);
    value = timeClip(utcTwin ? changed : utcFromLocal(changed, systemOffsetAt));
  }
  o->primitive() = ScriptValue::number(value);
  c.result = ScriptValue::number(value);
}

// The names the library binds, by method number; the twins of 16 to 20 are
// bound by no name.
constexpr const char* kLocalNames[kSetYear + 1] = {
    "getFullYear", "getYear",        "getMonth",   "getDate",         "getDay",       "getHours",
    "getMinutes",  "getSeconds",     "getMilliseconds", "setFullYear", "setMonth",    "setDate",
    "setHours",    "setMinutes",     "setSeconds", "setMilliseconds", "getTime",      "setTime",
    "getTimezoneOffset", "toString", "setYear",
};
constexpr const char* kUtcNames[kSetYear + 1] = {
    "getUTCFullYear", "getUTCYear",    "getUTCMonth",   "getUTCDate",        "getUTCDay",
    "getUTCHours",    "getUTCMinutes", "getUTCSeconds", "getUTCMilliseconds", "setUTCFullYear",
    "setUTCMonth",    "setUTCDate",    "setUTCHours",   "setUTCMinutes",     "setUTCSeconds",
    "setUTCMilliseconds", "getTime UTC twin", "setTime UTC twin", "getTimezoneOffset UTC twin",
    "toString UTC twin",  "setYear UTC twin",
};

// Every getter and setter, in local time and as its UTC twin, goes through
// method(); the constructor and Date.UTC have their own entries.
constexpr auto kDateMethods = [] {
  std::array<NativeMethod, 2 * (kSetYear + 1) + 2> table{};
  size_t k = 0;
  for (uint16_t m = 0; m <= kSetYear; ++m) {
    table[k++] = {m, kLocalNames[m], method};
    table[k++] = {static_cast<uint16_t>(m + kUtcTwin), kUtcNames[m], method};
  }
  table[k++] = {kConstruct, "Date", construct};
  table[k++] = {kDateUtc, "UTC", utc};
  return table;
}();

}  // namespace

const NativeClass kDateNatives{kNativeDate, "Date", kDateMethods};

}  // namespace kivra
