#include "cli/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/clock.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// What the last test command saw.
struct Seen {
  int runs = 0;
  GlobalOptions options;
  std::vector<std::string> args;
  std::string home_variable;
  std::int64_t now = 0;
};
Seen seen;

int Record(CommandContext& context) {
  ++seen.runs;
  seen.options = context.options;
  seen.args = context.args;
  const char* home = std::getenv("QUILLMK_HOME");
  seen.home_variable = home != nullptr ? home : "";
  seen.now = platform::CurrentClock().UtcNow();
  context.out << "out:";
  for (const std::string& arg : context.args) context.out << arg << ";";
  return kExitOk;
}

int Fail(CommandContext& context) {
  context.ui.Show({.number = 183, .text = "Not found", .caption = "", .icon = {}});
  return kExitFailed;
}

int Throw(CommandContext&) { throw std::runtime_error("broken invariant"); }

const std::vector<Command>& TestCommands() {
  static const std::vector<Command> commands = {
      {"settings show", "settings show [SECTION]", "show settings", "More about show.", Record},
      {"settings get", "settings get SECTION KEY", "get one", "", Record},
      {"add", "add [--person NAME]", "add a record", "", Record},
      {"fail", "fail", "always fails", "", Fail},
      {"throw", "throw", "throws", "", Throw},
  };
  return commands;
}

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = Seen();
    if (const char* home = std::getenv("QUILLMK_HOME")) old_home_ = home;
  }
  void TearDown() override {
    if (old_home_.empty()) {
      unsetenv("QUILLMK_HOME");
    } else {
      setenv("QUILLMK_HOME", old_home_.c_str(), 1);
    }
  }

  int Run(std::vector<std::string> arguments) {
    out_.str("");
    err_.str("");
    return RunCommandLine(arguments, TestCommands(), out_, err_, ForwardTo(ui_));
  }

  test::ScriptedUserInterface ui_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::string old_home_;
};

TEST_F(DispatcherTest, GlobalOptionsBeforeAndAfterTheCommand) {
  ASSERT_EQ(Run({"--user", "Ann Smith", "--json", "settings", "show", "General", "--yes",
                 "--ini=/tmp/q.ini", "--db", "/data/time.dbf", "--password", "pw"}),
            kExitOk);
  EXPECT_EQ(seen.runs, 1);
  EXPECT_EQ(seen.options.user, "Ann Smith");
  EXPECT_EQ(seen.options.ini, "/tmp/q.ini");
  EXPECT_EQ(seen.options.db, "/data/time.dbf");
  EXPECT_EQ(seen.options.password, "pw");
  EXPECT_TRUE(seen.options.json);
  EXPECT_TRUE(seen.options.yes);
  EXPECT_FALSE(seen.options.no);
  EXPECT_THAT(seen.args, ElementsAre("General"));
}

TEST_F(DispatcherTest, MatchesOneOrTwoWordsAndLeavesCommandOptions) {
  ASSERT_EQ(Run({"add", "--person", "Ann", "--no", "x"}), kExitOk);
  EXPECT_THAT(seen.args, ElementsAre("--person", "Ann", "x"));
  EXPECT_TRUE(seen.options.no);

  ASSERT_EQ(Run({"settings", "--program", "get", "General", "Key"}), kExitOk);
  EXPECT_THAT(seen.args, ElementsAre("--program", "General", "Key"));
}

TEST_F(DispatcherTest, DoubleDashPassesEverythingAfterIt) {
  ASSERT_EQ(Run({"settings", "get", "S", "--", "--yes", "--help"}), kExitOk);
  EXPECT_FALSE(seen.options.yes);
  EXPECT_THAT(seen.args, ElementsAre("S", "--", "--yes", "--help"));
}

struct UsageCase {
  const char* name;
  std::vector<std::string> arguments;
  const char* message;
};

class DispatcherUsageTest : public DispatcherTest,
                            public ::testing::WithParamInterface<UsageCase> {};

