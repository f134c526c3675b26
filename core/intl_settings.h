// IntlSettings: the user's regional settings, as dates, times and amounts
// are written and read with them.
//
// They come from section "intl" of win.ini, else from the POSIX locale (see
// platform/regional.h), as raw key/value texts; FromRegionalValues applies
// the defaults and the widths below. One copy is installed for the process
// (InitClock does it at start-up); tests build one from a map and install it
// with ScopedIntlSettings.
#pragma once

#include <map>
#include <string>

namespace qm::core {

// iDate values: the order of a numeric date.
inline constexpr int kMonthDayYear = 0;
inline constexpr int kDayMonthYear = 1;
inline constexpr int kYearMonthDay = 2;

struct IntlSettings {
  int date_order = kMonthDayYear;      // "iDate"
  int time_format = 0;                 // "iTime": 1 is the 24-hour clock
  int hour_leading_zero = 0;           // "iTLZero": non-zero shows 09:05
  std::string date_separator = "/";    // "sDate", 1 character
  std::string time_separator = ":";    // "sTime", 1 character
  std::string morning_suffix = "AM";   // "s1159", up to 4 characters
  std::string evening_suffix = "PM";   // "s2359", up to 4 characters
  std::string short_date = "m/d/yyyy"; // "sShortDate", up to 19, lower-cased
  std::string thousands_separator = ",";  // "sThousand", 1 character
  std::string decimal_separator = ".";    // "sDecimal", 1 character
  std::string currency_symbol = "$";      // "sCurrency", up to 9 characters
  int currency_position = 0;           // "iCurrency": 0 $1, 1 1$, 2 $ 1, 3 1 $

  // Keys are matched without regard to case; a missing key keeps its
  // default, a longer value is cut to its width.
  static IntlSettings FromRegionalValues(const std::map<std::string, std::string>& values);

  bool TwentyFourHourClock() const { return time_format == 1; }
  bool FourDigitYears() const;
  bool TwoDigitMonths() const;
  bool TwoDigitDays() const;
};

const IntlSettings& CurrentIntlSettings();
void InstallIntlSettings(const IntlSettings& settings);

class ScopedIntlSettings {
 public:
  explicit ScopedIntlSettings(const IntlSettings& settings);
  ~ScopedIntlSettings();
  ScopedIntlSettings(const ScopedIntlSettings&) = delete;
  ScopedIntlSettings& operator=(const ScopedIntlSettings&) = delete;

 private:
  IntlSettings previous_;
};

}  // namespace qm::core
