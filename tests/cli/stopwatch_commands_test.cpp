#include "cli/stopwatch_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dispatcher.h"
#include "core/calendar.h"
#include "core/date_text.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// "3/4/2024 10:15" style texts are what the user's regional settings show;
// the tests compare with the program's own formatting of the stamp.
core::TimeStamp At(int hour, int minute, int day = 4) {
  return *core::StampFromFields({2024, 3, day, hour, minute, 0, 0});
}

// --now takes the local wall clock.
std::string Now(int hour, int minute, int second = 0, int day = 4) {
  char text[32];
  std::snprintf(text, sizeof text, "2024-03-%02d %02d:%02d:%02d", day, hour, minute, second);
  return text;
}

class StopwatchCommandsTest : public CommandTest {
 protected:
  StopwatchCommandsTest() {
    allow_unused_answers_ = true;
    CommandOutcome created = RunLine({"db", "new", db_});
    EXPECT_EQ(created.status, kExitOk) << created.err << created.texts;
  }

  // One program run, `quillmk-cli --home H --user Alice --db D WORDS...`,
  // at the local wall clock time `now`.
  CommandOutcome RunAt(std::string now, std::vector<std::string> words,
                       std::vector<platform::Button> answers = {}) {
    words.push_back("--now");
    words.push_back(std::move(now));
    return RunLine(std::move(words), std::move(answers));
  }

  void Ok(const CommandOutcome& outcome) {
    EXPECT_EQ(outcome.status, kExitOk) << outcome.out << outcome.err << outcome.texts;
  }

  std::string Status(std::string now) {
    CommandOutcome status = RunAt(std::move(now), {"status", "--json"});
    EXPECT_EQ(status.status, kExitOk) << status.err << status.texts;
    return status.out;
  }

  static std::string Shown(core::TimeStamp stamp) { return core::FormatDateTime(stamp, false); }
};

TEST_F(StopwatchCommandsTest, RunningStopwatchOutlivesTheProcessThatStartedIt) {
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const CommandOutcome started = RunAt(
        Now(9, 0, 40), {"start", "--client", "Acme", "--expense", "4.50", "--billable", "no"});
    _exit(started.status == kExitOk && started.out.find("9:00") != std::string::npos ? 0 : 3);
  }
  int wait_status = 0;
  ASSERT_EQ(waitpid(child, &wait_status, 0), child);
  ASSERT_TRUE(WIFEXITED(wait_status));
  ASSERT_EQ(WEXITSTATUS(wait_status), 0);

  // Stored as 9:00, and elapsed counted from there.
  const std::string status = Status(Now(9, 45, 10));
  EXPECT_THAT(status, HasSubstr("\"state\": \"running\""));
  EXPECT_THAT(status, HasSubstr("\"start\": \"" + Shown(At(9, 0)) + "\""));
  EXPECT_THAT(status, HasSubstr("\"elapsed_seconds\": 2710"));
  EXPECT_THAT(status, HasSubstr("\"client\": \"Acme\""));
  EXPECT_THAT(status, HasSubstr("\"expense\": 4.50, \"billable\": false"));

  CommandOutcome text = RunAt(Now(9, 45, 10), {"status"});
  Ok(text);
  EXPECT_THAT(text.out, HasSubstr("Stopwatch: Running (Duration: 0 hr 45 min)"));
}

TEST_F(StopwatchCommandsTest, PauseHandlingShapesTheStoppedRecord) {
  // Start 9:00:40, pause 10:00 to 10:15, stop 11:00: the record runs 9:00
  // to 11:00 with a pause of 15 minutes, folded in as the setting says.
  struct Case {
    const char* handling;
    core::TimeStamp start, end;
    int pause;
  };
  const Case cases[] = {
      {"0", At(9, 15, 4), At(11, 0, 4), 0},     // added to the start
      {"1", At(9, 0, 5), At(10, 45, 5), 0},     // subtracted from the end
      {"2", At(9, 0, 6), At(11, 0, 6), 900},    // kept as the pause
  };
  int day = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handling);
    Ok(RunLine({"settings", "set", "GeneralConfig", "PauseHandling", c.handling}));
    Ok(RunAt(Now(9, 0, 40, day), {"start", "--description", "Audit"}));
    Ok(RunAt(Now(10, 0, 0, day), {"pause"}));
    Ok(RunAt(Now(10, 15, 0, day), {"resume"}));
    CommandOutcome stopped = RunAt(Now(11, 0, 0, day), {"stop"});
    Ok(stopped);
    EXPECT_THAT(stopped.out, HasSubstr("Added record " + std::to_string(day - 3)));
    EXPECT_THAT(Records(), HasSubstr("," + Shown(c.start) + "," + Shown(c.end) + "," +
                                     std::to_string(c.pause) + ",0.00,yes,no,0,Audit\n"));
    ++day;
  }
  EXPECT_THAT(Status(Now(12, 0, 0, day)), HasSubstr("\"state\": \"inactive\""));
}

