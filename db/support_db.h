// SupportDb: the support file beside a time record database (N.dbf has
// N.SPT), a small dBASE table used as a store of sections and entries.
//
// It holds what the users of one database share besides the records: who
// has it open, the edit locks of records, the change counter, passwords and
// each user's running stopwatch record. One row is one entry:
//
//   SECTION C 35 | ENTRY C 35 | VALUE C 250 | OTHER N 5 (left blank)
//
// Rows are found by a scan in record order; the place of a deleted row is
// reused by the next new entry. Every row change is made under the
// engine's record or append lock, released at once, so several users can
// write different entries of one file; a write that others must see at once
// is flushed.
//
// Earlier versions kept the support file as profile-style text. Such a file
// is converted when it is first opened: the activity and lock sections are
// kept, passwords and stopwatch records are dropped (the user is told so).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/support_store.h"
#include "core/time_record.h"
#include "engine/db_table.h"
#include "engine/table.h"

namespace qm::db {

// Results and messages of the support file.
inline constexpr int kSupportNotFound = 183;           // no such entry
inline constexpr int kSupportEntryClaimed = 1;         // another user's value is in the entry
inline constexpr int kSupportNotOpen = 441;            // "The file %s is invalid or not opened."
inline constexpr int kSupportUnavailable = 461;        // writes after a fatal engine error
inline constexpr int kSupportLocked = 435;             // a row lock was refused
inline constexpr int kSupportCannotOpen = 288;
inline constexpr int kSupportFlushFailed = 125;
inline constexpr int kSupportConversionNotice = 436;
inline constexpr int kSupportConversionDone = 437;
inline constexpr int kSupportConversionOpenFailed = 438;
inline constexpr int kSupportConversionCorrupt = 439;
inline constexpr int kSupportConversionFailed = 440;
inline constexpr int kSupportConversionCannotRead = 104;
inline constexpr int kStopwatchSaveFailed = 273;
inline constexpr int kSupportWriteFailed = 129;

inline constexpr std::size_t kSupportValueWidth = 250;
// Separates the items of a stored stopwatch record.
inline constexpr char kStopwatchItemEnd = static_cast<char>(254);

// Sections and entries the program shares through the file.
inline constexpr std::string_view kUsersSection = "Users";
inline constexpr std::string_view kUserCountSection = "UserCount";
inline constexpr std::string_view kActiveUsersEntry = "NumActiveUsers";
inline constexpr std::string_view kUserLocksSection = "UserLocks";
inline constexpr std::string_view kEntireDatabaseEntry = "EntireDatabase";
inline constexpr std::string_view kIndexSection = "Index";
inline constexpr std::string_view kChangesEntry = "Changes";
inline constexpr std::string_view kIdSection = "ID";
inline constexpr std::string_view kFileDataVersionEntry = "FileDataVersion";

// The support file of a database: its path with the extension replaced by
// ".SPT" (the folder and base name keep their case: Linux names are exact).
std::string SupportFileName(std::string_view database_file);

class SupportDb final : public engine::DbTable, public app::SupportStore {
 public:
  SupportDb(engine::TableEngine& engine, engine::TableReporter& reporter);
  ~SupportDb() override;

  // The user named in the file's entries and log lines.
  void set_user_name(std::string user_name) { user_name_ = std::move(user_name); }
  const std::string& user_name() const { return user_name_; }

  // After a fatal engine error the program is shutting down: writes give
  // 461, reads their defaults, and the file is left as it is.
  void BeginShutdown() { shutting_down_ = true; }

  // Makes `file_name` the open support file (converting an old text one,
  // creating a missing one). 0, or the code of the reported failure.
  int OpenSupport(const std::string& file_name);
  int CloseSupport();
  // 0; 435 after message 435 when a row is locked; 125 on another failure.
  int FlushSupport();

  // --- Access naming the support file: the named file becomes the open one.
  std::string GetSupportString(std::string_view section, std::string_view entry,
                               std::string_view default_value, const std::string& file);
  // As above, cut to `size` - 1 characters: the caller's buffer form.
  std::string GetSupportString(std::string_view section, std::string_view entry,
                               std::string_view default_value, std::size_t size,
                               const std::string& file);
  int GetSupportInt(std::string_view section, std::string_view entry, int default_value,
                    const std::string& file);
  int WriteSupportString(std::string_view section, std::string_view entry,
                         std::string_view value, const std::string& file, bool flush);
  int WriteSupportInt(std::string_view section, std::string_view entry, int value,
                      const std::string& file, bool flush);

