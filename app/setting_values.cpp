#include "app/setting_values.h"

#include <cctype>

#include "app/settings.h"
#include "platform/profile.h"
#include "platform/text_case.h"

namespace qm::app {
namespace {

bool IsDiagnosticEntry(const SettingDefinition& definition) {
  return platform::EqualsIgnoringCase(definition.section, "InternalError");
}

}  // namespace

platform::Status CheckSettingsFile(const std::string& path) {
  if (platform::Status status = platform::CheckProfileFile(path); !status) {
    return platform::Status::Error("The settings file '" + path +
                                   "' cannot be read as a settings file (" +
                                   status.message() + ").  Nothing was changed.");
  }
  return platform::Status::Ok();
}

SettingValue EffectiveValue(CSettings& settings, const SettingDefinition& definition) {
  SettingValue result;
  result.section = definition.section;
  result.key = definition.key;
  result.definition = &definition;
  result.from_file = settings.HasKey(definition.section, definition.key);
  switch (definition.type) {
    case SettingType::kInteger:
      result.value = std::to_string(
          settings.GetInt(definition.section, definition.key,
                          LeadingInt(definition.default_value)));
      break;
    case SettingType::kIntList:
      if (result.from_file) {
        result.value = IntListText(
            settings.GetIntList(definition.section, definition.key, definition.max_length));
      } else {
        result.value = definition.default_value;
      }
      break;
    case SettingType::kText:
    case SettingType::kPath:
      result.value = settings.GetString(definition.section, definition.key,
                                        definition.default_value, definition.max_length);
      break;
  }
  return result;
}

std::vector<SettingValue> ListSettings(CSettings& settings,
                                       const std::vector<SettingDefinition>& catalogue,
                                       SettingsFileKind file,
                                       std::string_view section_filter) {
  std::vector<SettingValue> listing;
  auto wanted = [&](std::string_view section) {
    return section_filter.empty() || platform::EqualsIgnoringCase(section, section_filter);
  };
  for (const SettingDefinition& definition : catalogue) {
    if (definition.file != file || !wanted(definition.section)) continue;
    listing.push_back(EffectiveValue(settings, definition));
  }
  for (const std::string& section : platform::ProfileSections(settings.path())) {
    if (!wanted(section)) continue;
    for (const std::string& key : platform::ProfileKeys(settings.path(), section)) {
      if (FindSetting(catalogue, file, section, key)) continue;
      SettingValue extra;
      extra.section = section;
      extra.key = key;
      extra.value = settings.GetString(section, key, "", std::string::npos);
      extra.from_file = true;
      listing.push_back(std::move(extra));
    }
  }
  // Diagnostic entries are listed where they are: the ring is not padded
  // out with forty empty lines.
  std::erase_if(listing, [](const SettingValue& value) {
    return value.definition && IsDiagnosticEntry(*value.definition) && !value.from_file &&
           value.key != "Current";
  });
  return listing;
}

std::optional<SettingValue> ReadSetting(CSettings& settings,
                                        const std::vector<SettingDefinition>& catalogue,
                                        SettingsFileKind file, std::string_view section,
                                        std::string_view key) {
  if (const SettingDefinition* definition = FindSetting(catalogue, file, section, key)) {
    return EffectiveValue(settings, *definition);
  }
  if (!settings.HasKey(section, key)) return std::nullopt;
  SettingValue value;
  value.section.assign(section);
  value.key.assign(key);
  value.value = settings.GetString(section, key, "", std::string::npos);
  value.from_file = true;
  return value;
}

platform::Status WriteSetting(CSettings& settings,
                              const std::vector<SettingDefinition>& catalogue,
                              SettingsFileKind file, std::string_view section,
                              std::string_view key, std::string_view value) {
  if (std::optional<std::string> problem = CheckSettingName(section, key)) {
    return platform::Status::Error(*problem + "  Nothing was changed.");
  }
  const SettingDefinition* definition = FindSetting(catalogue, file, section, key);
  if (std::optional<std::string> problem = CheckSettingValue(definition, section, key, value)) {
    return platform::Status::Error(*problem + "  Nothing was changed.");
  }
  if (platform::Status status = CheckSettingsFile(settings.path()); !status) return status;
  if (!definition) return settings.WriteString(section, key, value);
  switch (definition->type) {
    case SettingType::kInteger:
      return settings.WriteInt(definition->section, definition->key, LeadingInt(value));
    case SettingType::kIntList:
      return settings.WriteIntList(definition->section, definition->key,
                                   ParseIntList(value, kMaxIntListValues));
    case SettingType::kText:
    case SettingType::kPath:
      break;
  }
  return settings.WriteString(definition->section, definition->key, value);
}

}  // namespace qm::app
