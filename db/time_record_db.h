// TimeRecordDb: the time record database a user works in, the table of
// time records N.dbf with its support file N.SPT beside it.
//
// Records are addressed by record number, stable until the table is packed.
// Every change takes the engine's record or append lock and releases it at
// once after writing, so several users can change different records of one
// database on a shared drive. Longer holds (a record open in a dialog, a
// whole-database operation) are the logical edit locks kept in the support
// file, where also the change counter lives through which users learn of
// each other's changes.
//
// The table never has a production index. A temporary index file of this
// run's own, beside the database (temporary_index_name.h), holds the
// end-time tag DEFTAG (end date and time, deleted records left out) and,
// once the user index has built it, the user's sort and filter tag USERTAG.
// The records are read in the order of the display tag: USERTAG when the
// file has one, else DEFTAG, unless SetDisplayTag chose another.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_record.h"
#include "core/time_record_table.h"
#include "db/support_db.h"
#include "engine/db_table.h"
#include "engine/table.h"

namespace qm::db {

// Results and messages of the time record database.
inline constexpr int kNoSuchRecord = 9;
inline constexpr int kReadFailed = 123;
inline constexpr int kAccessFailed = 220;
inline constexpr int kEngineProblem = 221;       // "... problems accessing the database (code %d)..."
inline constexpr int kRecordBusy = 300;          // the engine refused a lock
inline constexpr int kOverlapRefused = 162;
inline constexpr int kCopyFailed = 336;
inline constexpr int kVersion2Layout = 399;
inline constexpr int kRecordEditLocked = 412;
inline constexpr int kDatabaseLocked = 420;
inline constexpr int kUnidentifiedError = 434;
inline constexpr int kNoChangeCounter = 272;
inline constexpr int kCannotOpenDatabase = 139;

inline constexpr int kNoTemporaryIndex = 272;  // nothing was done

inline constexpr std::string_view kEndTimeTagName = "DEFTAG";
inline constexpr std::string_view kUserTagName = "USERTAG";
inline constexpr std::string_view kEndTimeKey = "DTOS(END_DATE ) + END_TIME";
inline constexpr std::string_view kNotDeletedFilter = ".NOT. DELETED()";

// What the program's settings decide about the database.
struct TimeRecordDbOptions {
  bool single_user = false;              // "SingleUser": no locks, no shared entries
  bool pack_on_close = true;             // "PackOnClose"
  bool allow_overlapping_tasks = false;  // "AllowOverlappingTasks"
  // The end-time index is built at the open unless the caller builds the
  // temporary index itself at once (the user index holds both tags), so
  // that a large table is not indexed twice.
  bool end_time_index_at_open = true;
};

// The engine settings made once at start-up: lock attempts and delay
// ("NumLockAttempts", "LockDelay") and writes flushed at once in safe mode.
void InitDatabaseEngine(engine::TableEngine& engine, int lock_attempts, int lock_delay_hundredths,
                        bool safe_mode);

// The field list every time record table is created with.
const std::vector<engine::FieldSpec>& TimeRecordFieldSpecs();

// The current record of an open time record table, as core reads and
// writes it.
class TableTimeRecordRow final : public core::TimeRecordRow {
 public:
  // Nothing when the table lacks one of the seventeen fields.
  static std::optional<TableTimeRecordRow> Bind(engine::Table& table);
  std::string FieldText(int field) const override;
  void SetFieldText(int field, std::string_view text) override;
  // The first failed assignment since Bind (0 when none).
  int assign_error() const { return assign_error_; }

 private:
  explicit TableTimeRecordRow(std::array<engine::Field, core::kTimeRecordFieldCount> fields)
      : fields_(fields) {}
  std::array<engine::Field, core::kTimeRecordFieldCount> fields_;
  int assign_error_ = 0;
};

class TimeRecordDb final : public engine::DbTable {
 public:
  TimeRecordDb(engine::TableEngine& engine, engine::TableReporter& reporter, SupportDb& support,
               TimeRecordDbOptions options);
  ~TimeRecordDb() override;

  // --- Opening and closing ---------------------------------------------
  // 1 when `file_name` opens in the current layout, 0 when it does not
  // exist or cannot be opened. A version 2 table asks 400 and, on Yes, is
  // converted (backed up in `backup_directory` first): 1 when converted or
  // declined at the confirmation, 0 when the conversion failed.
  int CheckVersionBeforeOpen(const std::string& file_name, const std::string& backup_directory);
  // 0, or the code of a reported failure; 399 (not reported) for a table
  // in the version 2 layout.
  int OpenTimeRecordDb(const std::string& file_name);
  // Releases this user's edit locks, removes the temporary index and closes
  // the table, packing it when this was the last user.
  int CloseTimeRecordDb();
  bool IsOpen() const { return is_open(); }
  int FlushDb();
  engine::RecordNumber CurrentRecordNumber() const;
  const std::string& database_file() const { return database_file_; }
  std::string support_file() const { return SupportFileName(database_file_); }
  SupportDb& support() { return *support_; }

