// What a record shows in each column of the record list and the report.
#pragma once

#include <cstddef>
#include <string>

#include "core/duration_settings.h"
#include "core/time_record.h"

namespace qm::view {

inline constexpr std::size_t kMaxCellText = 50;

// The text of column `id` for `record`, at most 50 characters. Durations
// and fees follow `settings`. An id outside 0 to 19 is a fault of the
// caller: reported as an internal error, with "" returned.
std::string CellText(int id, const core::TimeRecord& record, const core::DurationSettings& settings);
// With the process's duration settings.
std::string CellText(int id, const core::TimeRecord& record);

}  // namespace qm::view
