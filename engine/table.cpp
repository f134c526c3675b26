#include "engine/table.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/field_value.h"

namespace qm::engine {

namespace {

// Where in the engine an error arose, as the error hook receives it.
enum Where : int {
  kWhereOpen = 21001,
  kWhereCreate = 21002,
  kWhereClose = 21003,
  kWhereFlush = 21004,
  kWherePack = 21005,
  kWhereAlias = 21006,
  kWhereMove = 21010,
  kWhereRead = 21011,
  kWhereWrite = 21012,
  kWhereAppend = 21013,
  kWhereSeek = 21014,
  kWhereLock = 21020,
  kWhereField = 21030,
  kWhereFieldValue = 21031,
  kWhereMemo = 21032,
  kWhereIndex = 21040,
};

constexpr std::size_t kLongestAlias = 32;

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The base name of `path` without folder and extension.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::string DefaultAlias(const std::string& path) {
  std::string alias = UpperCase(BaseName(path));
  if (alias.size() > kLongestAlias) alias.resize(kLongestAlias);
  return alias;
}

}  // namespace

// --- Field -------------------------------------------------------------------

const FieldDescriptor& Field::descriptor() const { return table_->layout().fields()[index_]; }

std::span<char> Field::Bytes() const {
  const FieldDescriptor& f = descriptor();
  return std::span<char>(table_->buffer_).subspan(f.offset, static_cast<std::size_t>(f.width));
}

int Field::Changed() const {
  table_->changed_ = true;
  return 0;
}

std::string Field::Text() const {
  std::span<char> bytes = Bytes();
  return std::string(bytes.data(), bytes.size());
}

int Field::AssignText(std::string_view text) {
  std::span<char> bytes = Bytes();
  const std::size_t n = std::min(text.size(), bytes.size());
  std::memcpy(bytes.data(), text.data(), n);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(n), bytes.end(), ' ');
  if (type() == FieldType::kMemo) table_->pending_memos_.erase(index_);
  return Changed();
}

double Field::Number() const {
  std::span<char> bytes = Bytes();
  return ParseNumber(std::string_view(bytes.data(), bytes.size()));
}

int Field::AssignNumber(double value, int decimals) {
  if (!FormatNumber(value, decimals, Bytes())) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 15), value);
    return table_->Fail(kErrorFieldValue, kWhereFieldValue, name(), text);
  }
  return Changed();
}

long Field::Integer() const { return static_cast<long>(std::trunc(Number())); }

int Field::AssignInteger(long value) {
  return AssignNumber(static_cast<double>(value), decimals());
}

bool Field::IsTrue() const { return LogicalIsTrue(Bytes()[0]); }

int Field::AssignLogical(bool value) { return AssignText(value ? "T" : "F"); }

std::int32_t Field::JulianDay() const {
  std::span<char> bytes = Bytes();
  return JulianDayFromDateText(std::string_view(bytes.data(), bytes.size()));
}

int Field::AssignJulianDay(std::int32_t day) {
  std::span<char> bytes = Bytes();
  if (bytes.size() != 8 ||
      !DateTextFromJulianDay(day, std::span<char, 8>(bytes.data(), 8))) {
    return table_->Fail(kErrorFieldValue, kWhereFieldValue, name(), std::to_string(day));
  }
  return Changed();
}

std::string Field::MemoText() const {
  auto pending = table_->pending_memos_.find(index_);
  if (pending != table_->pending_memos_.end()) return pending->second;
  if (type() != FieldType::kMemo || !table_->memo_.is_open()) return Text();
  std::span<char> bytes = Bytes();
  std::string text;
  FileStatus status =
      table_->memo_.Read(ParseBlockNumber(std::string_view(bytes.data(), bytes.size())), text);
  if (!status.ok()) {
    table_->FailFile(status, kWhereMemo);
    return "";
  }
  return text;
}

int Field::AssignMemo(std::string_view text) {
  if (type() != FieldType::kMemo) return AssignText(text);
  if (!table_->memo_.is_open())
    return table_->Fail(kErrorMemo, kWhereMemo, table_->path_, name());
  table_->pending_memos_[index_] = std::string(text);
  return Changed();
}

// --- Opening and closing -------------------------------------------------

Table::Table(TableEngine& engine, std::string path)
    : engine_(&engine), path_(std::move(path)), alias_(DefaultAlias(path_)) {}

Table::~Table() { Close(); }

int Table::Fail(int code, int where, std::string_view text1, std::string_view text2) {
  return engine_->Report(code, where, text1, text2);
}

int Table::FailFile(const FileStatus& status, int where) {
  if (status.code == kLocked) {
    engine_->SetResult(kLocked);
    return kLocked;
  }
  return engine_->Report(status.code, where, path_, status.text);
}

int Table::CheckOpen(int where) {
  if (is_open()) return 0;
  return Fail(kErrorInfo, where, path_, "the table is closed");
}

void Table::ApplyWriteSettings() {
  data_.set_flush_writes(engine_->settings().flush_writes);
  memo_.set_flush_writes(engine_->settings().flush_writes);
}

std::unique_ptr<Table> Table::Open(TableEngine& engine, const std::string& path) {
  std::unique_ptr<Table> table(new Table(engine, path));
  if (table->OpenFiles(engine.settings().auto_open) != 0) return nullptr;
  return table;
}

