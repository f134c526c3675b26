// The day's hours against the daily goal.
//
// The total of the current user's time since 00:00 is computed from the
// database once and then cached; anything that changes records (adding,
// changing, deleting, reloading, new options) marks the cache stale so the
// next display recomputes it. The cache does not expire at midnight.
#pragma once

#include <functional>
#include <string_view>

#include "core/duration_settings.h"
#include "core/time_record.h"

namespace qm::core {

// The records of the open database, walked from the latest end time
// backwards. The database layer implements it over its end-time tag.
class RecordsByEndTime {
 public:
  virtual ~RecordsByEndTime() = default;
  // Calls `visit` with each record, latest end first, until it returns false.
  virtual void VisitLatestFirst(const std::function<bool(const TimeRecord&)>& visit) const = 0;
};

// The rounded time of `person`'s records (person compared without regard to
// case) that falls after `periodStart`; a record begun earlier counts only
// its part after `periodStart`.
Seconds HoursSince(const RecordsByEndTime& records, TimeStamp periodStart, std::string_view person,
                   const DurationSettings& settings);
Seconds HoursSince(const RecordsByEndTime& records, TimeStamp periodStart, std::string_view person);

struct DailyProgressValues {
  TimeStamp now = 0;
  Seconds todaysHours = 0;   // stopwatch time plus the recorded time of today
  TimeStamp completion = 0;  // when the goal is reached; in the past once it is
};

// `openDatabase` is null when no database is open; `stopwatchElapsed` is 0
// while the stopwatch is inactive.
DailyProgressValues DailyProgress(const RecordsByEndTime* openDatabase, std::string_view userName,
                                  Seconds stopwatchElapsed);

void MarkDayTotalStale();
bool DayTotalIsStale();

}  // namespace qm::core
