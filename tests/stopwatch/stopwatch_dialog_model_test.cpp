#include "stopwatch/stopwatch_dialog_model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/date_text.h"
#include "stopwatch/stopwatch.h"
#include "tests/stopwatch/stopwatch_test_env.h"

namespace qm::stopwatch {
namespace {

using test::At;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class StopwatchDialogModelTest : public ::testing::Test, protected test::StopwatchTestEnv {
 protected:
  StopwatchDialogModelTest() {
    record_.descriptors[core::kClientDescriptor].assign("Acme");
    record_.descriptors[core::kRateDescriptor].assign("12.50");
    Now(At(9, 0, 40));
    dialog_ = &stopwatch_.OpenStopwatchDialog();
  }

  int StartWithDescription(std::string_view description) {
    dialog_->boxes().description = description;
    return dialog_->PressStart();
  }

  Stopwatch stopwatch_{context_, record_};
  StopwatchDialogModel* dialog_ = nullptr;
};

TEST_F(StopwatchDialogModelTest, ControlsAndTitleFollowTheState) {
  struct Expected {
    std::int32_t state;
    StopwatchControls controls;
    const char* title;
  };
  const Expected expected[] = {
      {core::kStopwatchInactive, {false, false, true, false, false, false},
       "Stopwatch - Alice (Inactive)"},
      {core::kStopwatchRunning, {true, true, false, true, true, false},
       "Stopwatch - Alice (Running)"},
      {core::kStopwatchPaused, {true, false, false, true, false, true},
       "Stopwatch - Alice (PAUSED!)"},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.state);
    if (e.state == core::kStopwatchRunning) {
      ASSERT_EQ(StartWithDescription("Audit"), 0);
    }
    if (e.state == core::kStopwatchPaused) {
      ASSERT_EQ(dialog_->PressPause(), 0);
    }
    EXPECT_EQ(dialog_->working().stopwatchState, e.state);
    EXPECT_EQ(dialog_->Controls(), e.controls);
    EXPECT_EQ(dialog_->Title(), e.title);
  }
}

TEST_F(StopwatchDialogModelTest, BoxesShowTheRecordByState) {
  // Inactive: no start, no pause, an expense of nothing.
  EXPECT_THAT(dialog_->boxes().start_date, IsEmpty());
  EXPECT_THAT(dialog_->boxes().pause, IsEmpty());
  EXPECT_EQ(dialog_->boxes().expense, "0.00");
  EXPECT_EQ(dialog_->boxes().descriptors[core::kClientDescriptor], "Acme");
  EXPECT_EQ(dialog_->boxes().descriptors[core::kPersonDescriptor], "Alice");

  ASSERT_EQ(StartWithDescription("Audit"), 0);
  EXPECT_EQ(dialog_->boxes().start_date, core::FormatDate(At(9, 0)));
  EXPECT_EQ(dialog_->boxes().start_time, core::FormatTime(At(9, 0), false));
  EXPECT_EQ(dialog_->boxes().pause, "0 hr 0 min");
  EXPECT_EQ(stopwatch_.last_start_shown(), At(9, 0));
  // Saved at once, with what the boxes held.
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().description, "Audit");
}

TEST_F(StopwatchDialogModelTest, TickRewritesTheClockOnlyWhenTheSecondChanged) {
  ASSERT_EQ(StartWithDescription("Audit"), 0);
  Now(At(9, 30, 15));
  dialog_->Tick();
  EXPECT_EQ(dialog_->now_time(), core::FormatTime(At(9, 30, 15), true));
  EXPECT_EQ(dialog_->duration_display(), "0 hr 30 min");
  EXPECT_EQ(stopwatch_.StopwatchElapsed(), 30 * 60 + 15);

  Set(app::GeneralConfigKey::kShowSecondsInStopwatch, 0);
  dialog_->Tick();  // the same second: nothing is rewritten
  EXPECT_EQ(dialog_->now_time(), core::FormatTime(At(9, 30, 15), true));
  Now(At(9, 30, 16));
  dialog_->Tick();
  EXPECT_EQ(dialog_->now_time(), core::FormatTime(At(9, 30, 16), false));

  // A start box the user garbled: no duration to show.
  dialog_->boxes().start_time = "25:99";
  dialog_->Tick();
  EXPECT_EQ(dialog_->duration_display(), kUnreadableDuration);
  EXPECT_EQ(stopwatch_.StopwatchElapsed(), 0);
}

