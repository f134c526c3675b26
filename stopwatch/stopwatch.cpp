#include "stopwatch/stopwatch.h"

#include "app/error_reporter.h"
#include "app/general_config.h"
#include "core/amount_text.h"
#include "core/pause_handling.h"
#include "core/program_clock.h"
#include "stopwatch/record_saving.h"
#include "stopwatch/stopwatch_dialog_model.h"

namespace qm::stopwatch {
namespace {

constexpr std::size_t kAmountBoxLength = 50;

int ReportWrongState(std::string_view module, int line) {
  if (app::HasReporter()) app::Reporter().ReportInternalError(module, line);
  return kNotAllowedInThisState;
}

int Show(int message) {
  if (app::HasReporter()) app::Reporter().ShowMessage(message);
  return message;
}

int General(const EntryContext& context, app::GeneralConfigKey key) {
  return context.settings.general.Get(key);
}

}  // namespace

std::string_view SavedPersonText(std::string_view person) {
  return person.substr(0, person.find('{'));
}

core::Seconds TotalPause(const core::TimeRecord& record, core::TimeStamp now) {
  if (record.stopwatchState != core::kStopwatchPaused) return record.pauseDuration;
  return core::MinuteStart(now) - record.pauseOrigin;
}

Stopwatch::Stopwatch(EntryContext& context, core::TimeRecord& record)
    : context_(context), record_(record) {}

Stopwatch::~Stopwatch() = default;

bool Stopwatch::StopwatchActive() const {
  return record_.stopwatchState != core::kStopwatchInactive;
}

core::Seconds Stopwatch::StopwatchElapsed() const {
  if (dialog_) return dialog_->ElapsedFromBoxes().value_or(0);
  const core::TimeStamp now = core::CurrentTime();
  switch (record_.stopwatchState) {
    case core::kStopwatchRunning:
      return now - record_.start - record_.pauseDuration;
    case core::kStopwatchPaused:
      return now - record_.start - core::MinuteStart(now - record_.pauseOrigin);
    default:
      return 0;
  }
}

int Stopwatch::ToggleStopwatch(core::TimeRecord& record) {
  if (record.stopwatchState == core::kStopwatchInactive) {
    record.start = core::MinuteStart(core::CurrentTime());
    record.pauseDuration = 0;
    record.edited = 0;
    record.invoice = 0;
    record.stopwatchState = core::kStopwatchRunning;
    return 0;
  }
  core::TimeRecord saved = record;
  saved.descriptors[core::kPersonDescriptor].assign(
      SavedPersonText(record.descriptors[core::kPersonDescriptor].view()));
  saved.stopwatchState = core::kStopwatchInactive;
  saved.pauseOrigin = 0;
  record.stopwatchState = core::kStopwatchInactive;
  const int result = SaveNewRecord(context_, saved);
  if (result != 0) {
    record.stopwatchState = core::kStopwatchRunning;
    return result;
  }
  // The descriptors stay for the next start; the description and the
  // expense were this record's alone (an expense carried on would be billed
  // again with the next record).
  record.description.clear();
  record.expense = 0;
  return 0;
}

int Stopwatch::SaveRecord() {
  return context_.support.SaveStopwatchRecord(context_.db.database_file(), record_);
}

int Stopwatch::StartStopwatch() {
  if (dialog_) return dialog_->PressStart();
  if (General(context_, app::GeneralConfigKey::kShowCardWhenStart) != 0) {
    return OpenStopwatchDialog().PressStart();
  }
  if (record_.stopwatchState != core::kStopwatchInactive) {
    return ReportWrongState(kStopwatchModule, __LINE__);
  }
  if (int result = ToggleStopwatch(record_); result != 0) return result;
  return SaveRecord();
}

core::Seconds Stopwatch::WouldBeDuration(core::TimeStamp now) const {
  return core::MinuteStart(now) - core::MinuteStart(record_.start) - TotalPause(record_, now);
}

int Stopwatch::StopNow() {
  const core::TimeRecord before = record_;
  const core::TimeStamp now = core::CurrentTime();
  record_.end = core::MinuteStart(now);
  if (record_.stopwatchState == core::kStopwatchPaused) {
    record_.pauseDuration = TotalPause(record_, now);
  }
  // The stopped record follows the person's pause handling, as one stopped
  // from the dialog does; the stopwatch keeps its own times until the save
  // succeeded.
  core::TimeRecord stopped = record_;
  const int handling = General(context_, app::GeneralConfigKey::kPauseHandling);
  if (!core::ApplyPauseHandling(stopped, handling) && app::HasReporter()) {
    app::Reporter().ReportInternalError(core::kPauseHandlingModule, __LINE__);
  }
  if (int result = ToggleStopwatch(stopped); result != 0) {
    // Paused stays paused: a refused stop changes nothing.
    record_ = before;
    return result;
  }
  record_ = stopped;
  return SaveRecord();
}

int Stopwatch::StopFromMenu() {
  if (dialog_) return dialog_->PressStop();
  if (!StopwatchActive()) return ReportWrongState(kStopwatchModule, __LINE__);
  const core::TimeStamp now = core::CurrentTime();
  int refused = 0;
  if (WouldBeDuration(now) <= 0) {
    refused = kStartEqualsEnd;
  } else if (record_.description.empty() &&
             General(context_, app::GeneralConfigKey::kDescriptionHandling) == 0) {
    refused = kDescriptionMissing;
  }
  if (refused != 0) {
    Show(refused);
    OpenStopwatchDialog();
    return refused;
  }
  return StopNow();
}

int Stopwatch::TogglePause() {
  if (dialog_) {
    if (record_.stopwatchState == core::kStopwatchPaused ||
        dialog_->working().stopwatchState == core::kStopwatchPaused) {
      return dialog_->PressEndPause();
    }
    return dialog_->PressPause();
  }
  const core::TimeStamp now = core::CurrentTime();
  switch (record_.stopwatchState) {
    case core::kStopwatchRunning:
      record_.pauseOrigin = core::MinuteStart(now - record_.pauseDuration);
      record_.stopwatchState = core::kStopwatchPaused;
      break;
    case core::kStopwatchPaused:
      record_.stopwatchState = core::kStopwatchRunning;
      record_.pauseDuration = core::MinuteStart(now) - record_.pauseOrigin;
      break;
    default:
      return ReportWrongState(kStopwatchModule, __LINE__);
  }
  return SaveRecord();
}

int Stopwatch::StopForResume() {
  if (!StopwatchActive()) return 0;
  if (!dialog_) {
    const core::TimeStamp now = core::CurrentTime();
    if (WouldBeDuration(now) <= 0) return Show(kResumeStartEqualsEnd);
    if (record_.description.empty()) {
      const int handling = General(context_, app::GeneralConfigKey::kDescriptionHandling);
      if (handling == 0) return Show(kResumeDescriptionMissing);
      if (handling == 1) Show(kResumedWithBlankDescription);
    }
    StopNow();
  } else {
    dialog_->PressStop();
  }
  return StopwatchActive() ? kOperationIncomplete : 0;
}

int Stopwatch::ResumeRecord(const core::TimeRecord& selected) {
  const bool was_open = dialog_open();
  if (int result = StopForResume(); result != 0) return result;
  CloseStopwatchDialog();
  const std::int32_t state = record_.stopwatchState;
  record_ = selected;
  record_.invoice = 0;
  record_.stopwatchState = state;
  record_.pauseOrigin = 0;
  // An inactive dialog shows no expense; the resumed record brings its own.
  if (was_open || General(context_, app::GeneralConfigKey::kShowCardWhenStart) != 0) {
    OpenStopwatchDialog().boxes().expense =
        core::FormatAmount(record_.expense, kAmountBoxLength, false);
  }
  return StartStopwatch();
}

int Stopwatch::ResumeMemorized(const std::function<bool(StopwatchDialogModel&)>& choose_set) {
  core::TimeRecord fresh = record_;
  fresh.description.clear();
  core::NewTimeRecordForUser(fresh, context_.user_name);
  const bool was_open = dialog_open();
  if (int result = StopForResume(); result != 0) return result;
  CloseStopwatchDialog();
  const std::int32_t state = record_.stopwatchState;
  record_ = fresh;
  record_.stopwatchState = state;
  record_.pauseOrigin = 0;
  StopwatchDialogModel& dialog = OpenStopwatchDialog();
  if (int result = StartStopwatch(); result != 0) return result;
  const bool confirmed = choose_set && choose_set(dialog);
  if (confirmed && !was_open &&
      General(context_, app::GeneralConfigKey::kShowCardWhenStart) == 0) {
    CloseStopwatchDialog();
  }
  return 0;
}

StopwatchDialogModel& Stopwatch::OpenStopwatchDialog() {
  if (!dialog_) dialog_ = std::make_unique<StopwatchDialogModel>(*this);
  return *dialog_;
}

void Stopwatch::CloseStopwatchDialog() {
  if (!dialog_) return;
  dialog_->Hide();
  dialog_.reset();
}

}  // namespace qm::stopwatch
