#include "platform/regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cwchar>
#include <string_view>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text_case.h"

namespace qm::platform {
namespace {

constexpr const char* kIntlKeys[] = {"iDate", "iTime",     "iTLZero",   "sDate",
                                     "sTime", "s1159",     "s2359",     "sShortDate",
                                     "sThousand", "sDecimal", "sCurrency", "iCurrency"};

// What a United States installation of the old system had; also what the
// reader assumes for an absent key.
const RegionalValues& UnitedStatesValues() {
  static const RegionalValues values = {
      {"iDate", "0"},     {"iTime", "0"},          {"iTLZero", "0"},   {"sDate", "/"},
      {"sTime", ":"},     {"s1159", "AM"},         {"s2359", "PM"},    {"sShortDate", "M/d/yyyy"},
      {"sThousand", ","}, {"sDecimal", "."},       {"sCurrency", "$"}, {"iCurrency", "0"},
  };
  return values;
}

// The locale of one category as the environment selects it.
std::string LocaleNameFor(const char* category_variable) {
  for (const char* variable : {"LC_ALL", category_variable, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool IsPlainCLocale(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.");
}

// An owned locale_t.
class Locale {
 public:
  explicit Locale(const std::string& name) : locale_(newlocale(LC_ALL_MASK, name.c_str(), nullptr)) {}
  ~Locale() {
    if (locale_ != nullptr) freelocale(locale_);
  }
  Locale(const Locale&) = delete;
  Locale& operator=(const Locale&) = delete;

  bool valid() const { return locale_ != nullptr; }
  locale_t get() const { return locale_; }

  std::string Info(nl_item item) const { return nl_langinfo_l(item, locale_); }

 private:
  locale_t locale_;
};

// localeconv and the multibyte conversions read the calling thread's
// locale; switch to `locale` for the call and back after.
class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(locale_t locale) : previous_(uselocale(locale)) {}
  ~ScopedThreadLocale() { uselocale(previous_); }
  ScopedThreadLocale(const ScopedThreadLocale&) = delete;
  ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

 private:
  locale_t previous_;
};

// A text of the locale (in the locale's own character set) in
// Windows-1252, or "" when it cannot be held.
std::string ToWindowsText(const Locale& locale, const std::string& text) {
  ScopedThreadLocale use(locale.get());
  std::mbstate_t state{};
  const char* source = text.c_str();
  const std::size_t length = std::mbsrtowcs(nullptr, &source, 0, &state);
  if (length == static_cast<std::size_t>(-1)) return std::string();
  std::wstring wide(length, L'\0');
  source = text.c_str();
  state = std::mbstate_t{};
  std::mbsrtowcs(wide.data(), &source, length, &state);

  std::string out;
  for (const wchar_t c : wide) {
    // The narrow no-break space some locales group digits with has no
    // Windows-1252 byte; the no-break space is what Windows uses there.
    const char32_t code_point = c == 0x202F ? 0xA0 : static_cast<char32_t>(c);
    const auto byte = CodePointToCp1252(code_point);
    if (!byte) return std::string();
    out += *byte;
  }
  return out;
}

void SetIfGiven(RegionalValues& values, const char* key, std::string value) {
  if (!value.empty()) values[key] = std::move(value);
}

// Expands the composite conversions of a strftime format.
std::string ExpandFormat(std::string_view format, const Locale& locale) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    char conversion = format[++i];
    while ((conversion == 'E' || conversion == 'O' || conversion == '-' || conversion == '_' ||
            conversion == '0' || conversion == '^' || conversion == '#') &&
           i + 1 < format.size()) {
      conversion = format[++i];  // modifiers and flags do not change the fields
    }
    switch (conversion) {
      case 'D': out += "%m/%d/%y"; break;
      case 'F': out += "%Y-%m-%d"; break;
      case 'T': out += "%H:%M:%S"; break;
      case 'R': out += "%H:%M"; break;
      case 'r': out += ExpandFormat(locale.Info(T_FMT_AMPM), locale); break;
      default: out += '%'; out += conversion;
    }
  }
  return out;
}

void AddDateValues(RegionalValues& values, const Locale& locale) {
  const std::string format = ExpandFormat(locale.Info(D_FMT), locale);
  std::string order;       // 'd', 'm', 'y' in the order the format shows them
  std::string separator;   // the text between the first two fields
  std::string short_date;  // the same format in the notation of "sShortDate"
  std::string pending;     // literal text since the last field
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      pending += format[i];
      continue;
    }
    const char conversion = format[++i];
    std::string field;
    char kind = 0;
    switch (conversion) {
      case 'd': kind = 'd'; field = "dd"; break;
      case 'e': kind = 'd'; field = "d"; break;
      case 'm': kind = 'm'; field = "MM"; break;
      case 'y': kind = 'y'; field = "yy"; break;
      case 'Y': kind = 'y'; field = "yyyy"; break;
      default: continue;
    }
    if (order.size() == 1 && separator.empty()) separator = pending;
    if (!order.empty()) short_date += pending;
    pending.clear();
    order += kind;
    short_date += field;
  }
  if (order.size() != 3) return;  // a format without all three fields says nothing usable
  values["iDate"] = order[0] == 'y' ? "2" : (order.find('d') < order.find('m') ? "1" : "0");
  SetIfGiven(values, "sDate", ToWindowsText(locale, separator).substr(0, 1));
  values["sShortDate"] = short_date;
}

