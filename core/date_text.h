// Dates and clock times as text, in the user's regional settings.
//
// Reading is forgiving: a date may be numbers in the user's order (3/15/98,
// 3/15), a word or phrase (today, yesterday, this week, last month, Mar 15,
// 98, fri), a time may be 14:33, 12:20 PM, 4 PM or "Now". Relative words
// are computed from CurrentTime(). Readers never fail loudly: they return
// kNoTime and the caller shows 2016 (a date) or 2015 (a time).
#pragma once

#include <string>
#include <string_view>

#include "core/calendar.h"
#include "core/time_stamp.h"

namespace qm::core {

// The text shown for a stamp that names no date.
inline constexpr std::string_view kInvalidStampText = "<Invalid>";

// The date of `t` in the order and form of the regional settings (3/5/1998).
std::string FormatDate(TimeStamp t);
// The clock time of `t` (" 9:05 AM", "09:05").
std::string FormatTime(TimeStamp t, bool withSeconds);
// FormatDate, a blank, FormatTime.
std::string FormatDateTime(TimeStamp t, bool withSeconds);

// 00:00 of the date that `text` (its first 25 characters) names, or kNoTime.
TimeStamp ParseDate(std::string_view text);
// Seconds since midnight, whole minutes, of the time that `text` (its first
// 12 characters) names, or kNoTime.
Seconds ParseTimeOfDay(std::string_view text);
// ParseDate(dateText) + ParseTimeOfDay(timeText), or kNoTime when either
// cannot be read.
TimeStamp ParseDateAndTime(std::string_view dateText, std::string_view timeText);
// One text holding a date and then a time ("3/15/98 2:30 PM"), split at the
// last white space before the time's digits.
TimeStamp ParseDateTimeText(std::string_view text);

// Whether a date and time that was typed is acceptable: a time of day
// within its ranges, a month 1 to 12, a year from 1985, and a day that its
// month can have (29 for every February: day 29 of a common year becomes
// March 1).
bool IsValidDateFields(const DateFields& fields);

// The two-digit year rule: above 1900 unchanged, 35 to 1900 in the 1900s,
// 34 and below in the 2000s.
int ExpandTwoDigitYear(int year);

}  // namespace qm::core
