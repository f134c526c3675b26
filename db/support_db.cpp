#include "db/support_db.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/security.h"
#include "platform/paths.h"
#include "platform/text_case.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kModule = "SupportDatabase";
constexpr std::size_t kLongestAlias = 32;

const std::vector<engine::FieldSpec>& SupportFields() {
  static const std::vector<engine::FieldSpec> fields = {
      {"SECTION", 'C', 35, 0},
      {"ENTRY", 'C', 35, 0},
      {"VALUE", 'C', static_cast<int>(kSupportValueWidth), 0},
      {"OTHER", 'N', 5, 0},
  };
  return fields;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimRight(text);
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  return text;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && platform::Cp1252ToUpper(a) == platform::Cp1252ToUpper(b);
}

// Leading digits with an optional sign, as the program has always read
// integers from its stores; nullopt for an empty text.
std::optional<int> ParseInt(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) {
    if (text.front() == '+') return ParseInt(text.substr(1));
    return 0;
  }
  return value;
}

bool IsDataFileVersionByte(unsigned char byte) {
  switch (byte) {
    case 0x02: case 0x03: case 0x04: case 0x05: case 0x30: case 0x31: case 0x43:
    case 0x63: case 0x7B: case 0x83: case 0x8B: case 0x8E: case 0xCB: case 0xF5: case 0xFB:
      return true;
    default:
      return false;
  }
}

// Restores the engine settings that opening the support table changes.
class SupportOpenSettings {
 public:
  explicit SupportOpenSettings(engine::TableEngine& engine)
      : settings_(engine.settings()), saved_(engine.settings()) {
    settings_.default_unique = 20;
    settings_.auto_open = false;
    settings_.access_mode = engine::AccessMode::kDenyNone;
  }
  ~SupportOpenSettings() {
    settings_.default_unique = saved_.default_unique;
    settings_.auto_open = saved_.auto_open;
    settings_.access_mode = saved_.access_mode;
  }
  SupportOpenSettings(const SupportOpenSettings&) = delete;
  SupportOpenSettings& operator=(const SupportOpenSettings&) = delete;

 private:
  engine::EngineSettings& settings_;
  engine::EngineSettings saved_;
};

}  // namespace

std::string SupportFileName(std::string_view database_file) {
  if (database_file.empty()) return {};
  fs::path path{std::string(database_file)};
  path.replace_extension(".SPT");
  return path.string();
}

bool IsTextSupportFile(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return false;
  // A data file starts with its version byte; its contents may hold any
  // text, a "[" after a line break included, so it is never taken for text.
  int first = in.peek();
  if (first == EOF || IsDataFileVersionByte(static_cast<unsigned char>(first))) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (Trim(line).starts_with('[')) return true;
  }
  return false;
}

SupportDb::SupportDb(engine::TableEngine& engine, engine::TableReporter& reporter)
    : DbTable(engine, reporter) {}

SupportDb::~SupportDb() {
  if (!shutting_down_) CloseSupport();
}

void SupportDb::LogEngineResult(int line, int result) {
  if (result != 0 && app::HasReporter()) {
    app::Reporter().LogDiagnostic(kModule, line, result);
  }
}

int SupportDb::OpenSupport(const std::string& file_name) {
  // No database named: there is no support file to make up a name for.
  if (file_name.empty()) return kSupportNotOpen;
  if (is_open() && open_file_ == file_name) return 0;
  if (is_open() && EqualIgnoringCase(open_file_, file_name)) return 0;
  if (IsTextSupportFile(file_name)) {
    if (int result = ConvertTextFile(file_name); result != 0) return result;
    if (is_open() && open_file_ == file_name) return 0;
  }
  CloseSupport();
  const bool is_new = !platform::FindFileIgnoringCase(file_name).has_value();
  if (OpenSupportTable(file_name) != 0) return kSupportCannotOpen;
  section_field_ = table()->FieldByName("SECTION");
  entry_field_ = table()->FieldByName("ENTRY");
  value_field_ = table()->FieldByName("VALUE");
  other_field_ = table()->FieldByName("OTHER");
  if (!section_field_ || !entry_field_ || !value_field_ || !other_field_) {
    reporter().ReportDatabaseError(file_name, kSupportCannotOpen);
    CloseTable();
    return kSupportCannotOpen;
  }
  open_file_ = file_name;
  if (is_new) WriteNoPasswordMarker();
  names_valid_ = false;
  LogEngineResult(__LINE__, table()->Unlock());
  return 0;
}

