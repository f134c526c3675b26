// ProgramRun: one run of the program on one time record database, the same
// for the desktop program and for every quillmk-cli command.
//
// Start-up, in order: the error reporter with the program's settings file,
// the engine's lock settings and safe mode, the person (chosen through the
// UserInterface when not given) with their settings file, the database
// (the one given, else the person's "CurrentFile", else untitled.dbf), its
// support file, the "Access Denied" question when the support file says
// the person already uses the database, the settings, the check of the
// database with its fall-back to the untitled one, sign-on, the descriptor
// file with the person added, the database opened with the user index
// built from the saved filter and sort order, the stopwatch record, and the
// person marked active. Shutdown undoes it in reverse and saves the
// settings when start-up had completed.
//
// The windows of the desktop program (title screen, placement, system
// menu, bars, tour, tip of the day) are not here: the hooks of RunHooks
// are called at their places.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/error_reporter.h"
#include "app/loaded_settings.h"
#include "app/settings.h"
#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "engine/engine.h"
#include "platform/user_interface.h"
#include "stopwatch/entry_context.h"
#include "view/record_list_model.h"
#include "view/summary.h"
#include "view/user_index.h"

namespace qm::run {

// Messages of start-up.
inline constexpr int kApplicationExit = 217;
inline constexpr int kDatabaseMissing = 251;
inline constexpr int kDatabaseCorrupt = 252;
inline constexpr int kSupportFileMissing = 253;
inline constexpr int kPasswordNotSupplied = 370;

struct RunOptions {
  std::string home;      // the program directory; "" for the platform's
  std::string ini;       // the program settings file; "" for QUILLMK.INI in home
  std::string user;      // the person; "" asks through the UserInterface
  std::string database;  // "" for the person's "CurrentFile"
  // Answers the "Access Denied" question: true overrides, false asks.
  bool override_access_denied = false;
  // When set, a run whose database does not exist creates it instead of
  // falling back to the untitled database (the "New" command).
  bool create_database = false;
  // The desktop program falls back to the untitled database when the one
  // asked for cannot be used (messages 251-253, 370); a command stops
  // instead, so that nothing lands in a database nobody named.
  bool fall_back_to_untitled = true;
  // The desktop program saves the person's settings at the end of the run;
  // a command writes what it changes at once and leaves the rest alone.
  bool save_settings_at_exit = true;
};

// What the desktop program does at the places of start-up that show
// windows; every hook may be empty.
struct RunHooks {
  std::function<void()> restore_window;      // placement, bars
  std::function<void()> after_start_up;      // stopwatch dialog, tour or tip
  std::function<void()> database_reopened;   // redraw list, totals, title
  std::function<void()> records_changed;     // records added or changed: redraw
};

class ProgramRun {
 public:
  // `ui` shows the run's messages and questions; `sign_on_ui` answers the
  // password prompts (the same interface unless a front end pre-answers).
  ProgramRun(platform::UserInterface& ui, RunOptions options,
             platform::UserInterface* sign_on_ui = nullptr);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  // Settings, person and database name; false (reported) when unusable.
  bool Prepare();
  // Opens `database` (the chosen one when empty) with its support file,
  // signs on, opens the descriptor file, builds the user index, loads the
  // stopwatch record and marks the person active. 0, or the code of the
  // reported failure.
  int Open(const std::string& database = {});
  // Announces a change to the other users at the close.
  void MarkChanged() { changed_ = true; }
  // The shutdown: the person marked inactive, settings saved when start-up
  // completed, everything closed (the last user out packs the table).
  int Close();
  // Ends this run's count among the active users before the close.
  int MarkInactive();
  // Makes the open database the person's "CurrentFile".
  void RememberAsCurrent();

  // --- What the run holds -------------------------------------------------
  const std::string& database() const { return database_; }
  const std::string& user_name() const { return user_name_; }
  const std::string& program_directory() const { return program_directory_; }
  std::string support_directory();
  int access_level() const { return access_level_; }
  bool is_administrator() const { return access_level_ == 240; }
  bool start_up_completed() const { return start_up_completed_; }
  db::TimeRecordDb& db() { return *db_; }
  db::SupportDb& support() { return *support_; }
  db::DescriptorDb& descriptors() { return *descriptors_; }
  view::UserIndex& user_index() { return *user_index_; }
  // The rows of the record list and its selection (valid while open).
  view::RecordListModel& record_list() { return *record_list_; }
  // The summary's figures, kept until the records, filter or sort change.
  view::SummaryCache& summary_cache() { return summary_cache_; }
  // The change-polling timer's tick ("PollForChanges", every "PollPeriod"
  // seconds): another user's change reindexes the user index, re-selects
  // and forgets the summary. True when something changed.
  bool PollForChanges();
  engine::TableEngine& engine() { return engine_; }
  app::CSettings& program_settings() { return program_; }
  app::CSettings& user_settings() { return user_; }
  app::LoadedSettings& settings() { return settings_; }
  platform::UserInterface& ui() { return *ui_; }
  // The person's stopwatch record, loaded at the open.
  core::TimeRecord& stopwatch_record() { return stopwatch_; }
  RunOptions& options() { return options_; }
  // What entering time needs of this run (valid while the run is open);
  // saved records call the records_changed hook.
  stopwatch::EntryContext entry_context();
  RunHooks& hooks() { return hooks_; }

 private:
  int SignOn();
  // Start-up from the check of the database to the person marked active,
  // for `database_`. 0, or the code of the reported failure.
  int OpenDatabase();
  // Message 251, 252 or 253 when `database_` cannot be used as a time
  // record database; 0 when it can (or is the untitled one, which is
  // created when missing).
  int CheckDatabase();
  void ShowNumbered(int number, const std::string& text);
  std::string UntitledDatabase() const;
  int OpenDescriptors();
  void LoadStopwatch();

  platform::UserInterface* ui_;
  platform::UserInterface* sign_on_ui_;
  RunOptions options_;
  RunHooks hooks_;
  std::unique_ptr<app::ErrorReporter> reporter_;
  std::unique_ptr<app::ScopedReporter> installed_;
  std::string program_directory_;
  std::string user_name_;
  std::string database_;
  int access_level_ = 240;
  bool start_up_completed_ = false;
  app::CSettings program_;
  app::CSettings user_;
  app::LoadedSettings settings_;
  engine::TableEngine engine_;
  std::unique_ptr<db::SupportDb> support_;
  std::unique_ptr<db::TimeRecordDb> db_;
  std::unique_ptr<db::DescriptorDb> descriptors_;
  std::unique_ptr<view::UserIndex> user_index_;
  std::unique_ptr<view::RecordListModel> record_list_;
  view::SummaryCache summary_cache_;
  core::TimeRecord stopwatch_{};
  bool active_ = false;
  bool changed_ = false;
};

}  // namespace qm::run
