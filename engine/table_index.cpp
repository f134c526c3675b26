#include "engine/table_index.h"

#include <atomic>
#include <span>
#include <utility>

namespace qm::engine {

TableIndex::TableIndex(std::unique_ptr<IndexFile> file, RawFile lock_file, bool exclusive)
    : file_(std::move(file)), lock_file_(std::move(lock_file)), exclusive_(exclusive) {}

TableIndex::~TableIndex() {
  // Pages still grouped in an update belong on disk before the locks go.
  while (write_depth_ > 0) (void)EndWrite(false);
}

FileStatus TableIndex::Attach(std::unique_ptr<IndexFile> file, AccessMode mode,
                              std::unique_ptr<TableIndex>* out) {
  RawFile lock_file;
  Status status = lock_file.Open(file->path(), RawFile::Mode::kReadWriteOrReadOnly);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorOpen);
  const bool exclusive = mode == AccessMode::kExclusive;
  std::unique_ptr<TableIndex> index(new TableIndex(std::move(file), std::move(lock_file), exclusive));
  const int locked = ShareLock::Acquire(index->lock_file_.fd(), mode,
                                        !index->lock_file_.read_only(), index->share_lock_);
  if (locked != 0) {
    return FileStatus::Error(locked, index->path() + ": the index file is in use");
  }
  index->file_->SetExclusive(exclusive);
  *out = std::move(index);
  return FileStatus::Ok();
}

FileStatus TableIndex::Open(const std::string& path, const RecordLayout& layout, AccessMode mode,
                            int default_unique, std::unique_ptr<TableIndex>* out) {
  IndexFileOptions options;
  options.default_unique = default_unique;
  std::unique_ptr<IndexFile> file;
  FileStatus status = IndexFile::Open(path, layout, &file, options);
  if (!status.ok()) return status;
  return Attach(std::move(file), mode, out);
}

FileStatus TableIndex::Create(const std::string& path, const RecordLayout& layout,
                              const std::vector<TagSpec>& tags, const RecordSource& records,
                              AccessMode mode, const IndexFileOptions& options,
                              std::unique_ptr<TableIndex>* out) {
  std::unique_ptr<IndexFile> file;
  FileStatus status = IndexFile::Create(path, layout, tags, records, &file, options);
  if (!status.ok()) return status;
  return Attach(std::move(file), mode, out);
}

FileStatus TableIndex::WriteMark(char mark) {
  if (lock_file_.read_only()) return FileStatus::Ok();
  Status status = lock_file_.WriteAt(kUnfinishedWriteMarkOffset, std::span<const char>(&mark, 1));
  return status.ok() ? FileStatus::Ok() : FileStatusFromSystem(status, kErrorWrite);
}

FileStatus TableIndex::RecoverUnfinishedWrite(const RecordSource& records) {
  char mark = 0;
  if (!lock_file_.ReadAt(kUnfinishedWriteMarkOffset, std::span<char>(&mark, 1)).ok() || mark == 0)
    return FileStatus::Ok();
  // A live writer holds the lock and clears the mark itself.
  ByteLock lock;
  if (!exclusive_ &&
      ByteLock::TryAcquire(lock_file_.fd(), kAppendLockByte, LockKind::kExclusive, lock) != 0)
    return FileStatus::Ok();
  if (!lock_file_.ReadAt(kUnfinishedWriteMarkOffset, std::span<char>(&mark, 1)).ok() || mark == 0)
    return FileStatus::Ok();
  FileStatus checked = file_->Check(records);
  if (!checked.ok()) {
    return FileStatus::Error(kErrorIndex, path() +
                                              ": a write was cut short and the index disagrees "
                                              "with the data: " + checked.text);
  }
  return WriteMark(0);
}

int TableIndex::BeginWrite(const TableEngine& engine) {
  if (write_depth_ == 0) {
    if (lock_file_.read_only()) return kErrorPermission;
    if (!exclusive_) {
      const int locked = ByteLock::Acquire(engine, lock_file_.fd(), kAppendLockByte,
                                           LockKind::kExclusive, write_lock_);
      if (locked != 0) return locked;
    }
    FileStatus marked = WriteMark(1);
    if (!marked.ok()) {
      write_lock_.Release();
      return marked.code;
    }
    failed_ = false;
  }
  ++write_depth_;
  file_->BeginUpdate();
  return 0;
}

FileStatus TableIndex::EndWrite(bool flush) {
  if (write_depth_ == 0) return FileStatus::Ok();
  FileStatus result = file_->EndUpdate();
  if (--write_depth_ > 0) {
    if (!result.ok()) failed_ = true;
    return result;
  }
  if (result.ok() && flush) result = file_->Sync();
  if (!result.ok()) failed_ = true;
  if (!failed_) {
    FileStatus cleared = WriteMark(0);
    if (result.ok()) result = cleared;
  }
  failed_ = false;
  write_lock_.Release();
  return result;
}

namespace {

bool MarkClear(const MdxFile& mdx) {
  char mark = 1;
  return mdx.ReadMapped(kUnfinishedWriteMarkOffset, std::span<char>(&mark, 1)) && mark == 0;
}

}  // namespace

bool TableIndex::BeginUnlockedRead() const {
  if (exclusive_ || write_depth_ > 0) return true;
  const bool clear = MarkClear(file_->mdx());
  // The pages must be read after the mark, as the writer wrote them after.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return clear;
}

bool TableIndex::EndUnlockedRead(std::size_t tag) const {
  if (exclusive_ || write_depth_ > 0) return true;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return MarkClear(file_->mdx()) && file_->mdx().TagHeaderUnchanged(tag);
}

int TableIndex::BeginRead(const TableEngine& engine, ByteLock& read_lock) {
  if (exclusive_ || write_depth_ > 0) return 0;
  return ByteLock::Acquire(engine, lock_file_.fd(), kAppendLockByte, LockKind::kShared, read_lock);
}

}  // namespace qm::engine
