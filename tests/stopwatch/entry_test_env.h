// What the record entry and stopwatch tests need of a program run: Alice's
// database with its support file open, her settings, a pinned clock and the
// entry context over them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

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
#include "tests/db/db_test_env.h"

namespace qm::stopwatch::test {

inline constexpr std::string_view kAlice = "Alice";

class EntryTestEnv : public db::test::DbTestEnv {
 public:
  // The clock stands at `now` until the test moves it.
  explicit EntryTestEnv(core::TimeStamp now)
      : clock_(now),
        pinned_(clock_),
        support_(engine_, table_reporter_),
        db_(engine_, table_reporter_, support_, {}),
        descriptors_(engine_, table_reporter_),
        context_{db_, support_, descriptors_, settings_, user_settings_, program_settings_,
                 std::string(kAlice), true, dir_.path(), [this] { ++changes_; }} {
    support_.set_user_name(std::string(kAlice));
    EXPECT_EQ(support_.OpenSupport(db::SupportFileName(file_)), 0);
    EXPECT_EQ(db_.OpenTimeRecordDb(file_), 0);
    db_.RememberChangeCounter();
  }

  void Set(app::GeneralConfigKey key, int value) { settings_.general.Set(key, value); }

  // A stored record of `person` for Acme at 12.50.
  core::TimeRecord Record(core::TimeStamp start, core::TimeStamp end,
                          std::string_view person = kAlice) {
    core::TimeRecord record;
    core::ClearTimeRecord(record);
    record.descriptors[core::kPersonDescriptor].assign(person);
    record.descriptors[core::kClientDescriptor].assign("Acme");
    record.descriptors[core::kRateDescriptor].assign("12.50");
    record.description.assign("Earlier work");
    record.start = start;
    record.end = end;
    return record;
  }

  // The records in end-time order, deleted ones left out.
  std::vector<core::TimeRecord> Records() {
    std::vector<core::TimeRecord> records;
    core::TimeRecord record;
    for (int status = db_.FirstRecord(record); status == 0; status = db_.NextRecord(record)) {
      records.push_back(record);
    }
    return records;
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
};

}  // namespace qm::stopwatch::test
