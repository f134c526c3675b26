#include "stopwatch/stopwatch_dialog_model.h"

#include "app/error_reporter.h"
#include "app/general_config.h"
#include "app/message_format.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "core/program_clock.h"
#include "stopwatch/stopwatch.h"

namespace qm::stopwatch {
namespace {

// The pause box always shows hours and minutes, whatever the user's
// duration format, so that the spin buttons step it the same way.
constexpr int kPauseBoxFormat = 4;
constexpr std::size_t kAmountBoxLength = 50;
constexpr std::size_t kSmallLabelLetters = 4;

int ReportWrongState(int line) {
  if (app::HasReporter()) app::Reporter().ReportInternalError(kStopwatchDialogModule, line);
  return kNotAllowedInThisState;
}

bool IsActive(std::int32_t state) {
  return state == core::kStopwatchRunning || state == core::kStopwatchPaused;
}

}  // namespace

std::string_view StopwatchStateWord(std::int32_t state) {
  switch (state) {
    case core::kStopwatchRunning:
      return "(Running)";
    case core::kStopwatchPaused:
      return "(PAUSED!)";
    default:
      return "(Inactive)";
  }
}

StopwatchDialogModel::StopwatchDialogModel(Stopwatch& stopwatch) : stopwatch_(stopwatch) {
  working_ = stopwatch_.record();
  working_.descriptors[core::kPersonDescriptor].assign(stopwatch_.context().user_name);
  ShowClock(core::CurrentTime());
  ShowRecord();
  Tick();
}

void StopwatchDialogModel::ShowRecord() {
  for (std::size_t kind = 0; kind < boxes_.descriptors.size(); ++kind) {
    boxes_.descriptors[kind] = working_.descriptors[kind].str();
  }
  // A new person's stopwatch has "<<Not Specified>>" for its rate, which no
  // stop could save: the box shows the amount the record would be stored
  // with, as it does whenever it is left.
  LeaveRateBox();
  boxes_.description = working_.description.str();
  boxes_.billable = working_.billable != 0;
  boxes_.billed = working_.invoice != 0;
  boxes_.invoice = working_.invoice != 0 ? std::to_string(working_.invoice) : std::string();
  boxes_.end_date.clear();
  boxes_.end_time.clear();
  boxes_.duration.clear();
  if (IsActive(working_.stopwatchState)) {
    boxes_.start_date = core::FormatDate(working_.start);
    boxes_.start_time = core::FormatTime(working_.start, false);
    stopwatch_.set_last_start_shown(working_.start);
    const core::Seconds pause = working_.stopwatchState == core::kStopwatchPaused
                                    ? TotalPause(working_, core::CurrentTime())
                                    : working_.pauseDuration;
    boxes_.pause = core::FormatDuration(pause, kPauseBoxFormat);
    boxes_.expense = core::FormatAmount(working_.expense, kAmountBoxLength, false);
  } else {
    boxes_.start_date.clear();
    boxes_.start_time.clear();
    boxes_.pause.clear();
    boxes_.expense = core::FormatAmount(0, kAmountBoxLength, false);
    duration_display_.clear();
  }
}

void StopwatchDialogModel::ShowClock(core::TimeStamp now) {
  const bool seconds = stopwatch_.context().settings.general.Get(
                           app::GeneralConfigKey::kShowSecondsInStopwatch) != 0;
  now_date_ = core::FormatDate(now);
  now_time_ = core::FormatTime(now, seconds);
  now_shown_ = now;
}

std::string StopwatchDialogModel::Title() const {
  return app::FormatMessageText("Stopwatch - %s %s",
                                {std::string_view(stopwatch_.context().user_name),
                                 StopwatchStateWord(working_.stopwatchState)});
}

StopwatchControls StopwatchDialogModel::Controls() const {
  const bool active = IsActive(working_.stopwatchState);
  return {
      .start_boxes = active,
      .pause_box = working_.stopwatchState == core::kStopwatchRunning,
      .start_button = !active,
      .stop_buttons = active,
      .pause_button = working_.stopwatchState == core::kStopwatchRunning,
      .end_pause_button = working_.stopwatchState == core::kStopwatchPaused,
  };
}

bool StopwatchDialogModel::small_layout() const {
  return stopwatch_.context().settings.general.Get(app::GeneralConfigKey::kUseSmallStopwatch) != 0;
}

void StopwatchDialogModel::ToggleSmallLayout() {
  stopwatch_.context().settings.general.Set(app::GeneralConfigKey::kUseSmallStopwatch,
                                            small_layout() ? 0 : 1);
}

std::array<std::string, core::kDescriptorCount> StopwatchDialogModel::DescriptorLabels() const {
  std::array<std::string, core::kDescriptorCount> labels;
  const auto& names = stopwatch_.context().settings.descriptor_names;
  for (std::size_t kind = 1; kind < labels.size(); ++kind) {
    std::string name = names[kind].empty() ? std::string(core::kDefaultDescriptorNames[kind])
                                           : names[kind];
    if (small_layout()) name = name.substr(0, kSmallLabelLetters);
    labels[kind] = name + ":";
  }
  return labels;
}

std::string_view StopwatchDialogModel::ExpenseLabel() const {
  return small_layout() ? "&Fixed:" : "&Fixed Expense:";
}

std::optional<std::array<int, 2>> StopwatchDialogModel::Placement() const {
  const app::GeneralConfig& general = stopwatch_.context().settings.general;
  const int x = general.Get(app::GeneralConfigKey::kTaskCardX);
  const int y = general.Get(app::GeneralConfigKey::kTaskCardY);
  if (x == -1 || y == -1) return std::nullopt;
  return std::array<int, 2>{x, y};
}

bool StopwatchDialogModel::on_top() const {
  return stopwatch_.context().settings.general.Get(app::GeneralConfigKey::kStopwatchOnTop) != 0;
}

void StopwatchDialogModel::Tick() {
  if (working_.stopwatchState < core::kStopwatchInactive ||
      working_.stopwatchState > core::kStopwatchPaused) {
    working_.stopwatchState = core::kStopwatchInactive;
  }
  const core::TimeStamp now = core::CurrentTime();
  if (now != now_shown_) ShowClock(now);
  if (working_.stopwatchState == core::kStopwatchPaused) {
    boxes_.pause = core::FormatDuration(TotalPause(working_, now), kPauseBoxFormat);
  }
  if (IsActive(working_.stopwatchState)) {
    const std::optional<core::Seconds> elapsed = ElapsedFromBoxes();
    duration_display_ =
        elapsed ? core::FormatDurationCurrent(*elapsed) : std::string(kUnreadableDuration);
  }
}

std::optional<core::Seconds> StopwatchDialogModel::ElapsedFromBoxes() const {
  const core::TimeStamp start = core::ParseDateAndTime(boxes_.start_date, boxes_.start_time);
  if (start == core::kNoTime || now_shown_ == core::kNoTime) return std::nullopt;
  int error = 0;
  const core::Seconds pause = core::ParseDuration(boxes_.pause, &error);
  if (pause < 0 || error != 0) return std::nullopt;
  return now_shown_ - start - pause;
}

void StopwatchDialogModel::ReadQuietly() {
  for (std::size_t kind = 0; kind < boxes_.descriptors.size(); ++kind) {
    working_.descriptors[kind].assign(
        std::string_view(boxes_.descriptors[kind]).substr(0, core::kDescriptorLength));
  }
  working_.description.assign(
      std::string_view(boxes_.description).substr(0, core::kDescriptionLength));
  if (core::IsNumberText(boxes_.expense)) {
    working_.expense = core::AmountTextToNumber(boxes_.expense);
  }
  working_.billable = boxes_.billable ? 1 : 0;
  if (!IsActive(working_.stopwatchState)) return;
  core::TimeStamp start = core::ParseDateAndTime(boxes_.start_date, boxes_.start_time);
  if (start == core::kNoTime) start = stopwatch_.last_start_shown();
  if (start == core::kNoTime) start = core::MinuteStart(core::CurrentTime());
  working_.start = start;
  // While paused the box shows the whole pause, the record keeps only the
  // part before the current pause period.
  if (working_.stopwatchState == core::kStopwatchRunning) {
    const core::Seconds pause = core::ParseDuration(boxes_.pause);
    if (pause >= 0) working_.pauseDuration = pause;
  }
}

int StopwatchDialogModel::SaveWorking() {
  stopwatch_.record() = working_;
  return stopwatch_.SaveRecord();
}

int StopwatchDialogModel::PressStart() {
  if (IsActive(working_.stopwatchState)) return ReportWrongState(__LINE__);
  ReadQuietly();
  if (int result = stopwatch_.ToggleStopwatch(working_); result != 0) return result;
  ShowRecord();
  Tick();
  return SaveWorking();
}

int StopwatchDialogModel::PressStop() {
  if (!IsActive(working_.stopwatchState)) return ReportWrongState(__LINE__);
  const core::TimeStamp now = core::CurrentTime();
  RecordBoxes stop_boxes = boxes_;
  if (working_.stopwatchState == core::kStopwatchPaused) {
    stop_boxes.pause = core::FormatDuration(TotalPause(working_, now), kPauseBoxFormat);
  }
  const core::TimeStamp end = core::MinuteStart(now);
  stop_boxes.end_date = core::FormatDate(end);
  stop_boxes.end_time = core::FormatTime(end, false);
  stop_boxes.duration.clear();
  core::TimeRecord stopped = working_;
  stopped.pauseOrigin = 0;
  if (int result = ReadRecordFromBoxes(stopwatch_.context(), stop_boxes, stopped, true, true, true);
      result != 0) {
    return result;
  }
  if (int result = stopwatch_.ToggleStopwatch(stopped); result != 0) return result;
  working_ = stopped;
  boxes_.description.clear();
  ShowRecord();
  return SaveWorking();
}

int StopwatchDialogModel::PressStopStartNew() {
  if (int result = PressStop(); result != 0) return result;
  return PressStart();
}

int StopwatchDialogModel::PressReset() {
  if (!app::HasReporter() ||
      app::Reporter().AskYesNo(kResetQuestion, platform::Button::kNo) != platform::Button::kYes) {
    return kCancelled;
  }
  ReadQuietly();
  working_.stopwatchState = core::kStopwatchInactive;
  working_.description.clear();
  boxes_.description.clear();
  ShowRecord();
  return SaveWorking();
}

int StopwatchDialogModel::PressPause() {
  if (working_.stopwatchState != core::kStopwatchRunning) return ReportWrongState(__LINE__);
  int error = 0;
  const core::Seconds pause = core::ParseDuration(boxes_.pause, &error);
  if (pause < 0 || error != 0) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kInvalidPauseShowing);
    return kInvalidPauseShowing;
  }
  working_.pauseDuration = pause;
  working_.pauseOrigin = core::MinuteStart(core::CurrentTime() - pause);
  working_.stopwatchState = core::kStopwatchPaused;
  core::TimeRecord& stored = stopwatch_.record();
  stored.pauseDuration = working_.pauseDuration;
  stored.pauseOrigin = working_.pauseOrigin;
  stored.stopwatchState = working_.stopwatchState;
  Tick();
  return stopwatch_.SaveRecord();
}

int StopwatchDialogModel::PressEndPause() {
  if (working_.stopwatchState != core::kStopwatchPaused) return ReportWrongState(__LINE__);
  working_.pauseDuration = TotalPause(working_, core::CurrentTime());
  working_.stopwatchState = core::kStopwatchRunning;
  boxes_.pause = core::FormatDuration(working_.pauseDuration, kPauseBoxFormat);
  core::TimeRecord& stored = stopwatch_.record();
  stored.pauseDuration = working_.pauseDuration;
  stored.stopwatchState = working_.stopwatchState;
  Tick();
  return stopwatch_.SaveRecord();
}

int StopwatchDialogModel::Hide() {
  ReadQuietly();
  if (position_) {
    app::GeneralConfig& general = stopwatch_.context().settings.general;
    general.Set(app::GeneralConfigKey::kTaskCardX, (*position_)[0]);
    general.Set(app::GeneralConfigKey::kTaskCardY, (*position_)[1]);
  }
  return SaveWorking();
}

void StopwatchDialogModel::LeaveRateBox() {
  std::string& rate = boxes_.descriptors[core::kRateDescriptor];
  rate = core::ReformatAmountBox(rate);
}

}  // namespace qm::stopwatch