TEST_F(StopwatchDialogModelTest, PauseNeedsAValidPauseBox) {
  ASSERT_EQ(StartWithDescription("Audit"), 0);
  dialog_->boxes().pause = "soon";
  Now(At(10, 0));
  EXPECT_EQ(dialog_->PressPause(), kInvalidPauseShowing);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kInvalidPauseShowing));
  EXPECT_EQ(dialog_->working().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);

  // A pause typed before pausing is contained in the pause period.
  dialog_->boxes().pause = "5 min";
  ASSERT_EQ(dialog_->PressPause(), 0);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchPaused);
  EXPECT_EQ(Stored().pauseOrigin, At(9, 55));
  Now(At(10, 10, 30));
  dialog_->Tick();
  EXPECT_EQ(dialog_->boxes().pause, "0 hr 15 min");
  ASSERT_EQ(dialog_->PressEndPause(), 0);
  EXPECT_EQ(dialog_->boxes().pause, "0 hr 15 min");
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().pauseDuration, 15 * 60);
  EXPECT_EQ(dialog_->PressEndPause(), kNotAllowedInThisState);
}

TEST_F(StopwatchDialogModelTest, StopReadsTheBoxesWithTheRecordChecks) {
  ASSERT_EQ(StartWithDescription(""), 0);
  Now(At(10, 0));
  // A blank description is refused under DescriptionHandling 0.
  EXPECT_EQ(dialog_->PressStop(), 218);
  EXPECT_EQ(dialog_->working().stopwatchState, core::kStopwatchRunning);
  EXPECT_THAT(Records(), IsEmpty());

  // The user corrects the start and writes a description; the stop saves
  // what the boxes hold, with the pause handled as the settings say.
  Set(app::GeneralConfigKey::kPauseHandling, core::kPauseAddToStart);
  dialog_->boxes().start_time = core::FormatTime(At(8, 30), false);
  dialog_->boxes().pause = "10 min";
  dialog_->boxes().description = "Audit";
  ASSERT_EQ(dialog_->PressStop(), 0);
  ASSERT_THAT(Records(), SizeIs(1));
  EXPECT_EQ(Records()[0].start, At(8, 40));
  EXPECT_EQ(Records()[0].end, At(10, 0));
  EXPECT_EQ(Records()[0].pauseDuration, 0);
  EXPECT_EQ(Records()[0].description, "Audit");
  // Inactive again, description gone, descriptors kept.
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchInactive);
  EXPECT_TRUE(Stored().description.empty());
  EXPECT_EQ(Stored().descriptors[core::kClientDescriptor], "Acme");
  EXPECT_THAT(dialog_->boxes().description, IsEmpty());
  EXPECT_EQ(dialog_->Controls().start_button, true);
}

TEST_F(StopwatchDialogModelTest, StopStartNewStartsTheNextRecordAtOnce) {
  ASSERT_EQ(StartWithDescription("Audit"), 0);
  Now(At(10, 15, 20));
  ASSERT_EQ(dialog_->PressStopStartNew(), 0);
  ASSERT_THAT(Records(), SizeIs(1));
  EXPECT_EQ(Records()[0].end, At(10, 15));
  EXPECT_EQ(dialog_->working().stopwatchState, core::kStopwatchRunning);
  EXPECT_EQ(Stored().start, At(10, 15));
  EXPECT_EQ(Stored().descriptors[core::kClientDescriptor], "Acme");
  EXPECT_TRUE(Stored().description.empty());
}

