// Folding a record's pause into its times when it is saved.
#pragma once

#include <string_view>

#include "core/time_record.h"

namespace qm::core {

// The module name under which an unknown PauseHandling value is reported
// as an internal error.
inline constexpr std::string_view kPauseHandlingModule = "EDITTASK";

// By `pauseHandling` (see duration_settings.h): adds the pause to the start
// or subtracts it from the end and clears it, or keeps it. Returns false
// for any other value, leaving the record unchanged; the caller reports the
// internal error and saves the record as it is.
bool ApplyPauseHandling(TimeRecord& record, int pauseHandling);
bool ApplyPauseHandling(TimeRecord& record);

}  // namespace qm::core
