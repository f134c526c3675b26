#include "cli/db_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/security.h"
#include "app/settings.h"
#include "cli/record_commands.h"
#include "cli/table_commands.h"
#include <csignal>

#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "platform/paths.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::HasSubstr;

class DbCommandsTest : public CommandTest {
 protected:
  CommandOutcome Add(std::string person, std::string start, std::string end,
                     std::string user = "Alice") {
    return RunAs(std::move(user), "add",
                 {"--person", person, "--start", start, "--end", end, "--rate", "12.50",
                  "--description", "Work"});
  }

  int SupportInt(std::string_view section, std::string_view entry) {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    return support.GetSupportInt(section, entry, -1, db::SupportFileName(db_));
  }
};

TEST_F(DbCommandsTest, NewDatabaseNeedsAFreeName) {
  CommandOutcome created = Run("db new", {db_});
  ASSERT_EQ(created.status, kExitOk) << created.err << created.texts;
  EXPECT_TRUE(std::filesystem::exists(db_));
  EXPECT_TRUE(std::filesystem::exists(home_.File("work.SPT")));
  CommandOutcome again = Run("db new", {db_});
  EXPECT_EQ(again.status, kExitFailed);
  EXPECT_THAT(again.numbers, ::testing::Contains(334));

  // The new database is the user's current one from now on.
  db_.clear();
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  db_ = home_.File("work.dbf");
  EXPECT_THAT(Records(), HasSubstr("\n1,Alice"));
}

TEST_F(DbCommandsTest, ProtectedDatabaseSignsThePersonOn) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  ASSERT_NO_FATAL_FAILURE(WritePassword(db_, app::kAdministratorEntry, "secret1"));
  // Three wrong passwords: refused, and nothing is written.
  typed_ = {"wrong1", "wrong2", "wrong3"};
  CommandOutcome refused = Add("Alice", "3/5/2024 9:00 AM", "3/5/2024 10:00 AM");
  EXPECT_EQ(refused.status, kExitFailed);
  // The sign-on prompt (1236) three times, the first two rejections 1237, then 242.
  EXPECT_THAT(refused.numbers, ::testing::ElementsAre(1236, 1237, 1236, 1237, 1236, 242));
  typed_.clear();
  options_.password = "secret1";
  EXPECT_THAT(Records(), ::testing::Not(HasSubstr("\n2,")));
  // --password answers the sign-on.
  CommandOutcome added = Add("Alice", "3/5/2024 9:00 AM", "3/5/2024 10:00 AM");
  EXPECT_EQ(added.status, kExitOk) << added.err << added.texts;
  EXPECT_THAT(Records(), HasSubstr("\n2,Alice"));
}

TEST_F(DbCommandsTest, RepairRebuildsTheSharedIndexesAndClearsLocks) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  const std::string descriptors = home_.File("support/descript.dbf");
  {
    engine::TableEngine engine;
    db::DescriptorDb file(engine, db::RunTableReporter());
    ASSERT_EQ(file.OpenDescriptorFile(descriptors), 0);
    ASSERT_EQ(file.AddDescriptor("Acme", 1, false, "", -1), 0);
    db::SupportDb support(engine, db::RunTableReporter());
    ASSERT_EQ(support.WriteSupportString(db::kUserLocksSection, "UserLocking1", "Bob",
                                         db::SupportFileName(db_), true),
              1);
  }
  CommandOutcome repaired = Run("db repair", {}, {platform::Button::kYes});
  ASSERT_EQ(repaired.status, kExitOk) << repaired.err << repaired.texts;
  // Rebuilt as part of the repair: 355 without the damage notice 354.
  EXPECT_THAT(repaired.numbers, ::testing::Contains(355));
  EXPECT_THAT(repaired.numbers, ::testing::Not(::testing::Contains(354)));
  EXPECT_TRUE(platform::FindFileIgnoringCase(home_.File("support/descript.mdx")).has_value());
  engine::TableEngine engine;
  db::SupportDb support(engine, db::RunTableReporter());
  EXPECT_EQ(support.GetSupportString(db::kUserLocksSection, "UserLocking1", "none", 35,
                                     db::SupportFileName(db_)),
            "none");
}