  // The display order: USERTAG or DEFTAG unless another tag of the table
  // is set.
  void SetDisplayTag(std::optional<engine::Tag> tag);

  // --- The temporary index --------------------------------------------
  // Replaces this run's temporary index with a new file `file` holding
  // `tags`: the current file is closed and deleted first. DEFTAG must be
  // among the tags; USERTAG, when present, becomes the display order.
  // 0, or the engine's result unreported (kErrorLock or kLocked when the
  // file is in use elsewhere), so that the caller can offer a retry; the
  // table is then left without a temporary index.
  int CreateTemporaryIndex(const std::string& file, const std::vector<engine::TagSpec>& tags);
  // Closes and deletes the temporary index file; the table is then read in
  // record number order until the next one is created.
  void CloseTemporaryIndex();
  // Builds the open temporary index anew from the records (after other
  // users' changes). 0, 272 when there is none, or the engine's result.
  int ReindexTemporaryIndex();
  const std::string& temporary_index_file() const { return index_file_; }
  bool has_temporary_index() const { return end_time_tag_.has_value(); }
  std::optional<engine::Tag> user_tag() const { return user_tag_; }
  std::optional<engine::Tag> end_time_tag() const { return end_time_tag_; }
  std::optional<engine::Tag> display_tag() const { return display_tag_; }
  // Whether record `number` belongs in USERTAG (its FOR condition, read
  // from the stored record; the cursor does not move). False without
  // USERTAG or when there is no such record.
  bool IsInUserTag(engine::RecordNumber number) const;

  // --- Changing records --------------------------------------------------
  // 0, 300 when the lock was refused, 221 on an engine failure.
  int AddRecord(const core::TimeRecord& record, bool flush);
  int ChangeCurrentRecord(const core::TimeRecord& record, bool flush);
  int DeleteCurrentRecord(bool flush);
  int DeleteRecord(engine::RecordNumber number, bool flush);
  int UndeleteRecord(engine::RecordNumber number);

  // --- Reading, in display order --------------------------------------
  // 0 with the record loaded, 9 when there is none, 123 or 220 on a failure.
  int FirstRecord(core::TimeRecord& record);
  int LastRecord(core::TimeRecord& record);
  int NextRecord(core::TimeRecord& record);
  int PreviousRecord(core::TimeRecord& record);
  // Directly by number, whatever the order; 0 or 220 after message 221.
  int ReadRecordAt(engine::RecordNumber number, core::TimeRecord& record);
  bool IsEmpty();
  bool IsCurrentDeleted() const;
  // Records passing the display tag when `filtered`, else the table's count.
  long CountRecords(bool filtered);

  // The current record's place in the display order, 0 to 32767.
  int ScrollPosition();
  // Moves to the place n/32767 of the display order; the record reached
  // (0 when none).
  engine::RecordNumber SetScrollPosition(int position);

  // --- Overlaps ----------------------------------------------------------
  // 0, or 1/2 as core::TimesOverlap with `found` the overlapping record.
  int FindOverlap(const core::TimeRecord& record, core::TimeRecord& found);
  // 0, or 162 after message 162 (unless overlapping tasks are allowed).
  int CheckOverlapBeforeAdd(const core::TimeRecord& record);

  // A copy of the records not deleted, under a new name. 0 or 336.
  int CopyDatabaseTo(const std::string& new_file_name);

  // --- Sharing with other users -------------------------------------------
  // 0 when free or already this user's, else 412 with `holder` set.
  int LockRecordForEdit(engine::RecordNumber number, std::string& holder);
  std::string RecordLockHolder(engine::RecordNumber number);
  bool IsLockedByOther(engine::RecordNumber number, std::string& holder);
  int UnlockRecordForEdit(engine::RecordNumber number);
  // 420 when anyone holds the whole-database lock, with `holder` set.
  int LockEntireDatabase(std::string& holder);
  int UnlockEntireDatabase();

  int RememberChangeCounter();
  // 0, or 272 before the counter was first remembered.
  int AnnounceChange();
  // 1 when another user changed the database since the last look.
  int PollForChange();

  const TimeRecordDbOptions& options() const { return options_; }

 private:
  int OpenTable(const std::string& file_name, engine::DbTable& into,
                std::optional<TableTimeRecordRow>& row);
  int OpenEndTimeIndex();
  int LoadCurrent(core::TimeRecord& record);
  // Status of a failed move: 9 at either end, 123 for a read error, else 220.
  int MoveStatus(int result) const;
  int ReportEngineProblem(int result);
  int LockCurrentForChange();
  bool HasDeletedRecords();
  int PackIfLastUser();

  SupportDb* support_;  // not owned
  TimeRecordDbOptions options_;
  std::string database_file_;
  std::string index_file_;
  std::optional<TableTimeRecordRow> row_;
  std::optional<engine::Tag> end_time_tag_;
  std::optional<engine::Tag> user_tag_;
  std::optional<engine::Tag> display_tag_;
  std::optional<int> last_change_counter_;
};

// "UserLocking%d" of a record number.
std::string EditLockEntry(engine::RecordNumber number);

}  // namespace qm::db
