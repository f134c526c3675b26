#include "db/time_record_db.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "core/date_text.h"
#include "db/temporary_index_name.h"
#include "db/version2_conversion.h"
#include "engine/file_lock.h"
#include "engine/raw_file.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kModule = "TRACKDB";
constexpr int kVersion2Question = 400;
constexpr int kScrollRange = 32767;

bool ReporterReady() { return app::HasReporter(); }

// A row held in memory, to put a record's fields into the table's form.
class MemoryRow final : public core::TimeRecordRow {
 public:
  std::string FieldText(int field) const override { return texts_[field]; }
  void SetFieldText(int field, std::string_view text) override { texts_[field] = text; }

 private:
  std::array<std::string, core::kTimeRecordFieldCount> texts_;
};

// Changes engine settings for one scope and restores them after.
class ScopedOpenSettings {
 public:
  ScopedOpenSettings(engine::TableEngine& engine, bool auto_open, int default_unique)
      : settings_(engine.settings()), saved_(engine.settings()) {
    settings_.auto_open = auto_open;
    settings_.default_unique = default_unique;
  }
  ~ScopedOpenSettings() {
    settings_.auto_open = saved_.auto_open;
    settings_.default_unique = saved_.default_unique;
  }
  ScopedOpenSettings(const ScopedOpenSettings&) = delete;
  ScopedOpenSettings& operator=(const ScopedOpenSettings&) = delete;

 private:
  engine::EngineSettings& settings_;
  engine::EngineSettings saved_;
};

engine::TagSpec EndTimeTagSpec() {
  return {std::string(kEndTimeTagName), std::string(kEndTimeKey), std::string(kNotDeletedFilter),
          0, engine::kAscending};
}

bool NamesTag(const std::vector<engine::TagSpec>& tags, std::string_view name) {
  return std::any_of(tags.begin(), tags.end(),
                     [&](const engine::TagSpec& tag) { return tag.name == name; });
}

}  // namespace

void InitDatabaseEngine(engine::TableEngine& engine, int lock_attempts, int lock_delay_hundredths,
                        bool safe_mode) {
  engine.settings().lock_attempts = lock_attempts;
  engine.settings().lock_delay = lock_delay_hundredths;
  engine.settings().flush_writes = safe_mode;
}

const std::vector<engine::FieldSpec>& TimeRecordFieldSpecs() {
  static const std::vector<engine::FieldSpec> fields = [] {
    std::vector<engine::FieldSpec> list;
    for (const core::TableFieldSpec& field : core::kTimeRecordTableFields) {
      list.push_back({std::string(field.name), field.type, field.width, field.decimals});
    }
    return list;
  }();
  return fields;
}

std::string EditLockEntry(engine::RecordNumber number) {
  return "UserLocking" + std::to_string(number);
}

// --- TableTimeRecordRow -------------------------------------------------------

std::optional<TableTimeRecordRow> TableTimeRecordRow::Bind(engine::Table& table) {
  std::array<std::optional<engine::Field>, core::kTimeRecordFieldCount> found;
  for (int i = 0; i < core::kTimeRecordFieldCount; ++i) {
    const int number = table.FieldNumber(core::kTimeRecordTableFields[i].name);
    if (number < 1) return std::nullopt;
    found[i] = table.FieldAt(number);
    if (!found[i]) return std::nullopt;
  }
  return TableTimeRecordRow({*found[0], *found[1], *found[2], *found[3], *found[4], *found[5],
                             *found[6], *found[7], *found[8], *found[9], *found[10], *found[11],
                             *found[12], *found[13], *found[14], *found[15], *found[16]});
}

std::string TableTimeRecordRow::FieldText(int field) const { return fields_[field].Text(); }

void TableTimeRecordRow::SetFieldText(int field, std::string_view text) {
  int result = fields_[field].AssignText(text);
  if (result != 0 && assign_error_ == 0) assign_error_ = result;
}

// --- Opening and closing ------------------------------------------------------