TEST_F(DbCommandsTest, AddedRecordsAreListedInEndTimeOrder) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/5/2024 1:00 PM", "3/5/2024 2:00 PM").status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  const std::string csv = Records();
  const std::size_t second = csv.find("\n2,Alice");
  const std::size_t first = csv.find("\n1,Alice");
  ASSERT_NE(second, std::string::npos) << csv;
  ASSERT_NE(first, std::string::npos) << csv;
  EXPECT_LT(second, first) << csv;
  EXPECT_THAT(csv, HasSubstr(",12.50,"));

  CommandOutcome json = Run("records", {"--format", "json"});
  EXPECT_THAT(json.out, HasSubstr("\"recno\": 2, \"person\": \"Alice\""));
}

TEST_F(DbCommandsTest, OverlappingAddIsRefusedForTheSamePersonOnly) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:30 AM", "3/4/2024 9:45 AM").status, kExitOk);
  CommandOutcome refused = Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM");
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.texts, HasSubstr("overlaps that of an existing time record"));
  EXPECT_EQ(Add("Bob", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM", "Bob").status, kExitOk);

  {
    app::CSettings user;
    std::filesystem::create_directories(home_.File("support"));
    ASSERT_TRUE(user.BindUser(home_.File("support"), "Alice"));
    ASSERT_TRUE(user.WriteInt("GeneralConfig", "AllowOverlappingTasks", 1));
  }
  EXPECT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  EXPECT_EQ(SupportInt("Index", "Changes"), 3);
  std::istringstream lines(Records());
  int count = -1;
  for (std::string line; std::getline(lines, line);) ++count;
  EXPECT_EQ(count, 3);
}

TEST_F(DbCommandsTest, DeleteRespectsAnotherUsersEditLock) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    support.set_user_name("Bob");
    ASSERT_EQ(support.WriteSupportString("UserLocks", "UserLocking1", "Bob",
                                         db::SupportFileName(db_), true),
              1);
  }
  CommandOutcome refused = Run("delete", {"1"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, ::testing::Contains(413));
  EXPECT_THAT(refused.texts, HasSubstr("Bob"));
  EXPECT_THAT(Records(), HasSubstr("\n1,Alice"));

  // Carol keeps the database open, so the deleted record stays in the file.
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    ASSERT_EQ(support.SetUserActive(db_, "Carol", true), 0);
  }
  CommandOutcome bob = RunAs("Bob", "delete", {"1"});
  ASSERT_EQ(bob.status, kExitOk) << bob.texts;
  EXPECT_THAT(Records(), ::testing::Not(HasSubstr("\n1,Alice")));
  ASSERT_EQ(Run("undelete", {"1"}).status, kExitOk);
  EXPECT_THAT(Records(), HasSubstr("\n1,Alice"));
  EXPECT_EQ(Run("delete", {"7"}).status, kExitFailed);
  EXPECT_EQ(Run("delete", {"x"}).status, kExitUsage);
}

TEST_F(DbCommandsTest, InfoCountsRecordsDeletedAndChanges) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 11:00 AM", "3/4/2024 12:00 PM").status, kExitOk);
  // Bob keeps the database open, so the deleted record is not packed away.
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    ASSERT_EQ(support.SetUserActive(db_, "Bob", true), 0);
  }
  ASSERT_EQ(Run("delete", {"2"}).status, kExitOk);
  CommandOutcome info = Run("db info", {});
  ASSERT_EQ(info.status, kExitOk) << info.texts;
  EXPECT_THAT(info.out, HasSubstr("records: 2\ndeleted: 1\nactive users: 1\nchanges: 3\n"
                                  "protected: no\n"));
}

TEST_F(DbCommandsTest, RenameLeavesTheRecordsNotDeletedUnderTheNewName) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 9:00 AM", "3/4/2024 10:00 AM").status, kExitOk);
  ASSERT_EQ(Add("Alice", "3/4/2024 11:00 AM", "3/4/2024 12:00 PM").status, kExitOk);
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    ASSERT_EQ(support.SetUserActive(db_, "Bob", true), 0);
  }
  ASSERT_EQ(Run("delete", {"1"}).status, kExitOk);
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    ASSERT_EQ(support.SetUserActive(db_, "Bob", false), 0);
  }
  const std::string renamed = home_.File("renamed.dbf");
  CommandOutcome done = Run("db rename", {renamed});
  ASSERT_EQ(done.status, kExitOk) << done.texts << done.err;
  EXPECT_FALSE(std::filesystem::exists(db_));
  EXPECT_FALSE(std::filesystem::exists(home_.File("work.SPT")));
  EXPECT_FALSE(std::filesystem::exists(renamed + ".cpy"));
  db_ = renamed;
  const std::string csv = Records();
  EXPECT_THAT(csv, HasSubstr("\n1,Alice"));
  EXPECT_THAT(csv, ::testing::Not(HasSubstr("\n2,")));
  EXPECT_EQ(SupportInt("UserCount", "NumActiveUsers"), 0);

  // A copy onto a taken name is refused and changes nothing.
  CommandOutcome taken = Run("db copy", {renamed});
  EXPECT_EQ(taken.status, kExitFailed);
  EXPECT_THAT(taken.numbers, ::testing::Contains(334));
}

