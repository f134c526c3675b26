#include "app/settings_files.h"

#include "app/settings.h"
#include "platform/paths.h"

namespace qm::app {

std::string ProgramSettingsPath(const std::string& program_directory,
                                const std::string& ini_option) {
  if (!ini_option.empty()) return ini_option;
  std::string path = platform::JoinPath(program_directory, kProgramSettingsFileName);
  if (std::optional<std::string> existing = platform::FindFileIgnoringCase(path)) {
    return *existing;
  }
  return path;
}

std::string SupportDirectory(CSettings& program_settings,
                             const std::string& program_directory) {
  std::string configured =
      program_settings.GetString(kSpecialSection, kSupportDirectoryKey, "");
  if (!configured.empty()) return configured;
  return platform::JoinPath(program_directory, "support");
}

}  // namespace qm::app