TimeRecordDb::TimeRecordDb(engine::TableEngine& engine, engine::TableReporter& reporter,
                           SupportDb& support, TimeRecordDbOptions options)
    : DbTable(engine, reporter), support_(&support), options_(options) {}

TimeRecordDb::~TimeRecordDb() {
  if (is_open()) CloseTimeRecordDb();
}

int TimeRecordDb::OpenTable(const std::string& file_name, engine::DbTable& into,
                            std::optional<TableTimeRecordRow>& row) {
  int result = 0;
  {
    // Other users may be appending while this one opens. Holding the append
    // lock keeps the open's check of the header's record count from
    // measuring the file in the middle of someone's append (it then leaves
    // the count alone), which would drop their record from the count.
    engine::RawFile guard_file;
    engine::ByteLock append_guard;
    if (guard_file.Open(file_name, engine::RawFile::Mode::kReadWrite).ok()) {
      engine::ByteLock::Acquire(engine(), guard_file.fd(), engine::kAppendLockByte,
                                engine::LockKind::kExclusive, append_guard);
    }
    ScopedOpenSettings settings(engine(), /*auto_open=*/false, engine::kUniqueKeep);
    result = into.OpenOrCreate(file_name, TimeRecordFieldSpecs(), {});
  }
  if (result == 0 && into.table() != nullptr) {
    engine::EngineSettings& settings = engine().settings();
    const bool errors = settings.field_name_errors;
    settings.field_name_errors = false;  // the old layout is told apart by its fields
    const bool version2 = into.table()->FieldNumber(core::kVersion2DescriptionField) > 0;
    row = version2 ? std::nullopt : TableTimeRecordRow::Bind(*into.table());
    settings.field_name_errors = errors;
    if (version2) {
      into.CloseTable();
      return kVersion2Layout;
    }
    if (row) return 0;
  }
  if (into.table() != nullptr) into.CloseTable();
  const int fallback = fs::exists(file_name) ? kCannotOpenDatabase : engine::kMessageCannotCreate;
  reporter().ReportDatabaseError(file_name, fallback);
  return fallback;
}

int TimeRecordDb::CheckVersionBeforeOpen(const std::string& file_name,
                                         const std::string& backup_directory) {
  switch (InspectTimeRecordTable(engine(), file_name)) {
    case TableLayout::kCurrent:
      return 1;
    case TableLayout::kMissing:
    case TableLayout::kUnreadable:
      return 0;
    case TableLayout::kVersion2:
      break;
  }
  if (!ReporterReady()) return 0;
  const std::string question = app::FormatMessageText(
      app::Reporter().LoadText(kVersion2Question).value_or(""), {file_name});
  if (app::Reporter().AskYesNo(kVersion2Question, question) != platform::Button::kYes) return 0;
  const int result = ConvertVersion2Table(engine(), file_name, backup_directory);
  return result == 0 || result == 1 ? 1 : 0;
}

int TimeRecordDb::OpenTimeRecordDb(const std::string& file_name) {
  if (is_open()) CloseTimeRecordDb();
  if (int result = OpenTable(file_name, *this, row_); result != 0) return result;
  database_file_ = file_name;
  if (!options_.end_time_index_at_open) return 0;
  if (int result = OpenEndTimeIndex(); result != 0) {
    CloseTable();
    row_.reset();
    database_file_.clear();
    return result;
  }
  return 0;
}

int TimeRecordDb::OpenEndTimeIndex() {
  // Another run of this person may have the database open with its own
  // index file: the name choice steps around it rather than deleting it.
  const std::string file = ChooseTemporaryIndexName(
      fs::path(database_file_).parent_path().string(), support_->user_name());
  const int result = CreateTemporaryIndex(file, {EndTimeTagSpec()});
  if (result == 0) return 0;
  reporter().ReportDatabaseError(file, engine::kMessageCannotCreate);
  return result < 0 ? result : engine::kErrorIndex;
}

