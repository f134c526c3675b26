#include "core/group_totals.h"

#include <cmath>

#include "core/durations.h"

namespace qm::core {

void AddToGroup(GroupTotals& totals, const TimeRecord& record, const DurationSettings& settings) {
  const Seconds rounded = RoundedDuration(record, settings);
  totals.seconds += rounded;
  totals.timeFee += RecordRate(record) * (rounded / 3600.0);
  totals.expense += record.expense;
  totals.count += 1;
  if (totals.earliestStart == 0 || record.start < totals.earliestStart) {
    totals.earliestStart = record.start;
  }
  if (record.end > totals.latestEnd) totals.latestEnd = record.end;
}

void AddToGroup(GroupTotals& totals, const TimeRecord& record) {
  AddToGroup(totals, record, CurrentDurationSettings());
}

double GroupFee(std::int64_t seconds, double timeFee, const DurationSettings& settings) {
  if (settings.RoundBeforeMultiplying == 0) return timeFee;
  if (seconds == 0) return 0;
  // Totals are counted in unsigned 32 bits; a positive total below 2^32
  // reads the same either way, and a negative one (records whose end lies
  // before their start) keeps its sign instead of turning into 136 years.
  const double total_seconds = static_cast<double>(seconds);
  const double cents = timeFee / total_seconds * 3600 * 100;
  if (!std::isfinite(cents)) return 0;
  double rate = 0;
  if (cents >= 0) {
    rate = static_cast<double>(static_cast<std::uint32_t>(std::fmin(cents + 0.5, 4294967295.0))) * 0.01;
  } else {
    // A negative average rate is rounded to cents away from zero, like a
    // positive one.
    rate = -static_cast<double>(static_cast<std::uint32_t>(std::fmin(-cents + 0.5, 4294967295.0))) * 0.01;
  }
  double hours = total_seconds / 3600;
  switch (settings.DurationFormat) {
    case 0:
    case 2:
      hours = std::trunc(hours * 100 + 0.5) * 0.01;
      break;
    case 1:
    case 3:
      hours = std::trunc(hours * 1000 + 0.5) * 0.001;
      break;
    default:
      break;
  }
  return hours * rate;
}

double GroupFee(std::int64_t seconds, double timeFee) {
  return GroupFee(seconds, timeFee, CurrentDurationSettings());
}

double AverageRate(const GroupTotals& totals) {
  if (totals.seconds == 0) return 0;
  return totals.timeFee / static_cast<double>(totals.seconds) * 3600;
}

}  // namespace qm::core
