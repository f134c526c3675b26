#include "cli/db_commands.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

#include "app/message_format.h"
#include "app/security.h"
#include "cli/command_replies.h"
#include "cli/descriptor_commands.h"
#include "cli/password_option_ui.h"
#include "cli/security_commands.h"
#include "app/settings_files.h"
#include "cli/user_name.h"
#include "db/file_management.h"
#include "db/table_reporter.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace qm::cli {
namespace {

namespace fs = std::filesystem;

std::string Absolute(const std::string& file) {
  std::error_code error;
  fs::path path = fs::absolute(file, error);
  return error ? file : path.lexically_normal().string();
}

int Finish(DbSession& session, int result) {
  int closed = session.Close();
  return result == 0 && closed == 0 ? kExitOk : kExitFailed;
}

// --- db new / open -------------------------------------------------------------

int RunDbNew(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, "db new FILE");
  const std::string file = Absolute(context.args[0]);
  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  if (!db::NameIsFree(file)) {
    app::Reporter().ShowMessageWithText(db::kNameTaken, file);
    return kExitFailed;
  }
  session.options().create_database = true;
  if (session.Open(file) != 0) return kExitFailed;
  session.RememberAsCurrent();
  context.out << "Created " << file << "\n";
  return Finish(session, 0);
}

int RunDbOpen(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, "db open FILE");
  const std::string file = Absolute(context.args[0]);
  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  if (!fs::exists(file)) {
    app::Reporter().ShowMessageWithText(155, file);
    return kExitFailed;
  }
  if (session.Open(file) != 0) return kExitFailed;
  session.RememberAsCurrent();
  context.out << "Opened " << file << " (" << session.db().CountRecords(false)
              << " records)\n";
  return Finish(session, 0);
}

// --- db info ---------------------------------------------------------------------

int RunDbInfo(CommandContext& context) {
  if (!context.args.empty()) return Usage(context, "db info");
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  db::TimeRecordDb& records = session.db();
  db::SupportDb& support = session.support();
  const long total = records.CountRecords(false);
  const long kept = records.CountRecords(true);
  // The other users: this run counts itself among the active ones.
  const int others = std::max(0, support.ActiveUserCount() - 1);
  const int changes = support.GetSupportInt(db::kIndexSection, db::kChangesEntry, 0);
  // Protection is on when the administrator entry holds a password rather
  // than the no-password marker.
  const std::string administrator =
      support.GetSupportString(app::kPasswordSection, app::kAdministratorEntry, "");
  const bool is_protected = !administrator.empty() &&
                            app::UnscramblePassword(administrator) != app::kNoPasswordMarker;
  context.out << "path: " << session.database() << "\n"
              << "records: " << total << "\n"
              << "deleted: " << total - kept << "\n"
              << "active users: " << others << "\n"
              << "changes: " << changes << "\n"
              << "protected: " << (is_protected ? "yes" : "no") << "\n";
  return Finish(session, 0);
}

// --- db copy / rename / delete ------------------------------------------------------

int CopyOrRename(CommandContext& context, bool rename) {
  if (context.args.size() != 1) {
    return Usage(context, rename ? "db rename NEWFILE" : "db copy NEWFILE");
  }
  const std::string target = Absolute(context.args[0]);
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  if (!db::NameIsFree(target)) {
    app::Reporter().ShowMessageWithText(db::kNameTaken, target);
    return Finish(session, 1);
  }
  if (rename && session.support().ActiveUserCount() > 1) {
    app::Reporter().ShowMessageWithText(db::kDatabaseLocked, "another user");
    return Finish(session, 1);
  }
  const std::string old_file = session.database();
  // The copy of the support file must not count this run as a user of the
  // new database.
  int result = session.MarkInactive();
  if (result == 0) result = db::CopyDatabaseFiles(session.db(), target);
  if (result != 0) return Finish(session, result);
  int closed = session.Close();
  if (closed != 0) return kExitFailed;
  if (rename) {
    if (db::DeleteDatabaseFiles(old_file) != 0) return kExitFailed;
    context.out << "Renamed " << old_file << " to " << target << "\n";
  } else {
    context.out << "Copied " << old_file << " to " << target << "\n";
  }
  return kExitOk;
}

int RunDbCopy(CommandContext& context) { return CopyOrRename(context, false); }
int RunDbRename(CommandContext& context) { return CopyOrRename(context, true); }

