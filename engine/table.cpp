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
  (void)open_production_index;  // index files join here

  ApplyWriteSettings();
  buffer_.assign(data_.layout().record_length(), ' ');
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

int Table::Close() {
  if (!is_open()) return 0;
  const int written = WriteChanges();
  record_locks_.clear();
  append_lock_.Release();
  share_lock_.Release();
  memo_.Close();
  data_.Close();
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
  return 0;
}

int Table::Top() {
  if (int failed = CheckOpen(kWhereMove); failed != 0) return failed;
  if (int written = WriteChanges(); written != 0) return written;
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
  return Fail(kErrorNoTag, kWhereSeek, path_, key);
}

double Table::Position() const {
  if (eof_) return 1.0;
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
  }

  engine::RecordNumber number = 0;
  FileStatus status = data_.NextRecordNumber(number);
  if (!status.ok()) return FailFile(status, kWhereAppend);
  if (int stored = StoreMemos(); stored != 0) return stored;
  if (buffer_[0] != '*') buffer_[0] = ' ';
  status = data_.AppendRecords(buffer_, number);
  if (!status.ok()) return FailFile(status, kWhereAppend);

  current_ = number;
  eof_ = bof_ = false;
  changed_ = false;
  return 0;
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
  if (int stored = StoreMemos(); stored != 0) return stored;
  FileStatus status = data_.WriteRecord(current_, buffer_);
  if (!status.ok()) return FailFile(status, kWhereWrite);
  changed_ = false;
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
  const int written = WriteChanges();
  record_locks_.clear();
  append_lock_.Release();
  return written;
}

// --- Index files ---------------------------------------------------------------

int Table::CreateIndexFile(const std::string& file_name, const std::vector<TagSpec>& tags) {
  if (int failed = CheckOpen(kWhereIndex); failed != 0) return failed;
  if (tags.empty()) return Fail(kErrorParameter, kWhereIndex, path_, "no tags");
  const std::string index_path = file_name.empty() ? CompanionPath(path_, ".mdx") : file_name;
  return Fail(kErrorIndex, kWhereIndex, index_path, "index files are not available");
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
  const int top = Top();
  return top == kEndOfFile ? 0 : top;
}

}  // namespace qm::engine
