#include "stopwatch/stopwatch_display.h"

#include "app/general_config.h"
#include "app/message_format.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "stopwatch/stopwatch_dialog_model.h"

namespace qm::stopwatch {
namespace {

// The minimised window has room for one short word of figures.
std::string CutBeforeLastBlank(std::string text) {
  const std::size_t blank = text.rfind(' ');
  if (blank != std::string::npos) text.resize(blank);
  return text;
}

}  // namespace

std::string StopwatchStatusText(std::int32_t state, core::Seconds elapsed) {
  switch (state) {
    case core::kStopwatchRunning:
      return app::FormatMessageText("Stopwatch: Running (Duration: %s)",
                                    {std::string_view(core::FormatDurationCurrent(elapsed))});
    case core::kStopwatchPaused:
      return app::FormatMessageText("Stopwatch: Paused (Duration: %s)",
                                    {std::string_view(core::FormatDurationCurrent(elapsed))});
    default:
      return "Stopwatch: Inactive";
  }
}

std::string StopwatchStatusText(const Stopwatch& stopwatch) {
  return StopwatchStatusText(stopwatch.record().stopwatchState, stopwatch.StopwatchElapsed());
}

std::string MinimizedText(int icon_type, const core::DailyProgressValues& progress) {
  switch (icon_type) {
    case kIconTime:
      return CutBeforeLastBlank(core::FormatTime(progress.now, false));
    case kIconTodaysHours:
      return CutBeforeLastBlank(core::FormatDuration(progress.todaysHours, 0));
    case kIconCompletion:
      return CutBeforeLastBlank(core::FormatTime(progress.completion, false));
    default:
      return {};
  }
}

std::string MinimizedCaption(std::string_view text, std::int32_t state) {
  std::string caption(text);
  caption += ' ';
  caption += StopwatchStateWord(state);
  caption += " CQM";
  return caption;
}

WindowMenuInfo WindowMenuLines(const core::DailyProgressValues& progress) {
  const std::string now = core::FormatTime(progress.now, false);
  const std::string hours = core::FormatDurationCurrent(progress.todaysHours);
  const std::string completion = core::FormatTime(progress.completion, false);
  return {
      app::FormatMessageText("Current Time:\t%s", {std::string_view(now)}),
      app::FormatMessageText("Today's Hours:\t%s", {std::string_view(hours)}),
      app::FormatMessageText("Completion at:\t%s", {std::string_view(completion)}),
  };
}

StopwatchMenuState MenuState(std::int32_t state) {
  const bool active = state != core::kStopwatchInactive;
  return {.start = !active,
          .pause = active,
          .pause_checked = state == core::kStopwatchPaused,
          .stop = active};
}

int TimerPeriod(bool minimized, int icon_type) {
  if (!minimized) return kTickPeriod;
  return icon_type == kIconOnly ? 0 : kMinimizedTickPeriod;
}

core::DailyProgressValues StopwatchTicker::Progress() const {
  return core::DailyProgress(records_, stopwatch_.context().user_name,
                             stopwatch_.StopwatchElapsed());
}

bool StopwatchTicker::Tick(bool minimized) {
  if (StopwatchDialogModel* dialog = stopwatch_.dialog()) dialog->Tick();
  if (!minimized) return false;
  const int icon_type =
      stopwatch_.context().settings.general.Get(app::GeneralConfigKey::kIconType);
  if (icon_type == kIconOnly) return false;
  std::string caption =
      MinimizedCaption(MinimizedText(icon_type, Progress()), stopwatch_.record().stopwatchState);
  if (caption == caption_) return false;
  caption_ = std::move(caption);
  return true;
}

std::string_view StopwatchStateName(std::int32_t state) {
  switch (state) {
    case core::kStopwatchRunning:
      return "running";
    case core::kStopwatchPaused:
      return "paused";
    default:
      return "inactive";
  }
}

}  // namespace qm::stopwatch