// A new or converted support file starts with protection off: the
// administrator entry holds the scrambled no-password marker, which every
// sign-on expects to find.
void SupportDb::WriteNoPasswordMarker() {
  WriteSupportString(app::kPasswordSection, app::kAdministratorEntry,
                     app::ScramblePassword(app::kNoPasswordMarker), false);
}

int SupportDb::OpenSupportTable(const std::string& file_name) {
  // The support file shares its base name with the database, and so the
  // table name the engine knows an open table by. The database may be open
  // already: it steps aside while the support table opens, which then goes
  // by a name of its own.
  std::string alias = platform::Cp1252ToUpper(fs::path(file_name).stem().string());
  if (alias.size() > kLongestAlias) alias.resize(kLongestAlias);
  engine::Table* namesake = engine().FindAlias(alias);
  if (namesake != nullptr) namesake->SetAlias(std::string(alias).substr(0, kLongestAlias - 1) + "~");
  int result = 0;
  {
    SupportOpenSettings settings(engine());
    ClearProductionIndexFlag(file_name);
    result = OpenOrCreate(file_name, SupportFields(), {});
  }
  if (result == 0 && table() != nullptr) {
    table()->SetAlias(std::string(alias).substr(0, kLongestAlias - 4) + ".SPT");
  }
  if (namesake != nullptr) namesake->SetAlias(alias);
  if (result != 0 || table() == nullptr) {
    if (table() != nullptr) CloseTable();
    return kSupportCannotOpen;
  }
  return 0;
}

int SupportDb::CloseSupport() {
  section_field_.reset();
  entry_field_.reset();
  value_field_.reset();
  other_field_.reset();
  open_file_.clear();
  names_valid_ = false;
  if (table() == nullptr) return 0;
  return CloseTable();
}

int SupportDb::FlushSupport() {
  if (!is_open()) return kSupportNotOpen;
  if (shutting_down_) return kSupportUnavailable;
  int result = Call([&] { return table()->Flush(); });
  switch (result) {
    case engine::kSuccess:
      return 0;
    case engine::kDuplicateKey:
      if (app::HasReporter()) {
        app::Reporter().LogInternalError(user_name_ + " r4unique in support database");
      }
      return 0;
    case engine::kLocked:
      if (app::HasReporter()) {
        app::Reporter().LogInternalError(user_name_ + " Support record locked");
      }
      reporter().ShowMessage(kSupportLocked, open_file_);
      return kSupportLocked;
    default: {
      if (app::HasReporter()) {
        app::Reporter().LogInternalError(user_name_ + "'s error number " +
                                         std::to_string(engine().error_code() < 0
                                                            ? engine().error_code()
                                                            : result) +
                                         " in Flush");
      }
      return kSupportFlushFailed;
    }
  }
}

int SupportDb::FindEntry(std::string_view section, std::string_view entry, bool release_locks) {
  free_row_ = 0;
  engine::Table* t = table();
  int moved = Call([&] { return t->Top(); });
  LogEngineResult(__LINE__, moved < 0 ? moved : 0);
  while (moved == 0 && !t->IsEof()) {
    if (t->IsDeleted()) {
      free_row_ = t->RecordNumber();
    } else {
      std::string stored_entry = entry_field_->Text();
      if (!entry.empty() && stored_entry.front() == entry.front() &&
          EqualIgnoringCase(TrimRight(stored_entry), entry) &&
          EqualIgnoringCase(TrimRight(section_field_->Text()), section)) {
        if (release_locks) LogEngineResult(__LINE__, t->Unlock());
        return 0;
      }
    }
    moved = t->Skip(1);
    if (moved < 0) LogEngineResult(__LINE__, moved);
  }
  if (release_locks) LogEngineResult(__LINE__, t->Unlock());
  return kSupportNotFound;
}

std::string SupportDb::CurrentValue() const { return std::string(TrimRight(value_field_->Text())); }

std::optional<std::string> SupportDb::FindValue(std::string_view section, std::string_view entry) {
  if (!is_open() || shutting_down_) return std::nullopt;
  if (FindEntry(section, entry) != 0) return std::nullopt;
  return CurrentValue();
}

