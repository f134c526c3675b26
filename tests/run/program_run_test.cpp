// The program run's start-up and shutdown over the scripted user interface:
// which questions and messages a person meets, and which database they end
// up in.
#include "run/program_run.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/security.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "stopwatch/record_saving.h"
#include "stopwatch/records_by_end_time.h"
#include "platform/paths.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::run {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

namespace fs = std::filesystem;

class ProgramRunTest : public ::testing::Test {
 protected:
  RunOptions Options(std::string user, std::string database) {
    RunOptions options;
    options.home = home_.path();
    options.user = std::move(user);
    options.database = std::move(database);
    options.save_settings_at_exit = false;
    return options;
  }

  // A database with one run of Ann behind it.
  void CreateDatabase() {
    test::ScriptedUserInterface ui;
    RunOptions options = Options("Ann Smith", work_);
    options.create_database = true;
    ProgramRun run(ui, options);
    ASSERT_TRUE(run.Prepare());
    ASSERT_EQ(run.Open(), 0);
    ASSERT_EQ(run.Close(), 0);
  }

  void WithSupport(const std::function<void(db::SupportDb&)>& work) {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    support.set_user_name("Setup");
    ASSERT_EQ(support.OpenSupport(db::SupportFileName(work_)), 0);
    work(support);
    support.CloseSupport();
  }

  std::string Untitled() const { return platform::JoinPath(home_.path(), "untitled.dbf"); }

  test::TempDir home_;
  test::ScriptedUserInterface ui_;
  std::string work_ = home_.File("work.dbf");
};

TEST_F(ProgramRunTest, OpenMarksThePersonActiveAndLoadsAnInactiveStopwatch) {
  RunOptions options = Options("Ann Smith", work_);
  options.create_database = true;
  ProgramRun run(ui_, options);
  ASSERT_TRUE(run.Prepare());
  ASSERT_EQ(run.Open(), 0);
  EXPECT_TRUE(run.start_up_completed());
  EXPECT_TRUE(run.is_administrator());
  EXPECT_TRUE(run.support().IsUserActive(work_, "Ann Smith"));
  const core::TimeRecord& stopwatch = run.stopwatch_record();
  EXPECT_EQ(stopwatch.stopwatchState, core::kStopwatchInactive);
  EXPECT_EQ(std::string(stopwatch.descriptors[0].view()), "Ann Smith");
  EXPECT_EQ(std::string(stopwatch.descriptors[1].view()), "<<Not Specified>>");
  EXPECT_EQ(stopwatch.billable, 1);
  // The person is one of the people of the descriptor file.
  bool listed = false;
  for (const db::Descriptor& d : run.descriptors().LoadedCache().entries) {
    listed = listed || (d.kind == 0 && d.value == "Ann Smith");
  }
  EXPECT_TRUE(listed);
  ASSERT_EQ(run.Close(), 0);
  WithSupport([&](db::SupportDb& support) {
    EXPECT_FALSE(support.IsUserActive(work_, "Ann Smith"));
    EXPECT_EQ(support.ActiveUserCount(), 0);
  });
}

