#include "view/list_layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/db/db_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;

const DescriptorNames kNames = {"Person", "Client", "Project", "Subproject", "Activity", "Rate"};

// 8 pixels a character, 16 high with 2 of leading, 96 pixels an inch.
const FixedTextMetrics kScreen(8, 16, 2, 96);

class ListLayoutTest : public ::testing::Test, protected db::test::DbTestEnv {};

TEST_F(ListLayoutTest, ColumnsStandAtTheirWidthsAndGaps) {
  ColumnLayout layout = DefaultColumnLayout(kNames);
  ASSERT_TRUE(SetDisplayedColumns(layout, {kColumnClient, kColumnDuration}));
  layout.inches_between_columns = 25;  // 24 pixels at 96 per inch
  const ListGeometry g = ComputeListGeometry(layout, kScreen, 4, 300);
  EXPECT_EQ(g.line_height, 18);
  EXPECT_EQ(g.header_height, 21);
  EXPECT_EQ(g.gap, 24);
  EXPECT_THAT(g.right_edges, ElementsAre(4 + 37 * 8 + 24, 4 + 37 * 8 + 24 + 20 * 8 + 24));
  EXPECT_EQ(g.scroll_range, g.right_edges.back());
  // (300 - 21) / (3 x 18) + 1
  EXPECT_EQ(g.visible_rows, 6);
  EXPECT_FALSE(ui_.Saw(99));
}

TEST_F(ListLayoutTest, MoreThan150RowsAreReportedAndLimited) {
  ColumnLayout layout = DefaultColumnLayout(kNames);
  layout.lines_per_task = 1;
  // (2721 - 21) / 18 + 1 = 151
  const ListGeometry g = ComputeListGeometry(layout, kScreen, 0, 2721);
  EXPECT_EQ(g.visible_rows, kMaxVisibleRows);
  ASSERT_EQ(ui_.entries().size(), 1u);
  EXPECT_THAT(ui_.entries()[0].text,
              ::testing::HasSubstr("Number of tasks in a task list display (151) has exceeded the maximum"));
  EXPECT_THAT(ui_.entries()[0].text, ::testing::HasSubstr("TDISPLAY"));

  ui_.Clear();
  EXPECT_EQ(ComputeListGeometry(layout, kScreen, 0, 2720).visible_rows, 150);
  EXPECT_TRUE(ui_.entries().empty());
}

TEST(VisibleRowsTest, RowsOfNoLinesDoNotDivideByZero) {
  EXPECT_EQ(VisibleRowCount(100, 21, 0, 18), 5);
  EXPECT_EQ(VisibleRowCount(10, 21, 3, 18), 1);
  EXPECT_EQ(VisibleRowCount(100, 21, 3, 0), 80);
}

TEST(WrappedTextTest, WordsWrapAtTheBoxWidth) {
  struct Case {
    const char* text;
    int width_chars;
    int lines;
  };
  const Case cases[] = {
      {"", 10, 1},
      {"short", 10, 1},
      {"one two three", 10, 2},        // "one two" / "three"
      {"one two three four", 9, 3},    // "one two" / "three" / "four"
      {"abcdefghijklmnopqrstu", 10, 3},  // a word wider than the box breaks
      {"line\nnext", 40, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrappedLineCount(c.text, c.width_chars * 8, kScreen), c.lines) << c.text;
  }
}

TEST(PrintedRowTest, HeightFollowsLinesOrDescription) {
  const FixedTextMetrics printer(10, 40, 4, 300);
  ColumnLayout layout = DefaultColumnLayout(kNames);
  layout.lines_per_task = 3;
  EXPECT_EQ(PrintedRowHeight(layout, printer, false, ""), 3 * 40 + 4 + 10);
  layout.multi_line = 1;
  EXPECT_EQ(PrintedRowHeight(layout, printer, false, ""), 3 * 40 + 8 + 10);

  // 100 characters in a 50-character box: two lines below the first.
  const std::string description = std::string(49, 'a') + " " + std::string(50, 'b');
  EXPECT_EQ(PrintedRowHeight(layout, printer, true, description), 44 + 2 * 40 + 10);
  // The Description column holds 39 characters: each word breaks in two.
  layout.multi_line = 0;
  EXPECT_EQ(PrintedRowHeight(layout, printer, true, description), 4 * 40 + 10);
}

TEST(FitCellTextTest, CutToCharactersThenPixels) {
  EXPECT_EQ(FitCellText("Acme Corporation", 4, 1000, kScreen), "Acme");
  EXPECT_EQ(FitCellText("Acme Corporation", 20, 40, kScreen), "Acme ");
  EXPECT_EQ(FitCellText("Acme", 0, 100, kScreen), "");
}

}  // namespace
}  // namespace qm::view
