// Where the two settings files of a run live.
//
// The program settings file is QUILLMK.INI in the program directory unless
// the command line names another one. The user settings files live in the
// support directory, which the program settings may move elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace qm::app {

class CSettings;

inline constexpr std::string_view kProgramSettingsFileName = "QUILLMK.INI";
inline constexpr std::string_view kSpecialSection = "Special";
inline constexpr std::string_view kSupportDirectoryKey = "Support Directory";

// `ini_option` when it is given; else QUILLMK.INI in `program_directory`,
// an existing file of that name in any case ("quillmk.ini") preferred.
std::string ProgramSettingsPath(const std::string& program_directory,
                                const std::string& ini_option);

// "Special"/"Support Directory" of the program settings, or
// `program_directory`/support when that is empty. Not created here: the
// caller that writes into it creates it.
std::string SupportDirectory(CSettings& program_settings,
                             const std::string& program_directory);

}  // namespace qm::app