// The support file says Ann already uses the database (another instance, or
// a run that crashed).
TEST_F(ProgramRunTest, AccessDeniedIsOverriddenOnlyWhenTheUserSaysSo) {
  CreateDatabase();
  struct Case {
    bool override_flag;
    std::optional<platform::Button> answer;  // nothing: no question expected
    int result;
  };
  const Case cases[] = {
      {false, platform::Button::kCancel, kApplicationExit},
      {false, platform::Button::kNo, kApplicationExit},
      {false, platform::Button::kYes, 0},
      {true, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    WithSupport([&](db::SupportDb& support) {
      ASSERT_EQ(support.SetUserActive(work_, "Ann Smith", true), 0);
    });
    test::ScriptedUserInterface ui;
    if (c.answer) ui.QueueAnswer(*c.answer);
    RunOptions options = Options("Ann Smith", work_);
    options.override_access_denied = c.override_flag;
    {
      ProgramRun run(ui, options);
      ASSERT_TRUE(run.Prepare());
      EXPECT_EQ(run.Open(), c.result);
      EXPECT_EQ(run.db().IsOpen(), c.result == 0);
      run.Close();
    }
    const bool asked = !ui.entries().empty() &&
                       ui.Texts().front().find("Thus you are denied access.") != std::string::npos;
    EXPECT_EQ(asked, c.answer.has_value());
    if (c.result != 0) {
      EXPECT_THAT(ui.Numbers(), Contains(kApplicationExit));
    }
    // An override ends the stale mark: one active user at most, then none.
    WithSupport([&](db::SupportDb& support) {
      EXPECT_EQ(support.IsUserActive(work_, "Ann Smith"), c.result != 0);
      support.SetUserActive(work_, "Ann Smith", false);
    });
  }
}

TEST_F(ProgramRunTest, MissingDatabaseStopsACommandAndFallsBackForTheDesktop) {
  const std::string missing = home_.File("gone.dbf");
  {
    RunOptions options = Options("Ann Smith", missing);
    options.fall_back_to_untitled = false;
    ProgramRun run(ui_, options);
    ASSERT_TRUE(run.Prepare());
    EXPECT_EQ(run.Open(), kDatabaseMissing);
    EXPECT_FALSE(run.db().IsOpen());
  }
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(fs::exists(Untitled()));
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kDatabaseMissing));

  test::ScriptedUserInterface ui;
  ProgramRun run(ui, Options("Ann Smith", missing));
  ASSERT_TRUE(run.Prepare());
  EXPECT_EQ(run.Open(), 0);
  EXPECT_EQ(run.database(), Untitled());
  EXPECT_TRUE(fs::exists(Untitled()));
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_THAT(ui.Numbers(), ElementsAre(kDatabaseMissing));
}

TEST_F(ProgramRunTest, ATableWithoutItsSupportFileIsNamedInTheMessage) {
  CreateDatabase();
  fs::remove(db::SupportFileName(work_));
  RunOptions options = Options("Ann Smith", work_);
  options.fall_back_to_untitled = false;
  ProgramRun run(ui_, options);
  ASSERT_TRUE(run.Prepare());
  EXPECT_EQ(run.Open(), 0);  // a valid table: its support file is made anew
  EXPECT_THAT(ui_.Numbers(), Not(Contains(kSupportFileMissing)));
  run.Close();

  // Junk under a database name: with and without its support file.
  std::ofstream(home_.File("junk.dbf")) << "not a table at all";
  test::ScriptedUserInterface ui;
  RunOptions junk = Options("Ann Smith", home_.File("junk.dbf"));
  junk.fall_back_to_untitled = false;
  ProgramRun second(ui, junk);
  ASSERT_TRUE(second.Prepare());
  EXPECT_EQ(second.Open(), kSupportFileMissing);
  EXPECT_THAT(ui.Numbers(), ElementsAre(kSupportFileMissing));
}

TEST_F(ProgramRunTest, PersonIsChosenThroughTheUserInterface) {
  ui_.QueueText("Bob Jones");
  RunOptions options = Options("", "");
  {
    ProgramRun run(ui_, options);
    ASSERT_TRUE(run.Prepare());
    EXPECT_EQ(run.user_name(), "Bob Jones");
    EXPECT_EQ(run.database(), Untitled());  // nobody's current file yet
  }
  test::ScriptedUserInterface ui;
  ui.QueueText(std::nullopt);  // "Cancel, Exit Program"
  ProgramRun cancelled(ui, options);
  EXPECT_FALSE(cancelled.Prepare());
  EXPECT_THAT(ui.Numbers(), Contains(kApplicationExit));
}

TEST_F(ProgramRunTest, ThreeWrongPasswordsOpenTheUntitledDatabaseUnprotected) {
  CreateDatabase();
  WithSupport([&](db::SupportDb& support) {
    ASSERT_EQ(support.WriteSupportString(app::kPasswordSection, app::kAdministratorEntry,
                                         app::ScramblePassword("secret1"),
                                         db::SupportFileName(work_), true),
              1);
  });
  for (const char* typed : {"wrong1", "wrong2", "wrong3"}) ui_.QueueText(std::string(typed));
  ProgramRun run(ui_, Options("Ann Smith", work_));
  ASSERT_TRUE(run.Prepare());
  ASSERT_EQ(run.Open(), 0);
  EXPECT_EQ(run.database(), Untitled());
  EXPECT_TRUE(run.is_administrator());
  std::vector<int> numbers = ui_.Numbers();
  const auto refused = std::find(numbers.begin(), numbers.end(), 242);
  ASSERT_NE(refused, numbers.end());
  EXPECT_EQ(*(refused + 1), kPasswordNotSupplied);
  // The protected database is untouched and still protected.
  EXPECT_FALSE(run.support().IsUserActive(work_, "Ann Smith"));
}

}  // namespace
}  // namespace qm::run

