#include "run/program_run.h"

#include <filesystem>
#include <utility>

#include "app/message_format.h"
#include "app/security.h"
#include "app/settings_files.h"
#include "core/duration_settings.h"
#include "core/program_clock.h"
#include "core/time_record.h"
#include "db/table_reporter.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace qm::run {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNotSpecified = "<<Not Specified>>";
constexpr std::string_view kPersonSelectionText =
    "Select or type the name of the person who will be using this instance of the program.";

std::string Absolute(const std::string& file) {
  std::error_code error;
  fs::path path = fs::absolute(file, error);
  return error ? file : path.lexically_normal().string();
}

std::string FileNameOnly(const std::string& path) { return fs::path(path).filename().string(); }

// The regional settings of the program's own win.ini when the program
// directory holds one (a self-contained installation), else the user's.
int StartClock(const std::string& program_directory) {
  return core::InitClock([&program_directory] {
    if (auto own = platform::FindFileIgnoringCase(platform::JoinPath(program_directory, "win.ini"))) {
      return platform::ReadRegionalSettings(*own);
    }
    return platform::ReadRegionalSettings();
  });
}

}  // namespace

ProgramRun::ProgramRun(platform::UserInterface& ui, RunOptions options,
                       platform::UserInterface* sign_on_ui)
    : ui_(&ui), sign_on_ui_(sign_on_ui != nullptr ? sign_on_ui : &ui), options_(std::move(options)) {
  program_directory_ = options_.home.empty() ? platform::ProgramDirectory() : options_.home;
  if (!app::HasReporter()) {
    reporter_ = std::make_unique<app::ErrorReporter>(
        ui, app::ProgramSettingsPath(program_directory_, options_.ini));
    installed_ = std::make_unique<app::ScopedReporter>(*reporter_);
  }
  engine_.SetErrorHook(app::EngineErrorHook);
}

ProgramRun::~ProgramRun() { Close(); }

std::string ProgramRun::support_directory() {
  return app::SupportDirectory(program_, program_directory_);
}

bool ProgramRun::Prepare() {
  app::ErrorReporter& reporter = app::Reporter();
  program_.Bind(app::ProgramSettingsPath(program_directory_, options_.ini));
  if (int clock = StartClock(program_directory_); clock != 0) {
    reporter.ShowMessage(clock);
    return false;
  }
  user_name_ = options_.user;
  while (user_name_.empty()) {
    // The person selection; cancelling it ends the run.
    platform::TextPrompt prompt;
    prompt.caption = "Person Selection";
    prompt.prompt = std::string(kPersonSelectionText);
    prompt.max_length = app::kMaxUserNameLength;
    std::optional<std::string> typed = ui_->AskText(prompt);
    if (!typed) {
      reporter.ShowMessage(kApplicationExit);
      return false;
    }
    user_name_ = *typed;
  }
  reporter.SetUserName(user_name_);
  const std::string support = support_directory();
  std::error_code error;
  fs::create_directories(support, error);
  if (platform::Status status = user_.BindUser(support, user_name_); !status) {
    reporter.ShowError(status.message());
    return false;
  }
  app::LoadOptions load;
  load.program_directory = program_directory_;
  if (!options_.database.empty()) load.database_from_command_line = Absolute(options_.database);
  settings_ = app::LoadSettings(program_, user_, load);
  core::InstallDurationSettings(app::DurationSettingsFrom(settings_));
  database_ = !options_.database.empty() ? Absolute(options_.database)
              : !settings_.current_file.empty()
                  ? settings_.current_file
                  : platform::JoinPath(program_directory_, "untitled.dbf");
  db::InitDatabaseEngine(engine_, program_.GetInt("Settings", "NumLockAttempts", 60),
                         program_.GetInt("Settings", "LockDelay", 10), settings_.safe_mode != 0);
  db::TimeRecordDbOptions db_options;
  db_options.single_user = settings_.single_user != 0;
  db_options.pack_on_close = settings_.pack_on_close != 0;
  db_options.allow_overlapping_tasks =
      settings_.general.Get(app::GeneralConfigKey::kAllowOverlappingTasks) != 0;
  // The user index, built right after the open, holds the end-time tag too.
  db_options.end_time_index_at_open = false;
  support_ = std::make_unique<db::SupportDb>(engine_, db::RunTableReporter());
  support_->set_user_name(user_name_);
  db_ = std::make_unique<db::TimeRecordDb>(engine_, db::RunTableReporter(), *support_, db_options);
  descriptors_ = std::make_unique<db::DescriptorDb>(engine_, db::RunTableReporter());
  return true;
}

