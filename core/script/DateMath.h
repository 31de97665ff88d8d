#pragma once
// Calendar arithmetic of Date objects: time values are milliseconds since
// 1 January 1970 UTC as doubles (or NaN), days have 86,400,000 ms and the
// calendar is the proleptic Gregorian one. All functions are pure; local
// time takes the zone's offset as a function.
#include <cstdint>

namespace kivra::date {

constexpr double kMsPerDay = 86400000.0;
constexpr double kMaxTime = 8.64e15;

// Whole days since the epoch (rounded down) and the time within that day.
double day(double t);
double timeWithinDay(double t);
double dayFromYear(double year);
bool isLeapYear(double year);
double yearFromTime(double t);
int monthFromTime(double t);   // 0-11
int dateFromTime(double t);    // 1-31
int weekDay(double t);         // 0 Sunday .. 6 Saturday
int hourFromTime(double t);
int minFromTime(double t);
int secFromTime(double t);
int msFromTime(double t);

// Fields to values; each field is truncated toward zero first and any field
// that is not finite gives NaN. Months outside 0-11 carry into the year.
double makeTime(double hour, double min, double sec, double ms);
double makeDay(double year, double month, double date);
double makeDate(double day, double time);
// NaN, an infinity or a magnitude above 8.64e15 give NaN; anything else is
// truncated toward zero.
double timeClip(double t);

// The zone: milliseconds to add to a UTC time value to get the local time
// at that moment (standard offset plus any daylight-saving adjustment).
using OffsetAt = double (*)(double utc);
// The system's zone (the TZ environment variable or the machine's setting).
double systemOffsetAt(double utc);
double localTime(double utc, OffsetAt offsetAt);
// A local time value back to UTC: the offset that is in force at the
// resulting moment is taken off. A local time that occurs twice (clocks set
// back) means the first of the two; one that a change skips (clocks set
// forward) is counted with the offset in force before the change, so
// 02:30 on the morning the clocks go from 02:00 to 03:00 means 03:30.
double utcFromLocal(double local, OffsetAt offsetAt);

}  // namespace kivra::date
