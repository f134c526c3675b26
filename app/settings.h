// CSettings: the accessor of one settings (INI) file.
//
// The program keeps two of them for a run: the program settings, bound
// without a user to QUILLMK.INI, and the user settings, bound to the file
// of the person in the support directory (see settings_files.h for where
// both live). Every operation names its section; the last one named is
// kept as the current section.
//
// Reads never fail: a missing file, section or key gives the default.
// Writes go through the platform profile functions, which replace the file
// atomically and refuse to rewrite a file that is not readable text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace qm::app {

// Integer lists are written "%d," per value; longer lists are refused.
inline constexpr std::size_t kMaxIntListValues = 80;
// Integer lists are read from at most this many characters of the value.
inline constexpr std::size_t kMaxIntListText = 400;
// User names, as the person descriptor holds them.
inline constexpr std::size_t kMaxUserNameLength = 35;

// The user settings file that belongs to `user_name` in `support_directory`:
// the letters and digits of the name (8 at most, lower case) + ".ini", or,
// while that file exists and is claimed by another name (key "UserName" of
// section "UserInfo"), + ".001", ".002" ... The first candidate that is
// free or claimed by this very name is returned. An existing file is found
// without regard to case, so files copied from Windows ("AnnLee.ini") are
// found again. Fails when a candidate is not a readable settings file (it
// is reported, not skipped, so that nobody's settings are silently left
// behind) and when all 999 numbered names are taken.
struct UserSettingsFile {
  std::string path;
  bool exists = false;  // false: the file is still to be created
};
platform::Status FindUserSettingsFile(const std::string& support_directory,
                                      std::string_view user_name,
                                      UserSettingsFile& found);

// The letters and digits kept from a user name for its file name.
std::string UserFileStem(std::string_view user_name);

class CSettings {
 public:
  CSettings() = default;

  // Binds to the file at `path`, without a user.
  void Bind(std::string path);
  // Binds to the user settings file of `user_name` in `support_directory`
  // and claims it by writing the name under "UserInfo"/"UserName". Refuses
  // names longer than kMaxUserNameLength. Nothing is bound on failure.
  platform::Status BindUser(const std::string& support_directory,
                            std::string_view user_name);

  const std::string& path() const { return path_; }
  const std::string& user_name() const { return user_name_; }
  bool bound_with_user() const { return bound_with_user_; }
  const std::string& current_section() const { return section_; }

  // The stored text, or `default_value`; at most `max_length` characters.
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view default_value,
                        std::size_t max_length = 255);
  // The leading decimal integer of the stored text, or `default_value`.
  int GetInt(std::string_view section, std::string_view key, int default_value);
  // Whether the key is present in the file at all.
  bool HasKey(std::string_view section, std::string_view key);

  platform::Status WriteString(std::string_view section, std::string_view key,
                               std::string_view text);
  platform::Status WriteInt(std::string_view section, std::string_view key, int value);
  platform::Status DeleteKey(std::string_view section, std::string_view key);
  platform::Status DeleteSection(std::string_view section);

  // Up to `count` integers of a "%d," list; empty when the key is missing.
  std::vector<int> GetIntList(std::string_view section, std::string_view key,
                              std::size_t count);
  // Writes the list as "%d," per value. Writes nothing and fails when there
  // are more than kMaxIntListValues values.
  platform::Status WriteIntList(std::string_view section, std::string_view key,
                                const std::vector<int>& values);

  // Every write already reaches the disk before it returns; kept so that
  // the exit sequence reads as designed.
  platform::Status Flush() { return platform::Status::Ok(); }

 private:
  void Enter(std::string_view section) { section_.assign(section); }

  std::string path_;
  std::string user_name_;
  std::string section_;
  bool bound_with_user_ = false;
};

// The "%d," text of an integer list, and its reading (split at commas and
// blanks, each part read like GetInt reads, up to `count` values).
std::string IntListText(const std::vector<int>& values);
std::vector<int> ParseIntList(std::string_view text, std::size_t count);

// The leading decimal integer of a text, as the profile functions read it.
int LeadingInt(std::string_view text);

}  // namespace qm::app
