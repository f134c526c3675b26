#include "stopwatch/stopwatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "stopwatch/stopwatch_dialog_model.h"
#include "tests/stopwatch/stopwatch_test_env.h"

namespace qm::stopwatch {
namespace {

using test::At;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class StopwatchTest : public ::testing::Test, protected test::StopwatchTestEnv {
 protected:
  StopwatchTest() {
    record_.descriptors[core::kClientDescriptor].assign("Acme");
    record_.descriptors[core::kRateDescriptor].assign("12.50");
    record_.description.assign("Audit");
    // The menu commands without the dialog; the dialog's own tests press
    // its buttons.
    Set(app::GeneralConfigKey::kShowCardWhenStart, 0);
  }

  // Starts at `start` and leaves the clock there.
  void StartAt(core::TimeStamp start) {
    Now(start);
    ASSERT_EQ(stopwatch_.StartStopwatch(), 0);
  }

  Stopwatch stopwatch_{context_, record_};
};

TEST_F(StopwatchTest, StartsAtTheMinuteAndStopsIntoARecord) {
  StartAt(At(10, 0, 40));
  EXPECT_TRUE(stopwatch_.StopwatchActive());
  EXPECT_EQ(record_.start, At(10, 0));
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().start, At(10, 0));

  Now(At(10, 30, 5));
  EXPECT_EQ(stopwatch_.StopwatchElapsed(), 30 * 60 + 5);

  Now(At(10, 59, 10));
  ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
  ASSERT_THAT(Records(), SizeIs(1));
  const core::TimeRecord saved = Records()[0];
  EXPECT_EQ(saved.start, At(10, 0));
  EXPECT_EQ(saved.end, At(10, 59));
  EXPECT_EQ(saved.end - saved.start - saved.pauseDuration, 59 * 60);
  EXPECT_EQ(saved.description, "Audit");
  EXPECT_EQ(saved.descriptors[core::kClientDescriptor], "Acme");
  EXPECT_GT(changes_, 0);

  // The next start carries the descriptors but not the description.
  EXPECT_FALSE(stopwatch_.StopwatchActive());
  EXPECT_TRUE(record_.description.empty());
  const core::TimeRecord stored = Stored();
  EXPECT_EQ(stored.stopwatchState, core::kStopwatchInactive);
  EXPECT_EQ(stored.descriptors[core::kClientDescriptor], "Acme");
  EXPECT_TRUE(stored.description.empty());
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

TEST_F(StopwatchTest, PauseCountsWholeMinutesFromItsOrigin) {
  StartAt(At(10, 0, 40));
  Now(At(10, 20, 30));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(record_.stopwatchState, core::kStopwatchPaused);
  EXPECT_EQ(record_.pauseOrigin, At(10, 20));
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchPaused);
  EXPECT_EQ(Stored().pauseOrigin, At(10, 20));

  // While paused the elapsed time stands still (in whole minutes of pause).
  Now(At(10, 25, 30));
  EXPECT_EQ(stopwatch_.StopwatchElapsed(), At(10, 25, 30) - At(10, 0) - 5 * 60);

  Now(At(10, 31, 10));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(record_.stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(record_.pauseDuration, 11 * 60);
  EXPECT_EQ(Stored().pauseDuration, 11 * 60);

  // A second pause contains the first: origin = now - pause so far.
  Now(At(11, 0, 0));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(record_.pauseOrigin, At(10, 49));
  Now(At(11, 5, 0));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(record_.pauseDuration, 16 * 60);
}

TEST_F(StopwatchTest, StopFollowsThePauseHandlingOfTheSettings) {
  struct Case {
    int handling;
    core::TimeStamp start, end;
    core::Seconds pause;
  };
  // 9:00 to 11:00 with a pause of 15 minutes; still paused at the stop for
  // the last case, so the pause up to the stop counts.
  const Case cases[] = {
      {core::kPauseAddToStart, At(9, 15), At(11, 0), 0},
      {core::kPauseSubtractFromEnd, At(9, 0), At(10, 45), 0},
      {core::kPauseRetain, At(9, 0), At(11, 0), 15 * 60},
  };
  int day = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handling);
    Set(app::GeneralConfigKey::kPauseHandling, c.handling);
    StartAt(At(9, 0, 40, day));
    Now(At(10, 0, 0, day));
    ASSERT_EQ(stopwatch_.TogglePause(), 0);
    Now(At(10, 15, 0, day));
    ASSERT_EQ(stopwatch_.TogglePause(), 0);
    Now(At(11, 0, 0, day));
    ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
    const core::TimeRecord saved = Records().back();
    const int shift = (day - 4) * core::kSecondsPerDay;
    EXPECT_EQ(saved.start, c.start + shift);
    EXPECT_EQ(saved.end, c.end + shift);
    EXPECT_EQ(saved.pauseDuration, c.pause);
    record_.description.assign("Next");
    ++day;
  }
  // Stopped while paused: the pause runs up to the stop.
  Set(app::GeneralConfigKey::kPauseHandling, core::kPauseRetain);
  StartAt(At(9, 0, 0, day));
  Now(At(10, 0, 0, day));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  Now(At(10, 20, 0, day));
  ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
  EXPECT_EQ(Records().back().pauseDuration, 20 * 60);
  EXPECT_EQ(Records().back().end, At(10, 20, 0, day));
}

