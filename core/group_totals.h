// GroupTotals: the totals of a group of records, as record list subtotals,
// report totals and invoices show them.
#pragma once

#include <cstdint>

#include "core/duration_settings.h"
#include "core/time_record.h"

namespace qm::core {

struct GroupTotals {
  std::int64_t seconds = 0;   // sum of the rounded durations
  double timeFee = 0;         // sum of rate x rounded seconds / 3600.0
  double expense = 0;
  std::int32_t count = 0;
  TimeStamp earliestStart = 0;  // 0 while the group is empty
  TimeStamp latestEnd = 0;
};

void AddToGroup(GroupTotals& totals, const TimeRecord& record, const DurationSettings& settings);
void AddToGroup(GroupTotals& totals, const TimeRecord& record);

// The time fee that a group reports. With RoundBeforeMultiplying off, the
// accumulated fee. With it on, the hours as the duration format shows them
// (two or three decimals, or exact) times the average rate rounded to
// cents, so that the fee equals what a person computes from the figures on
// the page. A group of no time has no fee.
double GroupFee(std::int64_t seconds, double timeFee, const DurationSettings& settings);
double GroupFee(std::int64_t seconds, double timeFee);

// timeFee / seconds x 3600, or 0 for a group of no time.
double AverageRate(const GroupTotals& totals);

}  // namespace qm::core
