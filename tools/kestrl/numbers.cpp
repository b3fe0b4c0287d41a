#include "kestrl/numbers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kestrl::tool {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Digits, with at most one decimal point when `point` allows it and at
// least one digit, after an optional minus sign.
bool isPlainNumber(std::string_view text, bool point) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  const size_t points = static_cast<size_t>(std::count(text.begin(), text.end(), '.'));
  const size_t digits = static_cast<size_t>(std::count_if(text.begin(), text.end(), isDigit));
  return digits > 0 && digits + points == text.size() && points <= (point ? 1u : 0u);
}

}  // namespace

std::optional<int64_t> parseWhole(std::string_view text, int64_t low, int64_t high) {
  if (!isPlainNumber(text, false)) return std::nullopt;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> parseDecimal(std::string_view text, double low, double high) {
  if (!isPlainNumber(text, true)) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!(value >= low && value <= high)) return std::nullopt;
  return value;
}

std::string formatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string quoteInput(std::string_view text, size_t limit) {
  if (text.size() <= limit) return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, limit)) + "...' (" + std::to_string(text.size()) +
         " characters)";
}

}  // namespace kestrl::tool
