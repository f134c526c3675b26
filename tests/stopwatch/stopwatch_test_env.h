// What a stopwatch test needs beyond the common run: Alice's stopwatch
// record as the run loads it.
#pragma once

#include <string_view>

#include "core/calendar.h"
#include "core/time_record.h"
#include "stopwatch/stopwatch.h"
#include "tests/stopwatch/entry_test_env.h"

namespace qm::stopwatch::test {

inline constexpr std::string_view kUser = kAlice;

// A local time stamp of 4 March 2024.
inline core::TimeStamp At(int hour, int minute, int second = 0, int day = 4) {
  return *core::StampFromFields({2024, 3, day, hour, minute, second, 0});
}

class StopwatchTestEnv : public EntryTestEnv {
 public:
  StopwatchTestEnv() : EntryTestEnv(At(9, 0)) {
    core::ClearTimeRecord(record_);
    for (auto& descriptor : record_.descriptors) descriptor.assign("<<Not Specified>>");
    record_.descriptors[core::kPersonDescriptor].assign(kUser);
  }

  void Now(core::TimeStamp stamp) { clock_.Set(stamp); }

  // The stopwatch record as the next run would load it.
  core::TimeRecord Stored() {
    core::TimeRecord stored;
    EXPECT_EQ(support_.LoadStopwatchRecord(file_, stored), 0);
    return stored;
  }

  core::TimeRecord record_{};
};

}  // namespace qm::stopwatch::test