int RunDbDelete(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, "db delete FILE");
  const std::string file = Absolute(context.args[0]);
  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  app::ErrorReporter& reporter = app::Reporter();
  if (!fs::exists(file)) {
    reporter.ShowMessageWithText(155, file);
    return kExitFailed;
  }
  {
    db::SupportDb support(session.engine(), db::RunTableReporter());
    if (fs::exists(db::SupportFileName(file)) &&
        support.GetSupportInt(db::kUserCountSection, db::kActiveUsersEntry, 0,
                              db::SupportFileName(file)) > 0) {
      reporter.ShowMessage(156);
      return kExitFailed;
    }
  }
  const bool with_support = fs::exists(db::SupportFileName(file));
  const std::string question = app::FormatMessageText(
      reporter.LoadText(with_support ? 1102 : 1110).value_or(""), {file});
  if (reporter.AskYesNo(question, platform::Button::kNo) != platform::Button::kYes) {
    return kExitFailed;
  }
  if (db::DeleteDatabaseFiles(file) != 0) return kExitFailed;
  context.out << "Deleted " << file << "\n";
  return kExitOk;
}

// --- db repair / pack ---------------------------------------------------------------

int RunDbRepair(CommandContext& context) {
  if (!context.args.empty()) return Usage(context, "db repair");
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  if (RequireDatabaseAccess(context, app::SecuredOperation::kRepairDatabases) != 0) {
    return Finish(session, 1);
  }
  app::ErrorReporter& reporter = app::Reporter();
  if (reporter.AskYesNo(57655, reporter.LoadText(57655).value_or("")) != platform::Button::kYes) {
    return Finish(session, 1);
  }
  db::SupportDb& support = session.support();
  if (support.ActiveUserCount() > 1 &&
      reporter.AskYesNo(57656, reporter.LoadText(57656).value_or("")) != platform::Button::kYes) {
    return Finish(session, 1);
  }
  // The shared files' indexes are rebuilt first; only when all of them are,
  // the locks left by runs that ended without closing go, and the only user
  // left is this run.
  // The shared indexes are rebuilt from scratch: this run's own open of
  // the descriptor file must not stand in the way.
  session.descriptors().CloseDescriptorFile();
  int result = RepairSharedIndexes(context);
  if (result == 0) result = support.DeleteSupportSection(db::kUserLocksSection, true);
  if (result == 0) result = support.SetActiveUserCount(1);
  if (result == 0) context.out << "Repaired " << session.database() << "\n";
  return Finish(session, result);
}

int RunDbPack(CommandContext& context) {
  if (!context.args.empty()) return Usage(context, "db pack");
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  if (session.support().ActiveUserCount() > 1) {
    app::Reporter().ShowMessageWithText(db::kDatabaseLocked, "another user");
    return Finish(session, 1);
  }
  const long before = session.db().CountRecords(false);
  const long kept = session.db().CountRecords(true);
  int result = session.db().PackOnClose();
  if (result == 0) {
    context.out << "Packed " << session.database() << ": " << before - kept
                << " deleted records removed\n";
  }
  return Finish(session, result);
}

}  // namespace

// --- DbSession -------------------------------------------------------------------------

namespace {

run::RunOptions OptionsOf(const CommandContext& context) {
  run::RunOptions options;
  options.home = context.options.home;
  options.ini = context.options.ini;
  options.user = RunUserName(context).value_or("");
  options.database = context.options.db;
  options.override_access_denied = context.options.yes;
  options.save_settings_at_exit = false;
  options.fall_back_to_untitled = false;
  return options;
}

}  // namespace

DbSessionPasswordUi::DbSessionPasswordUi(CommandContext& context)
    : password_ui(context.ui, context.options.password) {}

DbSession::DbSession(CommandContext& context)
    : DbSessionPasswordUi(context),
      ProgramRun(context.ui, OptionsOf(context), &password_ui),
      context_(context) {}

void AddDbCommands(std::vector<Command>& commands) {
  commands.push_back({"db new", "db new FILE", "create a new, empty time record database",
                      "Creates FILE and its support file; the name and its companion names\n"
                      "(.SPT, .mdx, .dbt) must be free.",
                      RunDbNew});
  commands.push_back({"db open", "db open FILE", "open a time record database",
                      "Opens FILE as a program run would, converting older forms.", RunDbOpen});
  commands.push_back({"db info", "db info", "the open database: records, users, changes",
                      "Prints the path, the record count, the deleted records, the other\n"
                      "active users, the change counter and whether passwords protect it.",
                      RunDbInfo});
  commands.push_back({"db copy", "db copy NEWFILE", "save the database under a new name",
                      "Copies the support file and the records that are not deleted; the\n"
                      "new files appear only when complete.",
                      RunDbCopy});
  commands.push_back({"db rename", "db rename NEWFILE", "rename the database",
                      "A copy followed by the deletion of the old files.", RunDbRename});
  commands.push_back({"db delete", "db delete FILE", "delete a database and its support file",
                      "Asks first; refuses a database that users have open.", RunDbDelete});
  commands.push_back({"db repair", "db repair", "clear stale locks of the database",
                      "Removes every edit lock and counts this run as the only user.",
                      RunDbRepair});
  commands.push_back({"db pack", "db pack", "remove the deleted records",
                      "Needs the database to itself.", RunDbPack});
}

}  // namespace qm::cli
