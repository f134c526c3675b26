#include "view/sort_dialog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/view/filter_test_env.h"

namespace qm::view {
namespace {

using ::testing::ElementsAre;

constexpr auto kLevels = app::GeneralConfigKey::kNumSubtotalLevels;

class SortDialogModelTest : public ::testing::Test, protected test::FilterTestEnv {
 protected:
  SortDialogModelTest() {
    loaded_.descriptor_names = {"Person", "Customer", "Project", "Subproject", "Activity",
                                "Hourly Rate"};
  }

  SortDialogModel Dialog() {
    SortDialogModel model(index_, loaded_, settings_);
    model.Load();
    return model;
  }

  app::LoadedSettings loaded_;
};

TEST_F(SortDialogModelTest, ListsOfferTheUsersNamesAndOnlyLaterLevelsOfferNone) {
  SortDialogModel model = Dialog();
  EXPECT_THAT(model.list(0), ElementsAre("Person", "Customer", "Project", "Subproject",
                                         "Activity", "Hourly Rate", "Start Date",
                                         "Start Date/Time", "Expense", "Invoice", "Billable?"));
  EXPECT_EQ(model.list(1).size(), 12u);
  EXPECT_EQ(model.list(3).back(), "(None)");
  EXPECT_FALSE(model.SetLevel(0, kSortNone));
  EXPECT_TRUE(model.SetLevel(1, kSortNone));
  EXPECT_FALSE(model.SetLevel(2, 12));
  EXPECT_EQ(model.order(), SortOrder{});
}

TEST_F(SortDialogModelTest, LoadSelectsTheSavedOrderAndTheBoxesFollowTheLevels) {
  SortOrder saved;
  saved.fields = {1, 4, 11, 11};
  saved.ascending = 0;
  ASSERT_EQ(SaveSortOrder(settings_, saved), 0);
  for (int levels : {0, 1, 2, 3}) {
    loaded_.general.Set(kLevels, levels);
    SortDialogModel model = Dialog();
    EXPECT_EQ(model.order(), saved);
    EXPECT_EQ(model.second_subtotals(), levels >= 2);
    EXPECT_EQ(model.third_subtotals(), levels == 3);
    EXPECT_EQ(model.SubtotalLevels(), std::max(levels, 1));
  }

  SortDialogModel model = Dialog();
  model.SetSecondSubtotals(false);
  EXPECT_FALSE(model.third_subtotals()) << "clearing the second clears the third";
  model.SetThirdSubtotals(true);
  EXPECT_TRUE(model.second_subtotals()) << "ticking the third ticks the second";
  model.Default();
  EXPECT_EQ(model.order(), SortOrder{});
  EXPECT_FALSE(model.second_subtotals());
  EXPECT_EQ(model.SubtotalLevels(), 1);
}

TEST_F(SortDialogModelTest, OkCarriesNoneDownAppliesAndKeepsTheSubtotalLevels) {
  SortDialogModel model = Dialog();
  model.SetLevel(0, kFieldClient);
  model.SetLevel(1, kSortNone);
  model.SetLevel(2, kFieldActivity);
  model.SetLevel(3, kFieldStartTime);
  model.SetAscending(false);
  model.SetThirdSubtotals(true);
  ASSERT_EQ(model.Ok(), 0);
  SortOrder expected;
  expected.fields = {kFieldClient, kSortNone, kSortNone, kSortNone};
  expected.ascending = 0;
  EXPECT_EQ(model.order(), expected);
  EXPECT_EQ(LoadSortOrder(settings_), expected);
  EXPECT_EQ(loaded_.general.Get(kLevels), 3);
  EXPECT_EQ(settings_.GetInt(app::kGeneralConfigSection, "NumSubtotalLevels", -1), 3) << "seen by the next run";
  // Descending by client; the three Acme records share one key.
  const std::vector<std::string> tasks = TasksInOrder();
  ASSERT_EQ(tasks.size(), 5u);
  EXPECT_EQ(tasks[0], "call");
  EXPECT_EQ(tasks[1], "visit");

  model.SetLevel(1, kFieldActivity);
  model.SetLevel(2, kSortNone);
  model.SetLevel(3, kFieldStartTime);
  model.SetAscending(true);
  model.SetSecondSubtotals(false);
  ASSERT_EQ(model.Ok(), 0);
  EXPECT_EQ(LoadSortOrder(settings_).fields, (std::array<std::int32_t, 4>{1, 4, 11, 11}));
  EXPECT_THAT(TasksInOrder(), ElementsAre("build", "design", "review", "visit", "call"));
  EXPECT_EQ(settings_.GetInt(app::kGeneralConfigSection, "NumSubtotalLevels", -1), 1);
}

}  // namespace
}  // namespace qm::view
