#include "stopwatch/record_dialog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/date_text.h"
#include "stopwatch/record_saving.h"
#include "tests/stopwatch/record_entry_test_env.h"

namespace qm::stopwatch {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using test::At;

class RecordDialogModelTest : public ::testing::Test, protected test::RecordEntryEnv {
 protected:
  core::TimeStamp Start(const RecordDialogModel& dialog) {
    return core::ParseDateAndTime(dialog.boxes().start_date, dialog.boxes().start_time);
  }
  core::TimeStamp End(const RecordDialogModel& dialog) {
    return core::ParseDateAndTime(dialog.boxes().end_date, dialog.boxes().end_time);
  }
  void Times(RecordDialogModel& dialog, core::TimeStamp start, core::TimeStamp end) {
    dialog.SetTimeBox(RecordBox::kStartDate, core::FormatDate(start));
    dialog.SetTimeBox(RecordBox::kStartTime, core::FormatTime(start, false));
    dialog.SetTimeBox(RecordBox::kEndDate, core::FormatDate(end));
    dialog.SetTimeBox(RecordBox::kEndTime, core::FormatTime(end, false));
  }
  RecordEntryState state_;
};

TEST_F(RecordDialogModelTest, FirstNewRecordIsTheUsersOwnAndStartsNow) {
  Descriptor(core::kClientDescriptor, "Acme");
  Descriptor(core::kPersonDescriptor, "Aaron");
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_EQ(dialog.title(), "Edit Record - New Record");
  EXPECT_TRUE(dialog.repeat_button_shown());
  EXPECT_EQ(dialog.boxes().descriptors[core::kPersonDescriptor], "Alice");
  // With no record to copy, the other boxes offer their first entries.
  EXPECT_EQ(dialog.boxes().descriptors[core::kClientDescriptor], "Acme");
  EXPECT_EQ(Start(dialog), At(17, 0, 5));
  EXPECT_EQ(End(dialog), At(17, 0, 5));
  EXPECT_EQ(dialog.focus(), RecordBox::kEndTime);
  EXPECT_FALSE(dialog.edited());
}

TEST_F(RecordDialogModelTest, NewRecordsFollowOneAnother) {
  Set(app::GeneralConfigKey::kDefaultTimeBetweenTasks, 300);
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  Times(dialog, At(9, 0), At(10, 0));
  dialog.SetDescription("First");
  EXPECT_TRUE(dialog.edited());
  ASSERT_EQ(dialog.OkAndRepeat(), 0);
  EXPECT_EQ(dialog.saved_record_number(), 1);
  // OK && Repeat opens a fresh record after the one just saved.
  ASSERT_TRUE(dialog.is_open());
  EXPECT_EQ(Start(dialog), At(10, 5));
  EXPECT_EQ(End(dialog), At(10, 5));
  EXPECT_EQ(dialog.boxes().description, "");
  dialog.SetTimeBox(RecordBox::kEndTime, "11:00 AM");
  dialog.SetDescription("Second");
  ASSERT_EQ(dialog.Ok(), 0);
  EXPECT_FALSE(dialog.is_open());

  // The next dialog of the run continues from there.
  RecordDialogModel next(context_, state_);
  ASSERT_EQ(next.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_EQ(Start(next), At(11, 5));
  ASSERT_EQ(Records().size(), 2u);
  EXPECT_EQ(Records()[1].start, At(10, 5));
  EXPECT_EQ(Records()[1].edited, 1);
}

TEST_F(RecordDialogModelTest, NewRecordCopiesTheLastRecordWithoutItsMoney) {
  core::TimeRecord last = Record(At(9, 0), At(10, 0));
  last.expense = 20;
  last.invoice = 12;
  last.billable = 0;
  ASSERT_EQ(db_.AddRecord(last, true), 0);
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  const RecordBoxes& boxes = dialog.boxes();
  EXPECT_EQ(boxes.descriptors[core::kClientDescriptor], "Acme");
  EXPECT_EQ(boxes.descriptors[core::kRateDescriptor], "12.50");
  EXPECT_EQ(boxes.expense, "");
  EXPECT_EQ(boxes.invoice, "");
  EXPECT_FALSE(boxes.billed);
  EXPECT_FALSE(boxes.billable);
  EXPECT_EQ(boxes.description, "");
}

TEST_F(RecordDialogModelTest, DurationShowsWhatTheBoxesGive) {
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  Times(dialog, At(9, 0), At(10, 30));
  EXPECT_EQ(dialog.duration_display(), "1 hr 30 min");
  dialog.SetTimeBox(RecordBox::kPause, "15 min");
  EXPECT_EQ(dialog.duration_display(), "1 hr 15 min");
  dialog.SetTimeBox(RecordBox::kEndTime, "half past");
  EXPECT_EQ(dialog.duration_display(), "?????");
}

TEST_F(RecordDialogModelTest, DurationOnlyModePlacesTheRecordAtNine) {
  Set(app::GeneralConfigKey::kDurationMode, 1);
  state_.last_record_read_end = At(15, 0, 2);
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_TRUE(dialog.duration_only());
  EXPECT_EQ(dialog.start_date_label(), "Da&te:");
  EXPECT_EQ(dialog.focus(), RecordBox::kDuration);
  EXPECT_EQ(Start(dialog), At(9, 0, 2));
  EXPECT_EQ(dialog.SetDuration("1:30"), 0);
  EXPECT_EQ(End(dialog), At(10, 30, 2));
  // A duration that does not read leaves the end where it was.
  EXPECT_EQ(dialog.SetDuration("long"), 212);
  EXPECT_EQ(End(dialog), At(10, 30, 2));
  EXPECT_EQ(dialog.SetTimeBox(RecordBox::kStartDate, "3/5/2024"), 212);
  EXPECT_EQ(dialog.SetDuration("2 h"), 0);
  EXPECT_EQ(End(dialog), At(11, 0, 5));
  EXPECT_EQ(dialog.SetTimeBox(RecordBox::kStartDate, "someday"), 136);
  EXPECT_EQ(End(dialog), At(11, 0, 5));
}

TEST_F(RecordDialogModelTest, FailedCheckKeepsTheDialogOpenWithTheFocusOnItsBox) {
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  Times(dialog, At(10, 0), At(9, 0));
  dialog.SetDescription("Backwards");
  EXPECT_EQ(dialog.Ok(), 165);
  EXPECT_TRUE(dialog.is_open());
  EXPECT_EQ(dialog.focus(), RecordBox::kStartTime);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(165));
  EXPECT_THAT(Records(), IsEmpty());
}

TEST_F(RecordDialogModelTest, SelectedRecordIsLockedWhileItIsEdited) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(10, 0)), true), 0);
  std::string holder;
  {
    RecordDialogModel dialog(context_, state_);
    ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 0);
    EXPECT_EQ(dialog.title(), "Edit Record - Selected Record");
    EXPECT_FALSE(dialog.repeat_button_shown());
    EXPECT_EQ(db_.RecordLockHolder(1), "Alice");
    EXPECT_EQ(Start(dialog), At(9, 0));
    EXPECT_EQ(dialog.boxes().description, "Earlier work");
    dialog.SetDescription("Corrected");
    dialog.SetTimeBox(RecordBox::kEndTime, "10:15");
    ASSERT_EQ(dialog.Ok(), 0);
    EXPECT_EQ(db_.RecordLockHolder(1), "");
  }
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(std::string(Records()[0].description.view()), "Corrected");
  EXPECT_EQ(Records()[0].end, At(10, 15));
  EXPECT_EQ(Records()[0].edited, 1);

  // Cancel, and a dialog that simply goes away, release the lock as well.
  {
    RecordDialogModel dialog(context_, state_);
    ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 0);
    dialog.Cancel();
    EXPECT_EQ(db_.RecordLockHolder(1), "");
    ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 0);
  }
  EXPECT_EQ(db_.RecordLockHolder(1), "");
}