int Table::OpenFiles(bool open_production_index) {
  if (engine_->FindAlias(alias_) != nullptr)
    return Fail(kErrorInstance, kWhereOpen, path_, alias_);

  FileStatus status = data_.Open(path_);
  if (!status.ok()) {
    const bool missing_or_refused =
        status.code == kErrorOpen || status.code == kErrorPermission;
    if (missing_or_refused && !engine_->settings().open_errors) {
      engine_->SetResult(kNoOpen);
      return kNoOpen;
    }
    return FailFile(status, kWhereOpen);
  }

  access_mode_ = engine_->settings().access_mode;
  int locked = ShareLock::Acquire(data_.raw().fd(), access_mode_, !data_.read_only(), share_lock_);
  if (locked != 0) {
    data_.Close();
    return Fail(locked, kWhereOpen, path_, "the file is in use");
  }

  if (data_.has_memo_fields()) {
    const std::string memo_path = FindFileIgnoringCase(CompanionPath(path_, ".dbt"));
    status = memo_path.empty()
                 ? FileStatus::Error(kErrorOpen, CompanionPath(path_, ".dbt") + ": no memo file")
                 : memo_.Open(memo_path);
    if (!status.ok()) {
      share_lock_.Release();
      data_.Close();
      return FailFile(status, kWhereOpen);
    }
  }
  ApplyWriteSettings();
  buffer_.assign(data_.layout().record_length(), ' ');
  old_record_.assign(data_.layout().record_length(), ' ');

  if (open_production_index && data_.header().production_index == 1) {
    const std::string wanted = CompanionPath(path_, ".mdx");
    const std::string found = FindFileIgnoringCase(wanted);
    std::unique_ptr<TableIndex> index;
    status = found.empty() ? FileStatus::Error(kErrorOpen, wanted + ": the production index is missing")
                           : TableIndex::Open(found, data_.layout(), access_mode_,
                                              engine_->settings().default_unique, &index);
    if (status.ok()) status = index->RecoverUnfinishedWrite(*this);
    if (!status.ok()) {
      if (status.code != kErrorAccess && status.code != kErrorOpen) status.code = kErrorIndex;
      CloseFiles();
      return FailFile(status, kWhereOpen);
    }
    production_index_ = index.get();
    indexes_.push_back(std::move(index));
  }
  current_ = 0;
  eof_ = bof_ = changed_ = false;
  engine_->Register(this);
  return 0;
}

std::unique_ptr<Table> Table::Create(TableEngine& engine, const std::string& path,
                                     const std::vector<FieldSpec>& fields,
                                     const std::vector<TagSpec>& tags) {
  std::vector<FieldDescriptor> descriptors;
  descriptors.reserve(fields.size());
  for (const FieldSpec& spec : fields) {
    FieldDescriptor d;
    d.name = UpperCase(spec.name);
    d.type = static_cast<FieldType>(static_cast<char>(std::toupper(static_cast<unsigned char>(spec.type))));
    d.width = spec.width;
    d.decimals = spec.decimals;
    descriptors.push_back(std::move(d));
  }
  FileStatus valid = DataFile::ValidateFields(descriptors);
  if (!valid.ok()) {
    engine.Report(valid.code, kWhereCreate, path, valid.text);
    return nullptr;
  }

  const bool overwrite = !engine.settings().safety;
  const bool with_memo = std::any_of(descriptors.begin(), descriptors.end(),
                                     [](const FieldDescriptor& d) { return d.type == FieldType::kMemo; });
  const std::string memo_path = CompanionPath(path, ".dbt");
  if (!overwrite && with_memo && !FindFileIgnoringCase(memo_path).empty()) {
    engine.Report(kErrorCreate, kWhereCreate, memo_path, "file exists");
    return nullptr;
  }

  DataFile data;
  data.set_flush_writes(engine.settings().flush_writes);
  // The production-index flags are set when the index has been built.
  FileStatus status = data.Create(path, descriptors, {}, false, overwrite);
  if (!status.ok()) {
    engine.Report(status.code, kWhereCreate, path, status.text);
    return nullptr;
  }
  data.Close();
  if (with_memo) {
    MemoFile memo;
    memo.set_flush_writes(engine.settings().flush_writes);
    status = memo.Create(memo_path, BaseName(path), overwrite);
    if (!status.ok()) {
      ::unlink(path.c_str());
      engine.Report(status.code, kWhereCreate, memo_path, status.text);
      return nullptr;
    }
  }

  std::unique_ptr<Table> table(new Table(engine, path));
  if (table->OpenFiles(false) != 0) return nullptr;
  if (!tags.empty() && table->CreateIndexFile("", tags) != 0) {
    // No half-made table stays behind to be opened later without its index.
    table->Close();
    ::unlink(path.c_str());
    if (with_memo) ::unlink(memo_path.c_str());
    return nullptr;
  }
  return table;
}

void Table::CloseFiles() {
  cursor_.reset();
  selected_.reset();
  cursor_on_current_ = false;
  indexes_.clear();
  production_index_ = nullptr;
  grouped_writes_ = false;
  record_locks_.clear();
  append_lock_.Release();
  share_lock_.Release();
  memo_.Close();
  data_.Close();
}

int Table::Close() {
  if (!is_open()) return 0;
  int written = WriteChanges();
  const int ended = EndGroupedWrites();
  if (written == 0) written = ended;
  CloseFiles();
  pending_memos_.clear();
  changed_ = false;
  current_ = 0;
  engine_->Unregister(this);
  return written;
}

int Table::Flush() {
  if (int closed = CheckOpen(kWhereFlush); closed != 0) return closed;
  return WriteChanges();
}

int Table::SetAlias(std::string_view alias) {
  std::string upper = UpperCase(alias);
  if (upper.size() > kLongestAlias) upper.resize(kLongestAlias);
  const Table* holder = engine_->FindAlias(upper);
  if (holder != nullptr && holder != this) return Fail(kErrorInstance, kWhereAlias, path_, upper);
  alias_ = std::move(upper);
  return 0;
}

