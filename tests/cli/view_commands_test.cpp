#include "cli/view_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "cli/command.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// One record as the tests know it: what the arithmetic below needs.
struct Task {
  std::string client;
  std::string project;
  std::string start;  // "3/4/2024 9:00 AM"
  std::string end;
  int minutes;        // end - start
  double rate;
  double expense;
  bool billable = true;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

// The number in a money text, whatever symbol and grouping surround it.
double Money(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') digits += c;
  }
  return std::strtod(digits.c_str(), nullptr);
}

double JsonNumber(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  EXPECT_NE(at, std::string::npos) << key << " in " << json;
  if (at == std::string::npos) return -1;
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

class ViewCommandsTest : public CommandTest {
 protected:
  void SetUp() override { ASSERT_EQ(Run("db new", {db_}).status, kExitOk); }

  std::string Ok(std::string_view name, std::vector<std::string> args) {
    CommandOutcome outcome = Run(name, std::move(args));
    EXPECT_EQ(outcome.status, kExitOk) << name << ": " << outcome.err;
    return outcome.out;
  }

  void Add(const Task& task) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", task.rate);
    char expense[32];
    std::snprintf(expense, sizeof expense, "%.2f", task.expense);
    Ok("add", {"--client", task.client, "--project", task.project, "--start", task.start, "--end",
               task.end, "--rate", rate, "--expense", expense, "--billable",
               task.billable ? "yes" : "no", "--description", task.client + " " + task.start});
  }

  // The record numbers of `list --format csv`, in the listed order.
  std::vector<int> ListedNumbers() {
    std::vector<int> numbers;
    std::vector<std::string> lines = Split(Ok("list", {"--format", "csv"}), '\n');
    EXPECT_THAT(lines.at(0), HasSubstr("recno,Person,Client,Project"));
    for (std::size_t i = 1; i < lines.size(); ++i) numbers.push_back(std::stoi(lines[i]));
    return numbers;
  }
};

// Added out of order; record numbers 1 to 4.
const std::vector<Task> kTasks = {
    {"Acme", "Alpha", "3/5/2024 9:00 AM", "3/5/2024 10:13 AM", 73, 85.00, 0, true},
    {"Zed", "Alpha", "3/4/2024 1:00 PM", "3/4/2024 1:20 PM", 20, 100.00, 0, false},
    {"Acme", "Beta", "3/4/2024 10:30 AM", "3/4/2024 12:00 PM", 90, 60.00, 12.50, true},
    {"Acme", "Alpha", "3/6/2024 2:00 PM", "3/6/2024 2:07 PM", 7, 85.00, 3.00, true},
};

TEST_F(ViewCommandsTest, ListWalksTheFilteredRecordsInSortOrder) {
  for (const Task& task : kTasks) Add(task);
  // No filter, the default order: start date/time.
  EXPECT_THAT(ListedNumbers(), ElementsAre(3, 2, 1, 4));

  Ok("filter set", {"1", "client", "=", "acme"});
  Ok("filter enable", {});
  EXPECT_THAT(ListedNumbers(), ElementsAre(3, 1, 4));

  Ok("sort set", {"start date/time", "--descending"});
  EXPECT_THAT(ListedNumbers(), ElementsAre(4, 1, 3));

  Ok("sort set", {"project", "start date/time"});
  EXPECT_THAT(ListedNumbers(), ElementsAre(1, 4, 3));

  Ok("filter disable", {});
  Ok("sort set", {"client", "start date/time", "--descending"});
  EXPECT_THAT(ListedNumbers(), ElementsAre(2, 4, 1, 3));
}

TEST_F(ViewCommandsTest, ListTableUsesTheLayoutAndHighlightsGroups) {
  for (const Task& task : kTasks) Add(task);
  Ok("sort set", {"client", "start date/time"});
  EXPECT_EQ(Run("columns set", {"client,1 ,Start Date"}).status, kExitUsage);  // client twice
  Ok("columns set", {"client, start date"});
  Ok("columns width", {"client", "6"});
  Ok("columns heading", {"6", "Day"});
  WriteUserSetting("Layout", "GroupHighlighting", 1);

  std::vector<std::string> lines = Split(Ok("list", {}), '\n');
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Client  Day");
  EXPECT_EQ(lines[1], "Acme    3/4/2024");
  EXPECT_EQ(lines[2], "        3/5/2024");
  EXPECT_EQ(lines[3], "        3/6/2024");
  EXPECT_EQ(lines[4], "Zed     3/4/2024");

  // The layout is the person's from now on.
  std::string shown = Ok("columns show", {"--json"});
  EXPECT_THAT(shown, HasSubstr("\"order\": [1, 6]"));
  EXPECT_THAT(shown, HasSubstr("{\"id\": 6, \"name\": \"Start Date\", \"heading\": \"Day\""));
}