TEST_F(RecordDialogModelTest, RecordAnotherUserEditsCannotBeOpened) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(10, 0)), true), 0);
  std::string holder;
  ASSERT_EQ(support_.ClaimSupportEntry(db::kUserLocksSection, db::EditLockEntry(1), "Bob Jones",
                                       holder),
            0);
  RecordDialogModel dialog(context_, state_);
  EXPECT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 414);
  EXPECT_FALSE(dialog.is_open());
  EXPECT_THAT(ui_.Numbers(), ElementsAre(414));
  EXPECT_THAT(ui_.Texts()[0], HasSubstr("currently being editing by Bob Jones."));
  // Bob's lock is his to release.
  EXPECT_EQ(db_.RecordLockHolder(1), "Bob Jones");
}

TEST_F(RecordDialogModelTest, DuplicateStartsAndEndsNow) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(10, 0)), true), 0);
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kDuplicate, 1), 0);
  EXPECT_EQ(dialog.title(), "Edit Record - Duplicate Selected Record");
  EXPECT_EQ(Start(dialog), At(17, 0, 5));
  EXPECT_EQ(End(dialog), At(17, 0, 5));
  EXPECT_EQ(db_.RecordLockHolder(1), "");
  EXPECT_EQ(dialog.Ok(), 166);
  dialog.SetTimeBox(RecordBox::kEndTime, "5:30 PM");
  ASSERT_EQ(dialog.Ok(), 0);
  ASSERT_EQ(Records().size(), 2u);
  EXPECT_EQ(std::string(Records()[1].description.view()), "Earlier work");
  EXPECT_EQ(Records()[1].end, At(17, 30, 5));
  EXPECT_EQ(dialog.saved_record_number(), 2);

  EXPECT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kDuplicate, 9), 9);
}

