// Table: an open data file with its memo file, its index files, a current
// record and the locks that this open holds.
//
// Reading: Top, Bottom, Skip, Seek and SetPosition move in the order of the
// selected tag (or of the record numbers when none is selected); a record
// that the tag's FOR filter leaves out is never reached that way. Go goes
// to a record number directly, whatever the tag. The current record is copied into the record buffer,
// which the Field handles read and change. A changed buffer is written back
// when the table moves, is flushed or unlocked, or closes; the new record of
// AppendStart/Append is written by Append.
//
// Sharing: nothing read is kept between two operations that another process
// could have changed; the record count is read again from the file whenever
// a move needs it. Writing a changed record takes that record's lock for
// the write unless the caller holds it; Append takes the append lock unless
// the caller holds it. LockRecord and LockAppend hold locks until Unlock.
//
// Indexes: the production index (NAME.mdx, opened with the table when the
// engine's autoOpen is on and the header's byte 28 says it exists) and any
// separate index files opened on the table are kept in step with every
// append and every written change. The index pages change first, while the
// data is still as before, so that a unique tag that refuses a record
// leaves the table unchanged; the data follows under the same index write
// lock (see table_index.h for that lock and for how a write cut short by a
// crash is noticed). While the caller holds LockAppend, the index writes of
// all its appends are grouped and reach the file at Unlock: that is the
// fast way to add many records, and other processes see them in tag order
// from then on.
//
// Results are those of engine.h: 0, 2, 3, 4, 20, 50, or a negative engine
// error, which has been stored in the engine and passed to its error hook.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_file.h"
#include "engine/engine.h"
#include "engine/field_layout.h"
#include "engine/file_lock.h"
#include "engine/index_file.h"
#include "engine/mdx_file.h"
#include "engine/memo_file.h"
#include "engine/record_source.h"
#include "engine/table_index.h"
#include "engine/tag_spec.h"

namespace qm::engine {

// One field of a creation list.
struct FieldSpec {
  std::string name;  // at most 10 characters, upper case
  char type = 'C';   // C N D L M (F is read like N)
  int width = 0;     // D 8, L 1, M 10
  int decimals = 0;
};

class Table;

// One tag of an index file open on a table; valid while that index file is
// open. Compares equal to another handle of the same tag.
class Tag {
 public:
  const std::string& name() const { return index_tag().name(); }
  const IndexTag& index_tag() const { return file_->tag(number_); }
  IndexFile& index_file() const { return *file_; }
  // Its place in the index file's tag table, from 0.
  std::size_t number() const { return number_; }
  bool operator==(const Tag&) const = default;

 private:
  friend class Table;
  Tag(IndexFile* file, std::size_t number) : file_(file), number_(number) {}

  IndexFile* file_;  // not owned
  std::size_t number_;
};

// A handle to one field of an open table; valid while the table is open.
// Reads see the record buffer; assignments change it (and mark the record
// changed), and return 0 or a negative engine error.
class Field {
 public:
  const FieldDescriptor& descriptor() const;
  const std::string& name() const { return descriptor().name; }
  FieldType type() const { return descriptor().type; }
  int width() const { return descriptor().width; }
  int decimals() const { return descriptor().decimals; }
  // 1-based, as FieldNumber gives it.
  int number() const { return static_cast<int>(index_) + 1; }

  // The raw text of the field, all `width` characters.
  std::string Text() const;
  // Cut or padded with blanks to the width.
  int AssignText(std::string_view text);

  // A numeric field's value (0 for blanks).
  double Number() const;
  // Writes `value` with `decimals` decimals, right-aligned, whatever the
  // field declares. A value that does not fit gives kErrorFieldValue and
  // leaves the field as it was.
  int AssignNumber(double value, int decimals);
  // The value cut to a whole number.
  long Integer() const;
  // Written with the field's declared decimals.
  int AssignInteger(long value);

  // True when a logical field holds "T", "t", "Y" or "y".
  bool IsTrue() const;
  // Writes "T" or "F".
  int AssignLogical(bool value);

  // A date field's Julian day number; 0 for an empty date.
  std::int32_t JulianDay() const;
  // 0 (or less) writes an empty date.
  int AssignJulianDay(std::int32_t day);

  // A memo field's text ("" when it has none). A read failure is reported
  // and gives "".
  std::string MemoText() const;
  // Stores the text; it reaches the memo file when the record is written.
  int AssignMemo(std::string_view text);