int TimeRecordDb::CreateTemporaryIndex(const std::string& file,
                                       const std::vector<engine::TagSpec>& tags) {
  if (!is_open()) return engine::kErrorInfo;
  CloseTemporaryIndex();
  engine().ResetError();
  // The name is this run's own choice: a file of that name that nobody
  // holds is a leftover to replace, one that somebody holds is refused as
  // locked (which the engine tells apart only with its safety off).
  engine::EngineSettings& settings = engine().settings();
  const bool safety = settings.safety;
  settings.safety = false;
  const int result = table()->CreateIndexFile(file, tags);
  settings.safety = safety;
  // A file that failed to build is left where it is: when the failure was
  // another open of it, it is not ours to delete, and a leftover is cleared
  // by the next name choice anyway.
  if (result != 0) return result;
  index_file_ = file;
  end_time_tag_ = table()->TagByName(kEndTimeTagName);
  if (NamesTag(tags, kUserTagName)) user_tag_ = table()->TagByName(kUserTagName);
  if (!end_time_tag_ || (NamesTag(tags, kUserTagName) && !user_tag_)) {
    CloseTemporaryIndex();
    return engine::kErrorTagName;
  }
  display_tag_ = user_tag_ ? user_tag_ : end_time_tag_;
  return table()->SelectTag(display_tag_);
}

void TimeRecordDb::CloseTemporaryIndex() {
  if (is_open() && !index_file_.empty()) {
    if (engine::IndexFile* index = table()->FindIndexFile(index_file_)) {
      table()->CloseIndexFile(*index);
    }
  }
  end_time_tag_.reset();
  user_tag_.reset();
  display_tag_.reset();
  if (!index_file_.empty()) {
    std::error_code ignored;
    fs::remove(index_file_, ignored);
    index_file_.clear();
  }
}

int TimeRecordDb::ReindexTemporaryIndex() {
  if (!is_open() || index_file_.empty()) return kNoTemporaryIndex;
  engine::IndexFile* index = table()->FindIndexFile(index_file_);
  if (index == nullptr) return kNoTemporaryIndex;
  engine().ResetError();
  if (int result = table()->ReindexFile(*index); result != 0) return result;
  // Records added by others since the open are counted now; the cursor
  // finds its place again in the rebuilt order.
  return table()->SelectTag(display_tag_);
}

bool TimeRecordDb::IsInUserTag(engine::RecordNumber number) const {
  if (!is_open() || !user_tag_ || number < 1 || number > table()->RecordCount()) return false;
  std::vector<char> record(static_cast<std::size_t>(table()->RecordWidth()));
  if (!table()->ReadRecord(number, record)) return false;
  return user_tag_->index_tag().Accepts(record);
}

void TimeRecordDb::SetDisplayTag(std::optional<engine::Tag> tag) {
  display_tag_ = tag ? tag : user_tag_ ? user_tag_ : end_time_tag_;
  if (is_open()) table()->SelectTag(display_tag_);
}

int TimeRecordDb::CloseTimeRecordDb() {
  if (!is_open()) return 0;
  if (!options_.single_user && support_->OpenSupport(support_file()) == 0) {
    // This user's edit locks end with the session.
    const std::string& user = support_->user_name();
    std::vector<std::string> mine;
    for (std::size_t i = 0;; ++i) {
      std::string entry = support_->SupportEntryName(kUserLocksSection, i);
      if (entry.empty()) break;
      if (support_->GetSupportString(kUserLocksSection, entry, "") == user) mine.push_back(entry);
    }
    for (const std::string& entry : mine) {
      support_->DeleteSupportEntry(kUserLocksSection, entry, false);
    }
    if (!mine.empty()) support_->FlushSupport();
  }
  support_->InvalidateEntryNames();
  CloseTemporaryIndex();
  row_.reset();
  int result = PackIfLastUser();
  if (table() != nullptr) {
    int closed = CloseTable();
    if (result == 0) result = closed;
  }
  database_file_.clear();
  last_change_counter_.reset();
  return result;
}

