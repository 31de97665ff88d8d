#include "core/script/DateMath.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace kivra::date {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMsPerHour = 3600000.0, kMsPerMinute = 60000.0, kMsPerSecond = 1000.0;
// Days before each month in a common year.
constexpr int kMonthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

double positiveModulo(double a, double b) {
  const double r = std::fmod(a, b);
  return r < 0 ? r + b : r;
}

int dayWithinYear(double t) { return static_cast<int>(day(t) - dayFromYear(yearFromTime(t))); }

int monthStart(int month, bool leap) { return kMonthStart[month] + (leap && month >= 2 ? 1 : 0); }
}  // namespace

double day(double t) { return std::floor(t / kMsPerDay); }
double timeWithinDay(double t) { return positiveModulo(t, kMsPerDay); }

double dayFromYear(double y) {
  return 365.0 * (y - 1970) + std::floor((y - 1969) / 4) - std::floor((y - 1901) / 100) +
         std::floor((y - 1601) / 400);
}

bool isLeapYear(double y) {
  return std::fmod(y, 4) == 0 && (std::fmod(y, 100) != 0 || std::fmod(y, 400) == 0);
}

double yearFromTime(double t) {
  if (!std::isfinite(t)) return kNaN;
  const double d = day(t);
  double y = std::floor(d / 365.2425) + 1970;
  while (dayFromYear(y) > d) --y;
  while (dayFromYear(y + 1) <= d) ++y;
  return y;
}

int monthFromTime(double t) {
  const int d = dayWithinYear(t);
  const bool leap = isLeapYear(yearFromTime(t));
  int m = 0;
  while (m < 11 && d >= monthStart(m + 1, leap)) ++m;
  return m;
}

int dateFromTime(double t) {
  const bool leap = isLeapYear(yearFromTime(t));
  return dayWithinYear(t) - monthStart(monthFromTime(t), leap) + 1;
}

int weekDay(double t) { return static_cast<int>(positiveModulo(day(t) + 4, 7)); }
int hourFromTime(double t) { return static_cast<int>(std::floor(timeWithinDay(t) / kMsPerHour)); }
int minFromTime(double t) { return static_cast<int>(positiveModulo(std::floor(t / kMsPerMinute), 60)); }
int secFromTime(double t) { return static_cast<int>(positiveModulo(std::floor(t / kMsPerSecond), 60)); }
int msFromTime(double t) { return static_cast<int>(positiveModulo(t, kMsPerSecond)); }

double makeTime(double hour, double min, double sec, double ms) {
  if (!std::isfinite(hour) || !std::isfinite(min) || !std::isfinite(sec) || !std::isfinite(ms)) return kNaN;
  return std::trunc(hour) * kMsPerHour + std::trunc(min) * kMsPerMinute + std::trunc(sec) * kMsPerSecond +
         std::trunc(ms);
}

double makeDay(double year, double month, double date) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return kNaN;
  const double y = std::trunc(year) + std::floor(std::trunc(month) / 12);
  // Far beyond the range of time values: no need to count the days.
  if (std::fabs(y) > 400000) return kNaN;
  const int m = static_cast<int>(positiveModulo(std::trunc(month), 12));
  return dayFromYear(y) + monthStart(m, isLeapYear(y)) + std::trunc(date) - 1;
}

double makeDate(double d, double time) {
  if (!std::isfinite(d) || !std::isfinite(time)) return kNaN;
  return d * kMsPerDay + time;
}

double timeClip(double t) {
  if (!std::isfinite(t) || std::fabs(t) > kMaxTime) return kNaN;
  return std::trunc(t) + 0.0;  // + 0.0 turns -0 into +0
}

double systemOffsetAt(double utc) {
  // Outside the range of time values (and of time_t) no zone applies.
  if (!std::isfinite(utc) || std::fabs(utc) > kMaxTime + 2 * kMsPerDay) return 0;
  const std::time_t seconds = static_cast<std::time_t>(std::floor(utc / kMsPerSecond));
  std::tm fields{};
  if (!localtime_r(&seconds, &fields)) return 0;
  return static_cast<double>(fields.tm_gmtoff) * kMsPerSecond;
}

double localTime(double utc, OffsetAt offsetAt) {
  if (std::isnan(utc)) return kNaN;
  return utc + offsetAt(utc);
}

double utcFromLocal(double local, OffsetAt offsetAt) {
  if (!std::isfinite(local)) return kNaN;
  // The offsets in force a day before and a day after: zones change their
  // offset far less often than that.
  const double before = offsetAt(local - kMsPerDay), after = offsetAt(local + kMsPerDay);
  const double early = local - before;
  if (offsetAt(early) == before) return early;  // also the first of a repeated hour
  const double late = local - after;
  if (offsetAt(late) == after) return late;
  return early;  // skipped by the change: counted with the offset before it
}

}  // namespace kivra::date