 private:
  friend class Table;
  Field(Table* table, std::size_t index) : table_(table), index_(index) {}

  std::span<char> Bytes() const;
  int Changed() const;

  Table* table_;  // not owned
  std::size_t index_;
};

class Table : public RecordSource {
 public:
  // OpenTable: opens the data file in the engine's access mode, its memo
  // file, and (with autoOpen) its production index. nullptr when it fails;
  // the engine's error_code() says why (70 for a quiet open failure).
  static std::unique_ptr<Table> Open(TableEngine& engine, const std::string& path);

  // CreateTable: creates the data file (and the memo file when a field is a
  // memo, and the production index when `tags` is not empty) and opens it.
  // With the engine's `safety` on, an existing file is never overwritten.
  static std::unique_ptr<Table> Create(TableEngine& engine, const std::string& path,
                                       const std::vector<FieldSpec>& fields,
                                       const std::vector<TagSpec>& tags = {});

  ~Table() override;
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Writes a pending change, releases the locks and closes the files. The
  // table object stays, closed; further calls fail with kErrorInfo.
  int Close();
  bool is_open() const { return data_.is_open(); }
  // Writes the changed record buffer: 0, 20, 50 or an error.
  int Flush();
  // Removes the deleted records and rebuilds the indexes. Needs the table
  // opened with AccessMode::kExclusive. Memo texts stay where they are.
  int Pack();

  const std::string& FileName() const { return path_; }
  const std::string& Alias() const { return alias_; }
  // Upper-cased, at most 32 characters; kErrorInstance when another open
  // table has that alias.
  int SetAlias(std::string_view alias);

  TableEngine& engine() const { return *engine_; }
  const RecordLayout& layout() const { return data_.layout(); }
  const DataFileHeader& header() const { return data_.header(); }

  // --- Records ---------------------------------------------------------
  // The number of records now in the file.
  engine::RecordNumber RecordCount() const override;
  // The current record's number; 0 when there is none (end of file).
  engine::RecordNumber RecordNumber() const { return current_; }
  // Bytes per record, including the deletion byte.
  int RecordWidth() const { return static_cast<int>(data_.layout().record_length()); }

  int Top();
  int Bottom();
  int Skip(long count = 1);
  int Go(engine::RecordNumber number);
  // Seeks `key` on the selected tag: 0 found, 2 on the next greater, 3 none
  // greater. kErrorNoTag without a selected tag. The key is text as
  // IndexTag::MakeSeekKey reads it: for a character tag a shorter text finds
  // the first key that begins with it; a numeric tag takes a number, a date
  // tag "CCYYMMDD".
  int Seek(std::string_view key);
  // The current record's relative place in the selected order, 0.0 - 1.0
  // (1.0 at the end of file). Reads the index, hence not const.
  double Position();
  int SetPosition(double fraction);
  bool IsEof() const { return eof_; }
  bool IsBof() const { return bof_; }

  bool IsDeleted() const { return !buffer_.empty() && buffer_[0] == '*'; }
  int Delete();
  int Recall();
  // Fills every field of the record buffer with blanks.
  int Blank();
  // Starts a new record: the pending change is written, the buffer keeps
  // its field values except the memo references, which are cleared.
  int AppendStart();
  // Adds the buffer as the new last record; it becomes the current record.
  int Append();

  // The record buffer (deletion byte first).
  std::span<const char> record() const { return buffer_; }

  // --- Locks -----------------------------------------------------------
  int LockRecord(engine::RecordNumber number);
  int LockAppend();
  // Writes the pending change, then releases every lock of this table.
  int Unlock();

  // --- Index files and tags -------------------------------------------
  // Creates an index file with `tags` for this table and keeps it open:
  // the production index (NAME.mdx, byte 28 set, byte 31 of each field
  // that alone is the key of a tag) when `file_name` is empty, else a
  // separate index file of that name. When the production index is open
  // already, the new tags join its tags (a tag of the same name is
  // replaced) and the file is built anew. An existing file is replaced only
  // with the engine's safety off (or when it is this table's own open
  // index), and never while another open of it exists (kErrorLock).
  int CreateIndexFile(const std::string& file_name, const std::vector<TagSpec>& tags);
  // Opens an existing separate index file on this table.
  int OpenIndexFile(const std::string& file_name);
  // The open index file of that name ("" for the production index), or
  // nullptr. Valid until it is closed.
  IndexFile* FindIndexFile(const std::string& file_name) const;
  // Builds every tag of an open index file anew from the records.
  int ReindexFile(IndexFile& index);
  // Closes an index file of this table; its tags can no longer be selected
  // (the selected tag falls back to none when it was one of them).
  int CloseIndexFile(IndexFile& index);

