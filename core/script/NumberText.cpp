#include "core/script/NumberText.h"

#include <cmath>
#include <limits>

namespace kivra {

namespace {

constexpr double kLog10Of2 = 0.301029995663981;

// 10^k without overflowing the intermediate power for very small values.
double scaleByPowerOfTen(double v, int k) {
  if (k > 300) return v * 1e300 * std::pow(10.0, k - 300);
  if (k < -300) return v * 1e-300 * std::pow(10.0, k + 300);
  return v * std::pow(10.0, k);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void appendNumber(double value, std::string& out) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "Infinity" : "-Infinity";
    return;
  }
  if (value < 0) {
    out.push_back('-');
    value = -value;
  }
  if (value == 0) {
    out.push_back('0');
    return;
  }
  if (value < 1e15 && value == std::trunc(value)) {
    // A whole number of at most 15 digits: the digits below give exactly
    // these (checked over many millions of values), found more cheaply.
    char digits[16];
    int len = 0;
    for (auto u = static_cast<uint64_t>(value); u != 0; u /= 10) digits[len++] = static_cast<char>('0' + u % 10);
    while (len > 0) out.push_back(digits[--len]);
    return;
  }
  int e = 0;
  std::frexp(value, &e);  // value = m * 2^e, m in [0.5, 1): the IEEE exponent is e - 1
  int n = static_cast<int>(std::floor((e - 1) * kLog10Of2));
  double x = scaleByPowerOfTen(value, -n);
  if (static_cast<int>(x) == 0) {
    --n;
    x = scaleByPowerOfTen(value, -n);
  } else if (x >= 10) {
    ++n;
    x = scaleByPowerOfTen(value, -n);
  }
  auto nextDigit = [&x]() {
    int d = static_cast<int>(x);
    if (d > 9) d = 9;
    if (d < 0) d = 0;
    x = (x - d) * 10;
    return static_cast<char>('0' + d);
  };

  char buf[40];
  int len = 0;
  bool exponent = false;
  if (n >= -5 && n <= -1) {
    buf[len++] = '0';
    buf[len++] = '.';
    for (int i = 0; i < -n - 1; ++i) buf[len++] = '0';
    for (int i = 0; i < 15; ++i) buf[len++] = nextDigit();
  } else if (n >= 0 && n <= 14) {
    buf[len++] = '0';  // spare digit for a carry
    buf[len++] = nextDigit();
    for (int i = 0; i < n; ++i) buf[len++] = nextDigit();
    buf[len++] = '.';
    for (int i = 0; i < 14 - n; ++i) buf[len++] = nextDigit();
  } else {
    exponent = true;
    buf[len++] = nextDigit();
    buf[len++] = '.';
    for (int i = 0; i < 14; ++i) buf[len++] = nextDigit();
  }
  bool carryOut = false;  // the carry ran past the first character
  if (nextDigit() > '4') {
    int i = len - 1;
    for (;; --i) {
      if (i < 0) {
        carryOut = true;
        break;
      }
      if (buf[i] == '.') continue;
      if (buf[i] == '9') {
        buf[i] = '0';
        continue;
      }
      ++buf[i];
      break;
    }
  }
  while (len > 0 && buf[len - 1] == '0') --len;
  if (len > 0 && buf[len - 1] == '.') --len;
  if (exponent) {
    if (carryOut) {
      len = 0;
      buf[len++] = '1';
      ++n;
    }
    out.append(buf, len);
    out.push_back('e');
    if (n > 0) out.push_back('+');
    out += std::to_string(n);
    return;
  }
  int start = 0;
  if (buf[0] == '0' && len > 1 && buf[1] != '.') start = 1;  // the spare digit took no carry
  out.append(buf + start, len - start);
}

std::string formatNumber(double value) {
  std::string s;
  appendNumber(value, s);
  return s;
}

bool readDecimal(std::string_view s, bool lenient, double& out) {
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  // Digits and their place: remember the run so the value can be built once
  // the exponent is known.
  const size_t intStart = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  const size_t intEnd = i;
  size_t fracStart = i, fracEnd = i;
  if (i < s.size() && s[i] == '.') {
    fracStart = ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    fracEnd = i;
    if (intEnd == intStart && fracEnd == fracStart) return false;  // a lone "."
  }
  if (intEnd == intStart && fracEnd == fracStart) return false;
  int exp = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
    if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      long e = 0;
      while (j < s.size() && s[j] >= '0' && s[j] <= '9') {
        if (e < 100000) e = e * 10 + (s[j] - '0');
        ++j;
      }
      exp = static_cast<int>(expNegative ? -e : e);
      i = j;
    }
  }
  if (!lenient && i != s.size()) return false;
  double value = 0;
  int place = static_cast<int>(intEnd - intStart) - 1 + exp;
  for (size_t k = intStart; k < intEnd; ++k, --place)
    if (s[k] != '0') value += scaleByPowerOfTen(s[k] - '0', place);
  for (size_t k = fracStart; k < fracEnd; ++k, --place)
    if (s[k] != '0') value += scaleByPowerOfTen(s[k] - '0', place);
  out = negative ? -value : value;
  return true;
}

bool readInteger(std::string_view s, int base, int32_t& out) {
  if (base < 2 || base > 36) return false;
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint32_t acc = 0;
  const size_t start = i;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'z') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z') d = c - 'A' + 10;
    else return false;
    if (d >= base) return false;
    acc = acc * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  if (i == start) return false;
  out = static_cast<int32_t>(negative ? 0u - acc : acc);
  return true;
}

double stringToNumberV6(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    i = 1;
  }
  const std::string_view body = s.substr(i);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  int32_t v = 0;
  if (body.size() >= 2 && body[0] == '0' && body[1] == 'x') {
    if (!readInteger(body.substr(2), 16, v)) return nan;
    return negative ? -static_cast<double>(v) : v;
  }
  if (!body.empty() && body[0] == '0') {
    bool octal = true;
    for (char c : body)
      if (c < '0' || c > '7') octal = false;
    if (octal) {
      if (!readInteger(body, 8, v)) return nan;
      return negative ? -static_cast<double>(v) : v;
    }
  }
  double d;
  return readDecimal(s, false, d) ? d : nan;
}

int32_t toInteger32(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return 2147483647;
  if (d <= -2147483648.0) return static_cast<int32_t>(-2147483647 - 1);
  return static_cast<int32_t>(d);
}

int32_t toBits32(double d) {
  if (!std::isfinite(d)) return 0;
  d = std::trunc(d);
  if (std::fabs(d) > 4294967295.0) d = std::fmod(d, 4294967296.0);
  if (d < 0) d += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(d));
}

}  // namespace kivra
