// Unit tests of the natives: the list of native classes and their tables,
// the sort's comparison order, the date arithmetic (checked against the C
// library's calendar and zone functions), Math against the C library, and
// the case tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/CorePlayer.h"
#include "tests/support/StubPlayer.h"
#include "core/script/ArraySort.h"
#include "core/script/CaseTables.h"
#include "core/script/DateMath.h"
#include "core/script/natives/NativeTable.h"
#include "core/script/ScriptEngine.h"

namespace kivra {
namespace {

// Sorts ints with a comparison that records its calls (pivot, other).
std::vector<std::pair<int, int>> sortLog(std::vector<int>& v) {
  std::vector<std::pair<int, int>> calls;
  auto after = [&](int p, int e) {
    calls.emplace_back(p, e);
    return p > e ? 1 : 0;
  };
  EXPECT_TRUE(sortDescendingThenReverse(v, after));
  return calls;
}

TEST(ArraySort, ComparisonOrderOfThreeElements) {
  std::vector<int> v{3, 1, 2};
  const auto calls = sortLog(v);
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3}));
  // The first pass scans from the right past 2 and 1; the second range
  // {1, 2} moves 2 into the hole and then meets it again from the left.
  const std::vector<std::pair<int, int>> expected{{3, 2}, {3, 1}, {1, 2}, {1, 2}};
  EXPECT_EQ(calls, expected);
}

TEST(ArraySort, ComparisonOrderOfASortedRun) {
  std::vector<int> v{1, 2, 3, 4};
  const auto calls = sortLog(v);
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4}));
  const std::vector<std::pair<int, int>> expected{{1, 4}, {1, 4}, {1, 2}, {1, 3}, {4, 3},
                                                  {4, 2}, {2, 3}, {2, 3}};
  EXPECT_EQ(calls, expected);
}

TEST(ArraySort, EqualElementsEndInTheAlgorithmsOrder) {
  // Keys with tags: elements compare by key only.
  std::vector<std::pair<int, char>> v{{1, 'p'}, {0, 'q'}, {1, 'r'}, {0, 's'}, {1, 't'}};
  auto after = [](const std::pair<int, char>& p, const std::pair<int, char>& e) { return p.first > e.first ? 1 : 0; };
  ASSERT_TRUE(sortDescendingThenReverse(v, after));
  std::string order;
  for (const auto& e : v) order += e.second;
  EXPECT_EQ(order, "sqptr");
}

TEST(ArraySort, SortsEveryPermutationOfSixAndStopsWhenAsked) {
  std::vector<int> base{0, 1, 2, 2, 4, 5};
  do {
    std::vector<int> v = base;
    auto after = [](int p, int e) { return p > e ? 1 : 0; };
    ASSERT_TRUE(sortDescendingThenReverse(v, after));
    ASSERT_TRUE(std::is_sorted(v.begin(), v.end()));
  } while (std::next_permutation(base.begin(), base.end()));
  std::vector<int> v{5, 4, 3, 2, 1};
  int budget = 3;
  auto after = [&](int p, int e) { return --budget < 0 ? -1 : (p > e ? 1 : 0); };
  EXPECT_FALSE(sortDescendingThenReverse(v, after));
}

TEST(ArraySort, NestingStaysShallowOnSortedInput) {
  // First-element pivots make sorted input quadratic in comparisons, but the
  // nested calls always take the smaller side.
  std::vector<int> v(3000);
  for (int i = 0; i < 3000; ++i) v[i] = i;
  long comparisons = 0;
  auto after = [&](int p, int e) {
    ++comparisons;
    return p > e ? 1 : 0;
  };
  ASSERT_TRUE(sortDescendingThenReverse(v, after));
  EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
  EXPECT_GT(comparisons, 3000L * 2999 / 2);
}

// ---- Dates ------------------------------------------------------------------

double fixedOffset(double) { return 3600000.0; }

// Central European rule: +1 h, +2 h from the last Sunday of March 01:00 UTC
// to the last Sunday of October 01:00 UTC.
double lastSunday(double year, int month) {
  const double end = date::makeDay(year, month + 1, 1) - 1;
  return end - ((static_cast<int>(std::fmod(end + 4, 7)) + 7) % 7);
}
double europeOffset(double utc) {
  const double y = date::yearFromTime(utc);
  const double start = lastSunday(y, 2) * date::kMsPerDay + 3600000.0;
  const double end = lastSunday(y, 9) * date::kMsPerDay + 3600000.0;
  return utc >= start && utc < end ? 7200000.0 : 3600000.0;
}

