#include "stopwatch/stopwatch_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/date_text.h"
#include "core/duration_settings.h"
#include "stopwatch/records_by_end_time.h"
#include "stopwatch/stopwatch_dialog_model.h"
#include "tests/stopwatch/stopwatch_test_env.h"

namespace qm::stopwatch {
namespace {

using test::At;

TEST(StopwatchDisplayTest, StatusTextNamesTheStateAndDuration) {
  core::ScopedDurationSettings settings({});  // format 4
  EXPECT_EQ(StopwatchStatusText(core::kStopwatchInactive, 0), "Stopwatch: Inactive");
  EXPECT_EQ(StopwatchStatusText(core::kStopwatchRunning, 3 * 3600 + 13 * 60),
            "Stopwatch: Running (Duration: 3 hr 13 min)");
  EXPECT_EQ(StopwatchStatusText(core::kStopwatchPaused, 59 * 60),
            "Stopwatch: Paused (Duration: 0 hr 59 min)");
}

TEST(StopwatchDisplayTest, MinimizedTextDropsTheLastWord) {
  core::DailyProgressValues progress;
  progress.now = At(14, 5, 30);
  progress.todaysHours = 11580;  // 3.22 hours
  progress.completion = At(19, 35);
  const std::string now = core::FormatTime(progress.now, false);
  const std::string completion = core::FormatTime(progress.completion, false);
  EXPECT_EQ(MinimizedText(kIconTime, progress), now.substr(0, now.rfind(' ')));
  EXPECT_EQ(MinimizedText(kIconTodaysHours, progress), " 3.22");
  EXPECT_EQ(MinimizedText(kIconCompletion, progress),
            completion.substr(0, completion.rfind(' ')));
  EXPECT_EQ(MinimizedText(kIconOnly, progress), "");
  EXPECT_EQ(MinimizedCaption(" 3.22", core::kStopwatchPaused), " 3.22 (PAUSED!) CQM");
  EXPECT_EQ(MinimizedCaption("2:05", core::kStopwatchInactive), "2:05 (Inactive) CQM");
}

TEST(StopwatchDisplayTest, WindowMenuLinesAndEnabling) {
  core::ScopedDurationSettings settings({});
  core::DailyProgressValues progress{At(14, 5, 30), 2 * 3600 + 30 * 60, At(19, 35)};
  const WindowMenuInfo lines = WindowMenuLines(progress);
  EXPECT_EQ(lines.current_time, "Current Time:\t" + core::FormatTime(At(14, 5), false));
  EXPECT_EQ(lines.todays_hours, "Today's Hours:\t2 hr 30 min");
  EXPECT_EQ(lines.completion_at, "Completion at:\t" + core::FormatTime(At(19, 35), false));

  EXPECT_EQ(MenuState(core::kStopwatchInactive), (StopwatchMenuState{true, false, false, false}));
  EXPECT_EQ(MenuState(core::kStopwatchRunning), (StopwatchMenuState{false, true, false, true}));
  EXPECT_EQ(MenuState(core::kStopwatchPaused), (StopwatchMenuState{false, true, true, true}));
}

TEST(StopwatchDisplayTest, TimerPeriodByWindowAndIconType) {
  EXPECT_EQ(TimerPeriod(false, kIconOnly), 400);
  EXPECT_EQ(TimerPeriod(false, kIconCompletion), 400);
  EXPECT_EQ(TimerPeriod(true, kIconTime), 2000);
  EXPECT_EQ(TimerPeriod(true, kIconTodaysHours), 2000);
  EXPECT_EQ(TimerPeriod(true, kIconOnly), 0);
}

class StopwatchProgressTest : public ::testing::Test, protected test::StopwatchTestEnv {
 protected:
  StopwatchProgressTest() {
    Set(app::GeneralConfigKey::kShowCardWhenStart, 0);
    core::MarkDayTotalStale();
  }
  core::ScopedDurationSettings durations_{{}};  // DailyGoal 8 hours
  Stopwatch stopwatch_{context_, record_};
  DatabaseRecordsByEndTime records_{db_};
};

TEST_F(StopwatchProgressTest, GoalCompletionCountsTodayAndTheRunningStopwatch) {
  // Yesterday's record and another person's do not count.
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0, 0, 3), At(17, 0, 0, 3)), true), 0);
  core::TimeRecord bob = Record(At(8, 0), At(12, 0));
  bob.descriptors[core::kPersonDescriptor].assign("Bob");
  ASSERT_EQ(db_.AddRecord(bob, true), 0);
  ASSERT_EQ(db_.AddRecord(Record(At(9, 0), At(11, 0)), true), 0);
  Now(At(13, 30));
  ASSERT_EQ(stopwatch_.StartStopwatch(), 0);
  Now(At(14, 0));

  StopwatchTicker ticker(stopwatch_, &records_);
  const core::DailyProgressValues progress = ticker.Progress();
  EXPECT_EQ(progress.now, At(14, 0));
  EXPECT_EQ(progress.todaysHours, 2 * 3600 + 30 * 60);
  EXPECT_EQ(progress.completion, At(14, 0) + 5 * 3600 + 30 * 60);
  EXPECT_EQ(StopwatchStatusText(stopwatch_), "Stopwatch: Running (Duration: 0 hr 30 min)");
}

TEST_F(StopwatchProgressTest, MinimizedCaptionIsRenewedOnlyWhenItChanges) {
  Set(app::GeneralConfigKey::kIconType, kIconTodaysHours);
  StopwatchTicker ticker(stopwatch_, &records_);
  EXPECT_FALSE(ticker.Tick(false));
  EXPECT_TRUE(ticker.Tick(true));
  EXPECT_EQ(ticker.caption(), " 0.00 (Inactive) CQM");
  Now(At(9, 0, 2));
  EXPECT_FALSE(ticker.Tick(true));
  ASSERT_EQ(stopwatch_.StartStopwatch(), 0);
  EXPECT_TRUE(ticker.Tick(true));
  EXPECT_EQ(ticker.caption(), " 0.00 (Running) CQM");
  Now(At(9, 36));
  EXPECT_TRUE(ticker.Tick(true));
  EXPECT_EQ(ticker.caption(), " 0.60 (Running) CQM");

  // An open dialog follows the clock with every tick.
  StopwatchDialogModel& dialog = stopwatch_.OpenStopwatchDialog();
  Now(At(9, 37, 5));
  ticker.Tick(false);
  EXPECT_EQ(dialog.now_time(), core::FormatTime(At(9, 37, 5), true));
}

}  // namespace
}  // namespace qm::stopwatch
