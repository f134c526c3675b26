// Stopwatch: the person's live timer over their stopwatch record in the
// support file, with its three states (inactive, running, paused).
//
// The record lives in the support file, not in the process: every change of
// state is written back at once, so a running stopwatch survives the end of
// the program and is seen, with the same start, by the next run on any
// machine that opens the database.
//
// While the stopwatch dialog is open the commands press its buttons, so
// that what the user typed into the dialog is what gets saved.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "core/time_record.h"
#include "core/time_stamp.h"
#include "stopwatch/entry_context.h"

namespace qm::stopwatch {

class StopwatchDialogModel;

// Module names under which states that must not occur are reported.
inline constexpr std::string_view kStopwatchModule = "TRTASK";
inline constexpr std::string_view kStopwatchDialogModule = "swtask";

inline constexpr int kStartEqualsEnd = 166;
inline constexpr int kDescriptionMissing = 218;
inline constexpr int kResumeStartEqualsEnd = 225;
inline constexpr int kResumeDescriptionMissing = 226;
inline constexpr int kResumedWithBlankDescription = 384;
inline constexpr int kOperationIncomplete = 125;
inline constexpr int kNotAllowedInThisState = 99;

// The part of a person text that a saved record carries: everything before
// the first "{" (the stopwatch keeps the whole text).
std::string_view SavedPersonText(std::string_view person);

// The pause a record has accumulated at `now`: while paused the whole
// minutes since the pause origin, otherwise the stored pause.
core::Seconds TotalPause(const core::TimeRecord& record, core::TimeStamp now);

class Stopwatch {
 public:
  // `record` is the run's copy of the support-file stopwatch record; it
  // must outlive the stopwatch.
  Stopwatch(EntryContext& context, core::TimeRecord& record);
  ~Stopwatch();
  Stopwatch(const Stopwatch&) = delete;
  Stopwatch& operator=(const Stopwatch&) = delete;

  EntryContext& context() { return context_; }
  // The support-file copy.
  core::TimeRecord& record() { return record_; }
  const core::TimeRecord& record() const { return record_; }

  bool StopwatchActive() const;
  // Seconds of work so far: from the dialog's boxes while it is open (0
  // when a box cannot be read), else from the record.
  core::Seconds StopwatchElapsed() const;

  // Starts an inactive `record` at the current minute or stops an active
  // one into a new time record, after which the stopwatch keeps its
  // descriptors but not the description or expense. On a failed save the
  // record stays running.
  // 0 or the message of the failure.
  int ToggleStopwatch(core::TimeRecord& record);

  // The menu commands. Each saves the record to the support file after a
  // change. StopFromMenu refuses (166, 218) a record that could not be
  // saved and opens the dialog for the user to mend it.
  int StartStopwatch();
  int StopFromMenu();
  int TogglePause();
  // Makes `selected` the stopwatch's next record and starts it now, after
  // stopping a running stopwatch (225, 226, 384; 125 when it kept running).
  int ResumeRecord(const core::TimeRecord& selected);
  // Starts a fresh record with the stopwatch's descriptors and lets
  // `choose_set` (the memorised descriptors dialog) fill the dialog's
  // descriptor boxes; false from it means cancelled.
  int ResumeMemorized(const std::function<bool(StopwatchDialogModel&)>& choose_set);

  // Writes the support-file copy. 0 or 273 (shown).
  int SaveRecord();

  // --- The dialog --------------------------------------------------------
  bool dialog_open() const { return dialog_ != nullptr; }
  // Null while closed.
  StopwatchDialogModel* dialog() { return dialog_.get(); }
  const StopwatchDialogModel* dialog() const { return dialog_.get(); }
  // Opens the dialog (or returns the open one).
  StopwatchDialogModel& OpenStopwatchDialog();
  // Reads the boxes without messages and saves them; nothing when closed.
  void CloseStopwatchDialog();

  // The start the dialog showed last, used when its start box cannot be
  // read; kNoTime before any.
  core::TimeStamp last_start_shown() const { return last_start_shown_; }
  void set_last_start_shown(core::TimeStamp start) { last_start_shown_ = start; }

 private:
  // Stops for a resume: 0 when the stopwatch is inactive afterwards.
  int StopForResume();
  // The duration a stop now would give (whole minutes), pause counted.
  core::Seconds WouldBeDuration(core::TimeStamp now) const;
  // StopFromMenu step 3: stops the record without asking.
  int StopNow();

  EntryContext& context_;
  core::TimeRecord& record_;
  std::unique_ptr<StopwatchDialogModel> dialog_;
  core::TimeStamp last_start_shown_ = core::kNoTime;
};

}  // namespace qm::stopwatch
