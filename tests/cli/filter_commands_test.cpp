#include "cli/filter_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/security.h"
#include "cli/db_commands.h"
#include "cli/record_commands.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class FilterCommandsTest : public CommandTest {
 protected:
  FilterCommandsTest() {
    CommandOutcome created = Run("db new", {db_});
    EXPECT_EQ(created.status, kExitOk) << created.err << created.texts;
  }

  // The first line of `filter show --expression` or `sort show --expression`.
  std::string Expression(std::string_view command = "filter show") {
    CommandOutcome shown = Run(command, {"--expression"});
    EXPECT_EQ(shown.status, kExitOk) << shown.err << shown.texts;
    return shown.out.substr(0, shown.out.find('\n'));
  }

  void Set(std::vector<std::string> row) {
    CommandOutcome set = Run("filter set", std::move(row));
    ASSERT_EQ(set.status, kExitOk) << set.err << set.texts;
  }

  // A filter of the one row given.
  std::string OneRow(std::vector<std::string> row) {
    EXPECT_EQ(Run("filter clear", {}).status, kExitOk);
    row.insert(row.begin(), "1");
    Set(std::move(row));
    return Expression();
  }
};

TEST_F(FilterCommandsTest, ExpressionsOfTheDocumentedExamples) {
  EXPECT_EQ(Expression(), ".NOT.DELETED()");
  EXPECT_EQ(OneRow({"client", "=", "x"}), ".NOT.DELETED().AND.(UPPER(CLIENT)=\"X   \")");
  EXPECT_EQ(OneRow({"description", "contains", "call"}),
            ".NOT.DELETED().AND.(\"CALL\"$UPPER(DESCSTART+DESCEND))");
  EXPECT_EQ(OneRow({"start date", ">=", "1/1/98"}),
            ".NOT.DELETED().AND.(DTOS(START_DATE)>=\"19980101\")");
  EXPECT_EQ(OneRow({"billable", "=", "Yes"}), ".NOT.DELETED().AND.(BILLABLE=.T.)");
  EXPECT_EQ(OneRow({"Start Time", "=", "2:30 PM"}),
            ".NOT.DELETED().AND.(START_TIME=\"14:30:00\")");

  // Eleven rows, each set after the last: the rows before lead to it with
  // "and". (Eleven client rows would pass the 255 characters a filter may
  // have; the library's tests show their text.)
  ASSERT_EQ(Run("filter clear", {}).status, kExitOk);
  for (int row = 1; row <= 11; ++row) Set({std::to_string(row), "billable", "=", "y"});
  std::string eleven = ".NOT.DELETED().AND.(" + std::string(10, '(');
  for (int row = 1; row <= 11; ++row) {
    eleven += "BILLABLE=.T.)";
    if (row < 11) eleven += " .AND. ";
  }
  EXPECT_EQ(Expression(), eleven);

  CommandOutcome sorted = Run("sort set", {"client", "project", "subproject", "activity"});
  ASSERT_EQ(sorted.status, kExitOk) << sorted.err << sorted.texts;
  EXPECT_EQ(Expression("sort show"),
            "UPPER(SUBSTR(CLIENT,1,25)) + UPPER(SUBSTR(PROJECT,1,25)) + "
            "UPPER(SUBSTR(SUBPROJECT,1,25)) + UPPER(SUBSTR(TASK,1,25))");
}

TEST_F(FilterCommandsTest, PersonWithoutAdministratorAccessSeesOnlyTheirOwnRecords) {
  ASSERT_NO_FATAL_FAILURE(WritePassword(db_, app::kAdministratorEntry, "boss1"));
  ASSERT_NO_FATAL_FAILURE(WritePassword(db_, "Smith", "mine1"));
  user_ = "Smith";
  options_.password = "mine1";
  EXPECT_EQ(Expression(), ".NOT.DELETED().AND.UPPER(PERSON)=\"SMITH   \"");
  // The administrator's password gives every record.
  options_.password = "boss1";
  EXPECT_EQ(Expression(), ".NOT.DELETED()");
}

// Each refused row shows the dialog's message for its row and leaves the
// saved filter as it was.
TEST_F(FilterCommandsTest, RefusedRowsChangeNothing) {
  Set({"1", "client", "=", "Acme"});
  Set({"2", "billable", "=", "y"});
  const std::string before = Expression();
  struct Case {
    std::vector<std::string> row;
    int message;
    std::string shown;
  } cases[] = {
      {{"2", "expense", "contains", "5"}, 173, "revise filter number 2."},
      {{"1", "description", "=", "call"}, 385, "instead for filter number 1."},
      {{"2", "start date", ">", "someday"}, 177, "for filter number 2 is invalid."},
      {{"2", "start time", ">", "25:99"}, 177, "for filter number 2 is invalid."},
      {{"1", "invoice", "=", "twelve"}, 377, "filter number 1 must be a valid invoice"},
      {{"2", "billable", ">", "yes"}, 305, "Filter number 2 is invalid."},
      {{"2", "billable", "=", "maybe"}, 305, "Filter number 2 is invalid."},
      {{"1", "hourly rate", "<", "lots"}, 176, "filter number 1 must be a valid decimal"},
  };
  for (const Case& c : cases) {
    CommandOutcome refused = Run("filter set", c.row);
    EXPECT_EQ(refused.status, kExitFailed) << c.row[1];
    EXPECT_THAT(refused.numbers, Contains(c.message)) << c.row[1];
    EXPECT_THAT(refused.texts, HasSubstr(c.shown)) << c.row[1];
  }
  EXPECT_EQ(Expression(), before);
}

