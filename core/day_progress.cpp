#include "core/day_progress.h"

#include <algorithm>
#include <cstdint>

#include "core/durations.h"
#include "core/program_clock.h"
#include "platform/text_case.h"

namespace qm::core {
namespace {

struct DayTotalCache {
  bool stale = true;
  Seconds total = 0;
};

DayTotalCache day_total;

}  // namespace

Seconds HoursSince(const RecordsByEndTime& records, TimeStamp periodStart, std::string_view person,
                   const DurationSettings& settings) {
  std::int64_t total = 0;
  records.VisitLatestFirst([&](const TimeRecord& record) {
    if (record.end < periodStart) return false;
    if (!platform::EqualsIgnoringCase(record.descriptors[kPersonDescriptor].view(), person)) {
      return true;
    }
    const std::int64_t rounded = RoundedDuration(record, settings);
    if (record.start < periodStart) {
      total += std::max<std::int64_t>(0, rounded + record.start - periodStart);
    } else {
      total += rounded;
    }
    return true;
  });
  return static_cast<Seconds>(total);
}

Seconds HoursSince(const RecordsByEndTime& records, TimeStamp periodStart, std::string_view person) {
  return HoursSince(records, periodStart, person, CurrentDurationSettings());
}

DailyProgressValues DailyProgress(const RecordsByEndTime* openDatabase, std::string_view userName,
                                  Seconds stopwatchElapsed) {
  DailyProgressValues values;
  if (day_total.stale && openDatabase != nullptr) {
    values.now = CurrentTime();
    day_total.total = HoursSince(*openDatabase, DayStart(values.now), userName);
    day_total.stale = false;
  } else if (day_total.stale) {
    day_total.total = 0;
    values.now = 0;
  } else {
    values.now = CurrentTime();
  }
  values.todaysHours = stopwatchElapsed + day_total.total;
  values.completion = values.now + CurrentDurationSettings().DailyGoal - values.todaysHours;
  return values;
}

void MarkDayTotalStale() { day_total.stale = true; }

bool DayTotalIsStale() { return day_total.stale; }

}  // namespace qm::core
