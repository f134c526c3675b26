// The length of a time record, its rounding by the user's minimum duration
// and increment, and the fee it earns.
//
// Each function reads the process's DurationSettings unless given settings
// of its own.
#pragma once

#include <string>

#include "core/duration_settings.h"
#include "core/time_record.h"

namespace qm::core {

// end - start - pauseDuration. With `text`, also that length in the
// current duration format.
Seconds RawDuration(const TimeRecord& record, std::string* text = nullptr);

// The raw duration rounded: 0 stays 0 (an expense-only record), shorter
// than the minimum becomes the minimum, the time above the minimum is
// rounded up to whole increments.
Seconds RoundedDuration(const TimeRecord& record, const DurationSettings& settings);
Seconds RoundedDuration(const TimeRecord& record, std::string* text = nullptr);

// The hourly rate: the number the rate descriptor's money text denotes.
double RecordRate(const TimeRecord& record);

// rounded seconds x rate x (1/3600), not rounded to cents.
double TimeFee(const TimeRecord& record, const DurationSettings& settings);
double TimeFee(const TimeRecord& record);
// The time fee plus the expense.
double RecordFee(const TimeRecord& record, const DurationSettings& settings);
double RecordFee(const TimeRecord& record);

}  // namespace qm::core
