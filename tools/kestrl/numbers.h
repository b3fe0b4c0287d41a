// Numbers on the command line, read one way for every option: decimal
// digits with an optional leading minus, nothing before or after them, no
// hexadecimal, octal or exponent forms, no wrap-around, and the value within
// the option's range. And numbers in messages, written as people write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrl::tool {

// A whole number from low to high, or nothing.
std::optional<int64_t> parseWhole(std::string_view text, int64_t low, int64_t high);

// A decimal number ("8", "8.5", ".5") from low to high, or nothing.
std::optional<double> parseDecimal(std::string_view text, double low, double high);

// "1000", "8.5", "0.001": at most six significant digits, no trailing zeros.
std::string formatNumber(double value);

// At most `limit` characters of what the user gave, marked when cut, so that
// a message never echoes a long input whole.
std::string quoteInput(std::string_view text, size_t limit = 40);

}  // namespace kestrl::tool
