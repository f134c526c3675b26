// GeneralConfig: the option switches of section "GeneralConfig" of the
// user settings file.
//
// Each entry keeps the value read at load and the current value. The rest
// of the program reads and changes the current values only; a save writes
// the entries whose current value differs from the loaded one, or all of
// them (the exit sequence rewrites the whole section, so a section deleted
// by hand comes back complete).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/status.h"

namespace qm::app {

class CSettings;

inline constexpr std::string_view kGeneralConfigSection = "GeneralConfig";

// In table order, which is also the order the keys are written.
enum class GeneralConfigKey {
  kIconType,
  kFancyDialogs,
  kDisplaySubtotals,
  kDisplayTasks,
  kEnableDeleteAll,
  kNovicePrompts,
  kContinuousEntry,
  kWarnOnDelete,
  kPauseHandling,
  kWindowTop,
  kWindowLeft,
  kWindowBottom,
  kWindowRight,
  kWindowState,
  kRestorePosition,
  kToolBarOn,
  kStatusBarOn,
  kDescriptionHandling,
  kWarnWhenCloseInProgress,
  kTaskCardX,
  kTaskCardY,
  kEnablePause,
  kGrayWindowBackground,
  kHeightDependsOnDescription,
  kRoundBeforeMultiplying,
  kShowCardWhenStart,
  kLinkProjectToClient,
  kLinkRateToClient,
  kXXXNotUsed,
  kUseSmallStopwatch,
  kStopwatchOnTop,
  kShowSecondsInStopwatch,
  kDefaultTimeBetweenTasks,
  kDurationMode,
  kHideHourlyRate,
  kAllowOverlappingTasks,
  kExportQuickenData,
  kNumSubtotalLevels,
  kMinimumDuration,
  kDurationIncrement,
  kPollForChanges,
  kPollPeriod,
  kExportQuickbooksData,
  kPrintFromQuickbooks,
  kPrintMode,
};

inline constexpr std::size_t kGeneralConfigKeyCount =
    static_cast<std::size_t>(GeneralConfigKey::kPrintMode) + 1;

struct GeneralConfigDefinition {
  std::string_view key;
  int default_value;
};

// The key names and defaults, in table order.
const std::array<GeneralConfigDefinition, kGeneralConfigKeyCount>& GeneralConfigTable();

// The entry of a key name (matched without regard to case).
std::optional<GeneralConfigKey> FindGeneralConfigKey(std::string_view name);

class GeneralConfig {
 public:
  // Every entry at its default, loaded and current alike.
  GeneralConfig();

  int Get(GeneralConfigKey key) const { return current_[Index(key)]; }
  void Set(GeneralConfigKey key, int value) { current_[Index(key)] = value; }
  int LoadedValue(GeneralConfigKey key) const { return loaded_[Index(key)]; }

  // Reads every key from the user settings file (the default where absent)
  // into both the loaded and the current value.
  void Load(CSettings& user_settings);
  // Writes the changed entries, or every entry when `only_changed` is false.
  // Stops at the first failed write and returns it; what was written is
  // then taken as loaded.
  platform::Status Save(CSettings& user_settings, bool only_changed);

 private:
  static std::size_t Index(GeneralConfigKey key) { return static_cast<std::size_t>(key); }

  std::array<int, kGeneralConfigKeyCount> loaded_{};
  std::array<int, kGeneralConfigKeyCount> current_{};
};

}  // namespace qm::app