void AddTimeValues(RegionalValues& values, const Locale& locale) {
  const std::string format = ExpandFormat(locale.Info(T_FMT), locale);
  for (std::size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '%') continue;
    const char conversion = format[i + 1];
    if (conversion != 'H' && conversion != 'I' && conversion != 'k' && conversion != 'l') {
      ++i;
      continue;
    }
    values["iTime"] = conversion == 'H' || conversion == 'k' ? "1" : "0";
    values["iTLZero"] = conversion == 'H' || conversion == 'I' ? "1" : "0";
    // The separator is what follows the hour, up to the minutes.
    const std::size_t minutes = format.find('%', i + 2);
    if (minutes != std::string::npos && minutes > i + 2) {
      SetIfGiven(values, "sTime",
                 ToWindowsText(locale, format.substr(i + 2, minutes - i - 2)).substr(0, 1));
    }
    break;
  }
  SetIfGiven(values, "s1159", ToWindowsText(locale, locale.Info(AM_STR)));
  SetIfGiven(values, "s2359", ToWindowsText(locale, locale.Info(PM_STR)));
}

void AddNumberValues(RegionalValues& values, const Locale& locale) {
  ScopedThreadLocale use(locale.get());
  const lconv* conventions = localeconv();
  SetIfGiven(values, "sDecimal", ToWindowsText(locale, conventions->decimal_point));
  SetIfGiven(values, "sThousand", ToWindowsText(locale, conventions->thousands_sep));
}

void AddCurrencyValues(RegionalValues& values, const Locale& locale) {
  ScopedThreadLocale use(locale.get());
  const lconv* conventions = localeconv();
  const std::string symbol = ToWindowsText(locale, conventions->currency_symbol);
  if (symbol.empty()) return;
  values["sCurrency"] = symbol;
  const bool before = conventions->p_cs_precedes == 1;
  const bool blank = conventions->p_sep_by_space == 1;
  values["iCurrency"] = before ? (blank ? "2" : "0") : (blank ? "3" : "1");
}

// The keys of one category from the locale `name`: its own values when it
// is a real locale, else the United States values.
void AddCategory(RegionalValues& values, const std::string& name,
                 void (*add)(RegionalValues&, const Locale&),
                 std::initializer_list<const char*> keys) {
  if (!IsPlainCLocale(name)) {
    const Locale locale(name);
    if (locale.valid()) {
      RegionalValues own;
      add(own, locale);
      for (const char* key : keys) {
        auto found = own.find(key);
        values[key] = found != own.end() ? found->second : UnitedStatesValues().at(key);
      }
      return;
    }
  }
  for (const char* key : keys) values[key] = UnitedStatesValues().at(key);
}

RegionalValues FromLocales(const std::string& time_locale, const std::string& number_locale,
                           const std::string& money_locale) {
  RegionalValues values;
  AddCategory(values, time_locale, AddDateValues, {"iDate", "sDate", "sShortDate"});
  AddCategory(values, time_locale, AddTimeValues, {"iTime", "iTLZero", "sTime", "s1159", "s2359"});
  AddCategory(values, number_locale, AddNumberValues, {"sDecimal", "sThousand"});
  AddCategory(values, money_locale, AddCurrencyValues, {"sCurrency", "iCurrency"});
  return values;
}

}  // namespace

RegionalValues ReadRegionalSettings() { return ReadRegionalSettings(WinIniPath()); }

RegionalValues ReadRegionalSettings(const std::string& win_ini_path) {
  bool has_intl = false;
  for (const std::string& section : ProfileSections(win_ini_path)) {
    has_intl = has_intl || EqualsIgnoringCase(section, "intl");
  }
  if (!has_intl) return RegionalValuesFromLocale("");

  RegionalValues values;
  for (const std::string& key : ProfileKeys(win_ini_path, "intl")) {
    for (const char* known : kIntlKeys) {
      if (EqualsIgnoringCase(key, known)) {
        values[known] = GetProfileString(win_ini_path, "intl", known, "");
      }
    }
  }
  return values;
}

RegionalValues RegionalValuesFromLocale(const std::string& locale_name) {
  if (!locale_name.empty()) return FromLocales(locale_name, locale_name, locale_name);
  return FromLocales(LocaleNameFor("LC_TIME"), LocaleNameFor("LC_NUMERIC"),
                     LocaleNameFor("LC_MONETARY"));
}

}  // namespace qm::platform
