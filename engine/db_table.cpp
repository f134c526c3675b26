#include "engine/db_table.h"

#include <unistd.h>

#include <cstring>

#include "engine/data_file.h"
#include "engine/file_lock.h"
#include "engine/raw_file.h"

namespace qm::engine {

namespace {

std::uint32_t GetU32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// Sets byte 28 of the header to `flag` unless it already holds it. True
// when the byte now holds `flag`.
int WriteProductionFlag(const std::string& file_name, char flag, bool& changed) {
  changed = false;
  RawFile file;
  Status status = file.Open(file_name, RawFile::Mode::kReadWrite);
  if (!status.ok()) return FileStatusFromSystem(status, kErrorOpen).code;
  char byte = 0;
  status = file.ReadAt(28, std::span<char>(&byte, 1));
  if (!status.ok()) return kErrorData;
  if ((flag == 0 && byte == 0) || (flag != 0 && byte == flag)) return 0;
  status = file.WriteAt(28, std::span<const char>(&flag, 1));
  if (!status.ok()) return FileStatusFromSystem(status, kErrorWrite).code;
  changed = true;
  return 0;
}

}  // namespace

DbTable::~DbTable() {
  if (table_) table_->Close();
}

int DbTable::Checked(int result) {
  if (result >= 0) return result;
  set_aside_error_ = result;
  engine_->ResetError();
  return kOperationIncomplete;
}

int DbTable::OpenExisting(const std::string& file_name) {
  table_ = Table::Open(*engine_, file_name);
  if (table_) return 0;
  const int code = engine_->error_code();
  return code != 0 ? code : kErrorGeneral;
}

int DbTable::OpenOrCreate(const std::string& file_name, const std::vector<FieldSpec>& fields,
                          const std::vector<TagSpec>& tags) {
  if (is_open()) CloseTable();
  file_name_ = file_name;
  engine_->ResetError();

  if (!FileExists(file_name)) {
    table_ = Table::Create(*engine_, file_name, fields, tags);
    if (table_) return 0;
    const int code = engine_->error_code() != 0 ? engine_->error_code() : kErrorGeneral;
    reporter_->ReportDatabaseError(file_name, kMessageCannotCreate);
    return code;
  }

  CheckHeaderRecordCount(file_name);
  int code = OpenExisting(file_name);
  if (code == 0) return 0;

  if (!tags.empty()) {
    // The data file is sound enough to be found; what failed is taken to be
    // its production index.
    engine_->ResetError();
    code = RebuildProductionIndex(file_name, tags, repair_command_);
    if (code != 0) return code;
    table_->Unlock();
    table_->Close();
    table_.reset();
    engine_->ResetError();
    code = OpenExisting(file_name);
    if (code == 0) return 0;
  }
  reporter_->ReportDatabaseError(file_name, kMessageCannotOpen);
  return code;
}

int DbTable::CheckHeaderRecordCount(const std::string& file_name) {
  RawFile file;
  if (!file.Open(file_name, RawFile::Mode::kReadWrite).ok()) return 0;

  char header[kHeaderSize];
  std::uint64_t length = 0;
  if (!file.ReadAt(0, header).ok() || !file.Length(length).ok()) return 0;
  const DataFileHeader fields = DataFileHeader::Parse(header);
  const auto year = static_cast<unsigned char>(header[1]);
  const bool sound = (header[0] & 7) == 3 && fields.header_length >= kHeaderSize &&
                     fields.record_length > 0 && !(year >= 31 && year <= 69) &&
                     fields.month >= 1 && fields.month <= 12 && fields.day >= 1 &&
                     fields.day <= 31;
  if (!sound) return 0;
  char last = 0;
  if (!file.ReadAt(fields.header_length - 1u, std::span<char>(&last, 1)).ok() ||
      last != kHeaderTerminator)
    return 0;

  // An appender in another process is about to write the count itself.
  ByteLock append_lock;
  if (ByteLock::TryAcquire(file.fd(), kAppendLockByte, LockKind::kExclusive, append_lock) != 0)
    return 0;
  // Read the length again under the lock: an append that finished after
  // the first look would otherwise be cut from the count.
  if (!file.ReadAt(0, header).ok() || !file.Length(length).ok()) return 0;
  const std::uint64_t complete =
      length > fields.header_length ? (length - fields.header_length) / fields.record_length : 0;
  if (complete > UINT32_MAX || complete == GetU32(header + 4)) return 0;
  char count[4];
  for (int i = 0; i < 4; ++i) count[i] = static_cast<char>((complete >> (8 * i)) & 0xFF);
  (void)file.WriteAt(4, count);
  return 0;
}

int DbTable::ClearProductionIndexFlag(const std::string& file_name) {
  bool changed = false;
  return WriteProductionFlag(file_name, 0, changed);
}

int DbTable::ForceIndexRebuild(const std::string& file_name) {
  bool changed = false;
  if (WriteProductionFlag(file_name, 1, changed) != 0 || !changed) return 0;

  const std::string index = FindFileIgnoringCase(CompanionPath(file_name, ".mdx"));
  if (index.empty()) return 0;
  // Another open of the index holds a share lock on it; then it stays.
  RawFile file;
  ShareLock exclusive;
  const bool free = file.Open(index, RawFile::Mode::kReadWrite).ok() &&
                    ShareLock::Acquire(file.fd(), AccessMode::kExclusive, true, exclusive) == 0;
  if (!free || ::unlink(index.c_str()) != 0) {
    reporter_->ShowMessage(kMessageIndexInUse, index);
    return kIndexNotReplaced;
  }
  return 0;
}

int DbTable::RebuildProductionIndex(const std::string& file_name,
                                    const std::vector<TagSpec>& tags, bool repair_command) {
  if (!repair_command) reporter_->ShowMessage(kMessageDamaged, file_name);
  EngineSettings& settings = engine_->settings();
  settings.safety = false;  // stays off: the old index is to be overwritten
  const bool auto_open = settings.auto_open;
  const AccessMode access_mode = settings.access_mode;
  settings.auto_open = false;
  settings.access_mode = AccessMode::kExclusive;

  if (table_) {
    table_->Close();
    table_.reset();
  }
  ClearProductionIndexFlag(file_name);
  int code = OpenExisting(file_name);
  if (code == 0) {
    code = table_->CreateIndexFile("", tags);
    if (code != 0) {
      table_->Close();
      table_.reset();
    }
  }

  settings.auto_open = auto_open;
  settings.access_mode = access_mode;
  reporter_->ShowMessage(code == 0 ? kMessageRepaired : kMessageNotRepaired, file_name);
  return code;
}

int DbTable::CloseTable() {
  if (!table_) return 0;
  engine_->ResetError();
  const int result = Checked(table_->Close());
  table_.reset();
  return result;
}

int DbTable::PackOnClose() {
  if (int closed = CloseTable(); closed != 0) return closed;
  EngineSettings& settings = engine_->settings();
  const AccessMode access_mode = settings.access_mode;
  settings.access_mode = AccessMode::kExclusive;
  engine_->ResetError();
  int code = OpenExisting(file_name_);
  settings.access_mode = access_mode;
  if (code != 0) return code;
  code = Checked(table_->Pack());
  const int closed = CloseTable();
  return code != 0 ? code : closed;
}

}  // namespace qm::engine