TEST(DateMath, FieldsOfKnownMoments) {
  using namespace date;
  EXPECT_EQ(yearFromTime(0), 1970);
  EXPECT_EQ(weekDay(0), 4);
  const double leapDay = makeDate(makeDay(2000, 1, 29), makeTime(12, 30, 15, 250));
  EXPECT_EQ(leapDay, 951827415250.0);
  EXPECT_EQ(monthFromTime(leapDay), 1);
  EXPECT_EQ(dateFromTime(leapDay), 29);
  EXPECT_EQ(weekDay(leapDay), 2);
  EXPECT_EQ(hourFromTime(leapDay), 12);
  EXPECT_EQ(minFromTime(leapDay), 30);
  EXPECT_EQ(secFromTime(leapDay), 15);
  EXPECT_EQ(msFromTime(leapDay), 250);
  EXPECT_EQ(yearFromTime(-1), 1969);
  EXPECT_EQ(msFromTime(-1), 999);
  EXPECT_EQ(yearFromTime(kMaxTime), 275760);
  EXPECT_EQ(yearFromTime(-kMaxTime), -271821);
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_TRUE(isLeapYear(-4));
}

TEST(DateMath, MonthsAndDaysCarry) {
  using namespace date;
  EXPECT_EQ(makeDay(2002, 13, 1), makeDay(2003, 1, 1));
  EXPECT_EQ(makeDay(2002, -1, 1), makeDay(2001, 11, 1));
  EXPECT_EQ(makeDay(2002, 1, 31), makeDay(2002, 2, 3));
  EXPECT_EQ(makeDay(2002, 2, 0), makeDay(2002, 1, 28));
  EXPECT_EQ(makeDay(2002.9, 0.7, 1.9), makeDay(2002, 0, 1));  // fields truncate
  EXPECT_TRUE(std::isnan(makeDay(NAN, 0, 1)));
  EXPECT_TRUE(std::isnan(makeDay(1e300, 0, 1)));
  EXPECT_TRUE(std::isnan(makeTime(0, INFINITY, 0, 0)));
}

TEST(DateMath, TimeClip) {
  using namespace date;
  EXPECT_EQ(timeClip(8.64e15), 8.64e15);
  EXPECT_TRUE(std::isnan(timeClip(8.64e15 + 1)));
  EXPECT_TRUE(std::isnan(timeClip(INFINITY)));
  EXPECT_EQ(timeClip(-1.5), -1);
  EXPECT_FALSE(std::signbit(timeClip(-0.5)));
}

TEST(DateMath, LocalTimeAcrossDaylightSavingChanges) {
  using namespace date;
  EXPECT_EQ(utcFromLocal(localTime(12345678, fixedOffset), fixedOffset), 12345678);
  // 2002-03-31: 02:00 CET became 03:00 CEST; 2002-10-27: 03:00 CEST became 02:00 CET.
  const double spring = makeDay(2002, 2, 31), autumn = makeDay(2002, 9, 27);
  const double hour = 3600000.0;
  EXPECT_EQ(utcFromLocal(makeDate(spring, 1.5 * hour), europeOffset), makeDate(spring, 0.5 * hour));
  EXPECT_EQ(utcFromLocal(makeDate(spring, 2.5 * hour), europeOffset), makeDate(spring, 1.5 * hour));  // skipped
  EXPECT_EQ(utcFromLocal(makeDate(spring, 3.5 * hour), europeOffset), makeDate(spring, 1.5 * hour));
  EXPECT_EQ(utcFromLocal(makeDate(autumn, 2.5 * hour), europeOffset), makeDate(autumn, 0.5 * hour));  // first
  EXPECT_EQ(utcFromLocal(makeDate(autumn, 3.5 * hour), europeOffset), makeDate(autumn, 2.5 * hour));
  // Every local time of the year goes back to where it came from, except in
  // the second run of the repeated hour (01:00 to 02:00 UTC on 27 October).
  const double repeatStart = makeDate(autumn, 1 * hour), repeatEnd = makeDate(autumn, 2 * hour);
  for (double t = makeDate(makeDay(2002, 0, 1), 0); t < makeDate(makeDay(2003, 0, 1), 0); t += 1799999.0)
    if (t < repeatStart || t >= repeatEnd) {
      ASSERT_EQ(utcFromLocal(localTime(t, europeOffset), europeOffset), t) << t;
    }
}

