// The message numbers that the time record core returns, and the few
// string-table texts it writes into its own output.
//
// The string table itself belongs to the application shell; the core only
// names the numbers its callers show, and keeps its own copy of the words
// that go into formatted durations and the "Now" of time boxes (the
// handheld conduit formats without the shell).
#pragma once

#include <string_view>

namespace qm::core {

// Failures that callers show.
inline constexpr int kMsgBadClock = 425;          // clock outside 1970 to 2038
inline constexpr int kMsgBadDate = 2016;          // a date that cannot be read
inline constexpr int kMsgBadTime = 2015;          // a time that cannot be read
inline constexpr int kMsgBadStartTime = 136;      // "The time you entered is invalid."
inline constexpr int kMsgBadDuration = 212;       // a duration that cannot be read
inline constexpr int kMsgBadNumber = 168;         // "The number you have entered is invalid."
inline constexpr int kMsgImportBadDuration = 244;
inline constexpr int kMsgImportBadDateTime = 245;

// Texts that formatted output contains.
inline constexpr int kTextHours = 1221;           // "Hours"
inline constexpr int kTextHr = 1222;              // "hr"
inline constexpr int kTextMin = 1223;             // "min"
inline constexpr int kTextMinutesFormat = 1166;   // "%ld min"
inline constexpr int kTextNow = 2004;             // "Now"

// The text of one of the numbers above; empty for any other number.
std::string_view CoreText(int number);

}  // namespace qm::core