int SupportDb::SetValue(std::string_view section, std::string_view entry, std::string_view value,
                        bool flush) {
  if (!is_open()) return kSupportNotOpen;
  if (shutting_down_) return kSupportUnavailable;
  if (value.size() > kSupportValueWidth) return engine::kErrorFieldValue;
  engine::Table* t = table();
  int result = 0;
  bool locked_row = false;
  if (FindEntry(section, entry) == 0) {
    result = Call([&] { return t->LockRecord(t->RecordNumber()); });
    locked_row = true;
  } else if (free_row_ != 0) {
    result = Call([&] { return t->LockRecord(free_row_); });
    if (result == 0) {
      int moved = Call([&] { return t->Go(free_row_); });
      LogEngineResult(__LINE__, moved);
      // Another user may have taken the row meanwhile: then append instead.
      if (moved != 0 || !t->IsDeleted()) {
        LogEngineResult(__LINE__, t->Unlock());
        free_row_ = 0;
      } else {
        result = Call([&] { return t->Recall(); });
        locked_row = true;
      }
    }
  }
  if (result == 0 && !locked_row) {
    result = Call([&] { return t->LockAppend(); });
    if (result == 0) {
      int started = Call([&] { return t->AppendStart(); });
      LogEngineResult(__LINE__, started);
      result = started;
      if (result == 0) result = Call([&] { return t->Blank(); });
      if (result == 0) result = section_field_->AssignText(section);
      if (result == 0) result = entry_field_->AssignText(entry);
      if (result == 0) result = value_field_->AssignText(value);
      if (result == 0) result = Call([&] { return t->Append(); });
    }
  } else if (result == 0) {
    result = section_field_->AssignText(section);
    if (result == 0) result = entry_field_->AssignText(entry);
    if (result == 0) result = value_field_->AssignText(value);
  }
  if (result == engine::kLocked) {
    LogEngineResult(__LINE__, t->Unlock());
    reporter().ShowMessage(kSupportLocked, open_file_);
    return kSupportLocked;
  }
  int unlocked = Call([&] { return t->Unlock(); });  // writes the changed row
  if (result == 0 && unlocked < 0) result = unlocked;
  if (result != 0) {
    reporter().ReportDatabaseError(open_file_, kSupportWriteFailed);
    return result < 0 ? kSupportFlushFailed : result;
  }
  names_valid_ = false;
  return flush ? FlushSupport() : 0;
}

int SupportDb::UpdateEntry(std::string_view section, std::string_view entry, bool flush,
                           const EntryUpdate& update) {
  if (!is_open()) return kSupportNotOpen;
  if (shutting_down_) return kSupportUnavailable;
  engine::Table* t = table();
  // The append lock makes the look and the change one step for every user
  // doing the same, and keeps a second one from creating the entry too.
  int result = Call([&] { return t->LockAppend(); });
  bool changed = false;
  if (result == 0) {
    if (FindEntry(section, entry, /*release_locks=*/false) == 0) {
      const engine::RecordNumber row = t->RecordNumber();
      result = Call([&] { return t->LockRecord(row); });
      if (result == 0) result = Call([&] { return t->Go(row); });  // as locked, not as scanned
      if (result == 0) {
        std::optional<std::string> value = update(CurrentValue());
        if (value && value->size() > kSupportValueWidth) result = engine::kErrorFieldValue;
        if (value && result == 0) {
          result = value_field_->AssignText(*value);
          changed = true;
        }
      }
    } else if (std::optional<std::string> value = update(std::nullopt)) {
      if (value->size() > kSupportValueWidth) result = engine::kErrorFieldValue;
      if (result == 0) result = Call([&] { return t->AppendStart(); });
      if (result == 0) result = Call([&] { return t->Blank(); });
      if (result == 0) result = section_field_->AssignText(section);
      if (result == 0) result = entry_field_->AssignText(entry);
      if (result == 0) result = value_field_->AssignText(*value);
      if (result == 0) result = Call([&] { return t->Append(); });
      changed = true;
    }
  }
  if (result == engine::kLocked) {
    LogEngineResult(__LINE__, t->Unlock());
    reporter().ShowMessage(kSupportLocked, open_file_);
    return kSupportLocked;
  }
  int unlocked = Call([&] { return t->Unlock(); });
  if (result == 0 && unlocked < 0) result = unlocked;
  if (result != 0) {
    reporter().ReportDatabaseError(open_file_, kSupportWriteFailed);
    return kSupportFlushFailed;
  }
  if (!changed) return 0;
  names_valid_ = false;
  return flush ? FlushSupport() : 0;
}