// The C library as an independent oracle: timegm/gmtime_r for the calendar,
// localtime_r/mktime for the zone.
class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (tz) savedTz_ = tz;
  }
  void TearDown() override {
    if (hadTz_) setenv("TZ", savedTz_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  static void useZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  bool hadTz_ = false;
  std::string savedTz_;
};

TEST_F(ZoneTest, CalendarMatchesTheCLibrary) {
  using namespace date;
  uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    // Seconds from about 1600 to 2400.
    const std::time_t s = static_cast<std::time_t>(static_cast<int64_t>(x % 25246080000ull) - 11676096000ll);
    std::tm f{};
    ASSERT_TRUE(gmtime_r(&s, &f));
    const double t = static_cast<double>(s) * 1000.0;
    ASSERT_EQ(yearFromTime(t), f.tm_year + 1900) << s;
    ASSERT_EQ(monthFromTime(t), f.tm_mon) << s;
    ASSERT_EQ(dateFromTime(t), f.tm_mday) << s;
    ASSERT_EQ(weekDay(t), f.tm_wday) << s;
    ASSERT_EQ(hourFromTime(t), f.tm_hour) << s;
    ASSERT_EQ(minFromTime(t), f.tm_min) << s;
    ASSERT_EQ(secFromTime(t), f.tm_sec) << s;
    ASSERT_EQ(makeDate(makeDay(f.tm_year + 1900, f.tm_mon, f.tm_mday), makeTime(f.tm_hour, f.tm_min, f.tm_sec, 0)),
              t);
    ASSERT_EQ(static_cast<double>(timegm(&f)) * 1000.0, t);
  }
}

TEST_F(ZoneTest, LocalTimeMatchesTheCLibrary) {
  using namespace date;
  for (const char* zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "UTC0", "<+0530>-5:30"}) {
    useZone(zone);
    for (std::time_t s = 946684800; s < 978307200; s += 3607) {  // the year 2000, steps of an hour and 7 s
      std::tm f{};
      ASSERT_TRUE(localtime_r(&s, &f));
      const double t = static_cast<double>(s) * 1000.0;
      const double local = localTime(t, systemOffsetAt);
      ASSERT_EQ(yearFromTime(local), f.tm_year + 1900) << zone << " " << s;
      ASSERT_EQ(monthFromTime(local), f.tm_mon) << zone << " " << s;
      ASSERT_EQ(dateFromTime(local), f.tm_mday) << zone << " " << s;
      ASSERT_EQ(hourFromTime(local), f.tm_hour) << zone << " " << s;
      ASSERT_EQ(minFromTime(local), f.tm_min) << zone << " " << s;
      // Local fields back to UTC agree with mktime wherever the local time
      // is unambiguous (mktime's choice in a repeated hour is its own).
      std::tm g = f;
      g.tm_isdst = -1;
      const std::time_t back = mktime(&g);
      if (g.tm_isdst == f.tm_isdst) {
        ASSERT_EQ(utcFromLocal(local, systemOffsetAt), static_cast<double>(back) * 1000.0);
      }
    }
  }
}

using test::StubPlayer;

bool sameNumber(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

TEST(MathNatives, AgreeWithTheCLibrary) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  e.global();  // registers the native classes
  const double values[] = {NAN, INFINITY, -INFINITY, 0.0, -0.0, 0.5, -0.5, 1, -1, 2.5, -2.5, 3.7, 1e-300, 1e300, 710, -745};
  using F1 = double (*)(double);
  const std::pair<int, F1> unary[] = {
      {0, [](double x) { return std::fabs(x); }},  {3, [](double x) { return std::sin(x); }},
      {4, [](double x) { return std::cos(x); }},   {6, [](double x) { return std::tan(x); }},
      {7, [](double x) { return std::exp(x); }},   {8, [](double x) { return std::log(x); }},
      {9, [](double x) { return std::sqrt(x); }},  {12, [](double x) { return std::floor(x); }},
      {13, [](double x) { return std::ceil(x); }}, {14, [](double x) { return std::atan(x); }},
      {15, [](double x) { return std::asin(x); }}, {16, [](double x) { return std::acos(x); }},
  };
  for (const auto& [method, f] : unary) {
    const ScriptValue fn = e.makeNative(kNativeMath, static_cast<uint16_t>(method), false);
    for (double x : values) {
      const ScriptValue arg = ScriptValue::number(x);
      const ScriptValue r = e.call(fn, ScriptValue(), &arg, 1);
      ASSERT_TRUE(r.isNumber());
      EXPECT_TRUE(sameNumber(r.asNumber(), f(x))) << "method " << method << " of " << x;
    }
  }
  const ScriptValue atan2 = e.makeNative(kNativeMath, 5, false), pow = e.makeNative(kNativeMath, 17, false);
  for (double x : values)
    for (double y : values) {
      const ScriptValue args[2] = {ScriptValue::number(x), ScriptValue::number(y)};
      EXPECT_TRUE(sameNumber(e.call(atan2, ScriptValue(), args, 2).asNumber(), std::atan2(x, y))) << x << " " << y;
      EXPECT_TRUE(sameNumber(e.call(pow, ScriptValue(), args, 2).asNumber(), std::pow(x, y))) << x << " " << y;
    }
}

