// What a stopwatch test needs of a program run: a database with its
// support file open for "Alice", her settings, a pinned clock, and her
// stopwatch record as the run loads it.
#pragma once

#include <string>
#include <vector>

#include "app/general_config.h"
#include "app/loaded_settings.h"
#include "app/settings.h"
#include "core/calendar.h"
#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "platform/clock.h"
#include "stopwatch/entry_context.h"
#include "stopwatch/stopwatch.h"
#include "tests/db/db_test_env.h"

namespace qm::stopwatch::test {

inline constexpr std::string_view kUser = "Alice";

// A local time stamp of 4 March 2024.
inline core::TimeStamp At(int hour, int minute, int second = 0, int day = 4) {
  return *core::StampFromFields({2024, 3, day, hour, minute, second, 0});
}

class StopwatchTestEnv : public db::test::DbTestEnv {
 public:
  StopwatchTestEnv()
      : clock_(At(9, 0)),
        pinned_(clock_),
        support_(engine_, table_reporter_),
        db_(engine_, table_reporter_, support_, {}),
        descriptors_(engine_, table_reporter_),
        context_{db_, support_, descriptors_, settings_, user_settings_, program_settings_,
                 std::string(kUser), true, dir_.path(), [this] { ++changes_; }} {
    support_.set_user_name(std::string(kUser));
    EXPECT_EQ(support_.OpenSupport(db::SupportFileName(file_)), 0);
    EXPECT_EQ(db_.OpenTimeRecordDb(file_), 0);
    db_.RememberChangeCounter();
    core::ClearTimeRecord(record_);
    for (auto& descriptor : record_.descriptors) descriptor.assign("<<Not Specified>>");
    record_.descriptors[core::kPersonDescriptor].assign(kUser);
  }

  void Now(core::TimeStamp stamp) { clock_.Set(stamp); }
  void Set(app::GeneralConfigKey key, int value) { settings_.general.Set(key, value); }

  // The stopwatch record as the next run would load it.
  core::TimeRecord Stored() {
    core::TimeRecord stored;
    EXPECT_EQ(support_.LoadStopwatchRecord(file_, stored), 0);
    return stored;
  }

  std::vector<core::TimeRecord> Records() {
    std::vector<core::TimeRecord> records;
    core::TimeRecord record;
    for (int status = db_.FirstRecord(record); status == 0; status = db_.NextRecord(record)) {
      records.push_back(record);
    }
    return records;
  }

  core::TimeRecord Record(core::TimeStamp start, core::TimeStamp end) {
    core::TimeRecord record;
    core::ClearTimeRecord(record);
    record.descriptors[core::kPersonDescriptor].assign(kUser);
    record.descriptors[core::kClientDescriptor].assign("Acme");
    record.descriptors[core::kRateDescriptor].assign("12.50");
    record.description.assign("Earlier work");
    record.start = start;
    record.end = end;
    return record;
  }

  std::string file_ = dir_.File("work.dbf");
  platform::FixedClock clock_;
  platform::ScopedClock pinned_;
  db::SupportDb support_;
  db::TimeRecordDb db_;
  db::DescriptorDb descriptors_;
  app::LoadedSettings settings_;
  app::CSettings user_settings_;
  app::CSettings program_settings_;
  int changes_ = 0;
  EntryContext context_;
  core::TimeRecord record_{};
};

}  // namespace qm::stopwatch::test