// The person signs on to the database: with protection off nothing is asked.
int ProgramRun::SignOn() {
  app::DatabaseSecurity security(database_, support_.get(), db::SupportFileName(database_),
                                 app::Reporter(), *sign_on_ui_);
  return security.SignOn(user_name_);
}

int ProgramRun::OpenDescriptors() {
  const std::string path = db::DescriptorFilePath(
      program_.GetString("Settings", "Descriptors File", ""), support_directory());
  if (int result = descriptors_->OpenDescriptorFile(path); result != 0) return result;
  // The person is always one of the people; a duplicate is refused quietly.
  descriptors_->AddDescriptor(user_name_, 0, false, "", db::kNotLinked);
  return 0;
}

void ProgramRun::LoadStopwatch() {
  if (support_->LoadStopwatchRecord(database_, stopwatch_) == 0) return;
  core::ClearTimeRecord(stopwatch_);
  for (auto& descriptor : stopwatch_.descriptors) descriptor.assign(kNotSpecified);
  stopwatch_.billable = 1;
  stopwatch_.stopwatchState = core::kStopwatchInactive;
  stopwatch_.descriptors[0].assign(user_name_);
}

std::string ProgramRun::UntitledDatabase() const {
  return platform::JoinPath(program_directory_, "untitled.dbf");
}

void ProgramRun::ShowNumbered(int number, const std::string& text) {
  ui_->Show({.number = number, .text = text, .caption = "Corvane Quillmark",
             .icon = platform::MessageIcon::kExclamation});
}

int ProgramRun::CheckDatabase() {
  const bool untitled = database_ == UntitledDatabase();
  if (!fs::exists(database_)) {
    if (untitled || options_.create_database) return 0;
    ShowNumbered(kDatabaseMissing,
                 app::FormatMessageText("The time record file '%s' does not exist.", {database_}));
    return kDatabaseMissing;
  }
  // A table of an earlier version is converted (after asking) first.
  if (db_->CheckVersionBeforeOpen(database_, platform::JoinPath(program_directory_, "backup")) ==
      1) {
    return 0;
  }
  if (untitled) return 0;  // reported when it fails to open below
  const std::string support = db::SupportFileName(database_);
  if (platform::FindFileIgnoringCase(support)) {
    ShowNumbered(kDatabaseCorrupt,
                 app::FormatMessageText("The time record file '%s' is not a valid time record "
                                        "file.  It may be damaged, or in use by another program.",
                                        {database_}));
    return kDatabaseCorrupt;
  }
  ShowNumbered(kSupportFileMissing,
               app::FormatMessageText("The support file '%s' of the time record file could not "
                                      "be found.",
                                      {support}));
  return kSupportFileMissing;
}

int ProgramRun::Open(const std::string& database) {
  if (!database.empty()) database_ = Absolute(database);
  if (!db_) return 1;
  int result = OpenDatabase();
  if (result != 0 && result != kApplicationExit && options_.fall_back_to_untitled &&
      database_ != UntitledDatabase()) {
    database_ = UntitledDatabase();
    result = OpenDatabase();
  }
  if (result == 0) start_up_completed_ = true;
  return result;
}

