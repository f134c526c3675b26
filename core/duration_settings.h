// DurationSettings: the user's choices that the time arithmetic follows.
//
// The application shell reads them from the person's settings file and
// installs them at start-up and whenever the options change; the handheld
// conduit installs its own. Tests install what they need with
// ScopedDurationSettings.
#pragma once

#include "core/time_stamp.h"

namespace qm::core {

// PauseHandling values.
inline constexpr int kPauseAddToStart = 0;        // "Add Pause Duration to Start Time"
inline constexpr int kPauseSubtractFromEnd = 1;   // "Subtract Pause Duration from End Time"
inline constexpr int kPauseRetain = 2;            // "Retain Pause Information"

struct DurationSettings {
  // Shorter work counts as this long (seconds); 0 for none.
  Seconds MinimumDuration = 0;
  // Time above the minimum is rounded up to whole increments (seconds).
  Seconds DurationIncrement = 0;
  // Non-zero: a group's fee is its shown hours times its average rate in cents.
  int RoundBeforeMultiplying = 1;
  // How durations are shown, 0 to 7 (see duration_text.h).
  int DurationFormat = 4;
  // How a pause is folded into a record when it is saved.
  int PauseHandling = kPauseRetain;
  // 1: records are entered as a date and a duration ("Duration-Only Mode").
  int DurationMode = 0;
  // The day's target (seconds).
  Seconds DailyGoal = 28800;
};

// The settings in force for this process.
const DurationSettings& CurrentDurationSettings();
void InstallDurationSettings(const DurationSettings& settings);

// Installs settings for the lifetime of the object and restores the
// previous ones after.
class ScopedDurationSettings {
 public:
  explicit ScopedDurationSettings(const DurationSettings& settings);
  ~ScopedDurationSettings();
  ScopedDurationSettings(const ScopedDurationSettings&) = delete;
  ScopedDurationSettings& operator=(const ScopedDurationSettings&) = delete;

 private:
  DurationSettings previous_;
};

}  // namespace qm::core
