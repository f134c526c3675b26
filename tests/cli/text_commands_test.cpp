#include "cli/text_commands.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/intl_settings.h"
#include "core/program_clock.h"
#include "platform/clock.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Wednesday, 15 May 2024, 14:30 UTC.
constexpr std::int64_t kPinnedNow = 1715731200 + 14 * 3600 + 30 * 60;

struct Outcome {
  int status;
  std::string out;
  std::string err;
  std::vector<int> messages;
};

// A home whose win.ini has day-first dates and European separators.
class TextCommandsTest : public ::testing::Test {
 protected:
  TextCommandsTest() : clock_(kPinnedNow), scoped_clock_(clock_), intl_(core::IntlSettings{}) {
    std::ofstream ini(home_.File("WIN.INI"));
    ini << "[intl]\r\niDate=1\r\nsDecimal=,\r\nsThousand=.\r\nsDate=/\r\n";
  }
  ~TextCommandsTest() override {
    // Leave the process as the next test expects it.
    core::InitClock({});
  }

  Outcome Run(int (*run)(CommandContext&), std::vector<std::string> args, bool json = false) {
    test::ScriptedUserInterface ui;
    std::ostringstream out;
    std::ostringstream err;
    GlobalOptions options;
    options.home = home_.path();
    options.json = json;
    CommandContext context{options, std::move(args), ui, out, err};
    const int status = run(context);
    return {status, out.str(), err.str(), ui.Numbers()};
  }

  test::TempDir home_;
  platform::FixedClock clock_;
  platform::ScopedClock scoped_clock_;
  core::ScopedIntlSettings intl_;
};

TEST_F(TextCommandsTest, ParseReadsWithTheHomesSettings) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      {RunParseDate, {"1/2/3"}, "shown: 1/2/2003\niso8601: 2003-02-01\nstamp: 1044057600\n"},
      {RunParseDate, {"29/2/97"}, "shown: 1/3/1997\niso8601: 1997-03-01\nstamp: 857174400\n"},
      {RunParseDate, {"yesterday"}, "shown: 14/5/2024\niso8601: 2024-05-14\nstamp: 1715644800\n"},
      {RunParseDate, {"last", "month"}, "shown: 1/4/2024\niso8601: 2024-04-01\nstamp: 1711929600\n"},
      {RunParseTime, {"12:20", "AM"}, "shown: 12:20 AM\niso8601: 00:20:00\nseconds: 1200\n"},
      {RunParseTime, {"now"}, "shown:  2:30 PM\niso8601: 14:30:00\nseconds: 52200\n"},
      {RunParseDateTime, {"15/3/98 2:30 PM"},
       "shown: 15/3/1998  2:30 PM\niso8601: 1998-03-15T14:30:00\nstamp: 889972200\n"},
      {RunParseDuration, {"0:90"}, "shown: 1 hr 30 min\nseconds: 5400\n"},
      {RunParseDuration, {"1,5", "h", "--format", "0"}, "shown:  1,50 Hours\nseconds: 5400\n"},
      {RunParseAmount, {"1.234,5"}, "shown: 1.234,50\nnumber: 1234.5\ncents: 123450\n"},
      {RunParseAmount, {"12,50+3"}, "shown: 15,50\nnumber: 15.5\ncents: 1550\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.run, c.args);
    EXPECT_EQ(outcome.status, kExitOk) << c.args[0];
    EXPECT_EQ(outcome.out, c.expected) << c.args[0];
    EXPECT_THAT(outcome.messages, IsEmpty()) << c.args[0];
  }
}

TEST_F(TextCommandsTest, UnreadableTextShowsTheProgramsMessage) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
    int message;
  };
  const Case cases[] = {
      {RunParseDate, {"2/30/98"}, 2016},
      {RunParseDate, {"1/2/84"}, 2016},
      {RunParseDate, {std::string(5000, '7')}, 2016},
      {RunParseTime, {"25:00"}, 2015},
      {RunParseDateTime, {"15/3/98"}, 245},
      {RunParseDuration, {"1", "2", "3"}, 212},
      {RunParseAmount, {"12x"}, 168},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.run, c.args);
    EXPECT_EQ(outcome.status, kExitFailed) << c.args[0];
    EXPECT_THAT(outcome.messages, ElementsAre(c.message)) << c.args[0];
    EXPECT_EQ(outcome.out, "") << c.args[0];
  }
}

TEST_F(TextCommandsTest, Format) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      {RunFormatDuration, {"11580", "--format", "0"}, " 3,22 Hours\n"},
      {RunFormatDuration, {"11580"}, "3 hr 13 min\n"},
      {RunFormatDuration, {"--format", "7", "11580"}, "3:13\n"},
      {RunFormatAmount, {"999.996"}, "1.000,00\n"},
      {RunFormatAmount, {"-12.5", "--symbol"}, "-$12,50\n"},
      {RunFormatAmount, {"1234567.891"}, "1.234.567,89\n"},
      {RunFormatDate, {"1044057600"}, "1/2/2003\n"},
      {RunFormatDate, {"-1"}, "<Invalid>\n"},
      {RunFormatTime, {"889972245"}, " 2:30 PM\n"},
      {RunFormatTime, {"889972245", "--seconds"}, " 2:30:45 PM\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.run, c.args);
    EXPECT_EQ(outcome.status, kExitOk) << c.args[0];
    EXPECT_EQ(outcome.out, c.expected) << c.args[0];
  }
}

TEST_F(TextCommandsTest, UsageErrors) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {RunParseDate, {}},
      {RunParseDuration, {}},
      {RunParseDuration, {"1", "--format", "8"}},
      {RunFormatDuration, {"11580", "--format"}},
      {RunFormatDuration, {"1.5"}},
      {RunFormatDuration, {"99999999999"}},
      {RunFormatAmount, {"12,5"}},
      {RunFormatAmount, {}},
      {RunFormatDate, {"yesterday"}},
      {RunFormatTime, {"1", "2"}},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.run, c.args);
    EXPECT_EQ(outcome.status, kExitUsage) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_NE(outcome.err, "");
  }
}

TEST_F(TextCommandsTest, JsonOutput) {
  const Outcome outcome = Run(RunParseDate, {"1/2/3"}, true);
  EXPECT_EQ(outcome.out, "{\"shown\": \"1/2/2003\", \"iso8601\": \"2003-02-01\", \"stamp\": 1044057600}\n");
}

TEST_F(TextCommandsTest, ClockOutsideTheRangeGives425) {
  clock_.Set(-100);
  const Outcome outcome = Run(RunParseDate, {"today"});
  EXPECT_EQ(outcome.status, kExitFailed);
  EXPECT_THAT(outcome.messages, ElementsAre(425));
}

TEST_F(TextCommandsTest, AllRegistered) {
  std::vector<Command> commands;
  AddTextCommands(commands);
  std::vector<std::string> names;
  for (const Command& command : commands) names.push_back(command.name);
  EXPECT_THAT(names, ElementsAre("parse date", "parse time", "parse datetime", "parse duration",
                                 "parse amount", "format duration", "format amount", "format date",
                                 "format time"));
}

}  // namespace
}  // namespace qm::cli