TEST_P(DispatcherUsageTest, IsAUsageErrorAndRunsNothing) {
  const UsageCase& c = GetParam();
  EXPECT_EQ(Run(c.arguments), kExitUsage);
  EXPECT_EQ(seen.runs, 0);
  EXPECT_THAT(err_.str(), HasSubstr(c.message));
  EXPECT_THAT(err_.str(), HasSubstr("quillmk-cli --help"));
  EXPECT_THAT(out_.str(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DispatcherUsageTest,
    ::testing::Values(
        UsageCase{"NoArguments", {}, "no command given"},
        UsageCase{"OnlyOptions", {"--json", "--frobnicate"}, "no command given before \"--frobnicate\""},
        UsageCase{"UnknownCommand", {"frobnicate"}, "unknown command \"frobnicate\""},
        UsageCase{"GroupWithoutSubcommand", {"settings"},
                  "\"settings\" needs one of: settings show, settings get"},
        UsageCase{"UnknownSubcommand", {"settings", "drop"}, "\"settings\" needs one of"},
        UsageCase{"MissingValue", {"add", "--home"}, "--home needs a value"},
        UsageCase{"YesAndNo", {"add", "--yes", "--no"}, "--yes and --no cannot both be given"},
        UsageCase{"NotUtf8", {"add", "--person", "Ann\xE9"},
                  "argument 3 cannot be used: the text is not valid UTF-8"},
        UsageCase{"NotUtf8BeforeHelp", {"--help", "\xFF"}, "argument 2 cannot be used"},
        UsageCase{"Unmappable", {"add", "\xE2\x82\xB9"},  // the rupee sign
                  "(U+20B9) at position 1 cannot be stored in Windows-1252"},
        UsageCase{"BadNow", {"add", "--now", "soon"}, "--now takes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DispatcherTest, ArgumentsArriveInWindows1252AndOutputLeavesInUtf8) {
  ASSERT_EQ(Run({"add", "Jos\xC3\xA9", "\xE2\x82\xAC" "5"}), kExitOk);
  EXPECT_THAT(seen.args, ElementsAre("Jos\xE9", "\x80" "5"));
  EXPECT_EQ(out_.str(), "out:Jos\xC3\xA9;\xE2\x82\xAC" "5;");
}

TEST_F(DispatcherTest, UnknownCommandWordIsShownInUtf8) {
  EXPECT_EQ(Run({"caf\xC3\xA9"}), kExitUsage);
  EXPECT_THAT(err_.str(), HasSubstr("unknown command \"caf\xC3\xA9\""));
}

TEST_F(DispatcherTest, HomeBecomesTheProgramDirectoryOfTheRun) {
  ASSERT_EQ(Run({"--home", "/srv/qm", "add"}), kExitOk);
  EXPECT_EQ(seen.home_variable, "/srv/qm");
  EXPECT_EQ(seen.options.home, "/srv/qm");

  ASSERT_EQ(Run({"add", "--home=relative/home"}), kExitOk);
  EXPECT_TRUE(seen.options.home.starts_with("/")) << seen.options.home;
  EXPECT_TRUE(seen.options.home.ends_with("/relative/home")) << seen.options.home;
  EXPECT_EQ(seen.home_variable, seen.options.home);
}

TEST_F(DispatcherTest, NowPinsTheClockForTheRunOnly) {
  ASSERT_EQ(Run({"add", "--now", "915148800"}), kExitOk);
  EXPECT_EQ(seen.now, 915148800);
  EXPECT_NE(platform::CurrentClock().UtcNow(), 915148800);
}

TEST_F(DispatcherTest, VersionAndHelp) {
  EXPECT_EQ(Run({"--version"}), kExitOk);
  EXPECT_EQ(out_.str(), "quillmk-cli " QM_VERSION_TEXT "\n");

  EXPECT_EQ(Run({"--help"}), kExitOk);
  for (const Command& command : TestCommands()) {
    EXPECT_THAT(out_.str(), HasSubstr(command.usage));
    EXPECT_THAT(out_.str(), HasSubstr(command.summary));
  }
  EXPECT_THAT(out_.str(), HasSubstr("--home DIR"));

  EXPECT_EQ(Run({"settings", "show", "--help"}), kExitOk);
  EXPECT_EQ(out_.str(),
            "Usage: quillmk-cli settings show [SECTION]\n\nshow settings\n\nMore about show.\n");
  EXPECT_EQ(seen.runs, 0);
}

TEST_F(DispatcherTest, FailureStatusAndMessagesPassThrough) {
  EXPECT_EQ(Run({"fail"}), kExitFailed);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(183));
}

TEST_F(DispatcherTest, ExceptionIsAFailureWithAMessage) {
  EXPECT_EQ(Run({"throw"}), kExitFailed);
  EXPECT_THAT(err_.str(), HasSubstr("internal error: broken invariant"));
}

TEST_F(DispatcherTest, ParseCommandLineReportsWhatItFound) {
  CommandLine line;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"settings", "get", "A", "B", "--help"}, TestCommands(), line, error));
  ASSERT_NE(line.command, nullptr);
  EXPECT_EQ(line.command->name, "settings get");
  EXPECT_TRUE(line.help);
  EXPECT_THAT(line.args, ElementsAre("A", "B"));
}

// The real program, as a user runs it.
TEST(QuillmkCliProgramTest, RunsAsAProgram) {
  const std::string program = test::BinDir() + "/quillmk-cli";
  if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << program << " is not built";
  EXPECT_EQ(WEXITSTATUS(std::system((program + " --version >/dev/null").c_str())), 0);
  EXPECT_EQ(WEXITSTATUS(std::system((program + " no-such-command 2>/dev/null").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((program + " $(printf 'x\\377') 2>/dev/null").c_str())), 2);
}

}  // namespace
}  // namespace qm::cli
