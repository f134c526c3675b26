#include "view/columns.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/calendar.h"
#include "view/cell_text.h"
#include "view/column_layout.h"
#include "tests/db/db_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;

const DescriptorNames kNames = {"Person", "Customer", "Job", "Subproject", "Activity", "Rate"};

core::TimeStamp At(int day, int hour, int minute) {
  return *core::StampFromFields({2024, 3, day, hour, minute, 0, 0});
}

TEST(ColumnsTest, NamesFollowTheDescriptorNamesAndFindTheirIds) {
  EXPECT_EQ(ColumnName(kColumnClient, kNames), "Customer");
  EXPECT_EQ(ColumnName(kColumnStartTime, kNames), "Start Time");
  EXPECT_EQ(DefaultColumnHeading(kColumnStartTime, kNames), "From");
  EXPECT_EQ(DefaultColumnHeading(kColumnProject, kNames), "Job");
  EXPECT_EQ(DefaultColumnWidth(kColumnProject), 13);
  EXPECT_EQ(ColumnIdByName("Customer", kNames), kColumnClient);
  EXPECT_EQ(ColumnIdByName("Billable?", kNames), kColumnBillable);
  EXPECT_EQ(ColumnIdByName("Client", kNames), kNoColumn);  // renamed
  EXPECT_EQ(ColumnIdByName("", kNames), kNoColumn);
  EXPECT_EQ(ColumnName(20, kNames), "");
}

TEST(ColumnLayoutTest, DefaultLayoutShowsSixColumns) {
  const ColumnLayout layout = DefaultColumnLayout(kNames);
  std::vector<std::string> headings;
  for (int id : DisplayedColumns(layout)) headings.push_back(layout.headings[static_cast<std::size_t>(id)]);
  EXPECT_THAT(headings, ElementsAre("Date", "From", "To", "Job", "Description", "Duration"));
  EXPECT_EQ(layout.order.size(), kOrderEntries);
  EXPECT_EQ(layout.order.back(), kNoColumn);
}

class CellTextTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  CellTextTest() {
    core::ClearTimeRecord(record_);
    record_.descriptors[core::kClientDescriptor].assign("Acme");
    record_.descriptors[core::kRateDescriptor].assign("1,085.50");
    record_.start = At(4, 9, 0);
    record_.end = At(4, 10, 20);
    record_.pauseDuration = 600;
    record_.expense = 12.5;
    record_.billable = 1;
    record_.edited = 0;
    record_.invoice = 0;
    record_.description.assign("Call about the proposal");
    settings_.MinimumDuration = 0;
    settings_.DurationIncrement = 900;  // 70 minutes become 75
    settings_.DurationFormat = 5;       // "193 min"
  }
  core::TimeRecord record_{};
  core::DurationSettings settings_;
};

TEST_F(CellTextTest, EveryColumnShowsItsField) {
  struct Case {
    int id;
    std::string text;
  };
  const Case cases[] = {
      {kColumnClient, "Acme"},
      {kColumnRate, "1,085.50"},
      {kColumnStartDate, "3/4/2024"},
      {kColumnEndTime, "10:20 AM"},
      {kColumnDescription, "Call about the proposal"},
      {kColumnEdited, "No"},
      {kColumnDuration, "75 min"},
      {kColumnPause, "10 min"},
      {kColumnExpense, "12.50"},
      {kColumnBillable, "Yes"},
      {kColumnInvoice, "N/A"},
      {kColumnStraightDuration, "70 min"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellText(c.id, record_, settings_), c.text) << "column " << c.id;
  }
  record_.invoice = 1044;
  EXPECT_EQ(CellText(kColumnInvoice, record_, settings_), "1044");
  EXPECT_THAT(ui_.Numbers(), ::testing::IsEmpty());
}

TEST_F(CellTextTest, FeesUseTheRoundedDuration) {
  record_.descriptors[core::kRateDescriptor].assign("60.00");
  // 75 minutes at 60.00.
  EXPECT_THAT(CellText(kColumnTimeFee, record_, settings_), ::testing::HasSubstr("75.00"));
  EXPECT_THAT(CellText(kColumnFee, record_, settings_), ::testing::HasSubstr("87.50"));
  record_.descriptors[core::kRateDescriptor].assign("cheap");
  EXPECT_EQ(CellText(kColumnRate, record_, settings_), "0.00");
}

TEST_F(CellTextTest, LongTextsAreCutAndUnknownColumnsReported) {
  record_.description.assign(std::string(120, 'x'));
  EXPECT_EQ(CellText(kColumnDescription, record_, settings_).size(), kMaxCellText);
  EXPECT_EQ(CellText(20, record_, settings_), "");
  EXPECT_EQ(CellText(-1, record_, settings_), "");
  ASSERT_FALSE(ui_.entries().empty());
  EXPECT_THAT(ui_.entries().front().text, ::testing::HasSubstr("TDISPLAY"));
}

class ColumnLayoutFileTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  ColumnLayoutFileTest() { settings_.Bind(dir_.File("alice.ini")); }
  app::CSettings settings_;
};

TEST_F(ColumnLayoutFileTest, SavedLayoutReadsBack) {
  ColumnLayout layout = DefaultColumnLayout(kNames);
  ASSERT_TRUE(SetDisplayedColumns(layout, {1, 2, 12, 19}));
  layout.widths[1] = 20;
  layout.headings[12] = "Hours";
  layout.group_highlighting = 1;
  layout.lines_per_task = 2;
  ASSERT_EQ(SaveColumnLayout(settings_, layout), 0);
  EXPECT_EQ(settings_.GetString("Layout", "Order", ""),
            "1,2,12,19,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,");
  EXPECT_EQ(LoadColumnLayout(settings_, kNames), layout);
}

TEST_F(ColumnLayoutFileTest, SaveAgainstAReferenceWritesOnlyChanges) {
  const ColumnLayout reference = DefaultColumnLayout(kNames);
  ColumnLayout layout = reference;
  layout.headings[6] = "Day";
  ASSERT_EQ(SaveColumnLayout(settings_, layout, &reference), 0);
  EXPECT_TRUE(settings_.HasKey("Layout", "Heading6"));
  EXPECT_FALSE(settings_.HasKey("Layout", "Order"));
  EXPECT_FALSE(settings_.HasKey("Layout", "Width"));
  EXPECT_FALSE(settings_.HasKey("Layout", "MultiLine"));
}

TEST_F(ColumnLayoutFileTest, HandEditedOrderStopsAtTheFirstBadEntry) {
  struct Case {
    const char* stored;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {"1,2,-1,", {1, 2}},
      {"1,25,2,", {1}},     // no such column
      {"3,4,3,5,", {3, 4}}, // shown twice
      {"", {}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(settings_.WriteString("Layout", "Order", c.stored));
    const ColumnLayout layout = LoadColumnLayout(settings_, kNames);
    EXPECT_EQ(DisplayedColumns(layout), c.shown) << c.stored;
    EXPECT_EQ(layout.order.size(), kOrderEntries);
  }
}

TEST(ColumnEditTest, InsertAppendRemoveAndMoveKeepTheEnd) {
  ColumnLayout layout = DefaultColumnLayout(kNames);  // 6 7 9 2 10 12
  EXPECT_TRUE(InsertColumn(layout, 0, kColumnClient));
  EXPECT_FALSE(InsertColumn(layout, 0, kColumnClient));  // already shown
  EXPECT_FALSE(InsertColumn(layout, 9, kColumnFee));     // beyond the end
  EXPECT_FALSE(InsertColumn(layout, 0, 20));
  EXPECT_TRUE(AppendColumn(layout, kColumnFee));
  EXPECT_THAT(DisplayedColumns(layout), ElementsAre(1, 6, 7, 9, 2, 10, 12, 19));
  EXPECT_TRUE(RemoveColumn(layout, 2));
  EXPECT_FALSE(RemoveColumn(layout, 7));
  EXPECT_THAT(DisplayedColumns(layout), ElementsAre(1, 6, 9, 2, 10, 12, 19));
  // Moving to either own edge does nothing.
  EXPECT_FALSE(MoveColumn(layout, 2, 2));
  EXPECT_FALSE(MoveColumn(layout, 2, 3));
  EXPECT_TRUE(MoveColumn(layout, 0, 7));  // to the right end
  EXPECT_THAT(DisplayedColumns(layout), ElementsAre(6, 9, 2, 10, 12, 19, 1));
  EXPECT_TRUE(MoveColumn(layout, 6, 0));  // back to the left end
  EXPECT_THAT(DisplayedColumns(layout), ElementsAre(1, 6, 9, 2, 10, 12, 19));
  EXPECT_EQ(layout.order.size(), kOrderEntries);
  EXPECT_EQ(layout.order[7], kNoColumn);

  ColumnLayout full = DefaultColumnLayout(kNames);
  std::vector<int> all;
  for (int id = 0; id < kColumnCount; ++id) all.push_back(id);
  ASSERT_TRUE(SetDisplayedColumns(full, all));
  EXPECT_EQ(full.order.back(), kNoColumn);
  EXPECT_FALSE(RemoveColumn(full, 20));
}

}  // namespace
}  // namespace qm::view