// --- Moving ----------------------------------------------------------------

engine::RecordNumber Table::RecordCount() const {
  if (!data_.is_open()) return 0;
  engine::RecordNumber count = 0;
  if (!data_.ReadRecordCount(count).ok()) return 0;
  return count;
}

int Table::CountRecords(engine::RecordNumber& count) {
  count = 0;
  FileStatus status = data_.ReadRecordCount(count);
  return status.ok() ? 0 : FailFile(status, kWhereRead);
}

bool Table::ReadRecord(engine::RecordNumber number, std::span<char> record) const {
  return data_.is_open() && data_.ReadRecord(number, record).ok();
}

void Table::SetEof() {
  std::fill(buffer_.begin(), buffer_.end(), ' ');
  pending_memos_.clear();
  changed_ = false;
  current_ = 0;
  eof_ = true;
  cursor_on_current_ = false;
}

int Table::LoadRecord(engine::RecordNumber number) {
  FileStatus status = data_.ReadRecord(number, buffer_);
  if (!status.ok()) {
    SetEof();
    return FailFile(status, kWhereRead);
  }
  current_ = number;
  eof_ = bof_ = false;
  changed_ = false;
  pending_memos_.clear();
  cursor_on_current_ = false;
  return 0;
}

int Table::Top() {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  if (selected_) return TagTop(false);
  engine::RecordNumber count = 0;
  if (int failed = CountRecords(count); failed != 0) return failed;
  if (count == 0) {
    SetEof();
    bof_ = true;
    return kEndOfFile;
  }
  return LoadRecord(1);
}

int Table::Bottom() {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  if (selected_) return TagTop(true);
  engine::RecordNumber count = 0;
  if (int failed = CountRecords(count); failed != 0) return failed;
  if (count == 0) {
    SetEof();
    bof_ = true;
    return kEndOfFile;
  }
  return LoadRecord(count);
}

int Table::Skip(long count) {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  if (selected_ && count != 0) return TagSkip(count);
  engine::RecordNumber records = 0;
  if (int failed = CountRecords(records); failed != 0) return failed;
  const long long from = eof_ || current_ == 0 ? static_cast<long long>(records) + 1 : current_;
  const long long target = from + count;
  if (target > static_cast<long long>(records)) {
    SetEof();
    return kEndOfFile;
  }
  if (target < 1) {
    if (records == 0) {
      SetEof();
      bof_ = true;
      return kEndOfFile;
    }
    if (int loaded = LoadRecord(1); loaded != 0) return loaded;
    bof_ = true;
    return kBeginningOfFile;
  }
  return LoadRecord(static_cast<engine::RecordNumber>(target));
}

int Table::Go(engine::RecordNumber number) {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  engine::RecordNumber count = 0;
  if (int failed = CountRecords(count); failed != 0) return failed;
  if (number == 0 || number > count) {
    SetEof();
    return Fail(kErrorRead, kWhereMove, path_, "no record " + std::to_string(number));
  }
  return LoadRecord(number);
}

int Table::Seek(std::string_view key) {
  if (int failed = CheckOpen(kWhereSeek); failed != 0) return failed;
  if (!selected_) return Fail(kErrorNoTag, kWhereSeek, path_, key);
  if (int written = WriteChanges(); written != 0) return written;
  return TagSeek(key);
}

double Table::Position() {
  if (eof_) return 1.0;
  if (selected_ && is_open()) {
    if (current_ == 0) return 1.0;
    ByteLock read_lock;
    TableIndex* index = IndexOf(selected_->index_file());
    if (index->BeginRead(*engine_, read_lock) != 0) return 0.0;
    bool on_entry = false;
    if (SyncCursor(&on_entry) != 0 || !cursor_->valid()) return 1.0;
    return cursor_->Position();
  }
  const engine::RecordNumber count = RecordCount();
  if (current_ == 0 || count <= 1) return 0.0;
  return static_cast<double>(current_ - 1) / static_cast<double>(count - 1);
}

int Table::SetPosition(double fraction) {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  engine::RecordNumber count = 0;
  if (int failed = CountRecords(count); failed != 0) return failed;
  if (count == 0) {
    SetEof();
    return kEndOfFile;
  }
  if (selected_) return TagSetPosition(fraction);
  fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
  const auto number = static_cast<engine::RecordNumber>(
      1 + std::llround(fraction * static_cast<double>(count - 1)));
  return LoadRecord(number);
}

// --- Records ---------------------------------------------------------------

int Table::Delete() {
  if (int failed = CheckOpen(kWhereWrite); failed != 0) return failed;
  if (buffer_[0] != '*') {
    buffer_[0] = '*';
    changed_ = true;
  }
  return 0;
}

int Table::Recall() {
  if (int failed = CheckOpen(kWhereWrite); failed != 0) return failed;
  if (buffer_[0] != ' ') {
    buffer_[0] = ' ';
    changed_ = true;
  }
  return 0;
}

int Table::Blank() {
  if (int failed = CheckOpen(kWhereWrite); failed != 0) return failed;
  std::fill(buffer_.begin() + 1, buffer_.end(), ' ');
  pending_memos_.clear();
  changed_ = true;
  return 0;
}

void Table::ClearMemoReferences() {
  for (const FieldDescriptor& f : data_.layout().fields()) {
    if (f.type == FieldType::kMemo)
      std::fill_n(buffer_.begin() + static_cast<std::ptrdiff_t>(f.offset), f.width, ' ');
  }
}

