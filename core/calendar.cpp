#include "core/calendar.h"

#include <limits>

namespace qm::core {
namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

// Howard Hinnant's civil-from-days, valid for the whole proleptic calendar.
CivilDate CivilFromDayNumber(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t mp = (5 * day_of_year + 2) / 153;
  const int day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t DaysFromCivil(std::int64_t year, int month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t month_index = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * month_index + 2) / 5;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468 + (day - 1);
}

int WeekdayOfDayNumber(std::int64_t day_number) {
  // 1970-01-01 was a Thursday.
  std::int64_t weekday = (day_number + 4) % 7;
  if (weekday < 0) weekday += 7;
  return static_cast<int>(weekday);
}

std::optional<DateFields> BreakDownStamp(TimeStamp t) {
  if (t < 0) return std::nullopt;
  const std::int64_t days = t / kSecondsPerDay;
  const int seconds_of_day = static_cast<int>(t % kSecondsPerDay);
  const CivilDate civil = CivilFromDayNumber(days);
  DateFields fields;
  fields.year = static_cast<int>(civil.year);
  fields.month = civil.month;
  fields.day = civil.day;
  fields.hour = seconds_of_day / 3600;
  fields.minute = seconds_of_day % 3600 / 60;
  fields.second = seconds_of_day % 60;
  fields.weekday = WeekdayOfDayNumber(days);
  return fields;
}

std::optional<TimeStamp> StampFromFields(const DateFields& fields) {
  // Carry surplus months into the year first, as mktime does.
  const std::int64_t month_zero = static_cast<std::int64_t>(fields.month) - 1;
  const std::int64_t year = static_cast<std::int64_t>(fields.year) + FloorDiv(month_zero, 12);
  const int month = static_cast<int>(month_zero - FloorDiv(month_zero, 12) * 12) + 1;
  const std::int64_t days = DaysFromCivil(year, month, fields.day);
  const std::int64_t stamp = days * kSecondsPerDay + static_cast<std::int64_t>(fields.hour) * 3600 +
                             static_cast<std::int64_t>(fields.minute) * 60 + fields.second;
  if (stamp < 0 || stamp > std::numeric_limits<TimeStamp>::max()) return std::nullopt;
  return static_cast<TimeStamp>(stamp);
}

}  // namespace qm::core