TEST_F(ViewCommandsTest, DefaultListShowsSixColumnsAndInvoiceNotBilled) {
  Add(kTasks[0]);
  std::vector<std::string> lines = Split(Ok("list", {}), '\n');
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(Split(lines[0], ' '),
              ::testing::IsSupersetOf({"Date", "From", "To", "Project", "Description", "Duration"}));
  EXPECT_THAT(Ok("list", {"--columns", "invoice", "--format", "csv"}),
              HasSubstr("recno,Invoice\n1,N/A\n"));
}

TEST_F(ViewCommandsTest, DescriptionColumnTakesOverItsSeparateLine) {
  WriteUserSetting("Layout", "MultiLine", 1);
  CommandOutcome set = Run("columns set", {"start date,description"});
  EXPECT_EQ(set.status, kExitOk) << set.err;
  EXPECT_THAT(set.numbers, ElementsAre(2019));
  EXPECT_THAT(Ok("columns show", {"--json"}), HasSubstr("\"multi_line\": 0"));
  WriteUserSetting("Layout", "MultiLine", 1);
  CommandOutcome without = Run("columns set", {"start date,duration"});
  EXPECT_TRUE(without.numbers.empty());
  EXPECT_THAT(Ok("columns show", {"--json"}), HasSubstr("\"multi_line\": 1"));
}

TEST_F(ViewCommandsTest, ColumnEditsRefuseBadInputAndChangeNothing) {
  const std::string before = Ok("columns show", {});
  EXPECT_EQ(Run("columns set", {"2,99"}).status, kExitUsage);
  EXPECT_EQ(Run("columns set", {"2,project"}).status, kExitUsage);
  EXPECT_EQ(Run("columns width", {"2", "0"}).status, kExitUsage);
  EXPECT_EQ(Run("columns width", {"nonesuch", "5"}).status, kExitUsage);
  EXPECT_EQ(Run("columns heading", {"2", std::string(36, 'x')}).status, kExitUsage);
  EXPECT_EQ(Ok("columns show", {}), before);
}

// --- Totals against the arithmetic of the records ---------------------------------------

struct Rounding {
  int minimum;
  int increment;
};

int RoundedSeconds(int minutes, Rounding r) {
  int seconds = minutes * 60;
  if (seconds == 0 || (r.minimum == 0 && r.increment == 0)) return seconds;
  if (seconds < r.minimum) return r.minimum;
  if (r.increment <= 0) return seconds;
  int above = seconds - r.minimum;
  int steps = (above + r.increment - 1) / r.increment;
  return r.minimum + steps * r.increment;
}

struct Expected {
  long count = 0;
  long seconds = 0;
  double fee = 0;  // accumulated, unrounded
  double expense = 0;
};

Expected Totals(const std::vector<Task>& tasks, Rounding r, bool (*keep)(const Task&)) {
  Expected e;
  for (const Task& t : tasks) {
    if (!keep(t)) continue;
    const int s = RoundedSeconds(t.minutes, r);
    ++e.count;
    e.seconds += s;
    e.fee += t.rate * s / 3600.0;
    e.expense += t.expense;
  }
  return e;
}

// The fee shown for a group with rounding before multiplying on, for the
// two-decimal duration formats.
double RoundedFee(const Expected& e) {
  if (e.seconds == 0) return 0;
  const double rate = std::floor(e.fee / e.seconds * 3600 * 100 + 0.5) * 0.01;
  const double hours = std::floor(e.seconds / 3600.0 * 100 + 0.5) * 0.01;
  return hours * rate;
}

struct SummaryCase {
  const char* name;
  Rounding rounding;
  int round_before_multiplying;
};

