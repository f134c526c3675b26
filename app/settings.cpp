#include "app/settings.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text_case.h"

namespace qm::app {
namespace {

constexpr std::string_view kUserInfoSection = "UserInfo";
constexpr std::string_view kUserNameKey = "UserName";
constexpr int kMaxUserFileCounter = 999;

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Profile values come back without surrounding blanks.
std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

int LeadingInt(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  long long value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    ++pos;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

std::string IntListText(const std::vector<int>& values) {
  std::string text;
  for (int value : values) {
    text += std::to_string(value);
    text += ',';
  }
  return text;
}

std::vector<int> ParseIntList(std::string_view text, std::size_t count) {
  if (text.size() > kMaxIntListText) text = text.substr(0, kMaxIntListText);
  std::vector<int> values;
  std::size_t pos = 0;
  while (values.size() < count && pos < text.size()) {
    std::size_t end = text.find_first_of(", \t", pos);
    if (end == std::string_view::npos) end = text.size();
    if (end > pos) values.push_back(LeadingInt(text.substr(pos, end - pos)));
    pos = end + 1;
  }
  return values;
}

std::string UserFileStem(std::string_view user_name) {
  std::string stem;
  for (char c : user_name) {
    if (stem.size() == 8) break;
    unsigned char byte = static_cast<unsigned char>(c);
    if (IsAsciiAlnum(byte)) stem += static_cast<char>(std::tolower(byte));
  }
  return stem;
}

platform::Status FindUserSettingsFile(const std::string& support_directory,
                                      std::string_view user_name,
                                      UserSettingsFile& found) {
  const std::string stem = UserFileStem(user_name);
  for (int counter = 0; counter <= kMaxUserFileCounter; ++counter) {
    std::string name = stem;
    if (counter == 0) {
      name += ".ini";
    } else {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, ".%-3.3d", counter);
      name += suffix;
    }
    const std::string candidate = platform::JoinPath(support_directory, name);
    std::optional<std::string> existing = platform::FindFileIgnoringCase(candidate);
    if (!existing) {
      found = UserSettingsFile{candidate, false};
      return platform::Status::Ok();
    }
    if (platform::Status readable = platform::CheckProfileFile(*existing); !readable) {
      return platform::Status::Error("The settings file '" + *existing +
                                     "' cannot be read as a settings file: " +
                                     readable.message());
    }
    // The whole stored name is compared: a name as long as the person
    // descriptor allows must find its own file again.
    const std::string owner =
        platform::GetProfileString(*existing, kUserInfoSection, kUserNameKey, "");
    if (owner == TrimBlanks(user_name)) {
      found = UserSettingsFile{*existing, true};
      return platform::Status::Ok();
    }
  }
  return platform::Status::Error("Every settings file name for the user '" +
                                 std::string(user_name) + "' in '" + support_directory +
                                 "' is taken.");
}

void CSettings::Bind(std::string path) {
  path_ = std::move(path);
  user_name_.clear();
  bound_with_user_ = false;
}

platform::Status CSettings::BindUser(const std::string& support_directory,
                                     std::string_view user_name) {
  if (user_name.size() > kMaxUserNameLength) {
    return platform::Status::Error("The user name '" + std::string(user_name) +
                                   "' is longer than " +
                                   std::to_string(kMaxUserNameLength) + " characters.");
  }
  UserSettingsFile file;
  if (platform::Status status = FindUserSettingsFile(support_directory, user_name, file);
      !status) {
    return status;
  }
  if (platform::Status status = platform::WriteProfileString(file.path, kUserInfoSection,
                                                             kUserNameKey, user_name);
      !status) {
    return status;
  }
  path_ = file.path;
  user_name_.assign(user_name);
  bound_with_user_ = true;
  section_.assign(kUserInfoSection);
  return platform::Status::Ok();
}

std::string CSettings::GetString(std::string_view section, std::string_view key,
                                 std::string_view default_value, std::size_t max_length) {
  Enter(section);
  std::string value = platform::GetProfileString(path_, section, key, default_value);
  if (value.size() > max_length) value.resize(max_length);
  return value;
}

int CSettings::GetInt(std::string_view section, std::string_view key, int default_value) {
  Enter(section);
  return platform::GetProfileInt(path_, section, key, default_value);
}

bool CSettings::HasKey(std::string_view section, std::string_view key) {
  Enter(section);
  for (const std::string& name : platform::ProfileKeys(path_, section)) {
    if (platform::EqualsIgnoringCase(name, key)) return true;
  }
  return false;
}

platform::Status CSettings::WriteString(std::string_view section, std::string_view key,
                                        std::string_view text) {
  Enter(section);
  return platform::WriteProfileString(path_, section, key, text);
}

platform::Status CSettings::WriteInt(std::string_view section, std::string_view key,
                                     int value) {
  Enter(section);
  return platform::WriteProfileInt(path_, section, key, value);
}

platform::Status CSettings::DeleteKey(std::string_view section, std::string_view key) {
  Enter(section);
  return platform::DeleteProfileKey(path_, section, key);
}

platform::Status CSettings::DeleteSection(std::string_view section) {
  Enter(section);
  return platform::DeleteProfileSection(path_, section);
}

std::vector<int> CSettings::GetIntList(std::string_view section, std::string_view key,
                                       std::size_t count) {
  Enter(section);
  if (!HasKey(section, key)) return {};
  return ParseIntList(platform::GetProfileString(path_, section, key, ""), count);
}

platform::Status CSettings::WriteIntList(std::string_view section, std::string_view key,
                                         const std::vector<int>& values) {
  Enter(section);
  if (values.size() > kMaxIntListValues) {
    return platform::Status::Error("A list of " + std::to_string(values.size()) +
                                   " values cannot be stored; at most " +
                                   std::to_string(kMaxIntListValues) + " fit.");
  }
  return platform::WriteProfileString(path_, section, key, IntListText(values));
}

}  // namespace qm::app
