#include "core/date_text.h"

#include <array>
#include <limits>
#include <optional>

#include "core/core_messages.h"
#include "core/intl_settings.h"
#include "core/program_clock.h"
#include "core/text_scanner.h"
#include "platform/text_case.h"

namespace qm::core {
namespace {

constexpr std::size_t kDateTextLimit = 25;
constexpr std::size_t kTimeTextLimit = 12;

constexpr std::array<std::string_view, 12> kMonthNames = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::array<std::string_view, 7> kDayNames = {"sun", "mon", "tue", "wed",
                                                       "thu", "fri", "sat"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Index in `names` of the first three letters of `word`; -1 when none.
template <std::size_t N>
int NameIndex(std::string_view word, const std::array<std::string_view, N>& names) {
  if (word.size() < 3) return -1;
  for (std::size_t i = 0; i < N; ++i) {
    if (word.substr(0, 3) == names[i]) return static_cast<int>(i);
  }
  return -1;
}

TimeStamp StampOrNoTime(const DateFields& fields) {
  const std::optional<TimeStamp> stamp = StampFromFields(fields);
  return stamp ? *stamp : kNoTime;
}

// The date fields of now; the clock is within range once InitClock passed.
DateFields Today() {
  const std::optional<DateFields> today = BreakDownStamp(CurrentTime());
  return today ? *today : DateFields{};
}

// Fields of a date typed by a person, checked and turned into a stamp.
TimeStamp TypedDate(int year, int month, int day) {
  DateFields fields;
  fields.year = ExpandTwoDigitYear(year);
  fields.month = month;
  fields.day = day;
  if (!IsValidDateFields(fields)) return kNoTime;
  return StampOrNoTime(fields);
}

TimeStamp ParseWordDate(std::string_view trimmed) {
  const std::string text = platform::Cp1252ToLower(TrimBlanksAndTrailingWhiteSpace(trimmed));
  const TimeStamp now = CurrentTime();
  const DateFields today = Today();

  if (StartsWith(text, "today") || text == "t") return DayStart(now);
  if (StartsWith(text, "yesterday") || text == "y") return DayStart(now - kSecondsPerDay);
  if (StartsWith(text, "this")) {
    if (Contains(text, "week")) return DayStart(now - today.weekday * kSecondsPerDay);
    DateFields first = today;
    first.hour = first.minute = first.second = 0;
    first.day = 1;
    if (Contains(text, "month")) return StampOrNoTime(first);
    first.month = 1;
    if (Contains(text, "year")) return StampOrNoTime(first);
    return kNoTime;
  }
  if (StartsWith(text, "last")) {
    if (Contains(text, "week")) {
      const TimeStamp week_ago = now - 7 * kSecondsPerDay;
      return DayStart(week_ago - today.weekday * kSecondsPerDay);
    }
    DateFields first = today;
    first.hour = first.minute = first.second = 0;
    first.day = 1;
    if (Contains(text, "month")) {
      if (--first.month == 0) {
        first.month = 12;
        --first.year;
      }
      return StampOrNoTime(first);
    }
    if (Contains(text, "year")) {
      first.month = 1;
      --first.year;
      return StampOrNoTime(first);
    }
    return kNoTime;
  }

  // "%s %d, %d": a month name, then perhaps a day and a year.
  TextScanner scanner(text);
  std::string word;
  scanner.ReadWord(word);
  const int month = NameIndex(word, kMonthNames);
  if (month >= 0) {
    int day = 1;
    int year = today.year;
    if (scanner.ReadInt(day) && scanner.MatchLiteral(",")) scanner.ReadInt(year);
    return TypedDate(year, month + 1, day);
  }

  const IntlSettings& intl = CurrentIntlSettings();
  bool has_digit_or_separator = Contains(text, intl.date_separator) || Contains(text, intl.time_separator);
  for (const char c : text) has_digit_or_separator = has_digit_or_separator || IsAsciiDigit(c);
  const int weekday = NameIndex(std::string_view(text), kDayNames);
  if (!has_digit_or_separator && weekday >= 0) {
    const int days_back = (today.weekday - weekday + 7) % 7;
    return DayStart(now - days_back * kSecondsPerDay);
  }
  return kNoTime;
}

}  // namespace

int ExpandTwoDigitYear(int year) {
  if (year > 1900) return year;
  if (year >= 35) return 1900 + year;
  return 2000 + year;
}

bool IsValidDateFields(const DateFields& fields) {
  if (fields.second < 0 || fields.second > 59 || fields.minute < 0 || fields.minute > 59 ||
      fields.hour < 0 || fields.hour > 23) {
    return false;
  }
  if (fields.month < 1 || fields.month > 12 || fields.year < 1985) return false;
  if (fields.day < 0 || fields.day > 31) return false;
  switch (fields.month) {
    case 4:
    case 6:
    case 9:
    case 11:
      return fields.day <= 30;
    case 2:
      return fields.day <= 29;
    default:
      return true;
  }
}

std::string FormatDate(TimeStamp t) {
  const std::optional<DateFields> fields = BreakDownStamp(t);
  if (!fields) return std::string(kInvalidStampText);
  const IntlSettings& intl = CurrentIntlSettings();
  const std::string year = intl.FourDigitYears() ? FormatC("%04d", fields->year)
                                                 : FormatC("%02d", fields->year % 100);
  const std::string month = FormatC(intl.TwoDigitMonths() ? "%02d" : "%d", fields->month);
  const std::string day = FormatC(intl.TwoDigitDays() ? "%02d" : "%d", fields->day);
  const std::string& separator = intl.date_separator;
  switch (intl.date_order) {
    case kDayMonthYear:
      return day + separator + month + separator + year;
    case kYearMonthDay:
      return year + separator + month + separator + day;
    default:
      return month + separator + day + separator + year;
  }
}

std::string FormatTime(TimeStamp t, bool withSeconds) {
  const std::optional<DateFields> fields = BreakDownStamp(t);
  if (!fields) return std::string(kInvalidStampText);
  const IntlSettings& intl = CurrentIntlSettings();
  // The seconds always follow a colon, whatever the time separator.
  const std::string seconds = withSeconds ? FormatC(":%02d", fields->second) : std::string();
  int hour = fields->hour;
  std::string suffix;
  if (!intl.TwentyFourHourClock()) {
    suffix = hour < 12 ? intl.morning_suffix : intl.evening_suffix;
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  std::string text = FormatC(intl.hour_leading_zero != 0 ? "%02d%s%02d%s %s" : "%2d%s%02d%s %s", hour,
                             intl.time_separator.c_str(), fields->minute, seconds.c_str(),
                             suffix.c_str());
  if (intl.TwentyFourHourClock()) text.resize(TrimTrailingWhiteSpace(text).size());
  return text;
}

std::string FormatDateTime(TimeStamp t, bool withSeconds) {
  return FormatDate(t) + " " + FormatTime(t, withSeconds);
}

TimeStamp ParseDate(std::string_view text) {
  text = text.substr(0, kDateTextLimit);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty() || !IsAsciiDigit(text.front())) return ParseWordDate(text);

  const IntlSettings& intl = CurrentIntlSettings();
  std::array<int, 3> numbers{};
  int count = 0;
  TextScanner scanner(text);
  while (count < 3) {
    if (count > 0 && !scanner.MatchLiteral(intl.date_separator)) break;
    if (!scanner.ReadInt(numbers[static_cast<std::size_t>(count)])) break;
    ++count;
  }
  if (count < 2) return kNoTime;
  if (count == 2) {
    // Without a year the two numbers are month and day, or day and month
    // for day-first dates; year-first users type month and day too.
    const bool day_first = intl.date_order == kDayMonthYear;
    const int month = day_first ? numbers[1] : numbers[0];
    const int day = day_first ? numbers[0] : numbers[1];
    return TypedDate(Today().year, month, day);
  }
  switch (intl.date_order) {
    case kDayMonthYear:
      return TypedDate(numbers[2], numbers[1], numbers[0]);
    case kYearMonthDay:
      return TypedDate(numbers[0], numbers[1], numbers[2]);
    default:
      return TypedDate(numbers[2], numbers[0], numbers[1]);
  }
}

Seconds ParseTimeOfDay(std::string_view text) {
  const std::string_view trimmed = TrimBlanksAndTrailingWhiteSpace(text.substr(0, kTimeTextLimit));
  if (platform::EqualsIgnoringAsciiCase(trimmed, CoreText(kTextNow)) ||
      platform::EqualsIgnoringAsciiCase(trimmed, "n")) {
    return CurrentTime() % kSecondsPerDay / 60 * 60;
  }
  if (trimmed.empty()) return kNoTime;

  const std::string& separator = CurrentIntlSettings().time_separator;
  int hours = 0;
  int minutes = 0;
  int seconds = 0;
  std::string suffix;

  // "%d:%d:%d %s", then "%d:%d %s", then "%d %s".
  int items = 0;
  {
    TextScanner scanner(trimmed);
    if (scanner.ReadInt(hours)) ++items;
    if (items == 1 && scanner.MatchLiteral(separator) && scanner.ReadInt(minutes)) ++items;
    if (items == 2 && scanner.MatchLiteral(separator) && scanner.ReadInt(seconds)) ++items;
    if (items == 3 && scanner.ReadWord(suffix)) ++items;
  }
  if (items < 4) {
    items = 0;
    suffix.clear();
    TextScanner scanner(trimmed);
    if (scanner.ReadInt(hours)) ++items;
    if (items == 1 && scanner.MatchLiteral(separator) && scanner.ReadInt(minutes)) ++items;
    if (items == 2 && scanner.ReadWord(suffix)) ++items;
  }
  if (items < 2) {
    if (!IsAsciiDigit(trimmed.front())) return kNoTime;
    minutes = 0;
    suffix.clear();
    TextScanner scanner(trimmed);
    scanner.ReadInt(hours);
    scanner.ReadWord(suffix);
  }

  if (!suffix.empty()) {
    const char first = platform::Cp1252ToLower(suffix.front());
    if (first == 'p' && hours < 12) hours += 12;
    if (first == 'a' && hours == 12) hours = 0;
  }
  if (minutes < 0 || minutes > 59 || hours < 0 || hours > 23) return kNoTime;
  return hours * kSecondsPerHour + minutes * kSecondsPerMinute;
}

TimeStamp ParseDateAndTime(std::string_view dateText, std::string_view timeText) {
  const TimeStamp date = ParseDate(dateText);
  const Seconds time = ParseTimeOfDay(timeText);
  if (date == kNoTime || time == kNoTime) return kNoTime;
  const std::int64_t stamp = static_cast<std::int64_t>(date) + time;
  if (stamp > std::numeric_limits<TimeStamp>::max()) return kNoTime;
  return static_cast<TimeStamp>(stamp);
}

TimeStamp ParseDateTimeText(std::string_view text) {
  bool seen_digit = false;
  std::size_t split = 0;
  for (std::size_t i = text.size(); i-- > 0;) {
    if (IsAsciiDigit(text[i])) seen_digit = true;
    if (seen_digit && IsCWhiteSpace(text[i])) {
      split = i;
      break;
    }
  }
  if (split == 0) return kNoTime;
  return ParseDateAndTime(text.substr(0, split), text.substr(split + 1));
}

}  // namespace qm::core
