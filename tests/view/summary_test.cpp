#include "view/summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/calendar.h"
#include "tests/db/db_test_env.h"
#include "view/record_filter.h"
#include "view/subtotals.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

core::TimeStamp At(int day, int hour) { return *core::StampFromFields({2024, 3, day, hour, 0, 0, 0}); }

core::TimeRecord Record(std::string_view client, int day, int hours, std::string_view rate) {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign("Smith");
  record.descriptors[core::kClientDescriptor].assign(client);
  record.descriptors[core::kRateDescriptor].assign(rate);
  record.start = At(day, 9);
  record.end = At(day, 9 + hours);
  return record;
}

class SummaryTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  SummaryTest() {
    support_.set_user_name("Smith");
    EXPECT_EQ(db_.OpenTimeRecordDb(file_), 0);
    Add(Record("Acme", 4, 1, "50.00"));
    Add(Record("Acme", 5, 2, "80.00"));
    Add(Record("Zeta", 6, 3, "10.00"));
    context_.person = "Smith";
    context_.durations.DurationFormat = 6;  // "193"
  }
  ~SummaryTest() override { db_.CloseTimeRecordDb(); }
  void Add(const core::TimeRecord& record) { ASSERT_EQ(db_.AddRecord(record, true), 0); }

  std::string file_ = dir_.File("work.dbf");
  db::SupportDb support_{engine_, table_reporter_};
  db::TimeRecordDb db_{engine_, table_reporter_, support_, {}};
  SummaryContext context_;
};

TEST_F(SummaryTest, FiguresAndLinesUnderAProgressBox) {
  Summary summary;
  ASSERT_EQ(ComputeSummary(db_, context_, ui_, summary), 0);
  EXPECT_EQ(summary.totals.count, 3);
  EXPECT_EQ(summary.totals.seconds, 6 * 3600);
  EXPECT_DOUBLE_EQ(summary.totals.timeFee, 50 + 160 + 30);
  EXPECT_DOUBLE_EQ(summary.average_rate, 40);
  EXPECT_EQ(summary.totals.earliestStart, At(4, 9));
  EXPECT_EQ(summary.totals.latestEnd, At(6, 12));
  ASSERT_FALSE(ui_.progress().empty());
  EXPECT_EQ(ui_.progress().front().text, "Compiling Summary Information...");
  EXPECT_FALSE(ui_.progress_open());

  const std::vector<SummaryLine> lines = SummaryLines(summary);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0].label, "Number of Records:");
  EXPECT_EQ(lines[0].value, "3");
  EXPECT_EQ(lines[2].value, "360");
  EXPECT_EQ(lines[3].value, "120");
  EXPECT_EQ(lines[10].label, "Security Access: Administrator");
  const std::string copy = SummaryCopyText(lines);
  EXPECT_THAT(copy, testing::StartsWith("Number of Records:\t3\r\nFilter Status: \tOff\r\n"));
  EXPECT_THAT(copy, testing::EndsWith("Security Access: Administrator\t\r\n"));
}

TEST_F(SummaryTest, PersonWithoutAdministratorAccessIsToldWhatIsCounted) {
  context_.administrator = false;
  context_.filter_enabled = true;
  Summary summary;
  ASSERT_EQ(ComputeSummary(db_, context_, ui_, summary), 0);
  const std::vector<SummaryLine> lines = SummaryLines(summary);
  EXPECT_EQ(lines[0].label, "# Records Matching Filter:");
  EXPECT_EQ(lines[1].value, "On");
  EXPECT_THAT(lines.back().label,
              HasSubstr("only the time records for 'Smith' are represented."));
}

TEST_F(SummaryTest, CacheKeepsTheFiguresUntilCleared) {
  SummaryCache cache;
  int result = -1;
  const Summary* first = cache.Get(db_, context_, ui_, &result);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(result, 0);
  Add(Record("Zeta", 7, 1, "10.00"));
  EXPECT_EQ(cache.Get(db_, context_, ui_)->totals.count, 3);
  cache.Clear();
  EXPECT_EQ(cache.Get(db_, context_, ui_)->totals.count, 4);
}

TEST_F(SummaryTest, CancelKeepsNothing) {
  ui_.CancelProgressAfter(1);
  SummaryCache cache;
  int result = 0;
  EXPECT_EQ(cache.Get(db_, context_, ui_, &result), nullptr);
  EXPECT_EQ(result, kSummaryCancelled);
  EXPECT_FALSE(cache.has_value());
  EXPECT_FALSE(ui_.progress_open());
}

TEST(SubtotalLevelsTest, LevelsFromTheSortOrderAndTheSetting) {
  struct Case {
    std::array<std::int32_t, 4> fields;
    int setting;
    int levels;
  };
  const Case cases[] = {
      {{1, 2, 11, 11}, 2, 2}, {{1, 2, 11, 11}, 3, 2}, {{1, 2, 4, 11}, 3, 3},
      {{1, 2, 4, 3}, 3, 3},   {{1, 2, 11, 11}, 1, 1}, {{1, 2, 11, 11}, 0, 1},
      {{1, 11, 2, 11}, 3, 1},
  };
  for (const Case& c : cases) {
    SortOrder order;
    order.fields = c.fields;
    EXPECT_EQ(SubtotalLevelCount(order, c.setting), c.levels)
        << c.fields[0] << c.fields[1] << c.fields[2] << " / " << c.setting;
  }
  EXPECT_EQ(SubtotalColumn(kFieldStartTime), kColumnStartDate);
  EXPECT_EQ(SubtotalColumn(kFieldExpense), kColumnExpense);
  EXPECT_EQ(SubtotalColumn(kFieldInvoice), kColumnInvoice);
  EXPECT_EQ(SubtotalColumn(kFieldBillable), kColumnBillable);
  EXPECT_EQ(SubtotalColumn(kFieldDescription), kNoColumn);
}

TEST(SubtotalHeadingTest, NamesAreCutTo44Characters) {
  SubtotalSettings settings;
  settings.names = {"Person", std::string(30, 'C'), std::string(30, 'P'), "Sub", "Act", "Rate"};
  settings.order.fields = {1, 2, 11, 11};
  settings.num_subtotal_levels = 2;
  EXPECT_EQ(SubtotalHeading(settings),
            std::string(30, 'C') + "/" + std::string(13, 'P') + "\tTime\tExpense\tFee");
}

TEST_F(SummaryTest, SubtotalsStopWhenTheListIsFull) {
  SubtotalSettings settings;
  settings.order.fields = {kFieldClient, kSortNone, kSortNone, kSortNone};
  settings.durations.DurationFormat = 6;
  settings.names = {"Person", "Client", "Project", "Subproject", "Activity", "Rate"};
  SubtotalLines room(1);
  EXPECT_EQ(ComputeSubtotals(db_, settings, room), kSubtotalListFull);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kSubtotalListFull));
  ASSERT_EQ(room.lines().size(), 1u);
  EXPECT_THAT(room.lines()[0], testing::StartsWith("Acme" + std::string(31, ' ') + "\t180\t"));

  ui_.Clear();
  SubtotalLines all;
  EXPECT_EQ(ComputeSubtotals(db_, settings, all), 0);
  EXPECT_EQ(all.lines().size(), 2u);
  EXPECT_TRUE(ui_.Numbers().empty());
}

}  // namespace
}  // namespace qm::view
