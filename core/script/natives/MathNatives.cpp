// The Math methods and the global isNaN and isFinite (native class 200).
// The first two arguments are converted to numbers before anything else; a
// missing one reads as NaN.
#include <cmath>
#include <limits>

#include "core/script/natives/NativeTable.h"

namespace kivra {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct MathArgs {
  double x = kNaN;
  double y = kNaN;
};

MathArgs readArgs(NativeCall& c) {
  MathArgs a;
  if (c.argc > 0) a.x = c.engine.toNumber(c.args[0]);
  if (c.argc > 1) a.y = c.engine.toNumber(c.args[1]);
  return a;
}

template <double (*F)(double)>
void unary(NativeCall& c) {
  c.result = ScriptValue::number(F(readArgs(c).x));
}

double absOf(double x) { return std::fabs(x); }
double sinOf(double x) { return std::sin(x); }
double cosOf(double x) { return std::cos(x); }
double tanOf(double x) { return std::tan(x); }
double expOf(double x) { return std::exp(x); }
double logOf(double x) { return std::log(x); }
double sqrtOf(double x) { return std::sqrt(x); }
double roundOf(double x) { return std::floor(x + 0.5); }
double floorOf(double x) { return std::floor(x); }
double ceilOf(double x) { return std::ceil(x); }
double atanOf(double x) { return std::atan(x); }
double asinOf(double x) { return std::asin(x); }
double acosOf(double x) { return std::acos(x); }

void min(NativeCall& c) {
  const MathArgs a = readArgs(c);
  if (c.argc == 0) c.result = ScriptValue::number(kInfinity);
  else if (std::isnan(a.x) || std::isnan(a.y)) c.result = ScriptValue::number(kNaN);
  else c.result = ScriptValue::number(a.x >= a.y ? a.y : a.x);
}

void max(NativeCall& c) {
  const MathArgs a = readArgs(c);
  if (c.argc == 0) c.result = ScriptValue::number(-kInfinity);
  else if (std::isnan(a.x) || std::isnan(a.y)) c.result = ScriptValue::number(kNaN);
  else c.result = ScriptValue::number(a.x > a.y ? a.x : a.y);
}

void atan2(NativeCall& c) {
  const MathArgs a = readArgs(c);
  c.result = ScriptValue::number(std::atan2(a.x, a.y));
}

void pow(NativeCall& c) {
  const MathArgs a = readArgs(c);
  c.result = ScriptValue::number(std::pow(a.x, a.y));
}

void random(NativeCall& c) {
  readArgs(c);
  c.result = ScriptValue::number(c.engine.randomDraw() / 2147483648.0);
}

void isNaN(NativeCall& c) { c.result = ScriptValue::boolean(std::isnan(readArgs(c).x)); }
void isFinite(NativeCall& c) { c.result = ScriptValue::boolean(std::isfinite(readArgs(c).x)); }

constexpr NativeMethod kMathMethods[] = {
    {0, "abs", unary<absOf>},
    {1, "min", min},
    {2, "max", max},
    {3, "sin", unary<sinOf>},
    {4, "cos", unary<cosOf>},
    {5, "atan2", atan2},
    {6, "tan", unary<tanOf>},
    {7, "exp", unary<expOf>},
    {8, "log", unary<logOf>},
    {9, "sqrt", unary<sqrtOf>},
    {10, "round", unary<roundOf>},
    {11, "random", random},
    {12, "floor", unary<floorOf>},
    {13, "ceil", unary<ceilOf>},
    {14, "atan", unary<atanOf>},
    {15, "asin", unary<asinOf>},
    {16, "acos", unary<acosOf>},
    {17, "pow", pow},
    {18, "isNaN", isNaN},
    {19, "isFinite", isFinite},
};

}  // namespace

const NativeClass kMathNatives{kNativeMath, "Math", kMathMethods};

}  // namespace kivra
