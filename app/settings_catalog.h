// The documented keys of both settings files: section, key, type, default
// and limit of each.
//
// Listings ("settings show") walk this catalogue, and every value that
// enters a settings file from outside (the command line, an options page)
// is checked against it first, so that an overlong or malformed value is
// refused with a clear message before anything is written.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::app {

enum class SettingsFileKind { kProgram, kUser };

enum class SettingType {
  kInteger,  // decimal text
  kText,     // text of at most `max_length` characters
  kPath,     // a file or directory path, at most 255 characters
  kIntList,  // "%d," list of at most `max_length` values
};

struct SettingDefinition {
  SettingsFileKind file = SettingsFileKind::kUser;
  std::string section;
  std::string key;
  SettingType type = SettingType::kInteger;
  std::string default_value;  // as the file would hold it; empty for none
  std::size_t max_length = 255;
  std::optional<int> minimum;
  std::optional<int> maximum;
  std::string meaning;
};

// What the defaults depend on.
struct SettingsContext {
  std::string program_directory;
  std::string support_directory;
  // The user's names of the six descriptor kinds; the record list's
  // headings of columns 0 to 5 default to them.
  std::array<std::string, 6> descriptor_names{
      "Person", "Client", "Project", "Subproject", "Activity", "Hourly Rate"};
};

// The built-in names of the six descriptor kinds.
const std::array<std::string_view, 6>& DefaultDescriptorNames();

// Every documented key of both files, section by section in file order.
std::vector<SettingDefinition> DocumentedSettings(const SettingsContext& context);

// The definition of `section`/`key` in `file` (names matched without regard
// to case), or nullptr for a key this program does not document.
const SettingDefinition* FindSetting(const std::vector<SettingDefinition>& catalogue,
                                     SettingsFileKind file, std::string_view section,
                                     std::string_view key);

// Why `section`/`key` cannot be written as names of a settings file (empty,
// brackets, "=", line breaks ...), or nullopt when they can.
std::optional<std::string> CheckSettingName(std::string_view section,
                                            std::string_view key);

// Why `value` cannot be stored under `definition` (nullptr: an undocumented
// key, which takes any single line of text of up to 255 characters), or
// nullopt when it can.
std::optional<std::string> CheckSettingValue(const SettingDefinition* definition,
                                             std::string_view section,
                                             std::string_view key,
                                             std::string_view value);

}  // namespace qm::app
