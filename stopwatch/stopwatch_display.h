// What the main window shows of the stopwatch outside its dialog: the
// status-bar text, the minimised window's text and caption, the window
// menu's information lines, and the clock timer that drives them.
#pragma once

#include <string>
#include <string_view>

#include "core/day_progress.h"
#include "core/time_record.h"
#include "stopwatch/stopwatch.h"

namespace qm::stopwatch {

// "Stopwatch: Inactive", "Stopwatch: Running (Duration: %s)" or
// "Stopwatch: Paused (Duration: %s)", the elapsed time in the user's
// duration format.
std::string StopwatchStatusText(std::int32_t state, core::Seconds elapsed);
std::string StopwatchStatusText(const Stopwatch& stopwatch);

// The state as one word, as listings print it: "inactive", "running" or
// "paused" (a state outside 0-2 counts as stopped).
std::string_view StopwatchStateName(std::int32_t state);

// IconType values: what the minimised window shows.
inline constexpr int kIconOnly = 0;
inline constexpr int kIconTime = 1;
inline constexpr int kIconTodaysHours = 2;
inline constexpr int kIconCompletion = 3;

// The text of the minimised window, cut before its last blank so that a
// time loses its AM/PM and an hours value its unit word; "" for IconType 0.
std::string MinimizedText(int icon_type, const core::DailyProgressValues& progress);
// "<text> <state word> CQM".
std::string MinimizedCaption(std::string_view text, std::int32_t state);

// The three disabled lines at the top of the window menu.
struct WindowMenuInfo {
  std::string current_time;   // "Current Time:\t%s"
  std::string todays_hours;   // "Today's Hours:\t%s"
  std::string completion_at;  // "Completion at:\t%s"
};
WindowMenuInfo WindowMenuLines(const core::DailyProgressValues& progress);

// Which stopwatch commands the menus enable.
struct StopwatchMenuState {
  bool start = false;
  bool pause = false;
  bool pause_checked = false;
  bool stop = false;
  bool operator==(const StopwatchMenuState&) const = default;
};
StopwatchMenuState MenuState(std::int32_t state);

// Milliseconds between clock ticks; 0 when the timer is stopped (minimised
// with only the icon showing).
inline constexpr int kTickPeriod = 400;
inline constexpr int kMinimizedTickPeriod = 2000;
int TimerPeriod(bool minimized, int icon_type);

// The clock timer's tick: the open dialog's clock, and while minimised the
// caption, renewed only when its text changed.
class StopwatchTicker {
 public:
  // `records` is the open database (null when none).
  StopwatchTicker(Stopwatch& stopwatch, const core::RecordsByEndTime* records)
      : stopwatch_(stopwatch), records_(records) {}

  // True when the minimised caption changed and must be redrawn.
  bool Tick(bool minimized);
  const std::string& caption() const { return caption_; }
  core::DailyProgressValues Progress() const;

 private:
  Stopwatch& stopwatch_;
  const core::RecordsByEndTime* records_;
  std::string caption_;
};

}  // namespace qm::stopwatch
