// The user's regional settings, as the text forms of dates, times and
// amounts need them.
//
// Read from section "intl" of the win.ini stand-in when that section exists,
// else derived from the POSIX locale (localeconv, nl_langinfo) key by key.
// Values are returned raw, as the keys of that section spell them ("iDate",
// "iTime", "iTLZero", "sDate", "sTime", "s1159", "s2359", "sShortDate",
// "sThousand", "sDecimal", "sCurrency", "iCurrency"); a key that neither
// source gives is absent, so the reader applies its own default.
#pragma once

#include <map>
#include <string>

namespace qm::platform {

using RegionalValues = std::map<std::string, std::string>;

RegionalValues ReadRegionalSettings();

// The same from a given win.ini file (tests, and --home runs). Falls back to
// the locale when that file has no section "intl".
RegionalValues ReadRegionalSettings(const std::string& win_ini_path);

// The values the POSIX locale named `locale_name` gives ("" for the one the
// environment selects: LC_ALL, else LC_TIME / LC_NUMERIC / LC_MONETARY for
// their keys, else LANG). The "C" and "POSIX" locales, and a locale that is
// not installed, give the United States values the program always had as
// defaults. Texts are converted to Windows-1252; a value it cannot hold is
// left out.
RegionalValues RegionalValuesFromLocale(const std::string& locale_name);

}  // namespace qm::platform