class SummaryTotalsTest : public ViewCommandsTest,
                          public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(SummaryTotalsTest, AgreesWithTheRecords) {
  const SummaryCase& c = GetParam();
  for (const Task& task : kTasks) Add(task);
  WriteUserSetting("GeneralConfig", "MinimumDuration", c.rounding.minimum);
  WriteUserSetting("GeneralConfig", "DurationIncrement", c.rounding.increment);
  WriteUserSetting("GeneralConfig", "RoundBeforeMultiplying", c.round_before_multiplying);
  WriteUserSetting("Settings", "DurationFormat", 0);  // " 3.22 Hours"

  const Expected e = Totals(kTasks, c.rounding, [](const Task&) { return true; });
  const double time_fee = c.round_before_multiplying ? RoundedFee(e) : e.fee;
  const std::string json = Ok("summary", {"--json"});
  EXPECT_EQ(JsonNumber(json, "count"), e.count);
  EXPECT_EQ(JsonNumber(json, "seconds"), e.seconds);
  EXPECT_NEAR(JsonNumber(json, "average_rate"), e.fee / e.seconds * 3600, 1e-5);
  EXPECT_NEAR(JsonNumber(json, "time_fee"), time_fee, 0.005);
  EXPECT_NEAR(JsonNumber(json, "expense"), e.expense, 0.005);
  EXPECT_NEAR(JsonNumber(json, "total_fee"), time_fee + e.expense, 0.005);

  std::vector<std::string> lines = Split(Ok("summary", {}), '\n');
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Number of Records:\t4");
  EXPECT_EQ(lines[1], "Filter Status: \tOff");
  EXPECT_NEAR(Money(Split(lines[5], '\t').at(1)), time_fee, 0.005) << lines[5];
  EXPECT_NEAR(Money(Split(lines[7], '\t').at(1)), time_fee + e.expense, 0.005) << lines[7];
  EXPECT_EQ(lines.back(), "Security Access: Administrator\t");
}