int SupportDb::AddToSupportInt(std::string_view section, std::string_view entry, int delta,
                               int minimum, bool flush, int& value) {
  return UpdateEntry(section, entry, flush, [&](const std::optional<std::string>& current) {
    const int old_value = current ? ParseInt(*current).value_or(0) : 0;
    value = std::max(minimum, old_value + delta);
    return std::optional<std::string>(std::to_string(value));
  });
}

int SupportDb::ClaimSupportEntry(std::string_view section, std::string_view entry,
                                 std::string_view claimant, std::string& holder) {
  holder.clear();
  int result = UpdateEntry(section, entry, true, [&](const std::optional<std::string>& current) {
    if (current && !current->empty() && *current != claimant) {
      holder = *current;
      return std::optional<std::string>();
    }
    if (current && *current == claimant) return std::optional<std::string>();
    return std::optional<std::string>(claimant);
  });
  if (result != 0) return result;
  return holder.empty() ? 0 : kSupportEntryClaimed;
}

int SupportDb::DeleteCurrentRow() {
  engine::Table* t = table();
  int result = Call([&] { return t->LockRecord(t->RecordNumber()); });
  if (result == engine::kLocked) {
    LogEngineResult(__LINE__, t->Unlock());
    reporter().ShowMessage(kSupportLocked, open_file_);
    return kSupportLocked;
  }
  if (result == 0) result = Call([&] { return t->Delete(); });
  int unlocked = Call([&] { return t->Unlock(); });
  if (result == 0 && unlocked < 0) result = unlocked;
  if (result != 0) return kSupportFlushFailed;
  names_valid_ = false;
  return 0;
}

// --- Access naming the file ---------------------------------------------

std::string SupportDb::GetSupportString(std::string_view section, std::string_view entry,
                                        std::string_view default_value,
                                        const std::string& file) {
  if (!shutting_down_ && OpenSupport(file) != 0) return std::string(default_value);
  return GetSupportString(section, entry, default_value);
}

std::string SupportDb::GetSupportString(std::string_view section, std::string_view entry,
                                        std::string_view default_value, std::size_t size,
                                        const std::string& file) {
  std::string value = GetSupportString(section, entry, default_value, file);
  if (size == 0) return {};
  if (value.size() > size - 1) value.resize(size - 1);
  return value;
}

int SupportDb::GetSupportInt(std::string_view section, std::string_view entry, int default_value,
                             const std::string& file) {
  if (!shutting_down_ && OpenSupport(file) != 0) return default_value;
  return GetSupportInt(section, entry, default_value);
}

int SupportDb::WriteSupportString(std::string_view section, std::string_view entry,
                                  std::string_view value, const std::string& file, bool flush) {
  if (shutting_down_) return 0;
  if (OpenSupport(file) != 0) return 0;
  return WriteSupportString(section, entry, value, flush);
}

int SupportDb::WriteSupportInt(std::string_view section, std::string_view entry, int value,
                               const std::string& file, bool flush) {
  return WriteSupportString(section, entry, std::to_string(value), file, flush);
}

// --- SupportStore on the open file ----------------------------------------

std::string SupportDb::GetSupportString(std::string_view section, std::string_view entry,
                                        std::string_view default_value) {
  std::optional<std::string> value = FindValue(section, entry);
  return value ? *value : std::string(default_value);
}

int SupportDb::GetSupportInt(std::string_view section, std::string_view entry,
                             int default_value) {
  std::optional<std::string> value = FindValue(section, entry);
  if (!value) return default_value;
  return ParseInt(*value).value_or(default_value);
}

int SupportDb::WriteSupportString(std::string_view section, std::string_view entry,
                                  std::string_view value, bool flush) {
  return SetValue(section, entry, value, flush) == 0 ? 1 : 0;
}

int SupportDb::WriteSupportInt(std::string_view section, std::string_view entry, int value,
                               bool flush) {
  return WriteSupportString(section, entry, std::to_string(value), flush);
}

int SupportDb::DeleteSupportEntry(std::string_view section, std::string_view entry, bool flush) {
  if (!is_open()) return kSupportNotOpen;
  if (shutting_down_) return kSupportUnavailable;
  if (FindEntry(section, entry) != 0) return kSupportNotFound;
  if (int result = DeleteCurrentRow(); result != 0) return result;
  return flush ? FlushSupport() : 0;
}

