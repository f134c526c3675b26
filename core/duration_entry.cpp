#include "core/duration_entry.h"

#include <cstdint>
#include <limits>

#include "core/core_messages.h"
#include "core/duration_text.h"

namespace qm::core {

TimeStamp DurationEntryStart(TimeStamp lastSavedEnd, TimeStamp now) {
  const TimeStamp day = lastSavedEnd != kNoTime ? lastSavedEnd : now;
  return DayStart(day) + 9 * kSecondsPerHour;
}

int DurationEntryEnd(TimeStamp start, std::string_view durationText, TimeStamp& end) {
  if (start == kNoTime) return kMsgBadStartTime;
  int error = 0;
  const Seconds duration = ParseDuration(durationText, &error);
  if (duration == -1) return error != 0 ? error : kMsgBadDuration;
  const std::int64_t new_end = static_cast<std::int64_t>(start) + duration;
  if (new_end < 0 || new_end > std::numeric_limits<TimeStamp>::max()) return kMsgBadDuration;
  end = static_cast<TimeStamp>(new_end);
  return 0;
}

}  // namespace qm::core
