#include "stopwatch/record_boxes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/pause_handling.h"
#include "tests/stopwatch/record_entry_test_env.h"

namespace qm::stopwatch {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using test::At;

class RecordBoxesTest : public ::testing::Test, protected test::RecordEntryEnv {};

struct CheckCase {
  std::string name;
  std::function<void(RecordBoxes&)> change;
  int message;
  RecordBox focus;
};

class RecordCheckOrderTest : public RecordBoxesTest,
                             public ::testing::WithParamInterface<CheckCase> {};

TEST_P(RecordCheckOrderTest, FirstFailedCheckNamesItsMessageAndBox) {
  RecordBoxes boxes = GoodBoxes();
  GetParam().change(boxes);
  const RecordCheck check = CheckRecordBoxes(context_, boxes, true);
  EXPECT_EQ(check.message, GetParam().message);
  EXPECT_EQ(check.focus, GetParam().focus);
  if (GetParam().message == 0) {
    EXPECT_THAT(ui_.Numbers(), IsEmpty());
  } else {
    EXPECT_THAT(ui_.Numbers(), ElementsAre(GetParam().message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, RecordCheckOrderTest,
    ::testing::Values(
        CheckCase{"Good", [](RecordBoxes&) {}, 0, RecordBox::kNone},
        CheckCase{"StartDate", [](RecordBoxes& b) { b.start_date = "2/30/2024"; }, 2016,
                  RecordBox::kStartDate},
        CheckCase{"StartTime", [](RecordBoxes& b) { b.start_time = "soon"; }, 2015,
                  RecordBox::kStartTime},
        CheckCase{"EndDate", [](RecordBoxes& b) { b.end_date = "13/1/2024"; }, 2016,
                  RecordBox::kEndDate},
        CheckCase{"EndTime", [](RecordBoxes& b) { b.end_time = ""; }, 2015, RecordBox::kEndTime},
        // The start date is checked before everything after it.
        CheckCase{"StartDateFirst",
                  [](RecordBoxes& b) {
                    b.start_date = "x";
                    b.expense = "abc";
                    b.description = "";
                  },
                  2016, RecordBox::kStartDate},
        CheckCase{"EndBeforeStart", [](RecordBoxes& b) { b.end_time = "9:59"; }, 165,
                  RecordBox::kStartTime},
        CheckCase{"EndEqualsStart", [](RecordBoxes& b) { b.end_time = "10:00"; }, 166,
                  RecordBox::kStartTime},
        CheckCase{"ExpenseOnly",
                  [](RecordBoxes& b) {
                    b.end_time = "10:00";
                    b.expense = "12.50";
                  },
                  0, RecordBox::kNone},
        CheckCase{"RateUnreadable", [](RecordBoxes& b) { b.descriptors[5] = "twelve"; }, 171,
                  RecordBox::kRate},
        CheckCase{"RateNegative", [](RecordBoxes& b) { b.descriptors[5] = "-5"; }, 172,
                  RecordBox::kRate},
        CheckCase{"RateSum", [](RecordBoxes& b) { b.descriptors[5] = "12.50+3"; }, 0,
                  RecordBox::kNone},
        CheckCase{"RateBlank", [](RecordBoxes& b) { b.descriptors[5] = " "; }, 0,
                  RecordBox::kNone},
        CheckCase{"Expense", [](RecordBoxes& b) { b.expense = "12.50+lunch"; }, 292,
                  RecordBox::kExpense},
        CheckCase{"PauseUnreadable", [](RecordBoxes& b) { b.pause = "a while"; }, 227,
                  RecordBox::kPause},
        CheckCase{"PauseAsLongAsRecord",
                  [](RecordBoxes& b) {
                    b.end_time = "10:30";
                    b.pause = "30 min";
                  },
                  213, RecordBox::kPause},
        CheckCase{"PauseJustShorter",
                  [](RecordBoxes& b) {
                    b.end_time = "10:30";
                    b.pause = "29 min";
                  },
                  0, RecordBox::kNone},
        CheckCase{"NoDescription", [](RecordBoxes& b) { b.description = "   "; }, 218,
                  RecordBox::kDescription},
        CheckCase{"BilledWithoutInvoice", [](RecordBoxes& b) { b.billed = true; }, 374,
                  RecordBox::kInvoice},
        CheckCase{"InvoiceWithoutBilled", [](RecordBoxes& b) { b.invoice = "17"; }, 375,
                  RecordBox::kInvoice},
        // A billed record whose number does not read would be saved unbilled.
        CheckCase{"InvoiceNotANumber",
                  [](RecordBoxes& b) {
                    b.billed = true;
                    b.invoice = "17b";
                  },
                  168, RecordBox::kInvoice},
        CheckCase{"Billed",
                  [](RecordBoxes& b) {
                    b.billed = true;
                    b.invoice = "17";
                  },
                  0, RecordBox::kNone}),
    [](const auto& info) { return info.param.name; });

TEST_F(RecordBoxesTest, QuietCheckShowsNothing) {
  RecordBoxes boxes = GoodBoxes();
  boxes.end_time = "9:00";
  EXPECT_EQ(CheckRecordBoxes(context_, boxes, false).message, 165);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

TEST_F(RecordBoxesTest, BlankDescriptionFollowsDescriptionHandling) {
  RecordBoxes boxes = GoodBoxes();
  boxes.description.clear();
  Set(app::GeneralConfigKey::kDescriptionHandling, 1);
  EXPECT_EQ(CheckRecordBoxes(context_, boxes, true).message, 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(311));
  ui_.Clear();
  Set(app::GeneralConfigKey::kDescriptionHandling, 2);
  EXPECT_EQ(CheckRecordBoxes(context_, boxes, true).message, 0);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

TEST_F(RecordBoxesTest, WithoutRunTimeChangesEveryBoxMustNameADescriptor) {
  Descriptor(core::kClientDescriptor, "Acme");
  Descriptor(core::kRateDescriptor, "12.50");
  settings_.allow_run_time_changes = 0;
  settings_.descriptor_names = {"Person", "Customer", "Project", "Subproject", "Activity",
                                "Hourly Rate"};
  RecordBoxes boxes = GoodBoxes();
  EXPECT_EQ(CheckRecordBoxes(context_, boxes, true).message, 0);

  boxes.descriptors[core::kClientDescriptor] = "Zenith";
  const RecordCheck check = CheckRecordBoxes(context_, boxes, true);
  EXPECT_EQ(check.message, 380);
  EXPECT_EQ(check.focus, RecordBox::kClient);
  ASSERT_EQ(ui_.entries().size(), 1u);
  EXPECT_EQ(ui_.entries()[0].text,
            "The Customer you entered, 'Zenith,' is not in the database of descriptors. \n\n"
            "Since runtime changes to the descriptors are not currently allowed, please select "
            "an existing Customer name.");

  // With run-time changes allowed any text passes.
  settings_.allow_run_time_changes = 1;
  EXPECT_EQ(CheckRecordBoxes(context_, boxes, false).message, 0);
}

TEST_F(RecordBoxesTest, ReadsEveryBox) {
  RecordBoxes boxes = GoodBoxes();
  boxes.descriptors[core::kProjectDescriptor] = "";
  boxes.pause = "15 min";
  boxes.expense = "12.50+3";
  boxes.descriptors[core::kRateDescriptor] = "12.50+3";
  boxes.billable = false;
  boxes.billed = true;
  boxes.invoice = "42";
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  ASSERT_EQ(ReadRecordFromBoxes(context_, boxes, record, true, true, false), 0);
  EXPECT_EQ(record.start, At(10, 0));
  EXPECT_EQ(record.end, At(11, 0));
  EXPECT_EQ(record.pauseDuration, 15 * 60);
  EXPECT_EQ(std::string(record.descriptors[core::kPersonDescriptor].view()), "Alice");
  // An empty descriptor is stored as one blank, as the lists show it.
  EXPECT_EQ(std::string(record.descriptors[core::kProjectDescriptor].view()), " ");
  // Sums that pass the checks are read as sums, not as their first part.
  EXPECT_EQ(std::string(record.descriptors[core::kRateDescriptor].view()), "15.50");
  EXPECT_DOUBLE_EQ(record.expense, 15.5);
  EXPECT_EQ(record.billable, 0);
  EXPECT_EQ(record.invoice, 42);
  EXPECT_EQ(std::string(record.description.view()), "Work");
}

TEST_F(RecordBoxesTest, PauseHandlingIsAppliedOnRequest) {
  RecordBoxes boxes = GoodBoxes();
  boxes.pause = "15 min";
  Set(app::GeneralConfigKey::kPauseHandling, core::kPauseSubtractFromEnd);
  core::TimeRecord record;
  ASSERT_EQ(ReadRecordFromBoxes(context_, boxes, record, true, true, true), 0);
  EXPECT_EQ(record.start, At(10, 0));
  EXPECT_EQ(record.end, At(10, 45));
  EXPECT_EQ(record.pauseDuration, 0);

  Set(app::GeneralConfigKey::kPauseHandling, core::kPauseAddToStart);
  ASSERT_EQ(ReadRecordFromBoxes(context_, boxes, record, true, true, true), 0);
  EXPECT_EQ(record.start, At(10, 15));
  EXPECT_EQ(record.end, At(11, 0));

  ASSERT_EQ(ReadRecordFromBoxes(context_, boxes, record, true, true, false), 0);
  EXPECT_EQ(record.pauseDuration, 15 * 60);
}

TEST_F(RecordBoxesTest, UncheckedReadMarksUnreadableTimes) {
  RecordBoxes boxes = GoodBoxes();
  boxes.start_time = "later";
  boxes.description = std::string(600, 'd');
  core::TimeRecord record;
  ASSERT_EQ(ReadRecordFromBoxes(context_, boxes, record, false, false, false), 0);
  EXPECT_EQ(record.start, -1);
  EXPECT_EQ(record.end, At(11, 0));
  EXPECT_EQ(record.description.view().size(), core::kDescriptionLength);

  RecordCheck failed;
  EXPECT_EQ(ReadRecordFromBoxes(context_, boxes, record, true, false, false, &failed), 2015);
  EXPECT_EQ(failed.focus, RecordBox::kStartTime);
}

}  // namespace
}  // namespace qm::stopwatch
