#include "cli/security_commands.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/messages.h"
#include "app/security.h"
#include "app/settings.h"
#include "app/settings_files.h"
#include "cli/command_replies.h"
#include "cli/password_option_ui.h"
#include "cli/user_name.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace qm::cli {
namespace {

constexpr int kEnterAName = 255;
constexpr int kLockAttempts = 50;
constexpr int kLockDelay = 10;

std::string ProgramDirectory(const CommandContext& context) {
  return context.options.home.empty() ? platform::ProgramDirectory() : context.options.home;
}

class CommandReporter {
 public:
  explicit CommandReporter(CommandContext& context) {
    if (app::HasReporter()) return;
    reporter_ = std::make_unique<app::ErrorReporter>(
        context.ui, app::ProgramSettingsPath(ProgramDirectory(context), context.options.ini));
    installed_ = std::make_unique<app::ScopedReporter>(*reporter_);
  }

 private:
  std::unique_ptr<app::ErrorReporter> reporter_;
  std::unique_ptr<app::ScopedReporter> installed_;
};

// The database of the command: --db, else the user's current file.
std::string DatabasePath(const CommandContext& context, const std::string& user_name) {
  if (!context.options.db.empty()) return context.options.db;
  const std::string program_directory = ProgramDirectory(context);
  app::CSettings program;
  program.Bind(app::ProgramSettingsPath(program_directory, context.options.ini));
  app::UserSettingsFile user_file;
  if (!app::FindUserSettingsFile(app::SupportDirectory(program, program_directory), user_name,
                                 user_file) ||
      !user_file.exists) {
    return {};
  }
  app::CSettings user;
  user.Bind(user_file.path);
  return user.GetString("Settings", "CurrentFile", "");
}

// One command's database, support file and protection.
class SecuredDatabase {
 public:
  explicit SecuredDatabase(CommandContext& context)
      : context_(context), ui_(context.ui, context.options.password) {}

  // false after saying why.
  bool Open() {
    std::optional<std::string> user = RunUserName(context_);
    if (!user) {
      app::Reporter().ShowError("The login name cannot be written in Windows-1252; name the "
                                "user with --user.");
      return false;
    }
    user_name_ = *user;
    database_ = DatabasePath(context_, user_name_);
    if (database_.empty() || !std::filesystem::exists(database_)) {
      app::Reporter().ShowError(database_.empty()
                                    ? std::string("No database: name one with --db.")
                                    : "The database '" + database_ + "' does not exist.");
      return false;
    }
    engine_.SetErrorHook(app::EngineErrorHook);
    engine_.settings().lock_attempts = kLockAttempts;
    engine_.settings().lock_delay = kLockDelay;
    const std::string support_file = db::SupportFileName(database_);
    // A missing support file is not made here: that would pass for an
    // unprotected database.
    if (std::filesystem::exists(support_file)) {
      support_ = std::make_unique<db::SupportDb>(engine_, db::RunTableReporter());
      support_->set_user_name(user_name_);
      if (support_->OpenSupport(support_file) != 0) return false;
    }
    security_ = std::make_unique<app::DatabaseSecurity>(database_, support_.get(), support_file,
                                                        app::Reporter(), ui_);
    return true;
  }

  app::DatabaseSecurity& security() { return *security_; }
  const std::string& database() const { return database_; }
  std::string support_file() const { return db::SupportFileName(database_); }
  // Shows why a state other than on or off stops a command.
  bool ShowBrokenState(int status) {
    if (status == app::kPasswordInfoMissing) {
      app::Reporter().ShowMessage(status);
    } else if (status == app::kSupportFileMissing) {
      app::Reporter().ShowMessageWithText(status, support_file());
    } else {
      return false;
    }
    return true;
  }
  const std::string& user_name() const { return user_name_; }
  platform::UserInterface& ui() { return ui_; }

