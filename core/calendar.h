// Calendar dates of time stamps.
//
// Stamps carry no zone, so a stamp is broken down as if it were UTC, and a
// date and time put together again the same way: no daylight shift, every
// day 86,400 seconds.
#pragma once

#include <cstdint>
#include <optional>

#include "core/time_stamp.h"

namespace qm::core {

// A broken-down date and time. Fields may be out of their ranges while a
// date is being built ("February 30" is day 30 of month 2); StampFromFields
// carries the excess over like the C library's mktime.
struct DateFields {
  int year = 1970;   // full year, e.g. 1998
  int month = 1;     // 1 to 12
  int day = 1;       // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;   // 0 Sunday ... 6 Saturday; output only
};

// nullopt for a negative stamp, which names no date of the supported range.
std::optional<DateFields> BreakDownStamp(TimeStamp t);

// The stamp of the fields, with days and months beyond their ranges carried
// over (day 29 of February 1997 is March 1). nullopt when the result lies
// outside what a stamp can hold (before 1970 or after January 2038).
std::optional<TimeStamp> StampFromFields(const DateFields& fields);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12; the
// day may be out of range and is simply added).
std::int64_t DaysFromCivil(std::int64_t year, int month, std::int64_t day);

// The calendar date of a day number since 1970 (any day, not only those a
// stamp can hold).
struct CivilDate {
  std::int64_t year;
  int month;
  int day;
};
CivilDate CivilFromDayNumber(std::int64_t day_number);

// The Julian day number of day 0 (1970-01-01).
inline constexpr std::int64_t kJulianDayOf1970 = 2440588;

// Day of the week of a day number since 1970: 0 Sunday ... 6 Saturday.
int WeekdayOfDayNumber(std::int64_t day_number);

}  // namespace qm::core
