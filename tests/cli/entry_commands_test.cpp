#include "cli/entry_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "cli/db_commands.h"
#include "cli/record_commands.h"
#include "core/time_record.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "db/time_record_db.h"
#include "engine/engine.h"
#include "stopwatch/record_dialog_model.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class EntryCommandsTest : public CommandTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
    CommandOutcome first =
        Run("add", {"--start", "3/4/2024 9:00 AM", "--end", "3/4/2024 10:00 AM", "--client",
                    "Acme", "--rate", "12.50", "--description", "Work"});
    ASSERT_EQ(first.status, kExitOk) << first.err << first.texts;
    ASSERT_EQ(first.out, "Added record 1\n");
  }
};

struct BadEntry {
  std::string name;
  std::vector<std::string> args;
  int message;          // 0: the refusal is the command's own
  std::string err;      // what stderr says
};

class BadEntryTest : public EntryCommandsTest, public ::testing::WithParamInterface<BadEntry> {};

TEST_P(BadEntryTest, IsRefusedWithItsMessageAndWritesNothing) {
  const std::string before = ReadBytes(db_);
  CommandOutcome refused = Run("add", GetParam().args);
  EXPECT_EQ(refused.status, kExitFailed) << refused.err << refused.texts;
  if (GetParam().message != 0 && GetParam().message != 162) {
    EXPECT_THAT(refused.numbers, Contains(GetParam().message)) << refused.texts;
  }
  EXPECT_THAT(refused.err, HasSubstr(GetParam().err));
  EXPECT_EQ(ReadBytes(db_), before);
  EXPECT_THAT(Records(), Not(HasSubstr("\n2,")));
}

