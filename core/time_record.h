// TimeRecord: one logged piece of work, the one in-memory form that every
// part of the program passes around.
//
// A plain fixed-size value: its texts live inside it (FixedText), so a copy
// is a whole, independent record. Descriptors are indexed 0 to 5 in the
// order below everywhere: table fields, the descriptor file, the names the
// user gives the kinds.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/fixed_text.h"
#include "core/time_stamp.h"

namespace qm::core {

inline constexpr int kPersonDescriptor = 0;
inline constexpr int kClientDescriptor = 1;
inline constexpr int kProjectDescriptor = 2;
inline constexpr int kSubprojectDescriptor = 3;
inline constexpr int kActivityDescriptor = 4;
inline constexpr int kRateDescriptor = 5;
inline constexpr int kDescriptorCount = 6;

inline constexpr std::size_t kDescriptorLength = 35;
inline constexpr std::size_t kDescriptionLength = 500;

// The names the kinds have until the user renames them.
inline constexpr std::array<std::string_view, kDescriptorCount> kDefaultDescriptorNames = {
    "Person", "Client", "Project", "Subproject", "Activity", "Hourly Rate"};

// stopwatchState values.
inline constexpr std::int32_t kStopwatchInactive = 0;
inline constexpr std::int32_t kStopwatchRunning = 1;
inline constexpr std::int32_t kStopwatchPaused = 2;

using DescriptorText = FixedText<kDescriptorLength>;
using DescriptionText = FixedText<kDescriptionLength>;

struct TimeRecord {
  // In descriptor-index order; the hourly rate (index 5) is money text
  // without the currency symbol, e.g. 1,234.50.
  std::array<DescriptorText, kDescriptorCount> descriptors{};
  TimeStamp start = 0;            // kNoTime: no date
  TimeStamp end = 0;              // kNoTime: no date
  Seconds pauseDuration = 0;
  double expense = 0;             // currency units
  std::int32_t billable = 1;      // non-zero: billable
  std::int32_t edited = 0;        // the "Edited?" flag
  std::int32_t invoice = 0;       // 0: "Not Billed"
  // Only while the record is the stopwatch's: inactive, running, paused.
  std::int32_t stopwatchState = kStopwatchInactive;
  // Only while the stopwatch's record is paused: the pause so far is the
  // current time minus this.
  TimeStamp pauseOrigin = 0;
  DescriptionText description{};

  friend bool operator==(const TimeRecord&, const TimeRecord&) = default;
};

// The blank record that a new record starts from: empty texts, zeros,
// billable.
void ClearTimeRecord(TimeRecord& record);

// Makes `record` a fresh, unbilled, billable record of `userName`, leaving
// its other members as they are.
void NewTimeRecordForUser(TimeRecord& record, std::string_view userName);

// Whether two records overlap in time: 0 no (also whenever their person
// texts differ, compared exactly), 2 when they start at the same moment,
// else 1. Touching records (one ends when the other starts) do not overlap.
int TimesOverlap(const TimeRecord& a, const TimeRecord& b);

}  // namespace qm::core