namespace qm::run {
namespace {

// Two people on one database: what Bob saves reaches Ann's list at her next
// poll, and only then.
TEST_F(ProgramRunTest, AnotherPersonsRecordAppearsAtThePoll) {
  CreateDatabase();
  test::ScriptedUserInterface bob_ui;
  ProgramRun ann(ui_, Options("Ann Smith", work_));
  ProgramRun bob(bob_ui, Options("Bob Jones", work_));
  ASSERT_TRUE(ann.Prepare());
  ASSERT_EQ(ann.Open(), 0);
  ASSERT_TRUE(bob.Prepare());
  ASSERT_EQ(bob.Open(), 0);
  ASSERT_EQ(ann.record_list().Refresh(), 0);
  EXPECT_TRUE(ann.record_list().rows().empty());
  EXPECT_FALSE(ann.PollForChanges());

  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign("Bob Jones");
  record.start = 1'700'000'000;
  record.end = record.start + 3600;
  record.description.assign("Review");
  stopwatch::EntryContext context = bob.entry_context();
  ASSERT_EQ(stopwatch::SaveNewRecord(context, record), 0);

  EXPECT_TRUE(ann.PollForChanges());
  ASSERT_EQ(ann.record_list().Refresh(), 0);
  ASSERT_EQ(ann.record_list().rows().size(), 1u);
  EXPECT_EQ(std::string(ann.record_list().rows()[0].record.description.view()), "Review");
  EXPECT_FALSE(ann.PollForChanges());
  EXPECT_EQ(bob.Close(), 0);
  EXPECT_EQ(ann.Close(), 0);
}

}  // namespace
}  // namespace qm::run

namespace qm::run {
namespace {

// The day's hours walk every record by end time, whatever the person's
// filter and order; the list keeps reading in that order afterwards.
TEST_F(ProgramRunTest, TodaysHoursCountEveryRecordAndLeaveTheUsersOrder) {
  CreateDatabase();
  ProgramRun run(ui_, Options("Ann Smith", work_));
  ASSERT_TRUE(run.Prepare());
  ASSERT_EQ(run.Open(), 0);
  stopwatch::EntryContext context = run.entry_context();
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign("Ann Smith");
  record.description.assign("Work");
  for (const char* client : {"Acme", "Bolt", "Acme"}) {
    record.descriptors[core::kClientDescriptor].assign(client);
    record.start = record.end == 0 ? 1'699'999'980 : record.end;  // a whole minute
    record.end = record.start + 1800;
    ASSERT_EQ(stopwatch::SaveNewRecord(context, record), 0);
  }
  view::RecordFilter only_bolt;
  only_bolt.enabled = 1;
  only_bolt.rows[0] = {view::kFieldClient, view::kCompareEqual, "Bolt", view::kLinkEnd};
  ASSERT_EQ(run.user_index().ApplyFilterAndSort(std::nullopt, only_bolt), 0);
  ASSERT_EQ(run.db().CountRecords(true), 1);

  stopwatch::DatabaseRecordsByEndTime records(run.db());
  std::vector<core::TimeStamp> ends;
  records.VisitLatestFirst([&](const core::TimeRecord& r) {
    ends.push_back(r.end);
    return true;
  });
  EXPECT_THAT(ends, ElementsAre(1'700'005'380, 1'700'003'580, 1'700'001'780));
  EXPECT_EQ(run.db().display_tag(), run.db().user_tag());
  EXPECT_EQ(run.db().CountRecords(true), 1);
  EXPECT_EQ(run.Close(), 0);
}

}  // namespace
}  // namespace qm::run