TEST(MathNatives, RandomRepeatsForASeedAndStaysBelowOne) {
  StubPlayer a, b;
  a.seedRandom(7);
  b.seedRandom(7);
  a.script().global();
  b.script().global();
  const ScriptValue fa = a.script().makeNative(kNativeMath, 11, false), fb = b.script().makeNative(kNativeMath, 11, false);
  for (int i = 0; i < 1000; ++i) {
    const double x = a.script().call(fa, ScriptValue(), nullptr, 0).asNumber();
    ASSERT_EQ(x, b.script().call(fb, ScriptValue(), nullptr, 0).asNumber());
    ASSERT_GE(x, 0);
    ASSERT_LT(x, 1);
  }
}

// ---- The native classes -----------------------------------------------------------

TEST(NativeClasses, EachClassAndMethodOnceAndFunctionsRunTheirEntry) {
  StubPlayer player;
  ScriptEngine& e = player.script();
  e.global();  // registers the native classes
  std::set<uint16_t> classes;
  for (const NativeClass* cls : nativeClasses()) {
    SCOPED_TRACE(cls->number);
    EXPECT_TRUE(classes.insert(cls->number).second);
    EXPECT_STRNE(cls->name, "");
    EXPECT_TRUE(e.hasNativeClass(cls->number));
    std::set<uint16_t> methods;
    for (const NativeMethod& m : cls->methods) {
      EXPECT_TRUE(methods.insert(m.method).second) << m.name;
      EXPECT_STRNE(m.name, "");
      ASSERT_NE(m.run, nullptr);
      EXPECT_STREQ(nativeMethodName(*cls, m.method), m.name);
      const ScriptValue fn = e.makeNative(cls->number, m.method, false);
      ASSERT_TRUE(fn.isObject());
      EXPECT_EQ(fn.asObject()->function()->nativeRun, m.run);
    }
  }
  EXPECT_EQ(classes.size(), 41u);

  // A number outside the list makes no function; a method without an entry
  // makes one whose calls do nothing.
  EXPECT_TRUE(e.makeNative(7, 0, false).isUndefined());
  const ScriptValue attachAudio = e.makeNative(kNativeMovieClip, 8, false);
  ASSERT_TRUE(attachAudio.isObject());
  EXPECT_EQ(attachAudio.asObject()->function()->nativeRun, nullptr);
  EXPECT_TRUE(e.call(attachAudio, ScriptValue(), nullptr, 0).isUndefined());

  // The binding primitives ignore the method number: any one is Zqnative.
  const ScriptValue anyBootstrap = e.makeNative(kNativeBootstrap, 7, false);
  const ScriptValue args[2] = {ScriptValue::number(kNativeMath), ScriptValue::number(11)};
  const ScriptValue random = e.call(anyBootstrap, ScriptValue(), args, 2);
  ASSERT_TRUE(random.isObject());
  EXPECT_EQ(random.asObject()->function()->method, 11);

  // Color reads its target before it looks at the method number: a getter
  // there runs for a method without an entry too.
  ScriptObject* color = e.newObject();
  ASSERT_TRUE(e.addAccessor(color, "target", e.makeNative(kNativeUpdateAfterEvent, 0, false), ScriptValue::null()));
  e.takeRedrawRequest();
  e.call(e.makeNative(kNativeColor, 9, false), ScriptValue::object(color), nullptr, 0);
  EXPECT_TRUE(e.takeRedrawRequest());
}

// ---- Math and case tables ---------------------------------------------------------

TEST(CaseTables, MapLettersBothWays) {
  EXPECT_EQ(toUpperUnit(u'a'), u'A');
  EXPECT_EQ(toUpperUnit(u'{'), u'{');
  EXPECT_EQ(toUpperUnit(0x00E9), 0x00C9);
  EXPECT_EQ(toUpperUnit(0x00FF), 0x0178);
  EXPECT_EQ(toUpperUnit(0x03B1), 0x0391);
  EXPECT_EQ(toUpperUnit(0x0436), 0x0416);
  EXPECT_EQ(toUpperUnit(0x00DF), 0x00DF);  // no single-unit capital
  EXPECT_EQ(toLowerUnit(0x0178), 0x00FF);
  EXPECT_EQ(toLowerUnit(0xFF21), 0xFF41);
  EXPECT_EQ(toLowerUnit(0x4E00), 0x4E00);
  EXPECT_GT(upperCasePairs(), 700u);
  EXPECT_GT(lowerCasePairs(), 690u);
}

}  // namespace
}  // namespace kivra