int Table::AppendStart() {
  if (int failed = CheckOpen(kWhereAppend); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
  // The new record must not share memo blocks with the record it was copied
  // from: a later change of one would overwrite the other's text.
  ClearMemoReferences();
  pending_memos_.clear();
  // A new record starts undeleted, whatever the record it was copied from.
  if (!buffer_.empty()) buffer_[0] = ' ';
  current_ = 0;
  eof_ = true;
  bof_ = false;
  changed_ = false;
  return 0;
}

int Table::StoreMemos() {
  for (auto& [index, text] : pending_memos_) {
    const FieldDescriptor& f = data_.layout().fields()[index];
    std::span<char> bytes = std::span<char>(buffer_).subspan(f.offset, static_cast<std::size_t>(f.width));
    std::uint32_t block = ParseBlockNumber(std::string_view(bytes.data(), bytes.size()));
    FileStatus status = memo_.Write(*engine_, text, block);
    if (!status.ok()) return FailFile(status, kWhereMemo);
    FormatBlockNumber(block, bytes);
  }
  pending_memos_.clear();
  return 0;
}

namespace {

// Takes back the entries that OnAppend gave record `number` in every tag.
FileStatus RemoveAppended(IndexFile& index, RecordNumber number, std::span<const char> record) {
  FileStatus result;
  for (std::size_t t = 0; t < index.tag_count(); ++t) {
    const IndexTag& tag = index.tag(t);
    if (!tag.Accepts(record)) continue;
    std::string key(tag.key_length(), ' ');
    tag.MakeKey(record, key);
    bool found = false;
    FileStatus removed = index.mdx().Remove(t, key, number, &found);
    if (!removed.ok() && result.ok()) result = removed;
  }
  return result;
}

}  // namespace

int Table::Append() {
  if (int failed = CheckOpen(kWhereAppend); failed != 0) return failed;
  if (data_.read_only()) return Fail(kErrorPermission, kWhereAppend, path_, "opened read-only");
  ApplyWriteSettings();

  ByteLock own_lock;
  if (!append_lock_.held()) {
    const int locked = ByteLock::Acquire(*engine_, data_.raw().fd(), kAppendLockByte,
                                         LockKind::kExclusive, own_lock);
    if (locked == kLocked) {
      engine_->SetResult(kLocked);
      return kLocked;
    }
    if (locked != 0) return Fail(kErrorLock, kWhereAppend, path_);
  } else if (!grouped_writes_ && !indexes_.empty()) {
    // The caller appends a run under its own lock: one index write for all.
    if (int begun = BeginIndexWrites(); begun != 0) return begun;
    grouped_writes_ = true;
  }
  if (int begun = BeginIndexWrites(); begun != 0) return begun;

  engine::RecordNumber number = 0;
  FileStatus status = data_.NextRecordNumber(number);
  if (!status.ok()) {
    EndIndexWrites();
    return FailFile(status, kWhereAppend);
  }
  if (buffer_[0] != '*') buffer_[0] = ' ';

  // Every index first: a refusal there must leave the data untouched.
  std::size_t indexed = 0;
  for (; indexed < indexes_.size(); ++indexed) {
    status = indexes_[indexed]->file().OnAppend(number, buffer_);
    if (!status.ok()) break;
  }
  const int result = WriteAfterIndexes(status, number, /*append=*/true, kWhereAppend);
  if (result != 0) {
    for (std::size_t i = 0; i < indexed; ++i) {
      if (!RemoveAppended(indexes_[i]->file(), number, buffer_).ok()) indexes_[i]->MarkFailed();
    }
    if (result != kDuplicateKey && indexed == indexes_.size()) MarkIndexesFailed();
    EndIndexWrites();
    return result;
  }
  if (int ended = EndIndexWrites(); ended != 0) return ended;

  current_ = number;
  eof_ = bof_ = false;
  changed_ = false;
  cursor_on_current_ = false;
  return 0;
}

// The second half of an indexed write: once every index took the record
// (`index_status` ok), its memos and then the record itself are written;
// otherwise the index's refusal (20) or failure is the result. The caller
// takes the index entries back when this is not 0.
int Table::WriteAfterIndexes(const FileStatus& index_status, engine::RecordNumber number,
                             bool append, int where) {
  if (index_status.code == kDuplicateKey) {
    engine_->SetResult(kDuplicateKey);
    return kDuplicateKey;
  }
  if (!index_status.ok()) return IndexFailure(index_status, where);
  if (int stored = StoreMemos(); stored != 0) return stored;
  const FileStatus written =
      append ? data_.AppendRecords(buffer_, number) : data_.WriteRecord(number, buffer_);
  return written.ok() ? 0 : FailFile(written, where);
}

int Table::WriteChanges() {
  if (!changed_ && pending_memos_.empty()) return 0;
  if (current_ == 0) {
    // Changes to the buffer at the end of file belong to no record: they
    // wait for Append.
    return 0;
  }
  if (data_.read_only()) return Fail(kErrorPermission, kWhereWrite, path_, "opened read-only");
  ApplyWriteSettings();

  ByteLock own_lock;
  if (record_locks_.find(current_) == record_locks_.end()) {
    const int locked = ByteLock::Acquire(*engine_, data_.raw().fd(), RecordLockByte(current_),
                                         LockKind::kExclusive, own_lock);
    if (locked == kLocked) {
      engine_->SetResult(kLocked);
      return kLocked;
    }
    if (locked != 0) return Fail(kErrorLock, kWhereWrite, path_);
  }
  if (indexes_.empty()) {
    if (int stored = StoreMemos(); stored != 0) return stored;
    FileStatus status = data_.WriteRecord(current_, buffer_);
    if (!status.ok()) return FailFile(status, kWhereWrite);
    changed_ = false;
    return 0;
  }

  if (int begun = BeginIndexWrites(); begun != 0) return begun;
  // The stored record is what the indexes hold keys of; under the index
  // write lock nobody else changes both meanwhile.
  FileStatus status = data_.ReadRecord(current_, old_record_);
  if (!status.ok()) {
    EndIndexWrites();
    return FailFile(status, kWhereWrite);
  }
  std::size_t indexed = 0;
  for (; indexed < indexes_.size() && status.ok(); ++indexed) {
    status = indexes_[indexed]->file().OnChange(current_, old_record_, buffer_);
    if (!status.ok()) break;
  }
  const int result = WriteAfterIndexes(status, current_, /*append=*/false, kWhereWrite);
  if (result != 0) {
    for (std::size_t i = 0; i < indexed; ++i) {
      if (!indexes_[i]->file().OnChange(current_, buffer_, old_record_).ok())
        indexes_[i]->MarkFailed();
    }
    if (result != kDuplicateKey && indexed == indexes_.size()) MarkIndexesFailed();
    EndIndexWrites();
    if (result == kDuplicateKey) {
      // The refused change is dropped: the buffer shows the record as it
      // stays, and moving on works again.
      const engine::RecordNumber number = current_;
      if (int loaded = LoadRecord(number); loaded != 0) return loaded;
    }
    return result;
  }
  if (int ended = EndIndexWrites(); ended != 0) return ended;
  changed_ = false;
  cursor_on_current_ = false;
  return 0;
}

// --- Locks -------------------------------------------------------------------

int Table::LockRecord(engine::RecordNumber number) {
  if (int failed = CheckOpen(kWhereLock); failed != 0) return failed;
  if (number == 0) return Fail(kErrorParameter, kWhereLock, path_, "record 0");
  if (record_locks_.count(number) != 0) return 0;
  ByteLock lock;
  const int locked =
      ByteLock::Acquire(*engine_, data_.raw().fd(), RecordLockByte(number), LockKind::kExclusive, lock);
  if (locked == kLocked) {
    engine_->SetResult(kLocked);
    return kLocked;
  }
  if (locked != 0) return Fail(kErrorLock, kWhereLock, path_, std::to_string(number));
  record_locks_.emplace(number, std::move(lock));
  // What another process wrote before the lock was granted is what the
  // caller's change must start from.
  if (number == current_ && !changed_ && pending_memos_.empty()) return LoadRecord(number);
  return 0;
}

int Table::LockAppend() {
  if (int failed = CheckOpen(kWhereLock); failed != 0) return failed;
  if (append_lock_.held()) return 0;
  const int locked = ByteLock::Acquire(*engine_, data_.raw().fd(), kAppendLockByte,
                                       LockKind::kExclusive, append_lock_);
  if (locked == kLocked) {
    engine_->SetResult(kLocked);
    return kLocked;
  }
  if (locked != 0) return Fail(kErrorLock, kWhereLock, path_, "append");
  return 0;
}

int Table::Unlock() {
  if (int failed = CheckOpen(kWhereLock); failed != 0) return failed;
  int written = WriteChanges();
  const int ended = EndGroupedWrites();
  if (written == 0) written = ended;
  record_locks_.clear();
  append_lock_.Release();
  return written;
}

// --- Index files ---------------------------------------------------------------

namespace {

// The creation list that reproduces the tags of an open index file.
std::vector<TagSpec> SpecsOf(const IndexFile& index) {
  std::vector<TagSpec> specs;
  for (std::size_t t = 0; t < index.tag_count(); ++t) {
    const IndexTag& tag = index.tag(t);
    TagSpec spec;
    spec.name = tag.name();
    spec.key = tag.info().key_expression;
    spec.filter = tag.info().for_expression;
    spec.unique = tag.unique() ? (tag.unique_mode() != 0 ? tag.unique_mode() : kUniqueKeep) : 0;
    spec.descending = tag.descending() ? kDescending : kAscending;
    specs.push_back(std::move(spec));
  }
  return specs;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

TableIndex* Table::IndexOf(const IndexFile& file) const {
  for (const auto& index : indexes_) {
    if (&index->file() == &file) return index.get();
  }
  return nullptr;
}

void Table::DetachIndex(TableIndex* index) {
  if (selected_ && &selected_->index_file() == &index->file()) {
    cursor_.reset();
    selected_.reset();
    cursor_on_current_ = false;
  }
  if (production_index_ == index) production_index_ = nullptr;
  indexes_.erase(std::remove_if(indexes_.begin(), indexes_.end(),
                                [&](const auto& held) { return held.get() == index; }),
                 indexes_.end());
}

int Table::IndexFailure(const FileStatus& status, int where) {
  return FailFile(status.code >= 0 ? FileStatus::Error(kErrorIndex, status.text) : status, where);
}

int Table::BeginIndexWrites() {
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    const int begun = indexes_[i]->BeginWrite(*engine_);
    if (begun == 0) continue;
    for (std::size_t j = 0; j < i; ++j) (void)indexes_[j]->EndWrite(false);
    if (begun == kLocked) {
      engine_->SetResult(kLocked);
      return kLocked;
    }
    return Fail(begun == kErrorLock ? kErrorLock : begun, kWhereIndex, indexes_[i]->path(),
                "cannot write the index file");
  }
  return 0;
}

int Table::EndIndexWrites() {
  const bool flush = engine_->settings().flush_writes;
  FileStatus result;
  for (const auto& index : indexes_) {
    FileStatus ended = index->EndWrite(flush);
    if (!ended.ok() && result.ok()) result = ended;
  }
  return result.ok() ? 0 : IndexFailure(result, kWhereIndex);
}

int Table::EndGroupedWrites() {
  if (!grouped_writes_) return 0;
  grouped_writes_ = false;
  return EndIndexWrites();
}

void Table::MarkIndexesFailed() {
  for (const auto& index : indexes_) index->MarkFailed();
}

int Table::AttachIndex(const FileStatus& opened, std::unique_ptr<TableIndex> index,
                       bool production) {
  if (!opened.ok()) return IndexFailure(opened, kWhereIndex);
  if (production) production_index_ = index.get();
  indexes_.push_back(std::move(index));
  return 0;
}

int Table::CreateIndexFile(const std::string& file_name, const std::vector<TagSpec>& tags) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  if (tags.empty()) return Fail(kErrorParameter, kWhereIndex, path_, "no tags");
  if (int written = WriteChanges(); written != 0) return written;
  if (int ended = EndGroupedWrites(); ended != 0) return ended;

  const bool production = file_name.empty();
  std::string index_path = file_name;
  if (production) {
    index_path = FindFileIgnoringCase(CompanionPath(path_, ".mdx"));
    if (index_path.empty()) index_path = CompanionPath(path_, ".mdx");
  }
  std::vector<TagSpec> specs;
  TableIndex* own = production ? production_index_ : nullptr;
  for (const auto& index : indexes_) {
    if (index->path() == index_path) own = index.get();
  }
  if (own != nullptr && production) {
    // The new tags join the production index's own.
    for (TagSpec& spec : SpecsOf(own->file())) {
      const bool replaced = std::any_of(tags.begin(), tags.end(), [&](const TagSpec& t) {
        return UpperCase(TrimBlanks(t.name)) == UpperCase(spec.name);
      });
      if (!replaced) specs.push_back(std::move(spec));
    }
  }
  specs.insert(specs.end(), tags.begin(), tags.end());
  if (own != nullptr) DetachIndex(own);

  if (FileExists(index_path)) {
    if (own == nullptr && engine_->settings().safety)
      return Fail(kErrorCreate, kWhereIndex, index_path, "file exists");
    // Another open of the old file would go on using it unseen.
    RawFile existing;
    ShareLock alone;
    if (!existing.Open(index_path, RawFile::Mode::kReadWrite).ok() ||
        ShareLock::Acquire(existing.fd(), AccessMode::kExclusive, true, alone) != 0)
      return Fail(kErrorLock, kWhereIndex, index_path, "the index file is in use");
  }

  IndexFileOptions options;
  options.production = production;
  options.base_name = BaseName(path_);
  options.overwrite = true;
  std::unique_ptr<TableIndex> index;
  FileStatus status = TableIndex::Create(index_path, data_.layout(), specs, *this, access_mode_,
                                         options, &index);
  if (int attached = AttachIndex(status, std::move(index), production); attached != 0)
    return attached;
  if (!production) return 0;

  // Byte 31 marks a field that alone is the key of a tag.
  std::vector<bool> field_flags(data_.layout().fields().size(), false);
  for (const TagSpec& spec : specs) {
    std::optional<std::size_t> field = data_.layout().Find(TrimBlanks(spec.key));
    if (field) field_flags[*field] = true;
  }
  status = data_.SetIndexFlags(true, field_flags);
  return status.ok() ? 0 : FailFile(status, kWhereIndex);
}

int Table::OpenIndexFile(const std::string& file_name) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  if (FindIndexFile(file_name) != nullptr) return 0;
  std::string found = FindFileIgnoringCase(file_name);
  if (found.empty()) return Fail(kErrorOpen, kWhereIndex, file_name, "no such index file");
  std::unique_ptr<TableIndex> index;
  FileStatus status = TableIndex::Open(found, data_.layout(), access_mode_,
                                       engine_->settings().default_unique, &index);
  if (status.ok()) status = index->RecoverUnfinishedWrite(*this);
  return AttachIndex(status, std::move(index), false);
}