TEST_F(StopwatchDialogModelTest, ResetAsksAndDiscardsTheRunningTime) {
  ASSERT_EQ(StartWithDescription("Audit"), 0);
  Now(At(9, 45));
  ui_.QueueAnswer(platform::Button::kNo);
  EXPECT_EQ(dialog_->PressReset(), kCancelled);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchRunning);
  ASSERT_THAT(ui_.Texts(), ElementsAre(std::string(kResetQuestion)));

  ui_.QueueAnswer(platform::Button::kYes);
  ASSERT_EQ(dialog_->PressReset(), 0);
  EXPECT_EQ(Stored().stopwatchState, core::kStopwatchInactive);
  EXPECT_TRUE(Stored().description.empty());
  EXPECT_THAT(Records(), IsEmpty());
}

TEST_F(StopwatchDialogModelTest, HidingSavesTheBoxesAndThePlace) {
  ASSERT_EQ(StartWithDescription("Audit"), 0);
  dialog_->boxes().descriptors[core::kProjectDescriptor] = "Ledger";
  dialog_->boxes().description = "Audit of the ledger";
  // An unreadable start falls back to the last start shown.
  dialog_->boxes().start_date = "someday";
  dialog_->set_position(120, 80);
  stopwatch_.CloseStopwatchDialog();
  EXPECT_FALSE(stopwatch_.dialog_open());
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
  const core::TimeRecord stored = Stored();
  EXPECT_EQ(stored.start, At(9, 0));
  EXPECT_EQ(stored.descriptors[core::kProjectDescriptor], "Ledger");
  EXPECT_EQ(stored.description, "Audit of the ledger");
  EXPECT_EQ(settings_.general.Get(app::GeneralConfigKey::kTaskCardX), 120);
  EXPECT_EQ(settings_.general.Get(app::GeneralConfigKey::kTaskCardY), 80);
  EXPECT_EQ(stopwatch_.OpenStopwatchDialog().Placement(), (std::array<int, 2>{120, 80}));
}

TEST_F(StopwatchDialogModelTest, SmallLayoutShortensTheLabels) {
  settings_.descriptor_names[core::kClientDescriptor] = "Customer";
  EXPECT_EQ(dialog_->DescriptorLabels()[core::kClientDescriptor], "Customer:");
  EXPECT_EQ(dialog_->DescriptorLabels()[core::kRateDescriptor], "Hourly Rate:");
  EXPECT_EQ(dialog_->ExpenseLabel(), "&Fixed Expense:");
  EXPECT_FALSE(dialog_->Placement().has_value());
  dialog_->ToggleSmallLayout();
  EXPECT_TRUE(dialog_->small_layout());
  EXPECT_EQ(dialog_->DescriptorLabels()[core::kClientDescriptor], "Cust:");
  EXPECT_EQ(dialog_->DescriptorLabels()[core::kRateDescriptor], "Hour:");
  EXPECT_EQ(dialog_->ExpenseLabel(), "&Fixed:");
}

TEST_F(StopwatchDialogModelTest, RateBoxShowsAnAmountWhenLeft) {
  dialog_->boxes().descriptors[core::kRateDescriptor] = "1234.5";
  dialog_->LeaveRateBox();
  EXPECT_EQ(dialog_->boxes().descriptors[core::kRateDescriptor], "1,234.50");
}

TEST_F(StopwatchDialogModelTest, MenuCommandsPressTheOpenDialogsButtons) {
  dialog_->boxes().description = "Audit";
  ASSERT_EQ(stopwatch_.StartStopwatch(), 0);
  Now(At(9, 30));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(dialog_->working().stopwatchState, core::kStopwatchPaused);
  Now(At(9, 40));
  ASSERT_EQ(stopwatch_.TogglePause(), 0);
  EXPECT_EQ(dialog_->working().pauseDuration, 10 * 60);
  Now(At(10, 0));
  ASSERT_EQ(stopwatch_.StopFromMenu(), 0);
  ASSERT_THAT(Records(), SizeIs(1));
  EXPECT_EQ(Records()[0].pauseDuration, 10 * 60);
  EXPECT_EQ(Records()[0].description, "Audit");
}

}  // namespace
}  // namespace qm::stopwatch
