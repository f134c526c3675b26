#include "engine/expression_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/field_value.h"
#include "platform/text_case.h"

namespace qm::engine::expression_internal {
namespace {

void WriteTwoDigits(int value, char* out) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

// The date of a Julian day between 0001-01-01 and 9999-12-31, the days
// DTOS has room for; false outside (and for NaN).
bool DateOfDay(double julian_day, int& year, int& month, int& day) {
  constexpr double kFirstDay = 1721426;  // 0001-01-01
  constexpr double kLastDay = 5373484;   // 9999-12-31
  if (!(julian_day >= kFirstDay && julian_day < kLastDay + 1)) return false;
  DateFromJulianDay(static_cast<std::int32_t>(julian_day), year, month, day);
  return true;
}

}  // namespace

double ParseNumberText(std::string_view text) {
  const double value = ParseNumber(text);
  return std::isfinite(value) ? value : 0;
}

double JulianDayFromDateText(std::string_view text) {
  return static_cast<double>(engine::JulianDayFromDateText(text.substr(0, 8)));
}

void WriteDateText(double julian_day, char* out) {
  int year, month, day;
  if (!DateOfDay(julian_day, year, month, day)) {
    std::memset(out, ' ', 8);
    return;
  }
  WriteTwoDigits(year / 100, out);
  WriteTwoDigits(year % 100, out + 2);
  WriteTwoDigits(month, out + 4);
  WriteTwoDigits(day, out + 6);
}

void WriteDateMdy(double julian_day, char* out) {
  int year, month, day;
  if (!DateOfDay(julian_day, year, month, day)) {
    std::memcpy(out, "  /  /  ", 8);
    return;
  }
  WriteTwoDigits(month, out);
  out[2] = '/';
  WriteTwoDigits(day, out + 3);
  out[5] = '/';
  WriteTwoDigits(year % 100, out + 6);
}

void WriteStr(double value, int width, int decimals, char* out) {
  const auto overflow = [&] { std::memset(out, '*', static_cast<std::size_t>(width)); };
  if (!std::isfinite(value) || width <= 0 || width > 256) return overflow();

  // The shortest decimal text that reads back as the value: rounding that
  // text, not the binary fraction, gives 1.005 -> "1.01" as a person (and
  // the numbers stored as text) would have it.
  char shortest[400];
  const auto [end, ec] = std::to_chars(shortest, shortest + sizeof shortest,
                                       std::fabs(value), std::chars_format::fixed);
  if (ec != std::errc()) return overflow();
  const std::string_view text(shortest, static_cast<std::size_t>(end - shortest));
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.size() > static_cast<std::size_t>(width)) return overflow();

  // digits = whole part + `shown` fraction digits, rounded; one spare place
  // in front for a carry. Neither part is longer than the width.
  char digits[2 * 256 + 2];
  for (int shown = decimals < width ? decimals : width; shown >= 0; --shown) {
    std::size_t count = 1;
    digits[0] = '0';
    for (char c : whole) digits[count++] = c;
    for (int k = 0; k < shown; ++k) {
      digits[count++] = static_cast<std::size_t>(k) < fraction.size() ? fraction[k] : '0';
    }
    if (static_cast<std::size_t>(shown) < fraction.size() && fraction[shown] >= '5') {
      std::size_t k = count;
      while (k-- > 0) {
        if (digits[k] == '9') {
          digits[k] = '0';
        } else {
          ++digits[k];
          break;
        }
      }
    }
    std::size_t first = digits[0] == '0' ? 1 : 0;
    const std::size_t whole_end = count - static_cast<std::size_t>(shown);
    // Keep one zero before the point ("0.50"), none of the others.
    while (first + 1 < whole_end && digits[first] == '0') ++first;
    bool nonzero = false;
    for (std::size_t k = first; k < count; ++k) nonzero = nonzero || digits[k] != '0';
    const bool minus = value < 0 && nonzero;
    const std::size_t length =
        (minus ? 1 : 0) + (whole_end - first) + (shown > 0 ? 1 + static_cast<std::size_t>(shown) : 0);
    if (length > static_cast<std::size_t>(width)) continue;

    char* p = out;
    const std::size_t pad = static_cast<std::size_t>(width) - length;
    std::memset(p, ' ', pad);
    p += pad;
    if (minus) *p++ = '-';
    for (std::size_t k = first; k < whole_end; ++k) *p++ = digits[k];
    if (shown > 0) {
      *p++ = '.';
      for (std::size_t k = whole_end; k < count; ++k) *p++ = digits[k];
    }
    return;
  }
  overflow();
}

const std::array<char, 256>& UpperCaseTable() {
  static const std::array<char, 256> kTable = [] {
    std::array<char, 256> table{};
    for (int b = 0; b < 256; ++b) {
      table[static_cast<std::size_t>(b)] = platform::Cp1252ToUpper(static_cast<char>(b));
    }
    return table;
  }();
  return kTable;
}

}  // namespace qm::engine::expression_internal
