// Reading and writing single settings by section and key, as a person
// inspects or edits them from outside the program (the command line, an
// editor of the options).
//
// The effective value of a key is what the program uses: the value in the
// file, read the way the program reads that key, or its default when the
// file has none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_catalog.h"
#include "platform/status.h"

namespace qm::app {

class CSettings;

struct SettingValue {
  std::string section;
  std::string key;
  std::string value;
  bool from_file = false;
  // nullptr for a key the file holds that the catalogue does not document.
  const SettingDefinition* definition = nullptr;
};

// The effective value of a documented key.
SettingValue EffectiveValue(CSettings& settings, const SettingDefinition& definition);

// Every documented key of `file` in catalogue order, followed by the keys
// the file holds that the catalogue does not document (in file order).
// With `section_filter` given, only that section (matched without regard
// to case). The diagnostic entries "Error0" ... "Error39" are listed only
// when present.
std::vector<SettingValue> ListSettings(CSettings& settings,
                                       const std::vector<SettingDefinition>& catalogue,
                                       SettingsFileKind file,
                                       std::string_view section_filter = {});

// The value of `section`/`key`: the effective value of a documented key,
// the stored text of another key, nullopt for an undocumented key the file
// does not hold.
std::optional<SettingValue> ReadSetting(CSettings& settings,
                                        const std::vector<SettingDefinition>& catalogue,
                                        SettingsFileKind file, std::string_view section,
                                        std::string_view key);

// Checks the names and the value, then writes it: a documented key under
// its documented spelling (the file's own spelling of an existing section
// or key is kept), an integer in its plain decimal form. Nothing is written
// when a check fails or when the file is not readable text.
platform::Status WriteSetting(CSettings& settings,
                              const std::vector<SettingDefinition>& catalogue,
                              SettingsFileKind file, std::string_view section,
                              std::string_view key, std::string_view value);

// Whether `path` may be read and written as a settings file: readable text,
// or not there yet.
platform::Status CheckSettingsFile(const std::string& path);

}  // namespace qm::app
