#include "core/intl_settings.h"

#include <optional>
#include <string_view>

#include "core/text_scanner.h"
#include "platform/text_case.h"

namespace qm::core {
namespace {

std::optional<std::string> Find(const std::map<std::string, std::string>& values,
                                std::string_view key) {
  for (const auto& [name, value] : values) {
    if (platform::EqualsIgnoringAsciiCase(name, key)) return value;
  }
  return std::nullopt;
}

// Read the way the profile functions read integers: an optional minus and
// the leading digits; text with no leading digit is 0.
int ProfileInteger(std::string_view text) {
  while (!text.empty() && IsCWhiteSpace(text.front())) text.remove_prefix(1);
  TextScanner scanner(text);
  int value = 0;
  return scanner.ReadInt(value) ? value : 0;
}

void ReadInteger(const std::map<std::string, std::string>& values, std::string_view key,
                 int& target) {
  if (const auto value = Find(values, key)) target = ProfileInteger(*value);
}

void ReadText(const std::map<std::string, std::string>& values, std::string_view key,
              std::size_t width, std::string& target) {
  if (const auto value = Find(values, key)) target = value->substr(0, width);
}

IntlSettings& Installed() {
  static IntlSettings settings;
  return settings;
}

}  // namespace

IntlSettings IntlSettings::FromRegionalValues(const std::map<std::string, std::string>& values) {
  IntlSettings settings;
  ReadInteger(values, "iDate", settings.date_order);
  ReadInteger(values, "iTime", settings.time_format);
  ReadInteger(values, "iTLZero", settings.hour_leading_zero);
  ReadText(values, "sDate", 1, settings.date_separator);
  ReadText(values, "sTime", 1, settings.time_separator);
  ReadText(values, "s1159", 4, settings.morning_suffix);
  ReadText(values, "s2359", 4, settings.evening_suffix);
  ReadText(values, "sShortDate", 19, settings.short_date);
  settings.short_date = platform::Cp1252ToLower(settings.short_date);
  ReadText(values, "sThousand", 1, settings.thousands_separator);
  ReadText(values, "sDecimal", 1, settings.decimal_separator);
  ReadText(values, "sCurrency", 9, settings.currency_symbol);
  ReadInteger(values, "iCurrency", settings.currency_position);

  // Without a separator a date, a time or an amount written by the program
  // could not be read back (12.50 would come back as 1250); fall back to
  // the defaults rather than corrupt what is stored.
  if (settings.date_separator.empty()) settings.date_separator = "/";
  if (settings.time_separator.empty()) settings.time_separator = ":";
  if (settings.decimal_separator.empty()) settings.decimal_separator = ".";
  // A thousands separator equal to the decimal separator would be removed
  // from every amount before it is read, turning 12,50 into 1250.
  if (settings.thousands_separator == settings.decimal_separator) {
    settings.thousands_separator.clear();
  }
  return settings;
}

bool IntlSettings::FourDigitYears() const { return short_date.find("yyyy") != std::string::npos; }
bool IntlSettings::TwoDigitMonths() const { return short_date.find("mm") != std::string::npos; }
bool IntlSettings::TwoDigitDays() const { return short_date.find("dd") != std::string::npos; }

const IntlSettings& CurrentIntlSettings() { return Installed(); }

void InstallIntlSettings(const IntlSettings& settings) { Installed() = settings; }

ScopedIntlSettings::ScopedIntlSettings(const IntlSettings& settings) : previous_(Installed()) {
  Installed() = settings;
}

ScopedIntlSettings::~ScopedIntlSettings() { Installed() = previous_; }

}  // namespace qm::core