TEST_F(FilterCommandsTest, WordsAreReadByNameOrCode) {
  EXPECT_THAT(OneRow({"BILLABLE?", "<>", "no"}), HasSubstr("(BILLABLE<>.F.)"));
  EXPECT_THAT(OneRow({"10", "5", "no"}), HasSubstr("(BILLABLE<>.F.)"));
  EXPECT_THAT(OneRow({"Hourly Rate", "4", "12.5"}), HasSubstr("(RATE<=12.5)"));
  Set({"1", "invoice", "=", "not billed"});
  Set({"2", "client", "contains", "ac"});
  EXPECT_THAT(Expression(), HasSubstr("((INVOICE=0) .AND. \"AC\"$UPPER(CLIENT))"));
  Set({"1", "invoice", "=", "not billed", "OR"});
  EXPECT_THAT(Expression(), HasSubstr("((INVOICE=0) .OR. \"AC\"$UPPER(CLIENT))"));

  struct Case {
    std::vector<std::string> args;
    std::string said;
  } usage[] = {
      {{"1", "colour", "=", "x"}, "'colour' is not a filter field"},
      {{"1", "client", "~", "x"}, "'~' is not a comparison"},
      {{"1", "client", "=", "x", "xor"}, "'xor' is not a link"},
      {{"2", "client", "=", "x", "and"}, "row 2 can link to row 3 once that row is set"},
      {{"12", "client", "=", "x"}, "from 1 to 11"},
      {{"4", "client", "=", "x"}, "set row 3 before row 4"},
      {{"1", "client", "="}, "usage:"},
      {{"1", "client", "=", std::string(61, 'x')}, "longer than 60"},
  };
  for (const Case& c : usage) {
    CommandOutcome refused = Run("filter set", c.args);
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_THAT(refused.err, HasSubstr(c.said));
  }
}

TEST_F(FilterCommandsTest, ClearEnableDisableAndTheListing) {
  Set({"1", "client", "=", "Acme"});
  Set({"2", "billable", "=", "yes"});
  ASSERT_EQ(Run("filter disable", {}).status, kExitOk);
  EXPECT_EQ(Expression(), ".NOT.DELETED()");
  CommandOutcome listed = Run("filter show", {});
  EXPECT_EQ(listed.out,
            "Filter disabled\n"
            " 1  Client  =  \"Acme\"  and\n"
            " 2  Billable?  =  \"yes\"  end\n");
  ASSERT_EQ(Run("filter enable", {}).status, kExitOk);
  options_.json = true;
  CommandOutcome json = Run("filter show", {});
  EXPECT_THAT(json.out, HasSubstr("{\"enabled\": true, \"rows\": [{\"row\": 1, \"field\": \"Client\", "
                                  "\"field_code\": 1, \"comparison\": \"=\", \"comparison_code\": 2, "
                                  "\"target\": \"Acme\", \"link\": \"and\", \"link_code\": 1}"));
  EXPECT_THAT(json.out, HasSubstr("\"expression\": \".NOT.DELETED().AND.((UPPER(CLIENT)=\\\"ACME"));
  options_.json = false;

  // Ending the filter at row 1 leaves row 2's text behind: asked first.
  CommandOutcome kept =
      Run("filter set", {"1", "client", "=", "Acme", "end"}, {platform::Button::kNo});
  EXPECT_EQ(kept.status, kExitFailed);
  EXPECT_THAT(kept.numbers, ::testing::ElementsAre(174));
  EXPECT_THAT(Expression(), HasSubstr("BILLABLE"));
  CommandOutcome ended =
      Run("filter set", {"1", "client", "=", "Acme", "end"}, {platform::Button::kYes});
  EXPECT_EQ(ended.status, kExitOk) << ended.err << ended.texts;
  EXPECT_EQ(Expression(), ".NOT.DELETED().AND.(UPPER(CLIENT)=\"ACME   \")");

  ASSERT_EQ(Run("filter clear", {}).status, kExitOk);
  EXPECT_EQ(Run("filter show", {}).out, "Filter disabled\n 1  Start Date  >  \"\"  end\n");
}