bool TimeRecordDb::HasDeletedRecords() {
  engine::Table* t = table();
  const engine::RecordNumber count = t->RecordCount();
  for (engine::RecordNumber n = 1; n <= count; ++n) {
    if (t->Go(n) != 0) return false;
    if (t->IsDeleted()) return true;
  }
  return false;
}

int TimeRecordDb::PackIfLastUser() {
  engine::Table* t = table();
  t->Unlock();
  if (!options_.pack_on_close) return 0;
  bool anybody_else = false;
  if (!options_.single_user) {
    anybody_else =
        support_->GetSupportInt(kUserCountSection, kActiveUsersEntry, 0, support_file()) > 0;
  }
  if (anybody_else || !HasDeletedRecords()) return 0;
  int result = PackOnClose();
  if (result == engine::kErrorAccess || result == engine::kErrorLock) {
    return 0;  // another program has the file open: it is packed another time
  }
  if (result != 0) {
    reporter().ShowMessage(kUnidentifiedError, database_file_);
    return 0;
  }
  return 0;
}

int TimeRecordDb::FlushDb() {
  if (!is_open()) return engine::kOperationIncomplete;
  int result = Call([&] { return table()->Flush(); });
  int unlocked = Call([&] { return table()->Unlock(); });
  return result == 0 && unlocked == 0 ? 0 : engine::kOperationIncomplete;
}

engine::RecordNumber TimeRecordDb::CurrentRecordNumber() const {
  return is_open() ? table()->RecordNumber() : 0;
}

// --- Changing records -----------------------------------------------------------

int TimeRecordDb::ReportEngineProblem(int result) {
  const int code = engine().error_code() < 0 ? engine().error_code() : result;
  if (ReporterReady()) app::Reporter().ShowMessageWithNumber(kEngineProblem, code);
  return kEngineProblem;
}

int TimeRecordDb::AddRecord(const core::TimeRecord& record, bool flush) {
  if (!is_open()) return kEngineProblem;
  engine::Table* t = table();
  int result = Call([&] { return t->LockAppend(); });
  if (result == engine::kLocked) {
    t->Unlock();
    if (ReporterReady()) app::Reporter().ShowMessage(kRecordBusy);
    return kRecordBusy;
  }
  if (result == 0) result = Call([&] { return t->AppendStart(); });
  if (result == 0) result = Call([&] { return t->Blank(); });
  if (result == 0) {
    TableTimeRecordRow row = *row_;
    core::StoreTimeRecord(record, row);
    result = row.assign_error();
  }
  if (result == 0) result = Call([&] { return t->Append(); });
  if (result != 0) {
    t->Unlock();
    return ReportEngineProblem(result);
  }
  result = Call([&] { return t->Unlock(); });
  if (result == 0 && flush) result = Call([&] { return t->Flush(); });
  return result == 0 ? 0 : ReportEngineProblem(result);
}

int TimeRecordDb::LockCurrentForChange() {
  if (options_.single_user) return 0;
  engine::Table* t = table();
  int result = Call([&] { return t->LockRecord(t->RecordNumber()); });
  if (result == engine::kLocked) {
    t->Unlock();
    if (ReporterReady()) app::Reporter().ShowMessage(kRecordBusy);
    return kRecordBusy;
  }
  return result;
}

int TimeRecordDb::ChangeCurrentRecord(const core::TimeRecord& record, bool flush) {
  if (!is_open() || table()->RecordNumber() == 0) return kNoSuchRecord;
  if (int result = LockCurrentForChange(); result != 0) return result;
  TableTimeRecordRow row = *row_;
  core::StoreTimeRecord(record, row);
  int result = row.assign_error();
  // Unlock writes the changed record.
  int written = Call([&] { return flush ? table()->Flush() : 0; });
  int unlocked = Call([&] { return table()->Unlock(); });
  if (result == 0) result = written != 0 ? written : unlocked;
  return result == 0 ? 0 : ReportEngineProblem(result);
}

