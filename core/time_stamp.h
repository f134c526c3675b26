// Time stamps and durations as the program counts them.
//
// A time stamp is a signed 32-bit count of seconds since 1970-01-01 00:00
// of the local wall clock, with no zone or daylight offset inside: read back
// as a calendar date it gives exactly the local date and time entered, and
// every day has 86,400 seconds. -1 means no time. Stamps run from 1970 to
// 2038.
//
// A duration is a signed 32-bit count of seconds. Durations of stored
// records are whole minutes, because stored times keep only the minute.
#pragma once

#include <cstdint>

namespace qm::core {

using TimeStamp = std::int32_t;
using Seconds = std::int32_t;

inline constexpr TimeStamp kNoTime = -1;
inline constexpr Seconds kSecondsPerDay = 86400;
inline constexpr Seconds kSecondsPerHour = 3600;
inline constexpr Seconds kSecondsPerMinute = 60;

// Hours as a number are seconds times this constant. Group arithmetic
// divides by 3600.0 instead; the two differ in the last bits, and totals
// printed by earlier versions depend on which one each computation uses.
inline constexpr double kHoursPerSecond = 0.0002777777777777778;

// 00:00 of the day of `t`, and the start of its minute (integer division,
// as every stored time was cut).
constexpr TimeStamp DayStart(TimeStamp t) { return t / kSecondsPerDay * kSecondsPerDay; }
constexpr TimeStamp MinuteStart(TimeStamp t) {
  return t / kSecondsPerMinute * kSecondsPerMinute;
}

}  // namespace qm::core