std::vector<std::string> Entry(std::string start, std::string end,
                               std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--start", std::move(start), "--end", std::move(end),
                                   "--description", "Entry"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

INSTANTIATE_TEST_SUITE_P(
    Add, BadEntryTest,
    ::testing::Values(
        BadEntry{"EndBeforeStart", Entry("3/5/2024 10:00", "3/5/2024 9:00"), 165,
                 "(message 165)"},
        BadEntry{"DateNotRead", Entry("2/30/2024 9:00", "3/5/2024 10:00"), 2016,
                 "(message 2016)"},
        BadEntry{"PauseNotRead", Entry("3/5/2024 9:00", "3/5/2024 10:00", {"--pause", "a bit"}),
                 227, "(message 227)"},
        BadEntry{"ExpenseNotANumber",
                 Entry("3/5/2024 9:00", "3/5/2024 10:00", {"--expense", "lunch"}), 292,
                 "(message 292)"},
        BadEntry{"RateNegative", Entry("3/5/2024 9:00", "3/5/2024 10:00", {"--rate", "-5"}), 172,
                 "(message 172)"},
        BadEntry{"NoDescription",
                 {"--start", "3/5/2024 9:00", "--end", "3/5/2024 10:00"}, 218,
                 "(message 218)"},
        BadEntry{"DescriptionTooLong",
                 Entry("3/5/2024 9:00", "3/5/2024 10:00", {"--description", std::string(501, 'x')}),
                 0, "the description has 501 characters; a record holds at most 500"},
        BadEntry{"DescriptorTooLong",
                 Entry("3/5/2024 9:00", "3/5/2024 10:00", {"--client", std::string(36, 'c')}),
                 0, "--client has 36 characters; a descriptor holds at most 35"},
        BadEntry{"Overlap", Entry("3/4/2024 9:30 AM", "3/4/2024 10:30 AM"), 162,
                 "(message 162)"}),
    [](const auto& info) { return info.param.name; });

TEST_F(EntryCommandsTest, OverlapNamesTheExistingRecord) {
  CommandOutcome refused = Run("add", Entry("3/4/2024 9:30 AM", "3/4/2024 10:30 AM"));
  EXPECT_THAT(refused.texts,
              HasSubstr("Existing Task:\n  3/4/2024  9:00 AM  to  3/4/2024 10:00 AM"));
}

TEST_F(EntryCommandsTest, RateSumIsAddedUp) {
  CommandOutcome added = Run("add", Entry("3/5/2024 9:00", "3/5/2024 10:00",
                                   {"--rate", "12.50+3", "--expense", "2+0.50"}));
  ASSERT_EQ(added.status, kExitOk) << added.err << added.texts;
  EXPECT_THAT(Records(), HasSubstr("\n2,Alice,,,,,15.50,3/5/2024  9:00 AM,3/5/2024 10:00 AM,0,2.50,"));
}

// The dialog would offer the last record's descriptors and billable flag;
// on the command line only the flags count.
TEST_F(EntryCommandsTest, NewRecordStoresOnlyWhatTheFlagsSay) {
  ASSERT_EQ(Run("edit", {"1", "--billable", "no"}).status, kExitOk);
  CommandOutcome added = Run("add", Entry("3/5/2024 9:00", "3/5/2024 10:00"));
  ASSERT_EQ(added.status, kExitOk) << added.err << added.texts;
  EXPECT_THAT(Records(), HasSubstr("\n2,Alice,,,,,0.00,3/5/2024  9:00 AM,3/5/2024 10:00 AM,0,0.00,yes,"));
}

TEST_F(EntryCommandsTest, EditReplacesOnlyTheBoxesNamed) {
  CommandOutcome edited =
      Run("edit", {"1", "--end", "3/4/2024 10:30 AM", "--description", "Longer work"});
  ASSERT_EQ(edited.status, kExitOk) << edited.err << edited.texts;
  EXPECT_EQ(edited.out, "Changed record 1\n");
  const std::string csv = Records();
  EXPECT_THAT(csv, HasSubstr("\n1,Alice,Acme,,,,12.50,3/4/2024  9:00 AM,3/4/2024 10:30 AM,0,"
                             "0.00,yes,yes,0,Longer work\n"));

  // The checks run for a change as for a new record; nothing is written.
  const std::string before = ReadBytes(db_);
  CommandOutcome refused = Run("edit", {"1", "--start", "3/4/2024 11:00 AM"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, Contains(165));
  EXPECT_EQ(ReadBytes(db_), before);

  CommandOutcome missing = Run("edit", {"9", "--description", "x"});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_THAT(missing.err, HasSubstr("there is no record 9"));
  EXPECT_EQ(Run("edit", {"one"}).status, kExitUsage);
}

TEST_F(EntryCommandsTest, DuplicateAddsACopyAtNewTimes) {
  // Without new times the copy starts and ends now: too short to save.
  CommandOutcome now = Run("duplicate", {"1"});
  EXPECT_EQ(now.status, kExitFailed);
  EXPECT_THAT(now.numbers, Contains(166));

  CommandOutcome copied =
      Run("duplicate", {"1", "--start", "3/6/2024 9:00", "--end", "3/6/2024 9:45"});
  ASSERT_EQ(copied.status, kExitOk) << copied.err << copied.texts;
  EXPECT_EQ(copied.out, "Added record 2\n");
  EXPECT_THAT(Records(), HasSubstr("\n2,Alice,Acme,,,,12.50,3/6/2024  9:00 AM,3/6/2024  9:45 AM,"
                                   "0,0.00,yes,yes,0,Work\n"));
}

TEST_F(EntryCommandsTest, DurationOnlyModeTakesADateAndADuration) {
  WriteUserSetting("GeneralConfig", "DurationMode", 1);
  WriteUserSetting("GeneralConfig", "AllowOverlappingTasks", 1);
  CommandOutcome added =
      Run("add", {"--date", "3/7/2024", "--duration", "1:30", "--description", "Day"});
  ASSERT_EQ(added.status, kExitOk) << added.err << added.texts;
  EXPECT_THAT(Records(), HasSubstr(",3/7/2024  9:00 AM,3/7/2024 10:30 AM,"));

  CommandOutcome bad =
      Run("add", {"--date", "3/7/2024", "--duration", "long", "--description", "Day"});
  EXPECT_EQ(bad.status, kExitFailed);
  EXPECT_THAT(bad.numbers, Contains(212));
  EXPECT_EQ(Run("add", Entry("3/8/2024 9:00", "3/8/2024 10:00")).status, kExitUsage);

  WriteUserSetting("GeneralConfig", "DurationMode", 0);
  EXPECT_EQ(Run("add", {"--date", "3/7/2024", "--duration", "1:30"}).status, kExitUsage);
}

// Two people on one database: Bob cannot change the record Ann has open,
// and learns of Ann's new record at his next poll.
TEST_F(EntryCommandsTest, TwoUsersShareOneDatabase) {
  engine::TableEngine engine;
  db::SupportDb support(engine, db::RunTableReporter());
  std::string holder;
  // Ann's dialog holds the record's edit lock.
  support.set_user_name("Ann");
  ASSERT_EQ(support.OpenSupport(db::SupportFileName(db_)), 0);
  ASSERT_EQ(support.ClaimSupportEntry(db::kUserLocksSection, db::EditLockEntry(1), "Ann", holder),
            0);
  support.CloseSupport();

  const std::string before = ReadBytes(db_);
  CommandOutcome refused = RunAs("Bob", "edit", {"1", "--description", "Mine now"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, Contains(414));
  EXPECT_THAT(refused.texts, HasSubstr("currently being editing by Ann."));
  EXPECT_EQ(ReadBytes(db_), before);

  // Bob's program run watches the change counter.
  db::SupportDb bob_support(engine, db::RunTableReporter());
  bob_support.set_user_name("Bob");
  db::TimeRecordDb bob(engine, db::RunTableReporter(), bob_support, {});
  ASSERT_EQ(bob.OpenTimeRecordDb(db_), 0);
  bob.RememberChangeCounter();
  EXPECT_EQ(bob.PollForChange(), 0);
  CommandOutcome added = RunAs("Ann", "add", Entry("3/8/2024 9:00", "3/8/2024 10:00"));
  ASSERT_EQ(added.status, kExitOk) << added.err << added.texts;
  EXPECT_EQ(bob.PollForChange(), 1);
  EXPECT_EQ(bob.PollForChange(), 0);
  core::TimeRecord record;
  ASSERT_EQ(bob.ReadRecordAt(2, record), 0);
  EXPECT_EQ(std::string(record.descriptors[core::kPersonDescriptor].view()), "Ann");
  bob.CloseTimeRecordDb();
  bob_support.CloseSupport();
}

// Ann's record dialog, open in a process of her own, keeps Bob out of the
// record until she cancels it.
TEST_F(EntryCommandsTest, RecordOpenInAnotherProcessIsLockedUntilItCloses) {
  int locked[2];
  int release[2];
  ASSERT_EQ(pipe(locked), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(locked[0]);
    close(release[1]);
    test::ScriptedUserInterface ui;
    std::ostringstream out;
    std::ostringstream err;
    GlobalOptions options;
    options.home = home_.path();
    options.user = "Ann";
    options.db = db_;
    CommandContext context{options, {}, ui, out, err};
    DbSession session(context);
    int status = 1;
    if (session.Prepare() && session.Open() == 0) {
      stopwatch::EntryContext entry = session.entry_context();
      stopwatch::RecordEntryState state;
      stopwatch::RecordDialogModel dialog(entry, state);
      if (dialog.OpenRecordDialog(stopwatch::RecordDialogMode::kSelected, 1) == 0) status = 0;
      const char opened = status == 0 ? 'L' : 'F';
      (void)!write(locked[1], &opened, 1);
      char go = 0;
      (void)!read(release[0], &go, 1);
      dialog.Cancel();
      session.Close();
    }
    _exit(status);
  }
  close(locked[1]);
  close(release[0]);
  char opened = 0;
  ASSERT_EQ(read(locked[0], &opened, 1), 1);
  ASSERT_EQ(opened, 'L');

  CommandOutcome refused = RunAs("Bob", "edit", {"1", "--description", "Bob's"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, Contains(414));
  EXPECT_THAT(refused.texts, HasSubstr("currently being editing by Ann."));

  const char go = 'G';
  ASSERT_EQ(write(release[1], &go, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(locked[0]);
  close(release[1]);

  CommandOutcome edited = RunAs("Bob", "edit", {"1", "--description", "Bob's"});
  EXPECT_EQ(edited.status, kExitOk) << edited.err << edited.texts;
}

}  // namespace
}  // namespace qm::cli
