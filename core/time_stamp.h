// Time stamps and durations as the program counts them.
//
// A time stamp is a signed 32-bit count of seconds since 1970-01-01 00:00
// of the local wall clock, with no zone or daylight offset inside: read back
// as a calendar date it gives exactly the local date and time entered, and
// every day has 86,400 seconds. -1 means no time.
#pragma once

#include <cstdint>

namespace qm::core {

using TimeStamp = std::int32_t;
using Seconds = std::int32_t;

inline constexpr TimeStamp kNoTime = -1;
inline constexpr Seconds kSecondsPerDay = 86400;

}  // namespace qm::core