TEST_F(RecordDialogModelTest, PersonAccessEntersOwnRecordsOnly) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(10, 0), "Bob"), true), 0);
  context_.administrator = false;
  RecordDialogModel dialog(context_, state_);
  // Bob's record is not Alice's to see.
  EXPECT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 9);
  EXPECT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kDuplicate, 1), 9);
  // The template's person gives way to her own name, which stays fixed.
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_TRUE(dialog.person_fixed());
  EXPECT_EQ(dialog.boxes().descriptors[core::kPersonDescriptor], "Alice");
  dialog.SetDescriptor(core::kPersonDescriptor, "Bob");
  EXPECT_EQ(dialog.boxes().descriptors[core::kPersonDescriptor], "Alice");
  Times(dialog, At(11, 0), At(12, 0));
  dialog.SetDescription("Mine");
  ASSERT_EQ(dialog.Ok(), 0);
  EXPECT_EQ(std::string(Records()[1].descriptors[core::kPersonDescriptor].view()), "Alice");
}

TEST_F(RecordDialogModelTest, ProjectsAndRatesFollowTheClient) {
  Descriptor(core::kClientDescriptor, "Acme");
  Descriptor(core::kClientDescriptor, "Beta");
  Descriptor(core::kProjectDescriptor, "Roadmap", core::kClientDescriptor, "Acme");
  Descriptor(core::kProjectDescriptor, "Audit", core::kClientDescriptor, "Beta");
  Descriptor(core::kRateDescriptor, "12.50", core::kClientDescriptor, "Acme");
  Descriptor(core::kRateDescriptor, "90.00", core::kClientDescriptor, "Beta");
  core::TimeRecord last = Record(At(9, 0), At(10, 0));
  last.descriptors[core::kProjectDescriptor].assign("Roadmap");
  ASSERT_EQ(db_.AddRecord(last, true), 0);

  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_EQ(dialog.boxes().descriptors[core::kProjectDescriptor], "Roadmap");
  EXPECT_THAT(dialog.lists().values[core::kProjectDescriptor], ElementsAre("Roadmap"));
  dialog.SetDescriptor(core::kClientDescriptor, "Beta");
  EXPECT_THAT(dialog.lists().values[core::kProjectDescriptor], ElementsAre("Audit"));
  EXPECT_EQ(dialog.boxes().descriptors[core::kProjectDescriptor], "Audit");
  EXPECT_EQ(dialog.boxes().descriptors[core::kRateDescriptor], "90.00");
}

TEST_F(RecordDialogModelTest, ExistingRecordKeepsADescriptorTheFileLost) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(10, 0)), true), 0);
  Descriptor(core::kClientDescriptor, "Beta");
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kSelected, 1), 0);
  EXPECT_EQ(dialog.boxes().descriptors[core::kClientDescriptor], "Acme");
  EXPECT_THAT(dialog.lists().values[core::kClientDescriptor], Contains("Acme"));
  // With run-time changes allowed it is back in the file.
  std::vector<engine::RecordNumber> found;
  EXPECT_EQ(descriptors_.FindDescriptors(core::kClientDescriptor, "Acme", found), 1u);
  dialog.Cancel();

  // A new record shows the list's first entry instead.
  RecordDialogModel fresh(context_, state_);
  core::TimeRecord handed = Record(At(9, 0), At(10, 0));
  handed.descriptors[core::kClientDescriptor].assign("Zenith");
  ASSERT_EQ(fresh.OpenRecordDialog(RecordDialogMode::kNew, 0, &handed), 0);
  EXPECT_EQ(fresh.boxes().descriptors[core::kClientDescriptor], "Acme");
}

TEST_F(RecordDialogModelTest, AddButtonsNeedRunTimeChanges) {
  RecordDialogModel dialog(context_, state_);
  ASSERT_EQ(dialog.OpenRecordDialog(RecordDialogMode::kNew), 0);
  EXPECT_TRUE(dialog.add_buttons_enabled());
  ASSERT_EQ(dialog.AddDescriptor(core::kActivityDescriptor, "Design"), 0);
  EXPECT_EQ(dialog.boxes().descriptors[core::kActivityDescriptor], "Design");
  EXPECT_THAT(dialog.lists().values[core::kActivityDescriptor], Contains("Design"));

  settings_.allow_run_time_changes = 0;
  EXPECT_FALSE(dialog.add_buttons_enabled());
  EXPECT_EQ(dialog.AddDescriptor(core::kActivityDescriptor, "Testing"), 380);
  std::vector<engine::RecordNumber> found;
  EXPECT_EQ(descriptors_.FindDescriptors(core::kActivityDescriptor, "Testing", found), 0u);
}

TEST_F(RecordDialogModelTest, HourlyRateCanBeHidden) {
  RecordDialogModel dialog(context_, state_);
  EXPECT_FALSE(dialog.rate_hidden());
  Set(app::GeneralConfigKey::kHideHourlyRate, 1);
  EXPECT_TRUE(dialog.rate_hidden());
}

}  // namespace
}  // namespace qm::stopwatch