int SupportDb::DeleteSupportSection(std::string_view section, bool flush) {
  if (!is_open()) return kSupportNotOpen;
  if (shutting_down_) return kSupportUnavailable;
  engine::Table* t = table();
  int moved = Call([&] { return t->Top(); });
  while (moved == 0 && !t->IsEof()) {
    if (!t->IsDeleted() && EqualIgnoringCase(TrimRight(section_field_->Text()), section)) {
      if (int result = DeleteCurrentRow(); result != 0) return result;
    }
    moved = t->Skip(1);
  }
  LogEngineResult(__LINE__, moved < 0 ? moved : 0);
  return flush ? FlushSupport() : 0;
}

std::string SupportDb::SupportEntryName(std::string_view section, std::size_t index) {
  if (!names_valid_ || !EqualIgnoringCase(names_section_, section)) {
    names_.clear();
    names_section_ = std::string(section);
    if (is_open()) {
      engine::Table* t = table();
      int moved = Call([&] { return t->Top(); });
      while (moved == 0 && !t->IsEof()) {
        if (!t->IsDeleted() && EqualIgnoringCase(TrimRight(section_field_->Text()), section)) {
          names_.emplace_back(TrimRight(entry_field_->Text()));
        }
        moved = t->Skip(1);
      }
      LogEngineResult(__LINE__, t->Unlock());
    }
    names_valid_ = true;
  }
  return index < names_.size() ? names_[index] : std::string();
}

// --- Stopwatch records ------------------------------------------------------

int SupportDb::SaveStopwatchRecord(const std::string& database_file,
                                   const core::TimeRecord& record) {
  const std::string file = SupportFileName(database_file);
  std::string_view description = record.description.view();
  bool saved = WriteSupportString(user_name_, "DescriptionStart",
                                  description.substr(0, kSupportValueWidth), file, false) == 1;
  if (saved) {
    if (description.size() > kSupportValueWidth) {
      saved = WriteSupportString(user_name_, "DescriptionEnd",
                                 description.substr(kSupportValueWidth), file, false) == 1;
    } else {
      // A shorter description must not be read back with the end of an
      // earlier, longer one.
      int removed = DeleteSupportEntry(user_name_, "DescriptionEnd", false);
      saved = removed == 0 || removed == kSupportNotFound;
    }
  }
  if (saved) {
    std::string data;
    auto add = [&data](std::string_view item) {
      data.append(item);
      data.push_back(kStopwatchItemEnd);
    };
    for (const auto& descriptor : record.descriptors) add(descriptor.view());
    add(std::to_string(record.pauseDuration));
    add(std::to_string(record.edited));
    add(std::to_string(record.stopwatchState));
    add(std::to_string(static_cast<long long>(std::trunc(record.expense * 100.0))));
    add(std::to_string(record.billable));
    add(std::to_string(record.start));
    add(std::to_string(record.pauseOrigin));
    add(std::to_string(record.end));
    saved = WriteSupportString(user_name_, "RecordData", data, file, true) == 1;
  }
  if (!saved) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kStopwatchSaveFailed);
    return kStopwatchSaveFailed;
  }
  return 0;
}

int SupportDb::LoadStopwatchRecord(const std::string& database_file, core::TimeRecord& record,
                                   std::string_view user) {
  const std::string file = SupportFileName(database_file);
  const std::string owner(user.empty() ? std::string_view(user_name_) : user);
  std::string description = GetSupportString(owner, "DescriptionStart", "x", file);
  if (description == "x") return kSupportNotFound;
  if (description.size() > 248) {
    std::string rest = GetSupportString(owner, "DescriptionEnd", "x", file);
    if (rest != "x") {
      // The first part was stored at its full width; a blank that ended it
      // was lost with the trailing white space.
      if (description.size() == 249) description.push_back(' ');
      description += rest;
    }
  }
  record.description.assign(description);

  std::string data = GetSupportString(owner, "RecordData", "", file);
  std::vector<std::string> items;
  std::size_t begin = 0;
  while (begin < data.size()) {
    std::size_t end = data.find(kStopwatchItemEnd, begin);
    if (end == std::string::npos) end = data.size();
    items.emplace_back(data.substr(begin, end - begin));
    begin = end + 1;
  }
  items.resize(core::kDescriptorCount + 8);
  for (int i = 0; i < core::kDescriptorCount; ++i) {
    record.descriptors[i].assign(std::string_view(items[i]).substr(0, core::kDescriptorLength));
  }
  auto number = [&items](int i) { return ParseInt(items[core::kDescriptorCount + i]).value_or(0); };
  record.pauseDuration = number(0);
  record.edited = number(1);
  record.stopwatchState = number(2);
  record.expense = number(3) * 0.01;
  record.billable = number(4);
  record.start = number(5);
  record.pauseOrigin = number(6);
  record.end = number(7);
  record.descriptors[core::kPersonDescriptor].assign(
      std::string_view(owner).substr(0, core::kDescriptorLength));
  return 0;
}