  // --- SupportStore: the same on the open file.
  std::string GetSupportString(std::string_view section, std::string_view entry,
                               std::string_view default_value) override;
  int GetSupportInt(std::string_view section, std::string_view entry,
                    int default_value) override;
  int WriteSupportString(std::string_view section, std::string_view entry,
                         std::string_view value, bool flush) override;
  int WriteSupportInt(std::string_view section, std::string_view entry, int value,
                      bool flush) override;
  int DeleteSupportEntry(std::string_view section, std::string_view entry,
                         bool flush) override;
  int DeleteSupportSection(std::string_view section, bool flush) override;

  // Adds `delta` to an integer entry (absent counts as 0) under the file's
  // append lock and the entry's row lock, so that users counting at the
  // same time all count; a result below `minimum` is stored as `minimum`.
  // 0 with `value` set to what was stored, or the code of the failure.
  int AddToSupportInt(std::string_view section, std::string_view entry, int delta, int minimum,
                      bool flush, int& value);

  // Writes `claimant` as the entry's value unless it holds another
  // non-empty value, all as one step against other users doing the same.
  // 0 when the entry is now (or already was) the claimant's; 1 with
  // `holder` set when another holds it; else the code of the failure.
  int ClaimSupportEntry(std::string_view section, std::string_view entry,
                        std::string_view claimant, std::string& holder);

  // The index-th entry name of `section` in record order, "" past the last.
  // Served from a cache of one section's names, rebuilt when another
  // section is asked for or after InvalidateEntryNames.
  std::string SupportEntryName(std::string_view section, std::size_t index);
  void InvalidateEntryNames() { names_valid_ = false; }

  // --- The stopwatch record of a user, in the section named after them.
  // 0, or 273 after message 273.
  int SaveStopwatchRecord(const std::string& database_file, const core::TimeRecord& record);
  // 183 when the user has none. `user` empty: the current user.
  int LoadStopwatchRecord(const std::string& database_file, core::TimeRecord& record,
                          std::string_view user = {});

  // --- Who has the database open.
  // Writes "Users"/user as 1 or 0 and counts "NumActiveUsers" up or down
  // (never below 0). 0, or 129 after message 129.
  int SetUserActive(const std::string& database_file, std::string_view user, bool active);
  bool IsUserActive(const std::string& database_file, std::string_view user);
  int ActiveUserCount();
  int SetActiveUserCount(int count);

  const std::string& open_file() const { return open_file_; }

 private:
  void WriteNoPasswordMarker();
  // Positions on the entry's row: 0, or 183 (free_row_ then names the last
  // deleted row seen, 0 for none).
  int FindEntry(std::string_view section, std::string_view entry, bool release_locks = true);
  // Runs `update` on the entry's value (nothing when absent) under the
  // append and row locks; a value it returns is stored, nothing leaves the
  // entry as it is.
  using EntryUpdate =
      std::function<std::optional<std::string>(const std::optional<std::string>& current)>;
  int UpdateEntry(std::string_view section, std::string_view entry, bool flush,
                  const EntryUpdate& update);
  int SetValue(std::string_view section, std::string_view entry, std::string_view value,
               bool flush);
  // Marks the current row deleted under its lock.
  int DeleteCurrentRow();
  // The value of the current row, trailing white space removed.
  std::string CurrentValue() const;
  std::optional<std::string> FindValue(std::string_view section, std::string_view entry);
  bool Ready() const { return is_open() && !shutting_down_; }
  void LogEngineResult(int line, int result);
  // Opens or creates the table with the settings the support file needs.
  int OpenSupportTable(const std::string& file_name);
  int ConvertTextFile(const std::string& file_name);

  std::string user_name_;
  std::string open_file_;
  bool shutting_down_ = false;
  engine::RecordNumber free_row_ = 0;
  std::optional<engine::Field> section_field_;
  std::optional<engine::Field> entry_field_;
  std::optional<engine::Field> value_field_;
  std::optional<engine::Field> other_field_;

  std::string names_section_;
  std::vector<std::string> names_;
  bool names_valid_ = false;
};

// Whether `file_name` is a support file in the old profile-style text form.
bool IsTextSupportFile(const std::string& file_name);

}  // namespace qm::db