int TimeRecordDb::DeleteCurrentRecord(bool flush) {
  if (!is_open() || table()->RecordNumber() == 0) return kNoSuchRecord;
  if (int result = LockCurrentForChange(); result != 0) return result;
  int result = Call([&] { return table()->Delete(); });
  int unlocked = Call([&] { return table()->Unlock(); });
  if (result == 0) result = unlocked;
  if (result == 0 && flush) result = Call([&] { return table()->Flush(); });
  if (result != 0) return ReportEngineProblem(result);
  AnnounceChange();
  return 0;
}

int TimeRecordDb::DeleteRecord(engine::RecordNumber number, bool flush) {
  if (!is_open()) return kNoSuchRecord;
  int moved = Call([&] { return table()->Go(number); });
  if (moved != 0) {
    if (ReporterReady()) app::Reporter().ReportInternalErrorCode(kModule, __LINE__, moved);
    return kNoSuchRecord;
  }
  return DeleteCurrentRecord(flush);
}

int TimeRecordDb::UndeleteRecord(engine::RecordNumber number) {
  if (!is_open()) return kNoSuchRecord;
  int result = Call([&] { return table()->Go(number); });
  if (result != 0) return kNoSuchRecord;
  if (int locked = LockCurrentForChange(); locked != 0) return locked;
  result = Call([&] { return table()->Recall(); });
  int unlocked = Call([&] { return table()->Unlock(); });
  if (result == 0) result = unlocked;
  if (result == 0) result = Call([&] { return table()->Flush(); });
  return result == 0 ? 0 : ReportEngineProblem(result);
}

// --- Reading --------------------------------------------------------------------

int TimeRecordDb::LoadCurrent(core::TimeRecord& record) {
  core::LoadTimeRecord(*row_, record);
  return 0;
}

int TimeRecordDb::MoveStatus(int result) const {
  if (result == engine::kEndOfFile || result == engine::kBeginningOfFile ||
      (result == 0 && (table()->IsEof() || table()->IsBof() || table()->RecordNumber() == 0))) {
    return kNoSuchRecord;
  }
  if (result < 0) return engine().error_code() == engine::kErrorRead ? kReadFailed : kAccessFailed;
  return 0;
}

int TimeRecordDb::FirstRecord(core::TimeRecord& record) {
  if (!is_open()) return kNoSuchRecord;
  int status = MoveStatus(Call([&] { return table()->Top(); }));
  return status == 0 ? LoadCurrent(record) : status;
}

int TimeRecordDb::LastRecord(core::TimeRecord& record) {
  if (!is_open()) return kNoSuchRecord;
  int result = Call([&] { return table()->Bottom(); });
  int status = MoveStatus(result);
  if (status == kReadFailed || status == kAccessFailed) ReportEngineProblem(result);
  return status == 0 ? LoadCurrent(record) : status;
}

int TimeRecordDb::NextRecord(core::TimeRecord& record) {
  if (!is_open()) return kNoSuchRecord;
  int status = MoveStatus(Call([&] { return table()->Skip(1); }));
  return status == 0 ? LoadCurrent(record) : status;
}

int TimeRecordDb::PreviousRecord(core::TimeRecord& record) {
  if (!is_open()) return kNoSuchRecord;
  int status = MoveStatus(Call([&] { return table()->Skip(-1); }));
  return status == 0 ? LoadCurrent(record) : status;
}

int TimeRecordDb::ReadRecordAt(engine::RecordNumber number, core::TimeRecord& record) {
  if (!is_open()) return kAccessFailed;
  int result = Call([&] { return table()->Go(number); });
  if (result != 0 || table()->RecordNumber() != number) {
    ReportEngineProblem(result);
    return kAccessFailed;
  }
  return LoadCurrent(record);
}

bool TimeRecordDb::IsCurrentDeleted() const { return is_open() && table()->IsDeleted(); }

bool TimeRecordDb::IsEmpty() {
  core::TimeRecord record;
  return FirstRecord(record) != 0;
}