// --- Active users -----------------------------------------------------------

int SupportDb::SetUserActive(const std::string& database_file, std::string_view user,
                             bool active) {
  const std::string file = SupportFileName(database_file);
  bool written = WriteSupportString(kUsersSection, user, active ? "1" : "0", file, true) == 1;
  if (written) {
    int count = 0;
    written = AddToSupportInt(kUserCountSection, kActiveUsersEntry, active ? 1 : -1, 0, true,
                              count) == 0;
  }
  if (!written) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kSupportWriteFailed);
    return kSupportWriteFailed;
  }
  return 0;
}

bool SupportDb::IsUserActive(const std::string& database_file, std::string_view user) {
  return GetSupportInt(kUsersSection, user, 0, SupportFileName(database_file)) == 1;
}

int SupportDb::ActiveUserCount() { return GetSupportInt(kUserCountSection, kActiveUsersEntry, 0); }

int SupportDb::SetActiveUserCount(int count) {
  return WriteSupportInt(kUserCountSection, kActiveUsersEntry, count < 0 ? 0 : count, true) == 1
             ? 0
             : kSupportWriteFailed;
}

// --- Conversion of the old text form ---------------------------------------

int SupportDb::ConvertTextFile(const std::string& file_name) {
  reporter().ShowMessage(kSupportConversionNotice, file_name);
  std::ifstream in(file_name, std::ios::binary);
  if (!in) {
    int error = errno;
    if (app::HasReporter()) {
      app::Reporter().ShowText(app::FormatMessageText(
          app::Reporter().LoadText(kSupportConversionOpenFailed).value_or(""),
          {file_name, static_cast<long long>(error)}));
    }
    return kSupportConversionCannotRead;
  }
  struct Kept {
    std::string section, entry, value;
  };
  std::vector<Kept> kept;
  std::string section;
  bool keep_section = false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 512) line.resize(512);
    std::string_view text = Trim(line);
    if (text.empty()) continue;
    if (text.front() == '[') {
      std::size_t close = text.find(']');
      if (close == std::string_view::npos) {
        reporter().ShowMessage(kSupportConversionCorrupt, file_name);
        return kSupportConversionCorrupt;
      }
      section = std::string(text.substr(1, close - 1));
      keep_section = section == kIdSection || section == kUsersSection ||
                     section == kUserCountSection || section == kUserLocksSection;
      continue;
    }
    if (!keep_section) continue;
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals < 1) continue;
    std::string_view entry = Trim(text.substr(0, equals));
    std::string_view value = Trim(text.substr(equals + 1));
    if (entry.empty() || value.empty()) continue;
    kept.push_back({section, std::string(entry), std::string(value.substr(0, kSupportValueWidth))});
  }
  in.close();

  // Keep the old file under the first free backup name before creating
  // the table in its place.
  fs::path old_path(file_name);
  std::error_code error;
  bool renamed = false;
  for (int n = 0; n < 100 && !renamed; ++n) {
    char extension[8];
    std::snprintf(extension, sizeof extension, ".b%-2.2d", n);
    fs::path backup = old_path;
    backup.replace_extension(extension);
    if (fs::exists(backup, error)) continue;
    fs::rename(old_path, backup, error);
    renamed = !error;
    break;
  }
  if (fs::exists(old_path, error) && (!fs::remove(old_path, error) || error)) {
    reporter().ShowMessage(kSupportConversionFailed, file_name);
    return kSupportConversionFailed;
  }

  CloseSupport();
  if (OpenSupportTable(file_name) != 0) return kSupportCannotOpen;
  section_field_ = table()->FieldByName("SECTION");
  entry_field_ = table()->FieldByName("ENTRY");
  value_field_ = table()->FieldByName("VALUE");
  other_field_ = table()->FieldByName("OTHER");
  open_file_ = file_name;
  names_valid_ = false;
  for (const Kept& row : kept) SetValue(row.section, row.entry, row.value, false);
  WriteNoPasswordMarker();
  if (int flushed = FlushSupport(); flushed != 0) return flushed;
  // Passwords were not carried over, so security is off in the new file.
  if (app::HasReporter()) app::Reporter().ShowMessage(kSupportConversionDone);
  return 0;
}

}  // namespace qm::db
