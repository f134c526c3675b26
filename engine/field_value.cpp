#include "engine/field_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qm::engine {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

constexpr std::int32_t kLastJulianDay = 5373484;  // 9999-12-31

}  // namespace

bool LogicalIsTrue(char stored) {
  return stored == 'T' || stored == 't' || stored == 'Y' || stored == 'y';
}

double ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return 0;
  (void)end;  // trailing text (a stray letter) is ignored, as dBASE readers do
  return value;
}

bool FormatNumber(double value, int decimals, std::span<char> out) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 15) return false;
  // Decimal fractions such as 12.345 are stored a hair below their value;
  // nudge away from zero so that the written text rounds as the user expects.
  const double scale = std::pow(10.0, decimals);
  double scaled = value * scale;
  scaled += std::copysign(1e-9 * std::max(1.0, std::fabs(scaled)), scaled);
  double rounded = std::round(scaled) / scale;
  if (rounded == 0) rounded = 0;  // no "-0.00"
  char text[400];
  const int length = std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
  if (length < 0 || static_cast<std::size_t>(length) > out.size()) return false;
  std::fill(out.begin(), out.end(), ' ');
  std::memcpy(out.data() + (out.size() - static_cast<std::size_t>(length)), text,
              static_cast<std::size_t>(length));
  return true;
}

std::int32_t JulianDayFromDate(int year, int month, int day) {
  const int a = (month - 14) / 12;
  return (1461 * (year + 4800 + a)) / 4 + (367 * (month - 2 - 12 * a)) / 12 -
         (3 * ((year + 4900 + a) / 100)) / 4 + day - 32075;
}

void DateFromJulianDay(std::int32_t julian_day, int& year, int& month, int& day) {
  std::int64_t l = static_cast<std::int64_t>(julian_day) + 68569;
  const std::int64_t n = 4 * l / 146097;
  l = l - (146097 * n + 3) / 4;
  const std::int64_t i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  const std::int64_t j = 80 * l / 2447;
  day = static_cast<int>(l - 2447 * j / 80);
  l = j / 11;
  month = static_cast<int>(j + 2 - 12 * l);
  year = static_cast<int>(100 * (n - 49) + i + l);
}

std::int32_t JulianDayFromDateText(std::string_view text) {
  if (text.size() != 8) return 0;
  int parts[3] = {0, 0, 0};
  const std::size_t widths[3] = {4, 2, 2};
  std::size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    for (std::size_t k = 0; k < widths[p]; ++k, ++at) {
      const char c = text[at];
      if (c < '0' || c > '9') return 0;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  const int year = parts[0], month = parts[1], day = parts[2];
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return 0;
  return JulianDayFromDate(year, month, day);
}

bool DateTextFromJulianDay(std::int32_t julian_day, std::span<char, 8> out) {
  if (julian_day <= 0) {
    std::fill(out.begin(), out.end(), ' ');
    return true;
  }
  if (julian_day > kLastJulianDay) return false;
  int year = 0, month = 0, day = 0;
  DateFromJulianDay(julian_day, year, month, day);
  if (year < 1) return false;
  char text[40];  // room for any int triple, which the compiler cannot rule out
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  std::memcpy(out.data(), text, 8);
  return true;
}

std::uint32_t ParseBlockNumber(std::string_view text) {
  text = TrimBlanks(text);
  std::uint32_t block = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), block);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return block;
}

void FormatBlockNumber(std::uint32_t block, std::span<char> out) {
  std::fill(out.begin(), out.end(), ' ');
  if (block == 0) return;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(block));
  const std::size_t n = std::min(out.size(), static_cast<std::size_t>(length));
  std::memcpy(out.data() + (out.size() - n), text + (length - static_cast<int>(n)), n);
}

}  // namespace qm::engine
