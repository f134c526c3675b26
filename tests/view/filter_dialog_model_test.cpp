#include "view/filter_dialog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/view/filter_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const DescriptorNames kNames = {"Person", "Client", "Project", "Subproject", "Activity",
                                "Hourly Rate"};

class FilterDialogModelTest : public ::testing::Test, protected test::FilterTestEnv {
 protected:
  FilterDialogModel Dialog() {
    FilterDialogModel model(index_, &descriptors_, kNames);
    model.Load();
    return model;
  }

  // Sets row `row` (0-based) and makes it the last row in use.
  static void SetRow(FilterDialogModel& model, int row, int field, int comparison,
                     std::string target) {
    for (int i = 0; i < row; ++i) {
      if (model.rows()[i].link == kLinkEnd) model.SetLink(i, kLinkAnd);
    }
    model.SetField(row, field);
    model.SetComparison(row, comparison);
    model.SetTarget(row, target);
    model.SetLink(row, kLinkEnd);
  }
};

TEST_F(FilterDialogModelTest, LoadShowsTheSavedFilterWithTheListsOfEachField) {
  RecordFilter saved;
  saved.enabled = 1;
  saved.rows[0] = {kFieldClient, kCompareEqual, "Acme", kLinkOr};
  saved.rows[1] = {kFieldBillable, kCompareNotEqual, "No", kLinkAnd};
  saved.rows[2] = {kFieldStartDate, kCompareGreater, "This Week", kLinkEnd};
  ASSERT_EQ(SaveFilter(settings_, saved), 0);
  FilterDialogModel model = Dialog();
  EXPECT_TRUE(model.enabled());
  EXPECT_EQ(model.filter(), saved);
  EXPECT_THAT(model.rows()[0].choices, ElementsAre("Acme", "Orbit", "Zeta"));
  EXPECT_THAT(model.rows()[1].choices, ElementsAre("Yes", "No"));
  EXPECT_THAT(model.rows()[2].choices,
              ElementsAre("Today", "Yesterday", "This Year", "This Month", "Last Month",
                          "Last Year", "Last Week", "This Week"));
  EXPECT_EQ(model.field_names().at(6), "Start Date");
  EXPECT_EQ(model.field_names().at(7), "Start Time");
  EXPECT_EQ(model.field_names().at(11), "Description");
  EXPECT_EQ(model.InformationLine(), kAdministratorInformation);
}

TEST_F(FilterDialogModelTest, ChangingAFieldRefillsItsListKeepsTheTextAndEnables) {
  FilterDialogModel model = Dialog();
  EXPECT_FALSE(model.enabled());
  model.SetTarget(0, "Sm");
  ASSERT_TRUE(model.SetField(0, kFieldPerson));
  EXPECT_TRUE(model.enabled());
  EXPECT_EQ(model.rows()[0].target, "Sm");
  EXPECT_THAT(model.rows()[0].choices, ElementsAre("Smith"));
  ASSERT_TRUE(model.SetField(0, kFieldDescription));
  EXPECT_THAT(model.rows()[0].choices, IsEmpty());
  EXPECT_FALSE(model.SetField(0, 12));
  EXPECT_FALSE(model.SetComparison(0, 7));
  EXPECT_FALSE(model.SetLink(11, kLinkAnd));
  model.SetTarget(1, std::string(70, 'x'));
  EXPECT_EQ(model.rows()[1].target.size(), kMaxFilterTarget);

  model.Reset();
  EXPECT_FALSE(model.enabled());
  EXPECT_EQ(model.filter(), RecordFilter{});
}

TEST_F(FilterDialogModelTest, PersonWithoutAdministratorAccessIsToldWhoseRecordsShow) {
  UserIndex restricted(db_, settings_, FilterScope{false, "Smith"});
  FilterDialogModel model(restricted, &descriptors_, kNames);
  EXPECT_EQ(model.InformationLine(),
            "IMPORTANT: Since you do not have administrator access, only the time records for "
            "'Smith' will be represented.");
}

