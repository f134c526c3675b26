// db new | open | info | copy | rename | delete | repair | pack: the time
// record database as a whole, and DbSession, the one program run that every
// command on a database is.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/error_reporter.h"
#include "app/settings.h"
#include "cli/command.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "engine/engine.h"

namespace qm::cli {

void AddDbCommands(std::vector<Command>& commands);

// One program run on one database: the user is marked active in the
// support file and the database opened; Close announces what changed, marks
// the user inactive and closes (the last user out packs the table).
class DbSession {
 public:
  explicit DbSession(CommandContext& context);
  ~DbSession();
  DbSession(const DbSession&) = delete;
  DbSession& operator=(const DbSession&) = delete;

  // Settings, user and database name; false (reported) when unusable.
  bool Prepare();
  // Marks the user active and opens `database` (the --db file when empty).
  // 0, or the code of the reported failure.
  int Open(const std::string& database = {});
  // Announces a change to the other users at the close.
  void MarkChanged() { changed_ = true; }
  int Close();
  // Ends this run's count among the active users before the close, for a
  // copy of the support file that must not count it.
  int MarkInactive();
  // Makes the open database the user's current one ("CurrentFile"), which
  // later commands use without --db.
  void RememberAsCurrent();

  const std::string& database() const { return database_; }
  const std::string& user_name() const { return user_name_; }
  const std::string& program_directory() const { return program_directory_; }
  db::TimeRecordDb& db() { return *db_; }
  db::SupportDb& support() { return *support_; }
  engine::TableEngine& engine() { return engine_; }
  CommandContext& context() { return context_; }

 private:
  // 240 or 241 when the person may work on the database, else the refusal.
  int SignOn();
  CommandContext& context_;
  std::unique_ptr<app::ErrorReporter> reporter_;
  std::unique_ptr<app::ScopedReporter> installed_;
  std::string program_directory_;
  std::string user_name_;
  std::string database_;
  app::CSettings program_;
  app::CSettings user_;
  engine::TableEngine engine_;
  std::unique_ptr<db::SupportDb> support_;
  std::unique_ptr<db::TimeRecordDb> db_;
  bool active_ = false;
  bool changed_ = false;
};

}  // namespace qm::cli