  // The tag of that name in any open index file; nothing when there is
  // none (reported as kErrorTagName when the engine's fieldNameErrors is on).
  std::optional<Tag> TagByName(std::string_view name);
  // Moves from now on in the order of `tag`, or of the record numbers with
  // nothing. The current record stays.
  int SelectTag(std::optional<Tag> tag);
  std::optional<Tag> SelectedTag() const { return selected_; }

  // --- Fields ----------------------------------------------------------
  // Nothing when the table has no such field (reported as -210 when the
  // engine's fieldNameErrors is on).
  std::optional<Field> FieldByName(std::string_view name);
  // 1-based; -1 when missing (reported as FieldByName).
  int FieldNumber(std::string_view name);
  // By 1-based number; nothing when out of range.
  std::optional<Field> FieldAt(int number);

  // RecordSource, for the index code: reads record `number` from the file.
  bool ReadRecord(engine::RecordNumber number, std::span<char> record) const override;

 private:
  friend class Field;
  Table(TableEngine& engine, std::string path);

  int OpenFiles(bool open_production_index);
  void CloseFiles();
  int Fail(int code, int where, std::string_view text1 = {}, std::string_view text2 = {});
  int FailFile(const FileStatus& status, int where);
  int CheckOpen(int where);
  void ApplyWriteSettings();

  // Reads the count again from the file: 0 or the reported error.
  int CountRecords(engine::RecordNumber& count);
  int LoadRecord(engine::RecordNumber number);
  void SetEof();
  // Writes the changed buffer (memo texts first): 0, 20, 50 or an error.
  int WriteChanges();
  int StoreMemos();
  int WriteAfterIndexes(const FileStatus& index_status, engine::RecordNumber number, bool append,
                        int where);
  void ClearMemoReferences();

  // Index files.
  int AttachIndex(const FileStatus& opened, std::unique_ptr<TableIndex> index, bool production);
  TableIndex* IndexOf(const IndexFile& file) const;
  void DetachIndex(TableIndex* index);
  int BeginIndexWrites();
  int EndIndexWrites();
  int EndGroupedWrites();
  void MarkIndexesFailed();
  int IndexFailure(const FileStatus& status, int where);
  // Moves in the selected tag.
  int TagMoveResult(int moved);
  int SyncCursor(bool* on_entry);
  // SyncCursor without the report: 0, or the cursor's failure (< 0).
  int FindCurrentEntry(bool* on_entry);
  // Runs `move`, a cursor move that leaves the table's state and the
  // engine's error alone, with the selected tag's index safe from writers
  // (see TableIndex::BeginUnlockedRead); `moved` gets its result. 0, or the
  // read lock's failure, reported.
  template <typename Move>
  int ReadSelectedIndex(int where, Move move, int* moved);
  int TagTop(bool last);
  int TagSkip(long count);
  int TagSeek(std::string_view key);
  int TagSetPosition(double fraction);

  TableEngine* engine_;  // not owned; outlives the table
  std::string path_;
  std::string alias_;
  AccessMode access_mode_ = AccessMode::kDenyNone;

  DataFile data_;
  MemoFile memo_;
  ShareLock share_lock_;
  std::map<engine::RecordNumber, ByteLock> record_locks_;
  ByteLock append_lock_;

  std::vector<char> buffer_;
  engine::RecordNumber current_ = 0;
  bool eof_ = false;
  bool bof_ = false;
  bool changed_ = false;
  // Memo texts assigned but not yet stored, by field index.
  std::map<std::size_t, std::string> pending_memos_;

  std::vector<std::unique_ptr<TableIndex>> indexes_;
  TableIndex* production_index_ = nullptr;  // one of indexes_, or nullptr
  // The index writes of appends made under LockAppend are open until Unlock.
  bool grouped_writes_ = false;
  std::vector<char> old_record_;  // the stored record while a change is written
  std::optional<Tag> selected_;
  // Over the selected tag; declared after indexes_ so that it goes first.
  std::optional<MdxCursor> cursor_;
  // True while the cursor stands on the entry of the current record.
  bool cursor_on_current_ = false;
  std::string seek_key_;  // the key of a seek, kept to spare an allocation
};

}  // namespace qm::engine
