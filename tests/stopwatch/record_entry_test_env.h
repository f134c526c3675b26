// What a record entry test needs of a program run: Alice's database with
// its support file and descriptor file open, her settings, a pinned clock
// and the entry context over them.
#pragma once

#include <string>
#include <string_view>
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
#include "stopwatch/record_boxes.h"
#include "tests/db/db_test_env.h"

namespace qm::stopwatch::test {

inline constexpr std::string_view kAlice = "Alice";

// A local time stamp of March 2024 (the 4th unless told).
inline core::TimeStamp At(int hour, int minute, int day = 4) {
  return *core::StampFromFields({2024, 3, day, hour, minute, 0, 0});
}

class RecordEntryEnv : public db::test::DbTestEnv {
 public:
  RecordEntryEnv()
      : clock_(At(17, 0, 5)),
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
    EXPECT_EQ(descriptors_.OpenDescriptorFile(dir_.File("descript.dbf")), 0);
    EXPECT_EQ(descriptors_.AddDescriptor(kAlice, core::kPersonDescriptor, false, "",
                                         db::kNotLinked),
              0);
  }
  ~RecordEntryEnv() {
    descriptors_.CloseDescriptorFile();
    db_.CloseTimeRecordDb();
    support_.CloseSupport();
  }

  void Set(app::GeneralConfigKey key, int value) { settings_.general.Set(key, value); }
  void Descriptor(int kind, std::string_view value, int link_kind = db::kNotLinked,
                  std::string_view linked_to = "") {
    EXPECT_EQ(descriptors_.AddDescriptor(value, kind, link_kind != db::kNotLinked, linked_to,
                                         link_kind),
              0);
  }

  // Boxes that pass every check: Alice, 10:00 to 11:00 on 4 March 2024.
  static RecordBoxes GoodBoxes() {
    RecordBoxes boxes;
    boxes.descriptors = {"Alice", "Acme", "", "", "", "12.50"};
    boxes.start_date = "3/4/2024";
    boxes.start_time = "10:00";
    boxes.end_date = "3/4/2024";
    boxes.end_time = "11:00";
    boxes.description = "Work";
    return boxes;
  }

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

  int ChangeCounter() {
    return support_.GetSupportInt(db::kIndexSection, db::kChangesEntry, 0,
                                  db::SupportFileName(file_));
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
