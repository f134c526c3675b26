#include "view/column_dialog_models.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/db/db_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;

const DescriptorNames kNames = {"Person", "Client", "Project", "Subproject", "Activity", "Rate"};

class ColumnDialogTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  ColumnLayout layout_ = DefaultColumnLayout(kNames);  // 6 7 9 2 10 12
};

TEST_F(ColumnDialogTest, InsertOffersTheHiddenColumnsAndInsertsBeforeTheSelection) {
  InsertColumnDialogModel dialog(InsertColumnDialogModel::Mode::kInsert, layout_, kNames);
  EXPECT_EQ(dialog.title(), "Insert New Column");
  EXPECT_EQ(dialog.names().size(), 14u);
  EXPECT_EQ(dialog.names().front(), "Person");
  EXPECT_EQ(dialog.selected(), 0);
  dialog.Select(1);  // Client
  ASSERT_EQ(dialog.Ok(), 0);
  ASSERT_TRUE(dialog.ApplyTo(layout_, 1));
  EXPECT_THAT(DisplayedColumns(layout_), ElementsAre(6, 1, 7, 9, 2, 10, 12));
}

TEST_F(ColumnDialogTest, AppendWithoutANameShows200) {
  layout_.multi_line = 1;
  ASSERT_TRUE(RemoveColumn(layout_, 4));  // the description, on its own line
  InsertColumnDialogModel dialog(InsertColumnDialogModel::Mode::kAppend, layout_, kNames);
  EXPECT_EQ(dialog.title(), "Append New Column");
  EXPECT_THAT(dialog.names(), ::testing::Not(::testing::Contains("Description")));
  dialog.Select(-1);
  EXPECT_EQ(dialog.Ok(), kSelectColumnName);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kSelectColumnName));
  dialog.Select(3);  // Person, Client, Subproject, Activity
  ASSERT_EQ(dialog.Ok(), 0);
  ASSERT_TRUE(dialog.ApplyTo(layout_, 0));
  EXPECT_THAT(DisplayedColumns(layout_), ElementsAre(6, 7, 9, 2, 12, 4));
}

TEST_F(ColumnDialogTest, LayoutSheetEditsACopyUntilOk) {
  ColumnLayoutSheetModel sheet(layout_, kNames);
  EXPECT_THAT(sheet.NotDisplayed(), ElementsAre(0, 1, 3, 4, 5, 8, 11, 13, 14, 15, 16, 17, 18, 19));
  ASSERT_TRUE(sheet.Insert(1, 0));  // Client first
  ASSERT_TRUE(sheet.Append(static_cast<int>(sheet.NotDisplayed().size()) - 1));  // Fee last
  ASSERT_TRUE(sheet.Remove(1));  // Start Date
  EXPECT_THAT(sheet.Displayed(), ElementsAre(1, 7, 9, 2, 10, 12, 19));
  EXPECT_EQ(sheet.Modify(-1, "x", 3), kSelectColumnToModify);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kSelectColumnToModify));
  ASSERT_EQ(sheet.Modify(kColumnFee, std::string(40, 'F'), 14), 0);
  sheet.values().group_highlighting = 1;
  EXPECT_THAT(DisplayedColumns(layout_), ElementsAre(6, 7, 9, 2, 10, 12)) << "not yet applied";

  int selected_header = 3;
  ASSERT_EQ(sheet.Ok(layout_, selected_header), 0);
  EXPECT_EQ(selected_header, kNoColumn);
  EXPECT_THAT(DisplayedColumns(layout_), ElementsAre(1, 7, 9, 2, 10, 12, 19));
  EXPECT_EQ(layout_.headings[kColumnFee], std::string(35, 'F'));
  EXPECT_EQ(layout_.widths[kColumnFee], 14);
  EXPECT_EQ(layout_.group_highlighting, 1);
  EXPECT_EQ(layout_.multi_line, 0);

  sheet.DefaultOrder();
  int ignored = 0;
  ASSERT_EQ(sheet.Ok(layout_, ignored), 0);
  EXPECT_THAT(DisplayedColumns(layout_), ElementsAre(6, 7, 9, 2, 10, 12));
}

TEST_F(ColumnDialogTest, DescriptionOnItsOwnLineAndInTheColumnsIsRefused) {
  ColumnLayoutSheetModel sheet(layout_, kNames);
  sheet.values().multi_line = 1;
  int selected_header = 0;
  ASSERT_EQ(sheet.Ok(layout_, selected_header), 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kDescriptionShownTwice));
  EXPECT_EQ(layout_.multi_line, 0);

  ui_.Clear();
  ASSERT_TRUE(sheet.Remove(4));
  sheet.values().multi_line = 1;
  ASSERT_EQ(sheet.Ok(layout_, selected_header), 0);
  EXPECT_TRUE(ui_.Numbers().empty());
  EXPECT_EQ(layout_.multi_line, 1);
}

}  // namespace
}  // namespace qm::view
