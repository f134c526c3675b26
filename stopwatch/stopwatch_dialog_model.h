// StopwatchDialogModel: the stopwatch dialog without its window — the
// boxes as texts, which controls the state enables, the title, and what
// each button does.
//
// The dialog holds its own working copy of the stopwatch record, read from
// the boxes whenever it is needed, so that what the user typed (a corrected
// start, a description) is what a stop saves. After every change of state,
// and when the dialog is hidden, the copy is written to the support file.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/time_record.h"
#include "core/time_stamp.h"
#include "stopwatch/record_boxes.h"

namespace qm::stopwatch {

class Stopwatch;

inline constexpr std::string_view kResetQuestion = "Are you sure you wish to reset the stopwatch?";
inline constexpr std::string_view kUnreadableDuration = "?????";
inline constexpr int kInvalidPauseShowing = 214;
inline constexpr int kCancelled = 127;

// Which controls the state enables.
struct StopwatchControls {
  bool start_boxes = false;  // the start date and time with their spin buttons
  bool pause_box = false;
  bool start_button = false;
  bool stop_buttons = false;  // "S&top" and "Stop&/Start New"
  bool pause_button = false;
  bool end_pause_button = false;
  bool operator==(const StopwatchControls&) const = default;
};

// The state word of titles and captions: "(Inactive)", "(Running)",
// "(PAUSED!)".
std::string_view StopwatchStateWord(std::int32_t state);

class StopwatchDialogModel {
 public:
  // Opening: the support-file record becomes the working copy, with the
  // person set to the signed-on user, and the boxes show it.
  explicit StopwatchDialogModel(Stopwatch& stopwatch);

  // The person box is hidden: descriptors[0] holds the user's person text.
  RecordBoxes& boxes() { return boxes_; }
  const RecordBoxes& boxes() const { return boxes_; }
  const std::string& now_date() const { return now_date_; }
  const std::string& now_time() const { return now_time_; }
  const std::string& duration_display() const { return duration_display_; }
  const core::TimeRecord& working() const { return working_; }

  std::string Title() const;
  StopwatchControls Controls() const;
  // "UseSmallStopwatch": the layout the dialog is built in.
  bool small_layout() const;
  // F8: the other layout from now on.
  void ToggleSmallLayout();
  // The labels of the client to hourly-rate boxes (index 1 to 5; index 0,
  // the hidden person box, is empty): the user's names and ":", only their
  // first four letters in the small layout.
  std::array<std::string, core::kDescriptorCount> DescriptorLabels() const;
  std::string_view ExpenseLabel() const;
  // Where the dialog goes: TaskCardX/Y unless either is -1.
  std::optional<std::array<int, 2>> Placement() const;
  bool on_top() const;
  // The front end tells where the dialog was when it is hidden.
  void set_position(int x, int y) { position_ = {x, y}; }

  // The timer's tick: the clock boxes when the second changed, the total
  // pause while paused, the duration while active.
  void Tick();
  // The seconds of work the boxes show, or nullopt when one cannot be read.
  std::optional<core::Seconds> ElapsedFromBoxes() const;

  // --- Buttons: 0, or the message of the failure (already shown).
  int PressStart();
  int PressStop();
  int PressStopStartNew();
  // Asks first; 127 when the user declines.
  int PressReset();
  int PressPause();
  int PressEndPause();
  // Hide and closing: the boxes are read without messages and saved.
  int Hide();
  // The hourly-rate box loses the focus: it shows the amount it holds.
  void LeaveRateBox();

 private:
  void ShowRecord();
  void ShowClock(core::TimeStamp now);
  // The working copy from the boxes, without checks.
  void ReadQuietly();
  int SaveWorking();

  Stopwatch& stopwatch_;
  core::TimeRecord working_{};
  RecordBoxes boxes_;
  std::string now_date_;
  std::string now_time_;
  std::string duration_display_;
  core::TimeStamp now_shown_ = core::kNoTime;
  std::optional<std::array<int, 2>> position_;
};

}  // namespace qm::stopwatch
