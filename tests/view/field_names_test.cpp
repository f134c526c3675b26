#include "view/field_names.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm::view {
namespace {

const DescriptorNames kNames = {"Staff", "Customer", "Job", "Phase", "Task", "Rate"};

TEST(FieldNamesTest, ListsFollowTheUsersTerminology) {
  EXPECT_THAT(FilterFieldNames(kNames),
              ::testing::ElementsAre("Staff", "Customer", "Job", "Phase", "Task", "Rate",
                                     "Start Date", "Start Time", "Expense", "Invoice",
                                     "Billable?", "Description"));
  const std::vector<std::string> sort = SortFieldNames(kNames);
  EXPECT_EQ(sort.at(7), "Start Date/Time");
  EXPECT_EQ(sort.at(11), "(None)");
}

TEST(FieldNamesTest, WordsAreReadByNameWithoutCaseOrByCode) {
  const std::vector<std::string> fields = FilterFieldNames(kNames);
  struct Case {
    std::string word;
    const std::vector<std::string>* names;
    std::optional<int> code;
  } cases[] = {
      {"customer", &fields, 1},
      {"CUSTOMER", &fields, 1},
      {"client", &fields, std::nullopt},  // the user calls them customers
      {"billable", &fields, 10},
      {"Billable?", &fields, 10},
      {"billable??", &fields, std::nullopt},
      {"start time", &fields, 7},
      {"11", &fields, 11},
      {"12", &fields, std::nullopt},
      {"-1", &fields, std::nullopt},
      {"1x", &fields, std::nullopt},
      {"", &fields, std::nullopt},
      {"contains", &ComparisonNames(), 6},
      {"<>", &ComparisonNames(), 5},
      {"=>", &ComparisonNames(), std::nullopt},
      {"OR", &LinkNames(), 2},
      {"0", &LinkNames(), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodeOfName(c.word, *c.names), c.code) << "'" << c.word << "'";
  }
}

}  // namespace
}  // namespace qm::view
