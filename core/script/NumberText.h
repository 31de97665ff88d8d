#pragma once
// Number formatting and the decimal and integer readers of the movie script.
#include <cstdint>
#include <string>
#include <string_view>

namespace kivra {

// 15 significant digits, shortest form ("0.1", "1e+21", "-2.5", "NaN").
std::string formatNumber(double value);
void appendNumber(double value, std::string& out);

// Reads a decimal number. Lenient: characters after the number are ignored.
// Strict: anything left over fails. Fails (false) when no digit is found.
[[nodiscard]] bool readDecimal(std::string_view s, bool lenient, double& out);
// Reads an integer of the base (2 to 36) into a wrapping 32-bit signed
// accumulator; an empty digit run or a trailing character fails.
[[nodiscard]] bool readInteger(std::string_view s, int base, int32_t& out);
// Version 6 string to number: "0x" hexadecimal, "0" octal, else strict decimal.
double stringToNumberV6(std::string_view s);

// Truncation toward zero to a 32-bit signed integer (NaN gives 0).
int32_t toInteger32(double d);
// The 32-bit conversion of the bit operations.
int32_t toBits32(double d);

}  // namespace kivra