long TimeRecordDb::CountRecords(bool filtered) {
  if (!is_open()) return 0;
  if (!filtered) return static_cast<long>(table()->RecordCount());
  long count = 0;
  int result = Call([&] { return table()->Top(); });
  while (MoveStatus(result) == 0) {
    ++count;
    result = table()->Skip(1);
  }
  return count;
}

int TimeRecordDb::ScrollPosition() {
  if (!is_open()) return 0;
  const double position = table()->Position() * kScrollRange;
  return std::clamp(static_cast<int>(std::lround(position)), 0, kScrollRange);
}

engine::RecordNumber TimeRecordDb::SetScrollPosition(int position) {
  if (!is_open()) return 0;
  Call([&] { return table()->SetPosition(position * (1.0 / kScrollRange)); });
  return table()->RecordNumber();
}

// --- Overlaps ------------------------------------------------------------------

int TimeRecordDb::FindOverlap(const core::TimeRecord& record, core::TimeRecord& found) {
  if (!is_open() || !end_time_tag_) return 0;
  engine::Table* t = table();
  t->SelectTag(end_time_tag_);
  MemoryRow key_row;
  core::StoreTimeRecord(record, key_row);
  const std::string key =
      key_row.FieldText(core::kFieldEndDate) + key_row.FieldText(core::kFieldEndTime);
  int result = Call([&] { return t->Seek(key); });
  if (result == engine::kEndOfFile || t->IsEof()) result = Call([&] { return t->Bottom(); });
  int overlap = 0;
  if (result >= 0 && !t->IsEof() && t->RecordNumber() != 0) {
    while (true) {
      LoadCurrent(found);
      if (found.end < record.start) break;
      overlap = core::TimesOverlap(record, found);
      if (overlap != 0) break;
      result = t->Skip(-1);
      if (result != 0 || t->IsBof()) break;
    }
  }
  t->SelectTag(display_tag_);
  return overlap;
}

int TimeRecordDb::CheckOverlapBeforeAdd(const core::TimeRecord& record) {
  if (options_.allow_overlapping_tasks) return 0;
  core::TimeRecord found;
  if (FindOverlap(record, found) == 0) return 0;
  if (ReporterReady()) {
    const std::string start = core::FormatDateTime(found.start, false);
    const std::string end = core::FormatDateTime(found.end, false);
    app::Reporter().ShowMessageWithArguments(kOverlapRefused,
                                             {std::string_view(start), std::string_view(end)});
  }
  return kOverlapRefused;
}

// --- Copying ----------------------------------------------------------------------

int TimeRecordDb::CopyDatabaseTo(const std::string& new_file_name) {
  if (!is_open()) return kCopyFailed;
  engine::Table* t = table();
  // The copy is written under a scratch name and renamed into place only
  // when complete, so a failed copy never leaves a partial database.
  const std::string scratch = new_file_name + ".cpy";
  std::error_code ignored;
  fs::remove(scratch, ignored);
  const std::string alias = t->Alias();
  t->SetAlias("xxxxq");
  bool copied = false;
  {
    engine::DbTable copy(engine(), reporter());
    std::optional<TableTimeRecordRow> copy_row;
    if (OpenTable(scratch, copy, copy_row) == 0) {
      copied = true;
      const engine::RecordNumber count = t->RecordCount();
      core::TimeRecord record;
      for (engine::RecordNumber n = 1; n <= count && copied; ++n) {
        if (t->Go(n) != 0) {
          copied = false;
          break;
        }
        if (t->IsDeleted()) continue;
        LoadCurrent(record);
        engine::Table* c = copy.table();
        copied = c->AppendStart() == 0 && c->Blank() == 0;
        if (copied) {
          core::StoreTimeRecord(record, *copy_row);
          copied = copy_row->assign_error() == 0 && c->Append() == 0;
        }
      }
      if (copy.CloseTable() != 0) copied = false;
    }
  }
  t->SetAlias(alias);
  t->SelectTag(display_tag_);
  if (copied) {
    fs::rename(scratch, new_file_name, ignored);
    copied = !ignored;
  }
  if (!copied) {
    fs::remove(scratch, ignored);
    if (ReporterReady()) {
      app::Reporter().ShowMessageWithArguments(
          kCopyFailed, {std::string_view(database_file_), std::string_view(new_file_name)});
    }
    return kCopyFailed;
  }
  return 0;
}