// The first failing check of the first failing row, with that row's number.
TEST_F(FilterDialogModelTest, RowsAreCheckedInOrderAndTheFirstFailureHasTheFocus) {
  struct Case {
    int field;
    int comparison;
    std::string target;
    int message;  // 0: accepted
  } cases[] = {
      {kFieldStartDate, kCompareContains, "garbage", 173},  // before the date check
      {kFieldRate, kCompareContains, "12", 173},
      {kFieldInvoice, kCompareContains, "12", 173},
      {kFieldDescription, kCompareEqual, "call", 385},
      {kFieldDescription, kCompareLessOrEqual, "call", 0},
      {kFieldStartDate, kCompareGreater, "garbage", 177},
      {kFieldStartDate, kCompareGreater, "Last Month", 0},
      {kFieldStartTime, kCompareLess, "noon-ish", 177},
      {kFieldStartTime, kCompareLess, "4 PM", 0},
      {kFieldInvoice, kCompareEqual, "abc", 377},
      {kFieldInvoice, kCompareEqual, "nOt BiLlEd", 0},
      {kFieldInvoice, kCompareGreater, "1,042", 0},
      {kFieldBillable, kCompareContains, "yes", 305},
      {kFieldBillable, kCompareEqual, "true", 305},
      {kFieldBillable, kCompareNotEqual, "n", 0},
      {kFieldExpense, kCompareEqual, "", 176},
      {kFieldRate, kCompareEqual, "$12.50", 0},
      {kFieldClient, kCompareContains, "", 0},
  };
  for (const Case& c : cases) {
    FilterDialogModel model = Dialog();
    SetRow(model, 0, kFieldClient, kCompareEqual, "Acme");
    SetRow(model, 1, c.field, c.comparison, c.target);
    SetRow(model, 2, kFieldExpense, kCompareEqual, "not a number");
    ui_.Clear();
    const int result = model.Validate();
    if (c.message == 0) {
      EXPECT_EQ(result, kNotADecimalNumber) << "the third row is checked after the second";
      EXPECT_EQ(model.focus_row(), 2);
      EXPECT_THAT(ui_.Texts(), ElementsAre(::testing::HasSubstr("filter number 3 ")));
    } else {
      EXPECT_EQ(result, c.message) << c.field << " " << c.target;
      EXPECT_EQ(model.focus_row(), 1);
      EXPECT_THAT(ui_.Numbers(), ElementsAre(c.message));
      EXPECT_THAT(ui_.Texts(), ElementsAre(::testing::HasSubstr("number 2")));
    }
  }
}

TEST_F(FilterDialogModelTest, TextAfterTheEndRowIsQuestioned) {
  FilterDialogModel model = Dialog();
  SetRow(model, 0, kFieldClient, kCompareEqual, "Acme");
  model.SetTarget(3, "  ");   // blank: no question
  model.SetTarget(4, "Orbit  ");

  ui_.QueueAnswer(platform::Button::kNo);
  EXPECT_EQ(model.Ok(), kTextAfterEndRow);
  EXPECT_EQ(model.focus_row(), 4);
  ASSERT_EQ(ui_.entries().size(), 1u);
  EXPECT_EQ(ui_.entries()[0].number, kTextAfterEndRow);
  EXPECT_EQ(ui_.entries()[0].text,
            "Filter number 1 has a link of 'End,' yet you have entered the text 'Orbit' into the "
            "'Compare to' field of filter 5.  Do you want to apply this filter anyway?");
  EXPECT_FALSE(IsFilterEnabled(settings_)) << "nothing saved";
  EXPECT_EQ(TasksInOrder().size(), 5u) << "nothing applied";

  ui_.QueueAnswer(platform::Button::kYes);
  EXPECT_EQ(model.Ok(), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("build", "design", "review"));
  EXPECT_EQ(LoadFilter(settings_).RowsInUse(), 1);
  EXPECT_TRUE(IsFilterEnabled(settings_));
}

TEST_F(FilterDialogModelTest, OkAppliesWithTheSavedOrderAndSavesOnlyWhatWasApplied) {
  SortOrder descending;
  descending.ascending = 0;
  ASSERT_EQ(SaveSortOrder(settings_, descending), 0);
  FilterDialogModel model = Dialog();
  SetRow(model, 0, kFieldClient, kCompareEqual, "acme");
  SetRow(model, 1, kFieldBillable, kCompareEqual, "Yes");
  ASSERT_EQ(model.Ok(), 0);
  EXPECT_THAT(TasksInOrder(), ElementsAre("design", "build"));
  const RecordFilter applied = LoadFilter(settings_);
  EXPECT_EQ(applied, model.filter());

  // A disabled filter is neither checked nor applied, only kept.
  model.SetTarget(1, "maybe");
  model.SetEnabled(false);
  ASSERT_EQ(model.Ok(), 0);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
  EXPECT_EQ(TasksInOrder().size(), 5u);
  EXPECT_EQ(LoadFilter(settings_).rows[1].target, "maybe");

  // A filter the index cannot take keeps the dialog open and the file as it was.
  FilterDialogModel longer = Dialog();
  for (int row = 0; row < kFilterRowCount; ++row) {
    SetRow(longer, row, kFieldDescription, kCompareContains, std::string(30, 'q'));
  }
  EXPECT_EQ(longer.Ok(), kFilterTooLong);
  EXPECT_EQ(LoadFilter(settings_).rows[1].target, "maybe");
}

}  // namespace
}  // namespace qm::view
