// What a record entry test needs beyond the common run: Alice's descriptor
// file open with her person descriptor in it.
#pragma once

#include <string_view>

#include "core/calendar.h"
#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "stopwatch/record_boxes.h"
#include "tests/stopwatch/entry_test_env.h"

namespace qm::stopwatch::test {

// A local time stamp of March 2024 (the 4th unless told).
inline core::TimeStamp At(int hour, int minute, int day = 4) {
  return *core::StampFromFields({2024, 3, day, hour, minute, 0, 0});
}

class RecordEntryEnv : public EntryTestEnv {
 public:
  RecordEntryEnv() : EntryTestEnv(At(17, 0, 5)) {
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

  int ChangeCounter() {
    return support_.GetSupportInt(db::kIndexSection, db::kChangesEntry, 0,
                                  db::SupportFileName(file_));
  }
};

}  // namespace qm::stopwatch::test