IndexFile* Table::FindIndexFile(const std::string& file_name) const {
  if (file_name.empty()) return production_index_ ? &production_index_->file() : nullptr;
  for (const auto& index : indexes_) {
    if (index->path() == file_name) return &index->file();
  }
  const std::string found = FindFileIgnoringCase(file_name);
  for (const auto& index : indexes_) {
    if (!found.empty() && index->path() == found) return &index->file();
  }
  return nullptr;
}

int Table::ReindexFile(IndexFile& file) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  TableIndex* index = IndexOf(file);
  if (index == nullptr) return Fail(kErrorParameter, kWhereIndex, path_, "not an index of this table");
  if (int written = WriteChanges(); written != 0) return written;
  if (int ended = EndGroupedWrites(); ended != 0) return ended;
  if (int begun = index->BeginWrite(*engine_); begun != 0) {
    if (begun == kLocked) {
      engine_->SetResult(kLocked);
      return kLocked;
    }
    return Fail(begun, kWhereIndex, index->path(), "cannot write the index file");
  }
  FileStatus status = file.Reindex(*this);
  if (!status.ok()) index->MarkFailed();
  FileStatus ended = index->EndWrite(engine_->settings().flush_writes);
  if (status.ok()) status = ended;
  cursor_on_current_ = false;
  return status.ok() ? 0 : IndexFailure(status, kWhereIndex);
}