int ProgramRun::OpenDatabase() {
  app::ErrorReporter& reporter = app::Reporter();
  if (int result = CheckDatabase(); result != 0) return result;
  if (int result = support_->OpenSupport(db::SupportFileName(database_)); result != 0) {
    return result;
  }
  if (!db_->options().single_user && support_->IsUserActive(database_, user_name_)) {
    platform::Button answer = platform::Button::kYes;
    if (!options_.override_access_denied) {
      const std::string question =
          "The system reports that the resource \"" + user_name_ + "\" is already using the \"" +
          FileNameOnly(database_) +
          "\" database.  Thus you are denied access.\n\nDo you wish to override?";
      answer = reporter.AskYesNoCancel(question, platform::Button::kCancel);
    }
    if (answer != platform::Button::kYes) {
      reporter.ShowMessage(kApplicationExit);
      support_->CloseSupport();
      return kApplicationExit;
    }
    support_->SetUserActive(database_, user_name_, false);
  }
  access_level_ = SignOn();
  if (access_level_ != app::kValidAdministrator && access_level_ != app::kValidPerson) {
    const int refused = access_level_;
    access_level_ = app::kValidAdministrator;
    if (!options_.fall_back_to_untitled || database_ == UntitledDatabase()) {
      support_->CloseSupport();
      return refused;
    }
    // Without the password the untitled database opens instead, unprotected.
    reporter.ShowMessageWithText(kPasswordNotSupplied, database_);
    support_->CloseSupport();
    database_ = UntitledDatabase();
    if (int result = support_->OpenSupport(db::SupportFileName(database_)); result != 0) {
      return result;
    }
    app::DatabaseSecurity security(database_, support_.get(), db::SupportFileName(database_),
                                   reporter, *sign_on_ui_);
    security.TurnSecurityOff();
    access_level_ = SignOn();
    if (access_level_ != app::kValidAdministrator && access_level_ != app::kValidPerson) {
      const int again = access_level_;
      access_level_ = app::kValidAdministrator;
      support_->CloseSupport();
      return again;
    }
  }
  if (int result = OpenDescriptors(); result != 0) {
    support_->CloseSupport();
    return result;
  }
  if (!db_->options().single_user) {
    if (int result = support_->SetUserActive(database_, user_name_, true); result != 0) {
      descriptors_->CloseDescriptorFile();
      support_->CloseSupport();
      return result;
    }
    active_ = true;
  }
  if (int result = db_->OpenTimeRecordDb(database_); result != 0) {
    if (result == db::kVersion2Layout) {
      reporter.ShowMessageWithText(db::kVersion2Layout, database_);
    }
    Close();
    return result;
  }
  view::FilterScope scope;
  scope.administrator = access_level_ == app::kValidAdministrator;
  scope.person = user_name_;
  user_index_ = std::make_unique<view::UserIndex>(*db_, user_, scope);
  user_index_->set_user_interface(*ui_);
  record_list_ = std::make_unique<view::RecordListModel>(*user_index_, settings_.layout,
                                                         app::DurationSettingsFrom(settings_));
  // A rebuilt index shows other records: the selection and the summary go.
  user_index_->set_changed_hook([this] {
    record_list_->OnIndexRebuilt();
    summary_cache_.Clear();
  });
  if (int result = user_index_->RebuildFromSettings(); result != 0) {
    Close();
    return result;
  }
  LoadStopwatch();
  return 0;
}

int ProgramRun::Close() {
  if (!db_) return 0;
  int result = 0;
  if (changed_ && db_->IsOpen()) {
    result = db_->AnnounceChange();
    changed_ = false;
  }
  if (int inactive = MarkInactive(); inactive != 0 && result == 0) result = inactive;
  if (user_index_) {
    record_list_.reset();
    summary_cache_.Clear();
    user_index_->CloseUserIndex();
    user_index_.reset();
  }
  if (db_->IsOpen()) {
    if (int closed = db_->CloseTimeRecordDb(); closed != 0 && result == 0) result = closed;
  }
  if (descriptors_ && descriptors_->is_open()) descriptors_->CloseDescriptorFile();
  support_->CloseSupport();
  if (start_up_completed_ && options_.save_settings_at_exit) {
    if (int saved = app::SaveSettings(program_, user_, settings_, database_, 0, app::Reporter());
        saved != 0 && result == 0) {
      result = saved;
    }
  }
  start_up_completed_ = false;
  return result;
}

bool ProgramRun::PollForChanges() {
  if (!record_list_ || !db_->IsOpen()) return false;
  if (!record_list_->PollForChanges()) return false;
  summary_cache_.Clear();
  return true;
}

stopwatch::EntryContext ProgramRun::entry_context() {
  return stopwatch::EntryContext{
      .db = *db_,
      .support = *support_,
      .descriptors = *descriptors_,
      .settings = settings_,
      .user_settings = user_,
      .program_settings = program_,
      .user_name = user_name_,
      .administrator = is_administrator(),
      .support_directory = support_directory(),
      // Saving announced the change already; the front end only redraws.
      .records_changed =
          [this] {
            summary_cache_.Clear();
            if (hooks_.records_changed) hooks_.records_changed();
          },
  };
}

void ProgramRun::RememberAsCurrent() {
  if (platform::Status status = user_.WriteString("Settings", "CurrentFile", database_); !status) {
    app::Reporter().ShowError(status.message());
  }
}

int ProgramRun::MarkInactive() {
  if (!active_) return 0;
  active_ = false;
  return support_->SetUserActive(database_, user_name_, false);
}

}  // namespace qm::run