TEST_F(StopwatchCommandsTest, RefusedStopsAndResumesKeepItRunning) {
  Ok(RunLine({"add", "--start", "3/4/2024 9:30 AM", "--end", "3/4/2024 10:30 AM",
              "--description", "Meeting"}));
  Ok(RunAt(Now(9, 0, 10), {"start"}));

  struct Case {
    const char* name;
    std::vector<std::string> words;
    std::string now;
    int message;
  };
  const Case cases[] = {
      {"stop without a description", {"stop"}, Now(9, 20), 218},
      {"resume with a blank description", {"resume-record", "1"}, Now(9, 20), 226},
      // The description given stays with the stopwatch for the next stop.
      {"stop within the start minute", {"stop", "--description", "Audit"}, Now(9, 0, 50), 166},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandOutcome refused = RunAt(c.now, c.words);
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_THAT(refused.numbers, Contains(c.message)) << refused.texts;
  }
  // Over the existing record: the overlap message, and nothing lost.
  CommandOutcome overlap = RunAt(Now(10, 0, 20), {"stop"});
  EXPECT_EQ(overlap.status, kExitFailed);
  EXPECT_THAT(overlap.texts, HasSubstr("overlaps that of an existing time record"));

  const std::string status = Status(Now(10, 1));
  EXPECT_THAT(status, HasSubstr("\"state\": \"running\""));
  EXPECT_THAT(status, HasSubstr("\"start\": \"" + Shown(At(9, 0)) + "\""));
  EXPECT_THAT(Records(), Not(HasSubstr("\n2,")));
}

TEST_F(StopwatchCommandsTest, RecallFillsTheStopwatch) {
  Ok(RunLine({"memorize", "--client", "Acme", "--project", "Ledger", "--activity", "Audit"}));
  Ok(RunLine({"memorize", "--client", "Beta", "--project", "Plans"}));
  CommandOutcome listed = RunLine({"memorized", "list"});
  Ok(listed);
  EXPECT_THAT(listed.out,
              HasSubstr("2\tAlice  /  Beta  /  Plans  /  <<Not Specified>>  /  <<Not Specified>>\n"));

  Ok(RunLine({"recall", "1"}));
  const std::string status = Status(Now(9, 0));
  EXPECT_THAT(status, HasSubstr("\"person\": \"Alice\", \"client\": \"Acme\", "
                                "\"project\": \"Ledger\", \"subproject\": \"<<Not Specified>>\", "
                                "\"activity\": \"Audit\""));

  // The recalled set is what the next record carries.
  Ok(RunAt(Now(9, 0), {"start", "--description", "Books"}));
  Ok(RunAt(Now(9, 30), {"stop"}));
  EXPECT_THAT(Records(), HasSubstr("1,Alice,Acme,Ledger,<<Not Specified>>,Audit,"));

  CommandOutcome missing = RunLine({"recall", "3"});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_THAT(missing.err, HasSubstr("no memorized set 3"));
}

TEST_F(StopwatchCommandsTest, StatusShowsTodaysHoursAndTheGoal) {
  // Goal 8 hours, 2 hours recorded today, the stopwatch running 30 minutes:
  // the goal is reached 5 h 30 min from now.
  Ok(RunLine({"add", "--start", "3/4/2024 9:00 AM", "--end", "3/4/2024 11:00 AM",
              "--description", "Audit"}));
  Ok(RunAt(Now(13, 30), {"start"}));
  const std::string status = Status(Now(14, 0));
  EXPECT_THAT(status, HasSubstr("\"elapsed_seconds\": 1800"));
  EXPECT_THAT(status, HasSubstr("\"todays_hours_seconds\": 9000"));
  EXPECT_THAT(status, HasSubstr("\"completion\": \"" + Shown(At(19, 30)) + "\""));

  CommandOutcome text = RunAt(Now(14, 0), {"status"});
  Ok(text);
  EXPECT_THAT(text.out, HasSubstr("Today's Hours:\t2 hr 30 min\n"));
  EXPECT_THAT(text.out, HasSubstr("Completion at:\t" + Shown(At(19, 30)) + "\n"));
}

TEST_F(StopwatchCommandsTest, ResetAsksAndStopNewStartsAgain) {
  Ok(RunAt(Now(9, 0), {"start", "--description", "Audit"}));
  CommandOutcome declined = RunAt(Now(9, 10), {"reset"}, {platform::Button::kNo});
  EXPECT_EQ(declined.status, kExitFailed);
  EXPECT_THAT(Status(Now(9, 10)), HasSubstr("\"state\": \"running\""));

  CommandOutcome next = RunAt(Now(9, 40, 30), {"stop", "--new"});
  Ok(next);
  EXPECT_THAT(next.out, HasSubstr("Added record 1"));
  EXPECT_THAT(Status(Now(9, 41)), HasSubstr("\"start\": \"" + Shown(At(9, 40)) + "\""));

  CommandOutcome reset = RunAt(Now(9, 50), {"reset"}, {platform::Button::kYes});
  Ok(reset);
  EXPECT_THAT(Status(Now(9, 51)), HasSubstr("\"state\": \"inactive\""));
  EXPECT_THAT(Records(), Not(HasSubstr("\n2,")));
}

TEST_F(StopwatchCommandsTest, CommandsRefuseWhatTheStateDoesNotAllow) {
  struct Case {
    std::vector<std::string> words;
    int status;
  };
  const Case cases[] = {
      {{"pause"}, kExitFailed},
      {{"resume"}, kExitFailed},
      {{"stop"}, kExitFailed},
      {{"start", "--rate", "lots"}, kExitUsage},
      {{"start", "--billable", "maybe"}, kExitUsage},
      {{"resume-record", "x"}, kExitUsage},
      {{"resume-record", "9"}, kExitFailed},
      {{"recall", "0"}, kExitUsage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[0]);
    EXPECT_EQ(RunLine(c.words).status, c.status);
  }
  Ok(RunAt(Now(9, 0), {"start"}));
  EXPECT_EQ(RunAt(Now(9, 5), {"start"}).status, kExitFailed);
  EXPECT_EQ(RunAt(Now(9, 5), {"resume"}).status, kExitFailed);
  Ok(RunAt(Now(9, 5), {"pause"}));
  EXPECT_EQ(RunAt(Now(9, 6), {"pause"}).status, kExitFailed);
}

}  // namespace
}  // namespace qm::cli