// A copy or rename killed at any moment leaves the original whole and the
// new name either absent or complete.
TEST_F(DbCommandsTest, KilledCopyLeavesNoHalfWrittenDatabase) {
  constexpr long kRecords = 1500;
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    support.set_user_name("Setup");
    db::TimeRecordDb records(engine, db::RunTableReporter(), support, {});
    ASSERT_EQ(records.OpenTimeRecordDb(db_), 0);
    core::TimeRecord record;
    core::ClearTimeRecord(record);
    record.descriptors[core::kPersonDescriptor].assign("Setup");
    for (long i = 0; i < kRecords; ++i) {
      record.start = 1000000 + static_cast<core::TimeStamp>(i) * 600;
      record.end = record.start + 300;
      ASSERT_EQ(records.AddRecord(record, false), 0);
    }
    records.CloseTimeRecordDb();
  }
  auto count_records = [&](const std::string& file) {
    const std::string saved = db_;
    db_ = file;
    // The killed run may have left Alice marked active: another person looks.
    CommandOutcome info = RunAs("Inspector", "db info", {});
    db_ = saved;
    return info.out;
  };
  struct Case {
    const char* command;
    int delay_ms;
  };
  const Case cases[] = {{"db copy", 5},    {"db copy", 20},    {"db copy", 60},
                        {"db copy", 150},  {"db rename", 10},  {"db rename", 40}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string target = home_.File("copy" + std::to_string(n++) + ".dbf");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      _exit(Run(c.command, {target}).status);
    }
    usleep(static_cast<useconds_t>(c.delay_ms) * 1000);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    // A rename deletes the original only after the copy is complete.
    const bool original = std::filesystem::exists(db_);
    const bool copy = std::filesystem::exists(target);
    EXPECT_TRUE(original || copy) << c.command << " " << c.delay_ms << " ms";
    if (original) {
      EXPECT_THAT(count_records(db_), HasSubstr("records: 1500\n"))
          << c.command << " " << c.delay_ms << " ms";
    }
    if (copy) {
      EXPECT_THAT(count_records(target), HasSubstr("records: 1500\n"))
          << c.command << " " << c.delay_ms << " ms";
    }
    if (!original) break;  // renamed away: nothing left to copy
  }
}

// Four real processes, each its own person, add 250 records each through
// the add command, every add one whole program run.
TEST_F(DbCommandsTest, FourProcessesAddingAtOnceLoseNothing) {
  ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
  constexpr int kWriters = 4;
  constexpr int kRecordsEach = 250;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      const std::string user = "Writer" + std::to_string(w);
      for (int i = 0; i < kRecordsEach; ++i) {
        const int minutes = i * 5;
        char start[32];
        char end[32];
        std::snprintf(start, sizeof start, "3/%d/2024 %d:%02d", 1 + minutes / 1440,
                      minutes % 1440 / 60, minutes % 60);
        std::snprintf(end, sizeof end, "3/%d/2024 %d:%02d", 1 + minutes / 1440,
                      minutes % 1440 / 60, minutes % 60 + 4);
        failures += Add(user, start, end, user).status != kExitOk;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  CommandOutcome info = Run("db info", {});
  EXPECT_THAT(info.out, HasSubstr("records: 1000\ndeleted: 0\nactive users: 0\nchanges: 1000\n"));
  EXPECT_EQ(SupportInt("UserCount", "NumActiveUsers"), 0);
  for (const std::string& file : {db_, db::SupportFileName(db_)}) {
    test::ScriptedUserInterface ui;
    std::ostringstream out;
    std::ostringstream err;
    CommandContext context{GlobalOptions{}, {file}, ui, out, err};
    EXPECT_EQ(RunTableCheck(context), kExitOk) << file << "\n" << out.str() << err.str();
  }
}

}  // namespace
}  // namespace qm::cli