 private:
  CommandContext& context_;
  PasswordOptionUi ui_;
  engine::TableEngine engine_;
  std::unique_ptr<db::SupportDb> support_;
  std::unique_ptr<app::DatabaseSecurity> security_;
  std::string user_name_;
  std::string database_;
};

// The new password: from the command line, else asked with the dialog's
// texts. nullopt when cancelled or refused (the reason shown).
std::optional<std::string> NewPassword(CommandContext& context, const std::string* given,
                                       std::string_view caption) {
  std::string password;
  if (given != nullptr) {
    password = *given;
  } else {
    platform::TextPrompt prompt;
    prompt.prompt = "Please enter a new password.";
    prompt.caption = std::string(caption);
    prompt.masked = true;
    prompt.max_length = app::kMaxPasswordLength;
    std::optional<std::string> typed = context.ui.AskText(prompt);
    if (!typed) {
      app::Reporter().ShowMessage(app::kOperationCanceled);
      return std::nullopt;
    }
    password = *typed;
  }
  if (password.size() > app::kMaxPasswordLength) {
    app::Reporter().ShowError("A password has at most 40 characters.");
    return std::nullopt;
  }
  if (const int invalid = app::ValidatePasswordText(password); invalid != 0) {
    app::Reporter().ShowMessage(invalid);
    return std::nullopt;
  }
  return password;
}

void ShowNewPassword(CommandContext& context, std::string_view password) {
  context.out << "Your new password for this time record file is: " << password << "\n"
              << "It's easier than you think to forget your password.  Please write it down "
                 "and keep it in a secure place.\n";
}

int Failed(int result) {
  return result == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int RunSecurityStatus(CommandContext& context) {
  CommandReporter reporter(context);
  if (!context.args.empty()) return Usage(context, "security status");
  SecuredDatabase database(context);
  if (!database.Open()) return kExitFailed;
  const int status = database.security().GetSecurityStatus();
  context.out << app::FormatMessageText(app::MessageText(status).value_or(""),
                                        {database.support_file()})
              << "\n";
  return status == app::kPasswordsRequired || status == app::kPasswordsNotRequired
             ? kExitOk
             : kExitFailed;
}

int RunSecurityOn(CommandContext& context) {
  CommandReporter reporter(context);
  if (context.args.size() > 1) return Usage(context, "security on [NEWPASSWORD]");
  SecuredDatabase database(context);
  if (!database.Open()) return kExitFailed;
  app::DatabaseSecurity& security = database.security();
  if (app::DatabaseSecurity::IsUntitled(database.database())) {
    app::Reporter().ShowMessage(app::kUntitledCannotBeProtected);
    return kExitFailed;
  }
  const int status = security.GetSecurityStatus();
  if (database.ShowBrokenState(status)) return kExitFailed;
  if (status == app::kPasswordsRequired) {
    app::Reporter().ShowError("Password security is on already: change the administrator "
                              "password with 'security password'.");
    return kExitFailed;
  }
  std::optional<std::string> password =
      NewPassword(context, context.args.empty() ? nullptr : &context.args[0],
                  "Administrator Password Security");
  if (!password) return kExitFailed;
  const int result = security.TurnSecurityOn(*password, database.user_name());
  if (result == app::kSupportWriteFailed) {
    app::Reporter().ShowMessageWithText(result, database.support_file());
  }
  if (result == 0) ShowNewPassword(context, *password);
  return Failed(result);
}

int RunSecurityOff(CommandContext& context) {
  CommandReporter reporter(context);
  if (!context.args.empty()) return Usage(context, "security off");
  SecuredDatabase database(context);
  if (!database.Open()) return kExitFailed;
  app::DatabaseSecurity& security = database.security();
  if (security.GetSecurityStatus() == app::kPasswordsNotRequired) {
    context.out << app::MessageText(app::kPasswordsNotRequired).value_or("") << "\n";
    return kExitOk;
  }
  int result = security.RequireAccess(app::SecuredOperation::kTurnSecurityOff,
                                      database.user_name());
  if (result == 0) result = security.TurnSecurityOff();
  if (result == app::kSupportWriteFailed) {
    app::Reporter().ShowMessageWithText(result, database.support_file());
  }
  if (result == 0) app::Reporter().ShowMessage(app::kSecurityTurnedOff);
  return Failed(result);
}

int RunSecurityPassword(CommandContext& context) {
  CommandReporter reporter(context);
  bool mine = false;
  const std::string* given = nullptr;
  for (const std::string& word : context.args) {
    if (word == "--mine") {
      mine = true;
    } else if (given == nullptr && word.rfind("--", 0) != 0) {
      given = &word;
    } else {
      return Usage(context, "security password [NEWPASSWORD] [--mine]");
    }
  }
  SecuredDatabase database(context);
  if (!database.Open()) return kExitFailed;
  app::DatabaseSecurity& security = database.security();
  if (database.ShowBrokenState(security.GetSecurityStatus())) return kExitFailed;
  if (security.GetSecurityStatus() != app::kPasswordsRequired) {
    app::Reporter().ShowError("Password security is off for this database: turn it on with "
                              "'security on'.");
    return kExitFailed;
  }
  int result = security.RequireAccess(mine ? app::SecuredOperation::kChangeOwnPassword
                                           : app::SecuredOperation::kChangeAdministratorPassword,
                                      database.user_name());
  if (result != 0) return kExitFailed;
  std::optional<std::string> password =
      NewPassword(context, given, mine ? "Password Security" : "Administrator Password Security");
  if (!password) return kExitFailed;
  result = mine ? security.SetPersonPassword(database.user_name(), *password)
                : security.SetAdministratorPassword(*password);
  if (result != 0) {
    app::Reporter().ShowMessageWithText(result, database.support_file());
    return kExitFailed;
  }
  ShowNewPassword(context, *password);
  return kExitOk;
}

int RunSecurityAssign(CommandContext& context) {
  CommandReporter reporter(context);
  if (context.args.empty() || context.args.size() > 2) {
    return Usage(context, "security assign PERSON [PASSWORD]");
  }
  std::string person = context.args[0];
  while (!person.empty() && (person.back() == ' ' || person.back() == '\t')) person.pop_back();
  if (person.empty()) {
    app::ErrorReporter& shown = app::Reporter();
    shown.ShowMessage(kEnterAName);
    return kExitUsage;
  }
  if (person.size() > app::kMaxPersonNameLength) {
    app::Reporter().ShowError("A person's name has at most 35 characters.");
    return kExitUsage;
  }
  SecuredDatabase database(context);
  if (!database.Open()) return kExitFailed;
  app::DatabaseSecurity& security = database.security();
  if (database.ShowBrokenState(security.GetSecurityStatus())) return kExitFailed;
  if (security.GetSecurityStatus() != app::kPasswordsRequired) {
    app::Reporter().ShowError("Password security is off for this database: turn it on with "
                              "'security on'.");
    return kExitFailed;
  }
  if (security.RequireAccess(app::SecuredOperation::kAssignPersonPasswords,
                             database.user_name()) != 0) {
    return kExitFailed;
  }
  std::optional<std::string> password =
      NewPassword(context, context.args.size() == 2 ? &context.args[1] : nullptr,
                  "Password Assignment");
  if (!password) return kExitFailed;
  const int result = security.SetPersonPassword(person, *password);
  if (result != 0) {
    app::Reporter().ShowMessageWithText(result, database.support_file());
    return kExitFailed;
  }
  return kExitOk;
}

int RequireDatabaseAccess(CommandContext& context, app::SecuredOperation operation) {
  CommandReporter reporter(context);
  std::optional<std::string> user = RunUserName(context);
  if (!user) return 0;
  const std::string path = DatabasePath(context, *user);
  if (path.empty() || !std::filesystem::exists(path)) return 0;
  SecuredDatabase database(context);
  if (!database.Open()) return app::kAccessRefused;
  return database.security().RequireAccess(operation, database.user_name());
}

void AddSecurityCommands(std::vector<Command>& commands) {
  commands.push_back({"security status", "security status",
                      "whether the database asks for passwords",
                      "Prints \"Passwords Required\" or \"Passwords not required\"; exit status 1 "
                      "when the password information or the support file is missing.",
                      RunSecurityStatus});
  commands.push_back({"security on", "security on [NEWPASSWORD]",
                      "turn password security on with a new administrator password",
                      "Not for the untitled database (message 371). The password is asked for "
                      "when not given.",
                      RunSecurityOn});
  commands.push_back({"security off", "security off", "turn password security off",
                      "Asks for the administrator password (or takes --password).",
                      RunSecurityOff});
  commands.push_back({"security password", "security password [NEWPASSWORD] [--mine]",
                      "change the administrator password, or with --mine your own",
                      "Asks for the current password (or takes --password), then stores the "
                      "new one and prints it.",
                      RunSecurityPassword});
  commands.push_back({"security assign", "security assign PERSON [PASSWORD]",
                      "give a person a password of their own",
                      "Needs the administrator password (or --password).", RunSecurityAssign});
}

}  // namespace qm::cli
