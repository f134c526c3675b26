// TableIndex: an index file as a table holds it open, with the locks and
// the mark that let several processes keep it in step with the data.
//
// Beside the IndexFile, the table opens the index file a second time for
// its locks (open-file-description locks, see file_lock.h):
//
//   open byte     a shared lock for as long as the index is open (exclusive
//                 in the exclusive access mode), so that an exclusive open,
//                 a rebuild or ForceIndexRebuild elsewhere sees the open;
//   append byte   the index write lock: held exclusively while index pages
//                 and the matching data change, shared by a reader for the
//                 span of one move or seek that cannot do without it (see
//                 BeginUnlockedRead), so that no reader walks pages that a
//                 writer has half replaced.
//
// Unfinished-write mark. A process that dies between writing index pages
// and the data (or halfway through the pages) leaves an index that may
// disagree with the data. So that the next open notices, a writer sets
// byte 504 of the index file's first page (reserved, 0 in files that
// dBASE programs write) to 1 after taking the write lock and clears it
// once the pages and the data are written. An open that finds the mark set
// while nobody holds the write lock knows that the last writer died: it
// checks the whole index against the data (IndexFile::Check) and clears the
// mark when they agree, else the open fails as for a damaged index, which
// DbTable answers with a rebuild. A clean run costs two one-byte writes per
// write-lock span; a run of appends under LockAppend shares one span.
// Readers use the mark, too: see BeginUnlockedRead.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/field_layout.h"
#include "engine/file_lock.h"
#include "engine/index_file.h"
#include "engine/raw_file.h"
#include "engine/record_source.h"
#include "engine/tag_spec.h"

namespace qm::engine {

inline constexpr std::uint64_t kUnfinishedWriteMarkOffset = 504;

class TableIndex {
 public:
  // Opens an existing index file for a table of `layout`. `mode` is the
  // table's access mode; kErrorAccess when another open forbids it.
  static FileStatus Open(const std::string& path, const RecordLayout& layout, AccessMode mode,
                         int default_unique, std::unique_ptr<TableIndex>* out);

  // Builds a new index file from `records` and opens it as Open does.
  static FileStatus Create(const std::string& path, const RecordLayout& layout,
                           const std::vector<TagSpec>& tags, const RecordSource& records,
                           AccessMode mode, const IndexFileOptions& options,
                           std::unique_ptr<TableIndex>* out);

  ~TableIndex();
  TableIndex(const TableIndex&) = delete;
  TableIndex& operator=(const TableIndex&) = delete;

  IndexFile& file() { return *file_; }
  const std::string& path() const { return file_->path(); }

  // After an open: when the last writer died mid-write, checks the index
  // against `records` and clears the mark when they agree. kErrorIndex
  // when they do not.
  FileStatus RecoverUnfinishedWrite(const RecordSource& records);

  // --- Writing -------------------------------------------------------------
  // Takes the write lock (retrying per the engine's lock settings), sets
  // the mark and opens an update of the index file. Nests: only the
  // outermost call locks. Returns 0, kLocked or a negative engine error.
  int BeginWrite(const TableEngine& engine);
  // Ends one BeginWrite. At the outermost, the grouped pages are written,
  // the mark is cleared unless a write failed (MarkFailed), and the lock
  // is released.
  FileStatus EndWrite(bool flush);
  bool writing() const { return write_depth_ > 0; }
  // The data and this index may now disagree: the mark stays set, so the
  // next open checks the index.
  void MarkFailed() { failed_ = true; }

  // --- Reading -------------------------------------------------------------
  // Holds off writers of other processes for one move or seek. Nothing to
  // do while this table writes the index itself or has it exclusively.
  int BeginRead(const TableEngine& engine, ByteLock& read_lock);

  // A move or seek without the read lock, which costs two system calls.
  // A writer sets the unfinished-write mark before it changes any page and
  // clears it only after the tag headers, whose change counters it raises,
  // are written. So a move that finds the mark clear before it starts, and
  // after it ends finds the mark still clear and the tag's header as the
  // move read it, read no page that a writer touched meanwhile. When the
  // check after fails, the caller forgets what it read and moves again
  // under the read lock. Both checks read the mapped file: no system call.
  //
  // True when a move may start without the lock (always while this table
  // writes the index or holds it exclusively).
  bool BeginUnlockedRead() const;
  // True when the move that read `tag` saw a state that no writer touched.
  bool EndUnlockedRead(std::size_t tag) const;

 private:
  TableIndex(std::unique_ptr<IndexFile> file, RawFile lock_file, bool exclusive);
  static FileStatus Attach(std::unique_ptr<IndexFile> file, AccessMode mode,
                           std::unique_ptr<TableIndex>* out);
  FileStatus WriteMark(char mark);

  std::unique_ptr<IndexFile> file_;
  RawFile lock_file_;
  ShareLock share_lock_;
  ByteLock write_lock_;
  bool exclusive_ = false;
  bool failed_ = false;
  int write_depth_ = 0;
};

}  // namespace qm::engine
