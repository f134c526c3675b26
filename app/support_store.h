// SupportStore: the shared key-value store that travels with a time record
// database (its support file), seen as sections of entries in the manner of
// a profile file.
//
// The application layer (passwords, user activity, stopwatches) uses this
// interface; the database layer implements it over the support table of the
// open database. Every read takes a default that is returned when the entry
// is absent; every write says whether it reached the store.
#pragma once

#include <string>
#include <string_view>

namespace qm::app {

// Result of deleting an entry that does not exist.
inline constexpr int kSupportEntryNotFound = 183;

class SupportStore {
 public:
  virtual ~SupportStore() = default;

  // The value of `entry` in `section` with trailing white space removed, or
  // `default_value` when the entry is absent. Section names compare without
  // regard to case; entry names too, except that their first characters must
  // be equal exactly.
  virtual std::string GetSupportString(std::string_view section, std::string_view entry,
                                       std::string_view default_value) = 0;
  // The value as a decimal integer; `default_value` when absent or empty.
  virtual int GetSupportInt(std::string_view section, std::string_view entry,
                            int default_value) = 0;

  // Store a value (at most 250 characters), creating the entry when absent.
  // `flush` makes the change visible to other users at once. 1 on success,
  // 0 on failure (the failure has been reported).
  virtual int WriteSupportString(std::string_view section, std::string_view entry,
                                 std::string_view value, bool flush) = 0;
  virtual int WriteSupportInt(std::string_view section, std::string_view entry, int value,
                              bool flush) = 0;

  // 0 on success, kSupportEntryNotFound when absent, another message number
  // when the change failed.
  virtual int DeleteSupportEntry(std::string_view section, std::string_view entry,
                                 bool flush) = 0;
  // Deletes every entry of the section; 0 when done (also when it had none).
  virtual int DeleteSupportSection(std::string_view section, bool flush) = 0;
};

}  // namespace qm::app
