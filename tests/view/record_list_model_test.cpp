#include "view/record_list_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/calendar.h"
#include "tests/db/db_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const DescriptorNames kNames = {"Person", "Client", "Project", "Subproject", "Activity", "Rate"};

core::TimeStamp At(int day, int hour) { return *core::StampFromFields({2024, 3, day, hour, 0, 0, 0}); }

core::TimeRecord Record(std::string_view client, std::string_view task, int day, int hour) {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign("Smith");
  record.descriptors[core::kClientDescriptor].assign(client);
  record.descriptors[core::kActivityDescriptor].assign(task);
  record.start = At(day, hour);
  record.end = At(day, hour + 1);
  return record;
}

// Another program on the same database: its own engine and support file.
struct OtherRun {
  OtherRun(engine::TableReporter& reporter, const std::string& file)
      : support(engine, reporter), db(engine, reporter, support, {}) {
    support.set_user_name("Jones");
    EXPECT_EQ(db.OpenTimeRecordDb(file), 0);
    db.RememberChangeCounter();
  }
  ~OtherRun() { db.CloseTimeRecordDb(); }
  engine::TableEngine engine;
  db::SupportDb support;
  db::TimeRecordDb db;
};

class RecordListModelTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  RecordListModelTest() {
    support_.set_user_name("Smith");
    settings_.Bind(dir_.File("Smith.ini"));
    EXPECT_EQ(db_.OpenTimeRecordDb(file_), 0);
    db_.RememberChangeCounter();
    Add(Record("Acme", "design", 4, 9));   // 1
    Add(Record("Zeta", "call", 4, 11));    // 2
    Add(Record("Acme", "review", 5, 9));   // 3
    Add(Record("Acme", "build", 3, 9));    // 4
    Add(Record("Orbit", "visit", 6, 9));   // 5
    SortOrder by_client;
    by_client.fields = {kFieldClient, kFieldStartTime, kSortNone, kSortNone};
    EXPECT_EQ(index_.ApplyFilterAndSort(by_client, RecordFilter{}), 0);
    EXPECT_TRUE(SetDisplayedColumns(layout_, {kColumnClient, kColumnActivity}));
    index_.set_changed_hook([this] { model_.OnIndexRebuilt(); });
  }
  ~RecordListModelTest() override {
    index_.CloseUserIndex();
    db_.CloseTimeRecordDb();
  }

  void Add(const core::TimeRecord& record) { ASSERT_EQ(db_.AddRecord(record, true), 0); }

  std::vector<engine::RecordNumber> Numbers() const {
    std::vector<engine::RecordNumber> numbers;
    for (const ListRow& row : model_.rows()) numbers.push_back(row.number);
    return numbers;
  }
  std::vector<std::string> FirstCells() const {
    std::vector<std::string> cells;
    for (std::size_t i = 0; i < model_.rows().size(); ++i) cells.push_back(model_.RowCells(i).at(0));
    return cells;
  }

  std::string file_ = dir_.File("work.dbf");
  db::SupportDb support_{engine_, table_reporter_};
  db::TimeRecordDb db_{engine_, table_reporter_, support_, {}};
  app::CSettings settings_;
  UserIndex index_{db_, settings_, FilterScope{true, "Smith"}};
  ColumnLayout layout_ = DefaultColumnLayout(kNames);
  RecordListModel model_{index_, layout_, core::DurationSettings{}};
};

TEST_F(RecordListModelTest, RowsFollowTheUserOrderFromTheTopRow) {
  ASSERT_EQ(model_.Refresh(), 0);
  EXPECT_THAT(Numbers(), ElementsAre(4, 1, 3, 5, 2));
  // Two rows of three 18-pixel lines below a 21-pixel header.
  EXPECT_EQ(model_.RecomputeLayout(FixedTextMetrics(8, 16, 2, 96), 0, 21 + 54 + 10).visible_rows, 2);
  EXPECT_EQ(model_.visible_row_count(), 2);
  model_.SetTopRow(1);
  ASSERT_EQ(model_.Refresh(), 0);
  EXPECT_THAT(Numbers(), ElementsAre(1, 3));
  model_.SetTopRow(4);
  ASSERT_EQ(model_.Refresh(), 0);
  EXPECT_THAT(Numbers(), ElementsAre(2));
  model_.SetVisibleRowCount(500);
  EXPECT_EQ(model_.visible_row_count(), kMaxVisibleRows);
}

TEST_F(RecordListModelTest, GroupHighlightingShowsEachClientOnce) {
  ASSERT_EQ(model_.Refresh(), 0);
  EXPECT_THAT(FirstCells(), ElementsAre("Acme", "Acme", "Acme", "Orbit", "Zeta"));
  layout_.group_highlighting = 1;
  EXPECT_THAT(FirstCells(), ElementsAre("Acme", "", "", "Orbit", "Zeta"));
  EXPECT_EQ(model_.RowCells(1).at(1), "design");  // only the first column is blanked
}

TEST(GroupKeyTest, OnlyTheFirst40CharactersCount) {
  const std::string a = std::string(40, 'x') + "a";
  const std::string b = std::string(40, 'x') + "b";
  EXPECT_TRUE(RepeatsGroupAbove(a, b));
  EXPECT_FALSE(RepeatsGroupAbove(a.substr(1), b));
}

TEST_F(RecordListModelTest, RebuildClearsTheSelection) {
  model_.Select(3);
  model_.Select(5, true);
  EXPECT_THAT(model_.selection(), ElementsAre(3, 5));
  ASSERT_EQ(index_.ApplyFilterAndSort(std::nullopt, RecordFilter{}), 0);
  EXPECT_THAT(model_.selection(), IsEmpty());
}

TEST_F(RecordListModelTest, PollReselectsTheFirstSelectedRecordStillShown) {
  RecordFilter acme;
  acme.enabled = 1;
  acme.rows[0] = {kFieldClient, kCompareEqual, "acme", kLinkEnd};
  ASSERT_EQ(index_.ApplyFilterAndSort(std::nullopt, acme), 0);
  ASSERT_EQ(model_.Refresh(), 0);
  EXPECT_FALSE(model_.PollForChanges());  // nothing changed yet

  model_.Select(1);
  model_.Select(3, true);
  model_.Select(4, true);
  {
    // Another user moves record 1 to another client and adds an Acme record.
    OtherRun jones(table_reporter_, file_);
    core::TimeRecord moved = Record("Zeta", "design", 4, 9);
    ASSERT_EQ(jones.db.ReadRecordAt(1, moved), 0);
    moved.descriptors[core::kClientDescriptor].assign("Zeta");
    ASSERT_EQ(jones.db.ChangeCurrentRecord(moved, true), 0);
    ASSERT_EQ(jones.db.AddRecord(Record("Acme", "extra", 7, 9), true), 0);
    ASSERT_EQ(jones.db.AnnounceChange(), 0);
  }
  EXPECT_TRUE(model_.PollForChanges());
  // Record 1 left the filtered set; 3 was the second remembered one.
  EXPECT_THAT(model_.selection(), ElementsAre(3));
  EXPECT_THAT(Numbers(), ElementsAre(4, 3, 6));

  {
    OtherRun jones(table_reporter_, file_);
    ASSERT_EQ(jones.db.DeleteRecord(3, true), 0);
    ASSERT_EQ(jones.db.AnnounceChange(), 0);
  }
  EXPECT_TRUE(model_.PollForChanges());
  EXPECT_THAT(model_.selection(), IsEmpty());
  EXPECT_THAT(Numbers(), ElementsAre(4, 6));
}

}  // namespace
}  // namespace qm::view