TEST_F(FilterCommandsTest, EnablingAStoredFilterThatFailsTheChecksIsRefused) {
  Set({"1", "client", "=", "Acme"});
  ASSERT_EQ(Run("filter disable", {}).status, kExitOk);
  // Someone's hand edit of the settings file left a row the dialog refuses.
  {
    app::CSettings settings;
    ASSERT_TRUE(settings.BindUser(home_.File("support"), "Alice").ok());
    ASSERT_TRUE(settings.WriteInt("Index", "Comparison0", 6).ok());
    ASSERT_TRUE(settings.WriteInt("Index", "Field0", 8).ok());
  }
  CommandOutcome enabled = Run("filter enable", {});
  EXPECT_EQ(enabled.status, kExitFailed);
  EXPECT_THAT(enabled.numbers, Contains(173));
  EXPECT_EQ(Expression(), ".NOT.DELETED()");
}

TEST_F(FilterCommandsTest, FindSearchesEveryTextField) {
  CommandOutcome found = Run("find", {"call"});
  ASSERT_EQ(found.status, kExitOk) << found.err << found.texts;
  EXPECT_EQ(Expression(),
            ".NOT.DELETED().AND.((((((\"CALL\"$UPPER(TASK)) .OR. \"CALL\"$UPPER(SUBPROJECT)) .OR. "
            "\"CALL\"$UPPER(PROJECT)) .OR. \"CALL\"$UPPER(CLIENT)) .OR. \"CALL\"$UPPER(PERSON)) "
            ".OR. \"CALL\"$UPPER(DESCSTART+DESCEND))");
  CommandOutcome empty = Run("find", {""});
  EXPECT_EQ(empty.status, kExitFailed);
  EXPECT_THAT(empty.numbers, Contains(204));
  EXPECT_THAT(Expression(), HasSubstr("CALL")) << "an empty search changes nothing";
}

TEST_F(FilterCommandsTest, InvoiceFilterIsBuiltInOrFromTheEnvironmentFile) {
  CommandOutcome applied = Run("filter invoice", {"Acme"});
  ASSERT_EQ(applied.status, kExitOk) << applied.err << applied.texts;
  EXPECT_EQ(Expression(),
            ".NOT.DELETED().AND.(((UPPER(CLIENT)=\"ACME   \") .AND. BILLABLE=.T.) .AND. INVOICE=0)");

  std::ofstream(home_.File("support/Invoice.ENV"))
      << "[Index]\nEnabled=1\nField0=1\nComparison0=6\nLink0=2\nTarget0=whoever\n"
         "Field1=4\nComparison1=2\nLink1=0\nTarget1=billing\n";
  ASSERT_EQ(Run("filter invoice", {"Orbit"}).status, kExitOk);
  EXPECT_EQ(Expression(),
            ".NOT.DELETED().AND.((\"ORBIT\"$UPPER(CLIENT)) .OR. UPPER(TASK)=\"BILLING   \")");
}

TEST_F(FilterCommandsTest, SortOrderWithDirectionAndSubtotalLevels) {
  options_.json = true;
  EXPECT_EQ(Run("sort show", {}).out,
            "{\"levels\": [{\"field\": \"Start Date/Time\", \"field_code\": 7}, {\"field\": "
            "\"(None)\", \"field_code\": 11}, {\"field\": \"(None)\", \"field_code\": 11}, "
            "{\"field\": \"(None)\", \"field_code\": 11}], \"ascending\": true, "
            "\"subtotal_levels\": 0, \"expression\": \"DTOS(START_DATE)+START_TIME\"}\n");
  options_.json = false;
  CommandOutcome set = Run("sort set", {"Client", "(none)", "activity", "--descending",
                                 "--subtotal-levels", "3"});
  ASSERT_EQ(set.status, kExitOk) << set.err << set.texts;
  // "(None)" on the second level ends the order.
  EXPECT_EQ(Run("sort show", {}).out,
            "1  Client\n2  (None)\n3  (None)\n4  (None)\nDescending\nSubtotal levels: 3\n");
  EXPECT_EQ(Expression("sort show"), "UPPER(SUBSTR(CLIENT,1,35))");

  ASSERT_EQ(Run("sort set", {"start date/time", "client"}).status, kExitOk);
  EXPECT_EQ(Run("sort show", {}).out,
            "1  Start Date/Time\n2  Client\n3  (None)\n4  (None)\nAscending\nSubtotal levels: 3\n");

  CommandOutcome none_first = Run("sort set", {"(None)"});
  EXPECT_EQ(none_first.status, kExitUsage);
  EXPECT_THAT(none_first.err, HasSubstr("is not a primary sort field"));
  EXPECT_EQ(Run("sort set", {"client", "--subtotal-levels", "4"}).status, kExitUsage);
  EXPECT_EQ(Run("sort set", {"1", "2", "3", "4", "5"}).status, kExitUsage);
}

}  // namespace
}  // namespace qm::cli