// --- Sharing with other users -----------------------------------------------------

int TimeRecordDb::LockRecordForEdit(engine::RecordNumber number, std::string& holder) {
  holder.clear();
  if (options_.single_user) return 0;
  if (database_file_.empty()) return kSupportNotOpen;
  if (support_->OpenSupport(support_file()) != 0) return kSupportNotOpen;
  int result = support_->ClaimSupportEntry(kUserLocksSection, EditLockEntry(number),
                                           support_->user_name(), holder);
  if (result == kSupportEntryClaimed) return kRecordEditLocked;
  return result;
}

std::string TimeRecordDb::RecordLockHolder(engine::RecordNumber number) {
  if (options_.single_user) return {};
  if (database_file_.empty()) return {};
  return support_->GetSupportString(kUserLocksSection, EditLockEntry(number), "", support_file());
}

bool TimeRecordDb::IsLockedByOther(engine::RecordNumber number, std::string& holder) {
  holder = RecordLockHolder(number);
  if (holder == support_->user_name()) holder.clear();
  return !holder.empty();
}

int TimeRecordDb::UnlockRecordForEdit(engine::RecordNumber number) {
  if (options_.single_user) return 0;
  if (support_->OpenSupport(support_file()) != 0) return kSupportNotOpen;
  int result = support_->DeleteSupportEntry(kUserLocksSection, EditLockEntry(number), true);
  return result == kSupportNotFound ? 0 : result;
}

int TimeRecordDb::LockEntireDatabase(std::string& holder) {
  holder.clear();
  if (options_.single_user) return 0;
  if (database_file_.empty()) return kSupportNotOpen;
  if (support_->OpenSupport(support_file()) != 0) return kSupportNotOpen;
  // Held by anyone, this user included, the lock refuses.
  const std::string current =
      support_->GetSupportString(kUserLocksSection, kEntireDatabaseEntry, "");
  if (!current.empty()) {
    holder = current;
    return kDatabaseLocked;
  }
  int result = support_->ClaimSupportEntry(kUserLocksSection, kEntireDatabaseEntry,
                                           support_->user_name(), holder);
  if (result == kSupportEntryClaimed) return kDatabaseLocked;
  return result;
}

int TimeRecordDb::UnlockEntireDatabase() {
  if (options_.single_user) return 0;
  if (support_->OpenSupport(support_file()) != 0) return kSupportNotOpen;
  int result = support_->DeleteSupportEntry(kUserLocksSection, kEntireDatabaseEntry, true);
  return result == kSupportNotFound ? 0 : result;
}

int TimeRecordDb::RememberChangeCounter() {
  if (options_.single_user) return 0;
  if (database_file_.empty()) return kSupportNotOpen;
  last_change_counter_ = support_->GetSupportInt(kIndexSection, kChangesEntry, 0, support_file());
  return 0;
}

int TimeRecordDb::AnnounceChange() {
  if (options_.single_user) return 0;
  if (!last_change_counter_) return kNoChangeCounter;
  if (support_->OpenSupport(support_file()) != 0) return kSupportNotOpen;
  int counter = 0;
  if (int result = support_->AddToSupportInt(kIndexSection, kChangesEntry, 1, 0, true, counter);
      result != 0) {
    return result;
  }
  last_change_counter_ = counter;
  return 0;
}

int TimeRecordDb::PollForChange() {
  if (options_.single_user || !last_change_counter_) return 0;
  const int counter = support_->GetSupportInt(kIndexSection, kChangesEntry, 0, support_file());
  if (counter == *last_change_counter_) return 0;
  last_change_counter_ = counter;
  return 1;
}

}  // namespace qm::db
