// DbTable: the table access layer that every table of the program is opened
// through. It checks and mends a data file's header before opening it,
// rebuilds a missing or damaged production index, and turns engine errors
// into the program's result codes.
//
// The program's messages are not the engine's business: DbTable names them
// by number to a TableReporter, which the application implements with its
// error reporter and tests implement with a recording double.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "engine/table.h"
#include "engine/tag_spec.h"

namespace qm::engine {

// Message numbers that DbTable asks its reporter to show.
inline constexpr int kMessageCannotOpen = 139;     // "The file  %s, cannot be opened. ..."
inline constexpr int kMessageCannotCreate = 288;   // "The file '%s' could not be created or opened. ..."
inline constexpr int kMessageDamaged = 354;        // "The file '%s' has been damaged ... repair"
inline constexpr int kMessageRepaired = 355;       // "The index ... successfully repaired"
inline constexpr int kMessageNotRepaired = 356;    // "... could not be repaired ..."
inline constexpr int kMessageIndexInUse = 386;     // "... cannot update the index file ..."

// Results of the layer besides 0 and the engine's codes.
inline constexpr int kOperationIncomplete = 125;  // an engine error, already reported
inline constexpr int kIndexNotReplaced = 204;     // ForceIndexRebuild could not delete the index

class TableReporter {
 public:
  virtual ~TableReporter() = default;
  // Shows message `number` with `file` as its argument.
  virtual void ShowMessage(int number, std::string_view file) = 0;
  // The common report after a failed table operation: the pending engine
  // error when there is one, else message `fallback` with `file`.
  virtual void ReportDatabaseError(std::string_view file, int fallback) = 0;
};

class DbTable {
 public:
  DbTable(TableEngine& engine, TableReporter& reporter) : engine_(&engine), reporter_(&reporter) {}
  virtual ~DbTable();
  DbTable(const DbTable&) = delete;
  DbTable& operator=(const DbTable&) = delete;

  // Opens `file_name` when it exists (after CheckHeaderRecordCount), else
  // creates it with `fields` and `tags`. An existing file that does not
  // open while `tags` is given is taken for a damaged production index:
  // the index is rebuilt and the table opened again. Returns 0, or the
  // code of the failure, which has been reported.
  int OpenOrCreate(const std::string& file_name, const std::vector<FieldSpec>& fields,
                   const std::vector<TagSpec>& tags);

  // Repairs the record count of a header that a crash left wrong: when the
  // header looks sound, the count becomes the number of complete records
  // that the file holds. Leaves a doubtful header alone. Always 0: the open
  // that follows reports what is wrong with the file.
  int CheckHeaderRecordCount(const std::string& file_name);

  // Clears byte 28, so that the table opens without its production index.
  // 0, or an engine error (not reported: the file may simply be absent).
  int ClearProductionIndexFlag(const std::string& file_name);

  // Makes the next OpenOrCreate rebuild a production index that another
  // program may have left stale: when byte 28 is 0 it is set to 1 and the
  // .mdx deleted. 0, or 204 after message 386 when the index is in use.
  int ForceIndexRebuild(const std::string& file_name);

  // Builds the production index of `file_name` anew from `tags`, showing
  // 354 first (unless part of the user's repair command) and 355 or 356
  // after. Leaves the table open exclusively on success.
  int RebuildProductionIndex(const std::string& file_name, const std::vector<TagSpec>& tags,
                             bool repair_command = false);

  // While on, an index that OpenOrCreate rebuilds is part of the user's
  // repair command: message 354 is not shown before it.
  void set_repair_command(bool on) { repair_command_ = on; }

  // Closes the table (writing a pending change). 0 or 125.
  virtual int CloseTable();

  // Closes the table, reopens it exclusively and packs it. 0, or the code
  // of the failure (the reopen's when another process has the file open).
  int PackOnClose();

  bool is_open() const { return table_ != nullptr && table_->is_open(); }
  Table* table() const { return table_.get(); }
  const std::string& file_name() const { return file_name_; }

  // The result handling around every engine call: the engine's error state
  // is reset first; a negative result is set aside for the report and
  // comes back as 125. Usage: `return Call([&] { return table()->Top(); });`
  template <typename Operation>
  int Call(Operation&& operation) {
    engine_->ResetError();
    return Checked(operation());
  }
  int Checked(int result);
  // The engine error last set aside by Call (0 when none).
  int set_aside_error() const { return set_aside_error_; }

 protected:
  TableEngine& engine() const { return *engine_; }
  TableReporter& reporter() const { return *reporter_; }

 private:
  int OpenExisting(const std::string& file_name);

  TableEngine* engine_;      // not owned
  TableReporter* reporter_;  // not owned
  std::unique_ptr<Table> table_;
  std::string file_name_;
  int set_aside_error_ = 0;
  bool repair_command_ = false;
};

}  // namespace qm::engine