TEST_F(StopwatchTest, StopsThatCannotBeSavedLeaveItRunning) {
  struct Case {
    const char* name;
    core::TimeStamp stop_at;
    int description_handling;
    const char* description;
    int message;
  };
  const Case cases[] = {
      {"within the start minute", At(9, 0, 59), 0, "Audit", kStartEqualsEnd},
      {"blank description", At(9, 30), 0, "", kDescriptionMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.Clear();
    StartAt(At(9, 0, 10));
    Set(app::GeneralConfigKey::kDescriptionHandling, c.description_handling);
    record_.description.assign(c.description);
    Now(c.stop_at);
    EXPECT_EQ(stopwatch_.StopFromMenu(), c.message);
    EXPECT_THAT(ui_.Numbers(), Contains(c.message));
    EXPECT_EQ(record_.stopwatchState, core::kStopwatchRunning);
    EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
    EXPECT_THAT(Records(), IsEmpty());
    // The user mends the record in the dialog that opened.
    EXPECT_TRUE(stopwatch_.dialog_open());
    stopwatch_.CloseStopwatchDialog();
    record_.stopwatchState = core::kStopwatchInactive;
  }
}

TEST_F(StopwatchTest, OverlapKeepsItRunningUnlessOverlapsAreAllowed) {
  ASSERT_EQ(db_.AddRecord(Record(At(9, 30), At(10, 30)), true), 0);
  StartAt(At(9, 0));
  Now(At(10, 0, 20));
  EXPECT_EQ(stopwatch_.StopFromMenu(), 162);
  EXPECT_EQ(record_.stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  EXPECT_THAT(Records(), SizeIs(1));

  // Refused while paused: still paused, with its origin.
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  Now(At(10, 5));
  EXPECT_EQ(stopwatch_.StopFromMenu(), 162);
  EXPECT_EQ(record_.stopwatchState, core::kStopwatchPaused);
  EXPECT_EQ(record_.pauseOrigin, At(10, 0));

  Set(app::GeneralConfigKey::kAllowOverlappingTasks, 1);
  EXPECT_EQ(stopwatch_.StopFromMenu(), 0);
  EXPECT_THAT(Records(), SizeIs(2));
  EXPECT_FALSE(stopwatch_.StopwatchActive());
}

TEST_F(StopwatchTest, PersonTextIsCutAtTheBraceForTheSavedRecordOnly) {
  record_.descriptors[core::kPersonDescriptor].assign("Alice{night shift}");
  StartAt(At(9, 0));
  Now(At(9, 45));
  ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
  EXPECT_EQ(Records()[0].descriptors[core::kPersonDescriptor], "Alice");
  EXPECT_EQ(record_.descriptors[core::kPersonDescriptor], "Alice{night shift}");
}

TEST_F(StopwatchTest, CommandsInTheWrongStateChangeNothing) {
  const core::TimeRecord before = record_;
  EXPECT_EQ(stopwatch_.TogglePause(), kNotAllowedInThisState);
  EXPECT_EQ(stopwatch_.StopFromMenu(), kNotAllowedInThisState);
  EXPECT_EQ(record_, before);
  EXPECT_THAT(ui_.Numbers(), Contains(99));
  EXPECT_THAT(ui_.Texts().back(), ::testing::HasSubstr(kStopwatchModule));
}

TEST_F(StopwatchTest, ResumeRecordStopsTheRunningStopwatchFirst) {
  core::TimeRecord selected = Record(At(8, 0), At(8, 30));
  selected.descriptors[core::kClientDescriptor].assign("Beta");
  selected.invoice = 17;
  selected.expense = 4.5;
  selected.billable = 0;
  struct Case {
    const char* name;
    core::TimeStamp resume_at;
    int description_handling;
    const char* description;
    int result;
    std::vector<int> messages;
  };
  const Case cases[] = {
      {"within the start minute", At(9, 0, 30), 1, "Audit", kResumeStartEqualsEnd, {225}},
      {"blank description refused", At(9, 30), 0, "", kResumeDescriptionMissing, {226}},
      {"blank description noted", At(9, 30), 1, "", 0, {384}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.Clear();
    core::ClearTimeRecord(record_);
    record_.descriptors[core::kPersonDescriptor].assign(test::kUser);
    record_.descriptors[core::kClientDescriptor].assign("Acme");
    StartAt(At(9, 0, 10));
    record_.description.assign(c.description);
    Set(app::GeneralConfigKey::kDescriptionHandling, c.description_handling);
    Now(c.resume_at);
    EXPECT_EQ(stopwatch_.ResumeRecord(selected), c.result);
    EXPECT_EQ(ui_.Numbers(), c.messages);
    EXPECT_EQ(record_.stopwatchState, core::kStopwatchRunning);
    if (c.result != 0) {
      EXPECT_EQ(record_.start, At(9, 0));
      EXPECT_EQ(record_.descriptors[core::kClientDescriptor], "Acme");
      continue;
    }
    // The stopped record was saved, and the selected one runs from now.
    EXPECT_EQ(Records().back().end, At(9, 30));
    EXPECT_EQ(record_.start, At(9, 30));
    EXPECT_EQ(record_.descriptors[core::kClientDescriptor], "Beta");
    EXPECT_EQ(record_.invoice, 0);
    EXPECT_EQ(record_.expense, 4.5);
    EXPECT_EQ(record_.billable, 0);
    EXPECT_EQ(record_.description, "Earlier work");
    EXPECT_EQ(Stored().start, At(9, 30));
    EXPECT_EQ(Stored().descriptors[core::kClientDescriptor], "Beta");
  }
}

TEST_F(StopwatchTest, ResumeMemorizedStartsAFreshRecordWithTheChosenSet) {
  record_.expense = 12;
  Now(At(9, 0));
  const int result = stopwatch_.ResumeMemorized([](StopwatchDialogModel& dialog) {
    dialog.boxes().descriptors[core::kClientDescriptor] = "Gamma";
    dialog.boxes().descriptors[core::kActivityDescriptor] = "Design";
    return true;
  });
  ASSERT_EQ(result, 0);
  // Closed again: it was not open before and ShowCardWhenStart is off.
  EXPECT_FALSE(stopwatch_.dialog_open());
  EXPECT_EQ(record_.stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(record_.expense, 0);
  EXPECT_TRUE(record_.description.empty());
  const core::TimeRecord stored = Stored();
  EXPECT_EQ(stored.descriptors[core::kClientDescriptor], "Gamma");
  EXPECT_EQ(stored.descriptors[core::kActivityDescriptor], "Design");
  EXPECT_EQ(stored.start, At(9, 0));
}

TEST_F(StopwatchTest, ResumedRecordKeepsItsExpenseThroughTheDialog) {
  Set(app::GeneralConfigKey::kShowCardWhenStart, 1);
  core::TimeRecord selected = Record(At(8, 0), At(8, 30));
  selected.expense = 4.5;
  Now(At(9, 0));
  ASSERT_EQ(stopwatch_.ResumeRecord(selected), 0);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().expense, 4.5);

  // Spent once: the record stopped carries it, the next start does not.
  Set(app::GeneralConfigKey::kShowCardWhenStart, 0);
  stopwatch_.CloseStopwatchDialog();
  Now(At(9, 30));
  ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
  EXPECT_EQ(Records().back().expense, 4.5);
  ASSERT_EQ(stopwatch_.StartStopwatch(), 0);
  EXPECT_EQ(record_.expense, 0);
}

TEST_F(StopwatchTest, ShowCardWhenStartStartsThroughTheDialog) {
  Set(app::GeneralConfigKey::kShowCardWhenStart, 1);
  StartAt(At(9, 0, 30));
  ASSERT_TRUE(stopwatch_.dialog_open());
  EXPECT_EQ(stopwatch_.dialog()->working().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().start, At(9, 0));
}

TEST_F(StopwatchTest, RunningStopwatchSurvivesTheEndOfTheRun) {
  StartAt(At(9, 0, 40));
  // Another run, with its own engine, support file and loaded record.
  engine::TableEngine engine;
  db::ErrorTableReporter reporter;
  db::SupportDb support(engine, reporter);
  support.set_user_name(std::string(test::kUser));
  ASSERT_EQ(support.OpenSupport(db::SupportFileName(file_)), 0);
  core::TimeRecord loaded;
  ASSERT_EQ(support.LoadStopwatchRecord(file_, loaded), 0);
  EXPECT_EQ(loaded.stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(loaded.start, At(9, 0));
  EXPECT_EQ(loaded.description, "Audit");
  EXPECT_EQ(loaded.descriptors[core::kClientDescriptor], "Acme");
  support.CloseSupport();
}

}  // namespace
}  // namespace qm::stopwatch