int Table::CloseIndexFile(IndexFile& file) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  TableIndex* index = IndexOf(file);
  if (index == nullptr) return Fail(kErrorParameter, kWhereIndex, path_, "not an index of this table");
  const int written = WriteChanges();
  const int ended = EndGroupedWrites();
  DetachIndex(index);
  return written != 0 ? written : ended;
}

std::optional<Tag> Table::TagByName(std::string_view name) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return std::nullopt;
  const std::string_view trimmed = TrimBlanks(name);
  for (const auto& index : indexes_) {
    std::optional<std::size_t> found = index->file().FindTag(trimmed);
    if (found) return Tag(&index->file(), *found);
  }
  if (engine_->settings().field_name_errors) Fail(kErrorTagName, kWhereIndex, name, path_);
  return std::nullopt;
}

int Table::SelectTag(std::optional<Tag> tag) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  if (tag && (IndexOf(tag->index_file()) == nullptr || tag->number() >= tag->index_file().tag_count()))
    return Fail(kErrorParameter, kWhereIndex, path_, "the tag is not open on this table");
  if (tag == selected_) return 0;
  cursor_.reset();
  selected_ = tag;
  cursor_on_current_ = false;
  if (tag) cursor_.emplace(tag->index_file().Cursor(tag->number()));
  return 0;
}

