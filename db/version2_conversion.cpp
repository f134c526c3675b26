#include "db/version2_conversion.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "core/time_record_table.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "engine/table.h"
#include "platform/paths.h"

namespace qm::db {
namespace {

namespace fs = std::filesystem;

constexpr int kNotATimeRecordFile = 401;
constexpr int kAlreadyConverted = 402;
constexpr int kAppendFailed = 403;
constexpr int kBackupFailed = 404;
constexpr int kBackupExists = 405;
constexpr int kConfirmConversion = 407;
constexpr int kConverted = 409;
constexpr int kCannotCreate = 277;
constexpr int kCannotReplace = 152;
constexpr int kCannotOpen = 104;
constexpr int kDeniedByOtherProgram = 387;
constexpr int kCancelled = 127;

// Fields a version 2 table copies unchanged: PERSON to EDITED, and INVOICE.
constexpr int kCopiedFields[] = {
    core::kFieldPerson,  core::kFieldClient,    core::kFieldProject,   core::kFieldSubproject,
    core::kFieldTask,    core::kFieldRate,      core::kFieldExpense,   core::kFieldStartDate,
    core::kFieldStartTime, core::kFieldEndDate, core::kFieldEndTime,   core::kFieldPauseDuration,
    core::kFieldBillable, core::kFieldEdited,   core::kFieldInvoice};

std::string Text(int id, std::initializer_list<app::MessageArgument> arguments) {
  return app::FormatMessageText(app::Reporter().LoadText(id).value_or(""), arguments);
}

int Show(int id, std::initializer_list<app::MessageArgument> arguments) {
  app::Reporter().ShowText(Text(id, arguments));
  return id;
}

bool Ask(int id, std::initializer_list<app::MessageArgument> arguments) {
  return app::Reporter().AskYesNo(id, Text(id, arguments)) == platform::Button::kYes;
}

std::string Sibling(const std::string& file, const char* extension) {
  fs::path path(file);
  path.replace_extension(extension);
  return platform::FindFileIgnoringCase(path.string()).value_or(path.string());
}

// Opens without the production index and with quiet open errors.
std::unique_ptr<engine::Table> OpenQuietly(engine::TableEngine& engine, const std::string& file) {
  engine::EngineSettings& settings = engine.settings();
  const engine::EngineSettings saved = settings;
  settings.auto_open = false;
  settings.field_name_errors = false;
  std::unique_ptr<engine::Table> table = engine::Table::Open(engine, file);
  settings.auto_open = saved.auto_open;
  settings.field_name_errors = saved.field_name_errors;
  return table;
}

bool HasField(engine::Table& table, std::string_view name) {
  engine::EngineSettings& settings = table.engine().settings();
  const bool errors = settings.field_name_errors;
  settings.field_name_errors = false;
  const bool found = table.FieldNumber(name) > 0;
  settings.field_name_errors = errors;
  return found;
}

// Copies `from` to `to` through a scratch name, so that `to` is whole or
// untouched.
bool CopyWhole(const std::string& from, const std::string& to) {
  const std::string scratch = to + ".cpy";
  std::error_code error;
  fs::copy_file(from, scratch, fs::copy_options::overwrite_existing, error);
  if (!error) fs::rename(scratch, to, error);
  if (error) fs::remove(scratch, error);
  return !error;
}

}  // namespace

TableLayout InspectTimeRecordTable(engine::TableEngine& engine, const std::string& file_name) {
  if (!fs::exists(file_name)) return TableLayout::kMissing;
  std::unique_ptr<engine::Table> table = OpenQuietly(engine, file_name);
  engine.ResetError();
  if (!table) return TableLayout::kUnreadable;
  if (HasField(*table, core::kVersion2DescriptionField)) return TableLayout::kVersion2;
  for (const core::TableFieldSpec& field : core::kTimeRecordTableFields) {
    if (!HasField(*table, field.name)) return TableLayout::kUnreadable;
  }
  return TableLayout::kCurrent;
}

int ConvertVersion2Table(engine::TableEngine& engine, const std::string& file_name,
                         const std::string& backup_directory) {
  platform::EnsureDirectory(backup_directory);
  if (!Ask(kConfirmConversion, {file_name, backup_directory})) return 1;

  std::unique_ptr<engine::Table> old_table = OpenQuietly(engine, file_name);
  // The new table beside it has the same base name, and so would be known
  // to the engine by the same name.
  if (old_table) old_table->SetAlias("QMVERSION2");
  if (!old_table) {
    const bool denied = engine.error_code() == engine::kErrorAccess;
    engine.ResetError();
    return denied ? Show(kDeniedByOtherProgram, {file_name}) : Show(kCannotOpen, {file_name});
  }
  for (std::string_view name : {"PERSON", "TASK", "RATE", "EXPENSE", "START_DATE", "START_TIME"}) {
    if (!HasField(*old_table, name)) return Show(kNotATimeRecordFile, {file_name});
  }
  if (!HasField(*old_table, core::kVersion2DescriptionField)) {
    return Show(kAlreadyConverted, {file_name});
  }

  // Back up everything that belongs to the database before changing it.
  const std::string name = fs::path(file_name).filename().string();
  if (fs::exists(fs::path(backup_directory) / name) && !Ask(kBackupExists, {name, backup_directory})) {
    return kCancelled;
  }
  for (const std::string& file : {file_name, Sibling(file_name, ".mdx"), Sibling(file_name, ".dbt"),
                                  SupportFileName(file_name)}) {
    if (!fs::exists(file)) continue;
    if (!CopyWhole(file, (fs::path(backup_directory) / fs::path(file).filename()).string())) {
      return Show(kBackupFailed, {file, backup_directory});
    }
  }

  const std::string new_file = (fs::path(file_name).replace_extension(".new")).string();
  std::error_code error;
  fs::remove(new_file, error);
  {
    std::unique_ptr<engine::Table> new_table =
        engine::Table::Create(engine, new_file, TimeRecordFieldSpecs());
    if (!new_table || new_table->SetAlias("QMCONVERT") != 0) {
      return Show(kCannotCreate, {new_file});
    }
    std::optional<TableTimeRecordRow> row = TableTimeRecordRow::Bind(*new_table);
    std::optional<engine::Field> description = old_table->FieldByName(core::kVersion2DescriptionField);
    if (!row || !description) return Show(kCannotCreate, {new_file});
    const engine::RecordNumber count = old_table->RecordCount();
    for (engine::RecordNumber n = 1; n <= count; ++n) {
      bool appended = old_table->Go(n) == 0 && new_table->AppendStart() == 0 &&
                      new_table->Blank() == 0;
      if (appended) {
        for (int field : kCopiedFields) {
          std::optional<engine::Field> from =
              old_table->FieldByName(core::kTimeRecordTableFields[field].name);
          if (from) row->SetFieldText(field, from->Text());
        }
        const std::string text = description->MemoText();
        core::SetCharacterField(*row, core::kFieldDescriptionStart,
                                std::string_view(text).substr(0, 250));
        core::SetCharacterField(*row, core::kFieldDescriptionEnd,
                                text.size() > 250 ? std::string_view(text).substr(250) : "");
        appended = row->assign_error() == 0 && new_table->Append() == 0;
      }
      if (!appended) {
        new_table->Close();
        fs::remove(new_file, error);
        return Show(kAppendFailed, {});
      }
    }
    if (new_table->Close() != 0) {
      fs::remove(new_file, error);
      return Show(kAppendFailed, {});
    }
  }
  const std::string old_memo = Sibling(file_name, ".dbt");
  const std::string old_index = Sibling(file_name, ".mdx");
  old_table->Close();
  old_table.reset();

  if (!fs::remove(file_name, error) || error) {
    fs::remove(new_file, error);
    return Show(kCannotReplace, {new_file, file_name});
  }
  fs::rename(new_file, file_name, error);
  if (error) {
    CopyWhole((fs::path(backup_directory) / name).string(), file_name);
    return Show(kCannotReplace, {new_file, file_name});
  }
  fs::remove(old_memo, error);
  fs::remove(old_index, error);
  Show(kConverted, {file_name, backup_directory});
  return 0;
}

}  // namespace qm::db
