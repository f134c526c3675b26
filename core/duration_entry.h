// Duration-only entry ("Duration-Only Mode"): records are entered as a
// date and a duration, and the program places them in the day.
#pragma once

#include <string_view>

#include "core/time_stamp.h"

namespace qm::core {

// Where a new record starts: 09:00 of the day on which the last saved
// record ended, or of today (`now`) when there is none (kNoTime).
TimeStamp DurationEntryStart(TimeStamp lastSavedEnd, TimeStamp now);

// After the date or the duration changed: end = start + the duration read
// from `durationText`. Returns 0, 136 when there is no start (kNoTime), or
// 212 when the duration cannot be read; on failure `end` is unchanged.
int DurationEntryEnd(TimeStamp start, std::string_view durationText, TimeStamp& end);

}  // namespace qm::core
