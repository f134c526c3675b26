#include "stopwatch/record_saving.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/day_progress.h"
#include "tests/stopwatch/record_entry_test_env.h"

namespace qm::stopwatch {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using test::At;

class RecordSavingTest : public ::testing::Test, protected test::RecordEntryEnv {
 protected:
  // Bob's session on the same database, as another program run has it.
  struct OtherUser {
    explicit OtherUser(RecordSavingTest& test)
        : support(engine, test.table_reporter_), db(engine, test.table_reporter_, support, {}) {
      support.set_user_name("Bob");
      EXPECT_EQ(db.OpenTimeRecordDb(test.file_), 0);
      db.RememberChangeCounter();
    }
    ~OtherUser() {
      db.CloseTimeRecordDb();
      support.CloseSupport();
    }
    engine::TableEngine engine;
    db::SupportDb support;
    db::TimeRecordDb db;
  };
};

TEST_F(RecordSavingTest, NewRecordIsAddedAndAnnounced) {
  const int counter = ChangeCounter();
  (void)core::DayTotalIsStale();
  ASSERT_EQ(SaveNewRecord(context_, Record(At(9, 0), At(10, 0))), 0);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(ChangeCounter(), counter + 1);
  EXPECT_EQ(changes_, 1);
  EXPECT_TRUE(core::DayTotalIsStale());
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

TEST_F(RecordSavingTest, OverlapIsRefusedWithTheExistingRecordsTimes) {
  ASSERT_EQ(SaveNewRecord(context_, Record(At(9, 0), At(10, 0))), 0);
  const int counter = ChangeCounter();
  EXPECT_EQ(SaveNewRecord(context_, Record(At(9, 30), At(10, 30))), kOverlap);
  EXPECT_EQ(Records().size(), 1u);
  EXPECT_EQ(ChangeCounter(), counter);
  ASSERT_EQ(ui_.Texts().size(), 1u);
  EXPECT_THAT(ui_.Texts()[0], HasSubstr("Existing Task:\n  3/4/2024  9:00 AM  to  3/4/2024 10:00 AM"));

  // Touching records, another person's records and allowed overlaps pass.
  EXPECT_EQ(SaveNewRecord(context_, Record(At(10, 0), At(10, 30))), 0);
  EXPECT_EQ(SaveNewRecord(context_, Record(At(9, 30), At(10, 30), "Bob")), 0);
  Set(app::GeneralConfigKey::kAllowOverlappingTasks, 1);
  EXPECT_EQ(SaveNewRecord(context_, Record(At(9, 15), At(9, 45))), 0);
  EXPECT_EQ(Records().size(), 4u);
}

TEST_F(RecordSavingTest, ChangedRecordIsWrittenAndMayOverlapOnlyItself) {
  ASSERT_EQ(SaveNewRecord(context_, Record(At(9, 0), At(10, 0))), 0);
  ASSERT_EQ(SaveNewRecord(context_, Record(At(11, 0), At(12, 0))), 0);
  const int counter = ChangeCounter();
  // The first record grows within its own old time: only itself overlaps.
  core::TimeRecord changed = Record(At(8, 30), At(10, 30));
  changed.description.assign("Longer");
  ASSERT_EQ(SaveChangedRecord(context_, 1, changed), 0);
  EXPECT_EQ(ChangeCounter(), counter + 1);
  core::TimeRecord stored;
  ASSERT_EQ(db_.ReadRecordAt(1, stored), 0);
  EXPECT_EQ(stored, changed);

  // Into the second record's time it may not.
  EXPECT_EQ(SaveChangedRecord(context_, 1, Record(At(8, 30), At(11, 30))), kOverlap);
  ASSERT_EQ(db_.ReadRecordAt(1, stored), 0);
  EXPECT_EQ(stored, changed);
}

TEST_F(RecordSavingTest, RecordThatVanishedIsReported) {
  ASSERT_EQ(SaveNewRecord(context_, Record(At(9, 0), At(10, 0))), 0);
  EXPECT_EQ(SaveChangedRecord(context_, 7, Record(At(9, 0), At(10, 0))), 99);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(99));
  EXPECT_THAT(ui_.Texts()[0], HasSubstr("EDITTASK"));

  // Another user deletes it while it is being edited here.
  ui_.Clear();
  {
    OtherUser bob(*this);
    ASSERT_EQ(bob.db.DeleteRecord(1, true), 0);
  }
  EXPECT_EQ(SaveChangedRecord(context_, 1, Record(At(9, 0), At(9, 30))), 379);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(379));
  core::TimeRecord stored;
  ASSERT_EQ(db_.ReadRecordAt(1, stored), 0);
  EXPECT_EQ(stored.end, At(10, 0));
}

}  // namespace
}  // namespace qm::stopwatch