// --- Moving in tag order ---------------------------------------------------------

// Puts the cursor on the current record's entry (*on_entry), or, when the
// tag leaves the record out, on the entry that follows its place (or past
// the end). The caller holds the read lock.
int Table::SyncCursor(bool* on_entry) {
  const int sought = FindCurrentEntry(on_entry);
  return sought < 0 ? IndexFailure(cursor_->status(), kWhereMove) : 0;
}

int Table::FindCurrentEntry(bool* on_entry) {
  *on_entry = cursor_on_current_;
  if (cursor_on_current_ || current_ == 0) return 0;
  const IndexTag& tag = selected_->index_tag();
  seek_key_.assign(tag.key_length(), ' ');
  tag.MakeKey(buffer_, seek_key_);
  const int sought = cursor_->SeekEntry(seek_key_, current_);
  if (sought < 0) return sought;
  *on_entry = sought == kSuccess;
  cursor_on_current_ = *on_entry;
  return 0;
}

// Loads the record that a successful cursor move reached.
int Table::TagMoveResult(int moved) {
  if (moved < 0) {
    SetEof();
    return IndexFailure(cursor_->status(), kWhereMove);
  }
  if (moved == kEndOfFile || !cursor_->valid()) {
    SetEof();
    return kEndOfFile;
  }
  // A walk in tag order jumps about the data file: fetch the records a few
  // steps ahead while this one is copied.
  constexpr int kReadAhead = 4;
  data_.Prefetch(cursor_->RecordAhead(kReadAhead));
  data_.Prefetch(cursor_->RecordAhead(-kReadAhead));
  if (int loaded = LoadRecord(cursor_->record()); loaded != 0) return loaded;
  cursor_on_current_ = true;
  return moved;
}

namespace {

// The read lock of one move, as a result: 0, kLocked or kErrorLock.
int ReadLockResult(TableEngine& engine, int locked, const std::string& path, int where) {
  if (locked == 0) return 0;
  if (locked == kLocked) {
    engine.SetResult(kLocked);
    return kLocked;
  }
  return engine.Report(kErrorLock, where, path, "cannot lock the index for reading");
}

}  // namespace

template <typename Move>
int Table::ReadSelectedIndex(int where, Move move, int* moved) {
  TableIndex* index = IndexOf(selected_->index_file());
  if (index->BeginUnlockedRead()) {
    *moved = move();
    if (index->EndUnlockedRead(selected_->number())) return 0;
    // A writer came in between: what the move read may be half old, half
    // new. Forget it and find the current entry again under the lock.
    index->file().mdx().ForgetPages();
    cursor_on_current_ = false;
  }
  ByteLock read_lock;
  if (int locked = ReadLockResult(*engine_, index->BeginRead(*engine_, read_lock), index->path(),
                                  where);
      locked != 0)
    return locked;
  *moved = move();
  return 0;
}

int Table::TagTop(bool last) {
  int moved = 0;
  if (int locked = ReadSelectedIndex(
          kWhereMove, [&] { return last ? cursor_->Last() : cursor_->First(); }, &moved);
      locked != 0)
    return locked;
  const int result = TagMoveResult(moved);
  if (result == kEndOfFile) bof_ = true;
  return result;
}

int Table::TagSkip(long count) {
  // What the move met, for the table's state once the index is let go.
  enum class Met { kEntry, kCursorFailure, kEmptyTag, kBeginning };
  Met met = Met::kEntry;
  int moved = 0;
  const int locked = ReadSelectedIndex(
      kWhereMove,
      [&]() -> int {
        met = Met::kEntry;
        bool on_entry = false;
        if (int sought = FindCurrentEntry(&on_entry); sought < 0) {
          met = Met::kCursorFailure;
          return sought;
        }
        const bool past_end = current_ == 0 || (!on_entry && !cursor_->valid());
        int result = 0;
        if (count > 0) {
          if (past_end) return kEndOfFile;
          // Off the tag, the cursor already stands on the first entry ahead.
          for (long step = on_entry ? 0 : 1; step < count && result == 0; ++step)
            result = cursor_->Next();
          return result;
        }
        long steps = -count;
        if (past_end) {
          result = cursor_->Last();
          --steps;
          if (result == kEndOfFile) {
            met = Met::kEmptyTag;
            return result;
          }
        }
        for (long step = 0; step < steps && result == 0; ++step) result = cursor_->Previous();
        if (result == kBeginningOfFile) {
          met = Met::kBeginning;
          result = cursor_->First();
        }
        return result;
      },
      &moved);
  if (locked != 0) return locked;
  switch (met) {
    case Met::kCursorFailure:
      return IndexFailure(cursor_->status(), kWhereMove);
    case Met::kEmptyTag:
      SetEof();
      bof_ = true;
      return kEndOfFile;
    case Met::kBeginning: {
      const int result = TagMoveResult(moved);
      if (result == kEndOfFile) {
        bof_ = true;
        return kEndOfFile;
      }
      if (result != 0) return result;
      bof_ = true;
      return kBeginningOfFile;
    }
    case Met::kEntry:
      break;
  }
  return TagMoveResult(moved);
}