INSTANTIATE_TEST_SUITE_P(
    Rounding, SummaryTotalsTest,
    ::testing::Values(SummaryCase{"Exact", {0, 0}, 0}, SummaryCase{"ExactRounded", {0, 0}, 1},
                      SummaryCase{"Quarters", {900, 900}, 0},
                      SummaryCase{"QuartersRounded", {900, 900}, 1},
                      SummaryCase{"SixMinutesRounded", {0, 360}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewCommandsTest, EmptyFilteredSetHasNoAverage) {
  for (const Task& task : kTasks) Add(task);
  Ok("filter set", {"1", "client", "=", "nobody"});
  Ok("filter enable", {});
  std::vector<std::string> lines = Split(Ok("summary", {}), '\n');
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "# Records Matching Filter:\t0");
  EXPECT_EQ(lines[1], "Filter Status: \tOn");
  EXPECT_EQ(lines[3], "Average Duration:\tN/A");
  std::vector<std::string> subtotals = Split(Ok("subtotals", {}), '\n');
  EXPECT_EQ(subtotals.size(), 1u);  // the heading alone
}

// One line of subtotals as the tests expect it.
struct Line {
  int depth;
  std::string key;    // with " Total:" where it belongs
  bool figures;       // false: a header line
  bool (*keep)(const Task&);
};

struct SubtotalCase {
  const char* name;
  std::vector<std::string> sort;
  int levels;
  std::string heading;
  std::vector<Line> lines;
};

class SubtotalsTest : public ViewCommandsTest,
                      public ::testing::WithParamInterface<SubtotalCase> {};

TEST_P(SubtotalsTest, GroupsAndFiguresAgreeWithTheRecords) {
  const SubtotalCase& c = GetParam();
  for (const Task& task : kTasks) Add(task);
  std::vector<std::string> sort = c.sort;
  sort.push_back("--subtotal-levels");
  sort.push_back(std::to_string(c.levels));
  Ok("sort set", sort);
  WriteUserSetting("GeneralConfig", "NumSubtotalLevels", c.levels);  // whatever sort set stores
  WriteUserSetting("GeneralConfig", "MinimumDuration", 900);
  WriteUserSetting("GeneralConfig", "DurationIncrement", 900);
  WriteUserSetting("GeneralConfig", "RoundBeforeMultiplying", 1);
  WriteUserSetting("Settings", "DurationFormat", 2);  // " 3.22"

  std::vector<std::string> lines = Split(Ok("subtotals", {}), '\n');
  ASSERT_EQ(lines.size(), c.lines.size() + 1) << Ok("subtotals", {});
  EXPECT_EQ(lines[0], c.heading + "\tTime\tExpense\tFee");
  for (std::size_t i = 0; i < c.lines.size(); ++i) {
    const Line& want = c.lines[i];
    const std::string& got = lines[i + 1];
    SCOPED_TRACE(got);
    const std::string indent(static_cast<std::size_t>(want.depth), '\t');
    ASSERT_EQ(got.substr(0, indent.size()), indent);
    std::vector<std::string> parts = Split(got.substr(indent.size()), '\t');
    if (!want.figures) {
      EXPECT_EQ(parts, std::vector<std::string>{want.key});
      continue;
    }
    ASSERT_EQ(parts.size(), 4u);
    std::string padded = want.key;
    padded.resize(35, ' ');
    EXPECT_EQ(parts[0], padded);
    const Expected e = Totals(kTasks, {900, 900}, want.keep);
    EXPECT_NEAR(std::strtod(parts[1].c_str(), nullptr), std::floor(e.seconds / 36.0 + 0.5) / 100,
                1e-9);
    EXPECT_NEAR(Money(parts[2]), e.expense, 0.005);
    EXPECT_NEAR(Money(parts[3]), RoundedFee(e) + e.expense, 0.005);
  }
}

bool AcmeAlpha(const Task& t) { return t.client == "Acme" && t.project == "Alpha"; }
bool AcmeBeta(const Task& t) { return t.client == "Acme" && t.project == "Beta"; }
bool Acme(const Task& t) { return t.client == "Acme"; }
bool Zed(const Task& t) { return t.client == "Zed"; }
bool AcmeAlphaBillable(const Task& t) { return AcmeAlpha(t) && t.billable; }
bool AcmeBetaBillable(const Task& t) { return AcmeBeta(t) && t.billable; }
bool ZedAlphaNotBillable(const Task& t) { return Zed(t) && !t.billable; }

INSTANTIATE_TEST_SUITE_P(
    Levels, SubtotalsTest,
    ::testing::Values(
        SubtotalCase{"OneLevel", {"client", "project"}, 1, "Client",
                     {{0, "Acme", true, Acme}, {0, "Zed", true, Zed}}},
        SubtotalCase{"TwoLevels",
                     {"client", "project"},
                     2,
                     "Client/Project",
                     {{0, "Acme", false, nullptr},
                      {1, "Alpha", true, AcmeAlpha},
                      {1, "Beta", true, AcmeBeta},
                      {0, "Acme Total:", true, Acme},
                      {0, "Zed", false, nullptr},
                      {1, "Alpha", true, Zed},
                      {0, "Zed Total:", true, Zed}}},
        // Three levels asked for, two sort fields: two levels.
        SubtotalCase{"ThreeLevelsOfTwo",
                     {"client", "project"},
                     3,
                     "Client/Project",
                     {{0, "Acme", false, nullptr},
                      {1, "Alpha", true, AcmeAlpha},
                      {1, "Beta", true, AcmeBeta},
                      {0, "Acme Total:", true, Acme},
                      {0, "Zed", false, nullptr},
                      {1, "Alpha", true, Zed},
                      {0, "Zed Total:", true, Zed}}},
        SubtotalCase{"ThreeLevels",
                     {"client", "project", "billable?"},
                     3,
                     "Client/Project/Billable?",
                     {{0, "Acme", false, nullptr},
                      {1, "Alpha", false, nullptr},
                      {2, "Yes", true, AcmeAlphaBillable},
                      {1, "Alpha Total:", true, AcmeAlpha},
                      {1, "Beta", false, nullptr},
                      {2, "Yes", true, AcmeBetaBillable},
                      {1, "Beta Total:", true, AcmeBeta},
                      {0, "Acme Total:", true, Acme},
                      {0, "Zed", false, nullptr},
                      {1, "Alpha", false, nullptr},
                      {2, "No", true, ZedAlphaNotBillable},
                      {1, "Alpha Total:", true, Zed},
                      {0, "Zed Total:", true, Zed}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ViewCommandsTest, SubtotalsAsJson) {
  for (const Task& task : kTasks) Add(task);
  Ok("sort set", {"client"});
  const std::string json = Ok("subtotals", {"--json"});
  EXPECT_THAT(json, HasSubstr("\"levels\": 1, \"heading\": \"Client\\tTime\\tExpense\\tFee\""));
  EXPECT_THAT(json, HasSubstr("\"Acme "));
}

}  // namespace
}  // namespace qm::cli
