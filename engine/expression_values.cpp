#include "engine/expression_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/text_case.h"

namespace qm::engine::expression_internal {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Digit(char c) { return c - '0'; }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

void WriteTwoDigits(int value, char* out) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

// Days beyond these print as blanks: DTOS has room for four-digit years only.
constexpr std::int64_t kFirstDay = 1721426;  // 0001-01-01
constexpr std::int64_t kLastDay = 5373484;   // 9999-12-31

bool DateOfDay(double julian_day, int& year, int& month, int& day) {
  if (!(julian_day >= static_cast<double>(kFirstDay) &&
        julian_day < static_cast<double>(kLastDay + 1))) {
    return false;  // also NaN
  }
  return DateFromJulianDay(static_cast<std::int64_t>(julian_day), year, month, day);
}

}  // namespace

double ParseNumberText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  // Field texts are short: accumulate the digits exactly while they fit in
  // 53 bits and divide once, which rounds correctly. Longer ones go through
  // from_chars.
  const std::size_t digits_begin = i;
  std::uint64_t mantissa = 0;
  int digit_count = 0;
  int fraction_digits = 0;
  bool seen_point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(Digit(c));
      ++digit_count;
      if (seen_point) ++fraction_digits;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (digit_count == 0) return 0;
  double value;
  if (digit_count <= 15) {
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    value = static_cast<double>(mantissa) / kPowers[fraction_digits];
  } else {
    value = 0;
    std::from_chars(text.data() + digits_begin, text.data() + i, value,
                    std::chars_format::fixed);
  }
  return negative ? -value : value;
}

std::int64_t JulianDayFromDate(int year, int month, int day) {
  const std::int64_t y = year, m = month, d = day;
  const std::int64_t a = (m - 14) / 12;
  return (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
         (3 * ((y + 4900 + a) / 100)) / 4 + d - 32075;
}

bool DateFromJulianDay(std::int64_t julian_day, int& year, int& month, int& day) {
  if (julian_day < kFirstDay || julian_day > kLastDay) return false;
  std::int64_t l = julian_day + 68569;
  const std::int64_t n = 4 * l / 146097;
  l -= (146097 * n + 3) / 4;
  const std::int64_t i = 4000 * (l + 1) / 1461001;
  l = l - 1461 * i / 4 + 31;
  const std::int64_t j = 80 * l / 2447;
  day = static_cast<int>(l - 2447 * j / 80);
  l = j / 11;
  month = static_cast<int>(j + 2 - 12 * l);
  year = static_cast<int>(100 * (n - 49) + i + l);
  return true;
}

double JulianDayFromDateText(std::string_view text) {
  if (text.size() < 8) return 0;
  for (int k = 0; k < 8; ++k) {
    if (!IsDigit(text[k])) return 0;
  }
  const int year = Digit(text[0]) * 1000 + Digit(text[1]) * 100 + Digit(text[2]) * 10 +
                   Digit(text[3]);
  const int month = Digit(text[4]) * 10 + Digit(text[5]);
  const int day = Digit(text[6]) * 10 + Digit(text[7]);
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return 0;
  }
  return static_cast<double>(JulianDayFromDate(year, month, day));
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

char UpperCp1252(char c) {
  static const std::array<char, 256> kTable = [] {
    std::array<char, 256> table{};
    for (int b = 0; b < 256; ++b) {
      table[static_cast<std::size_t>(b)] = platform::Cp1252ToUpper(static_cast<char>(b));
    }
    return table;
  }();
  return kTable[static_cast<unsigned char>(c)];
}

}  // namespace qm::engine::expression_internal
