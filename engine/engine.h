// TableEngine: the settings, the error state and the callbacks that every
// open table of one process shares.
//
// A program creates one engine at start-up and passes it to every table it
// opens; nothing in the engine is global. Operations report their outcome as
// an integer result: 0 success, a small positive code for an expected
// outcome (end of file, key not found, lock refused ...), or a negative
// engine error. A negative error is stored in error_code() and passed to the
// error hook as it occurs, together with a number telling where in the
// engine it arose and up to three descriptive texts (a file, field or tag).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace qm::engine {

class Table;

// --- Results ---------------------------------------------------------------

inline constexpr int kSuccess = 0;
inline constexpr int kKeyNotFound = 2;    // seek: positioned on the next greater key
inline constexpr int kEndOfFile = 3;      // past the last record, or no greater key
inline constexpr int kBeginningOfFile = 4;
inline constexpr int kDuplicateKey = 20;  // a unique tag refused the record
inline constexpr int kLocked = 50;        // a lock stayed refused for lockAttempts
inline constexpr int kNoOpen = 70;        // quiet open: the file could not be opened

// --- Engine errors (negative) ----------------------------------------------
// The values follow the numbering that dBASE engines have long used, so that
// the program's error reporter can translate the familiar ones.

inline constexpr int kErrorGeneral = -1;         // inconsistent state of the files
inline constexpr int kErrorClose = -10;          // closing or flushing a file
inline constexpr int kErrorCreate = -20;         // creating a file (or it exists)
inline constexpr int kErrorLength = -30;         // setting a file's length
inline constexpr int kErrorLock = -50;           // a lock call failed / index locked
inline constexpr int kErrorOpen = -60;           // opening a file
inline constexpr int kErrorPermission = -61;     // no permission for the file
inline constexpr int kErrorAccess = -62;         // refused by another opener's share mode
inline constexpr int kErrorInstance = -69;       // a table of that alias is already open
inline constexpr int kErrorRead = -70;           // a record or block cannot be read
inline constexpr int kErrorRemove = -80;         // deleting a file
inline constexpr int kErrorRename = -90;         // renaming a file
inline constexpr int kErrorWrite = -120;         // writing (disk full, I/O error)
inline constexpr int kErrorData = -200;          // not a valid data file
inline constexpr int kErrorFieldName = -210;     // no field of that name
inline constexpr int kErrorFieldType = -220;     // unknown field type
inline constexpr int kErrorRecordLength = -230;  // record length disagrees with the fields
inline constexpr int kErrorFieldValue = -260;    // a value does not fit its field
inline constexpr int kErrorIndex = -310;         // index file damaged or unusable
inline constexpr int kErrorTagName = -330;       // no tag of that name
inline constexpr int kErrorNoTag = -340;         // the operation needs a selected tag
inline constexpr int kErrorExpression = -400;    // a key or filter expression is invalid
inline constexpr int kErrorMemo = -500;          // the memo file is damaged or missing
inline constexpr int kErrorInfo = -910;          // unexpected information / wrong state
inline constexpr int kErrorMemory = -920;        // out of memory
inline constexpr int kErrorParameter = -930;     // an argument is out of range
inline constexpr int kErrorCapacity = -1400;     // a limit of the engine was exceeded

// What an operation below the table layer reports: 0 or a negative engine
// error, with a text that names the file and the reason. The table turns it
// into a report through the engine.
struct FileStatus {
  int code = 0;
  std::string text;

  bool ok() const { return code == 0; }
  static FileStatus Ok() { return {}; }
  static FileStatus Error(int code, std::string text) { return {code, std::move(text)}; }
};

// --- Settings ----------------------------------------------------------------

// Share mode of files that a table opens.
enum class AccessMode : int {
  kDenyNone = 0,   // shared
  kExclusive = 1,  // deny read and write
  kDenyWrite = 2,
};

inline constexpr int kWaitForever = -1;  // lockAttempts: retry until granted

struct EngineSettings {
  bool auto_open = true;               // opening a table opens its production index
  AccessMode access_mode = AccessMode::kDenyNone;
  int default_unique = 25;             // kUniqueKeep; 20 = kUniqueRefuse
  bool field_name_errors = true;       // a missing field is reported as -210
  bool safety = true;                  // creating never overwrites an existing file
  int lock_attempts = kWaitForever;    // attempts of a lock before result 50
  int lock_delay = 100;                // hundredths of a second between attempts
  bool flush_writes = false;           // every write goes to the disk at once
  std::string date_format = "MM/DD/YY";
  // Off: a file that cannot be opened gives result 70 without an error report.
  bool open_errors = true;
};

// Receives every engine error as it occurs: the code, a number saying where
// in the engine it arose, and up to three descriptive texts (empty if none).
using ErrorHook = std::function<void(int code, int where, std::string_view,
                                     std::string_view, std::string_view)>;

// Called between two attempts of a refused lock, so that the program keeps
// its windows painted while it waits.
using RepaintCallback = std::function<void()>;

// The engine error for a failed system call: a missing file is kErrorOpen,
// refused permission kErrorPermission, a full disk kErrorWrite; anything
// else `fallback`.
FileStatus FileStatusFromSystem(const platform::Status& status, int fallback);

class TableEngine {
 public:
  // InitEngine: the defaults above, no hook.
  TableEngine() = default;
  // CloseAllAndShutDown: every table still open is flushed and closed.
  ~TableEngine();

  TableEngine(const TableEngine&) = delete;
  TableEngine& operator=(const TableEngine&) = delete;

  EngineSettings& settings() { return settings_; }
  const EngineSettings& settings() const { return settings_; }

  // The last result stored; negative values are errors.
  int error_code() const { return error_code_; }
  void ResetError() { error_code_ = 0; }
  // Stores a positive result (e.g. 50) without reporting it.
  void SetResult(int code) { error_code_ = code; }

  void SetErrorHook(ErrorHook hook) { error_hook_ = std::move(hook); }
  void SetRepaintCallback(RepaintCallback repaint) { repaint_ = std::move(repaint); }

  // Records a negative `code` in error_code() and passes it to the hook.
  // Returns `code`, so that callers can write `return engine.Report(...)`.
  int Report(int code, int where, std::string_view text1 = {},
             std::string_view text2 = {}, std::string_view text3 = {});

  // Runs the repaint callback, if any (used while waiting for a lock).
  void Repaint() const;

  // Closes (flushing) every table that is still open.
  void CloseAllTables();

  // The open tables; the tables register and unregister themselves.
  const std::vector<Table*>& open_tables() const { return open_tables_; }
  // The open table with `alias` (already upper case), or nullptr.
  Table* FindAlias(std::string_view alias) const;
  void Register(Table* table);
  void Unregister(Table* table);

 private:
  EngineSettings settings_;
  int error_code_ = 0;
  ErrorHook error_hook_;
  RepaintCallback repaint_;
  std::vector<Table*> open_tables_;  // not owned
};

}  // namespace qm::engine