int Table::TagSeek(std::string_view text) {
  const IndexTag& tag = selected_->index_tag();
  if (!tag.MakeSeekKey(text, &seek_key_))
    return Fail(kErrorParameter, kWhereSeek, text, "not a key of tag " + tag.name());
  int moved = 0;
  if (int locked = ReadSelectedIndex(kWhereSeek, [&] { return cursor_->Seek(seek_key_); }, &moved);
      locked != 0)
    return locked;
  return TagMoveResult(moved);
}

int Table::TagSetPosition(double fraction) {
  fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
  ByteLock read_lock;
  TableIndex* index = IndexOf(selected_->index_file());
  if (int locked = ReadLockResult(*engine_, index->BeginRead(*engine_, read_lock), index->path(),
                                  kWhereMove);
      locked != 0)
    return locked;
  const int moved = cursor_->SetPosition(fraction);
  read_lock.Release();
  return TagMoveResult(moved);
}

// --- Fields ------------------------------------------------------------------

int Table::FieldNumber(std::string_view name) {
  std::optional<std::size_t> index = data_.layout().Find(name);
  if (!index) {
    if (engine_->settings().field_name_errors) Fail(kErrorFieldName, kWhereField, name, path_);
    return -1;
  }
  return static_cast<int>(*index) + 1;
}

std::optional<Field> Table::FieldByName(std::string_view name) {
  const int number = FieldNumber(name);
  if (number < 1) return std::nullopt;
  return Field(this, static_cast<std::size_t>(number - 1));
}

std::optional<Field> Table::FieldAt(int number) {
  if (number < 1 || static_cast<std::size_t>(number) > data_.layout().fields().size())
    return std::nullopt;
  return Field(this, static_cast<std::size_t>(number - 1));
}

// --- Pack ----------------------------------------------------------------------

int Table::Pack() {
  if (int failed = CheckOpen(kWherePack); failed != 0) return failed;
  if (access_mode_ != AccessMode::kExclusive)
    return Fail(kErrorInfo, kWherePack, path_, "packing needs the table opened exclusively");
  if (int written = WriteChanges(); written != 0) return written;
  if (int ended = EndGroupedWrites(); ended != 0) return ended;

  // The packed records go to a new file beside the old one, which replaces
  // it by a rename once complete: a crash leaves one or the other whole.
  const std::string packed_path = path_ + ".pack";
  DataFile packed;
  FileStatus status = packed.Create(packed_path, data_.layout().fields(),
                                    data_.field_index_flags(),
                                    data_.header().production_index != 0, true);
  if (!status.ok()) return FailFile(status, kWherePack);
  ShareLock packed_share;
  if (ShareLock::Acquire(packed.raw().fd(), AccessMode::kExclusive, true, packed_share) != 0) {
    ::unlink(packed_path.c_str());
    return Fail(kErrorLock, kWherePack, packed_path);
  }

  engine::RecordNumber count = 0;
  if (int failed = CountRecords(count); failed != 0) return failed;
  const std::size_t length = data_.layout().record_length();
  constexpr std::size_t kBatchBytes = 1 << 20;
  std::vector<char> record(length);
  std::vector<char> batch;
  engine::RecordNumber next = 1;
  auto write_batch = [&]() {
    if (batch.empty()) return FileStatus::Ok();
    FileStatus written = packed.AppendRecords(batch, next);
    next += static_cast<engine::RecordNumber>(batch.size() / length);
    batch.clear();
    return written;
  };
  for (engine::RecordNumber n = 1; n <= count && status.ok(); ++n) {
    status = data_.ReadRecord(n, record);
    if (!status.ok()) break;
    if (record[0] == '*') continue;
    batch.insert(batch.end(), record.begin(), record.end());
    if (batch.size() >= kBatchBytes) status = write_batch();
  }
  if (status.ok()) status = write_batch();
  if (status.ok()) {
    Status synced = packed.raw().Sync();
    if (!synced.ok()) status = FileStatusFromSystem(synced, kErrorWrite);
  }
  if (status.ok() && ::rename(packed_path.c_str(), path_.c_str()) != 0)
    status = FileStatus::Error(kErrorRename, packed_path + ": " + std::strerror(errno));
  if (!status.ok()) {
    ::unlink(packed_path.c_str());
    return FailFile(status, kWherePack);
  }

  // The old file's locks go before its descriptor; the new file is already
  // locked exclusively by its own.
  record_locks_.clear();
  append_lock_.Release();
  share_lock_.Release();
  data_ = std::move(packed);
  share_lock_ = std::move(packed_share);
  ApplyWriteSettings();
  current_ = 0;
  cursor_on_current_ = false;
  for (const auto& index : indexes_) {
    if (int reindexed = ReindexFile(index->file()); reindexed != 0) return reindexed;
  }
  const int top = Top();
  return top == kEndOfFile ? 0 : top;
}

}  // namespace qm::engine
