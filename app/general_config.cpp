#include "app/general_config.h"

#include <cctype>

#include "app/settings.h"

namespace qm::app {

const std::array<GeneralConfigDefinition, kGeneralConfigKeyCount>& GeneralConfigTable() {
  static constexpr std::array<GeneralConfigDefinition, kGeneralConfigKeyCount> kTable = {{
      {"IconType", 1},
      {"FancyDialogs", 0},
      {"DisplaySubtotals", 0},
      {"DisplayTasks", 1},
      {"EnableDeleteAll", 0},
      {"NovicePrompts", 1},
      {"ContinuousEntry", 0},
      {"WarnOnDelete", 1},
      {"PauseHandling", 2},
      {"WindowTop", -1},
      {"WindowLeft", -1},
      {"WindowBottom", -1},
      {"WindowRight", -1},
      {"WindowState", 1},
      {"RestorePosition", 1},
      {"ToolBarOn", 1},
      {"StatusBarOn", 1},
      {"DescriptionHandling", 0},
      {"WarnWhenCloseInProgress", 0},
      {"TaskCardX", -1},
      {"TaskCardY", -1},
      {"EnablePause", 1},
      {"GrayWindowBackground", 1},
      {"HeightDependsOnDescription", 1},
      {"RoundBeforeMultiplying", 1},
      {"ShowCardWhenStart", 1},
      {"LinkProjectToClient", 0},
      {"LinkRateToClient", 0},
      {"XXXNotUsed", 1},
      {"UseSmallStopwatch", 0},
      {"StopwatchOnTop", 0},
      {"ShowSecondsInStopwatch", 1},
      {"DefaultTimeBetweenTasks", 0},
      {"DurationMode", 0},
      {"HideHourlyRate", 0},
      {"AllowOverlappingTasks", 0},
      {"ExportQuickenData", 0},
      {"NumSubtotalLevels", 0},
      {"MinimumDuration", 0},
      {"DurationIncrement", 0},
      {"PollForChanges", 0},
      {"PollPeriod", 5},
      {"ExportQuickbooksData", 0},
      {"PrintFromQuickbooks", 0},
      {"PrintMode", 2},
  }};
  return kTable;
}

std::optional<GeneralConfigKey> FindGeneralConfigKey(std::string_view name) {
  const auto& table = GeneralConfigTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    std::string_view key = table[i].key;
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t c = 0; c < key.size() && same; ++c) {
      same = std::tolower(static_cast<unsigned char>(key[c])) ==
             std::tolower(static_cast<unsigned char>(name[c]));
    }
    if (same) return static_cast<GeneralConfigKey>(i);
  }
  return std::nullopt;
}

GeneralConfig::GeneralConfig() {
  const auto& table = GeneralConfigTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    loaded_[i] = current_[i] = table[i].default_value;
  }
}

void GeneralConfig::Load(CSettings& user_settings) {
  const auto& table = GeneralConfigTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    loaded_[i] = current_[i] =
        user_settings.GetInt(kGeneralConfigSection, table[i].key, table[i].default_value);
  }
}

platform::Status GeneralConfig::Save(CSettings& user_settings, bool only_changed) {
  const auto& table = GeneralConfigTable();
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (only_changed && current_[i] == loaded_[i]) continue;
    if (platform::Status status =
            user_settings.WriteInt(kGeneralConfigSection, table[i].key, current_[i]);
        !status) {
      return status;
    }
    loaded_[i] = current_[i];
  }
  return platform::Status::Ok();
}

}  // namespace qm::app
