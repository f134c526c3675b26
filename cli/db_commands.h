// db new | open | info | copy | rename | delete | repair | pack: the time
// record database as a whole, and DbSession, the one program run that every
// command on a database is.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/error_reporter.h"
#include "cli/password_option_ui.h"
#include "run/program_run.h"
#include "app/settings.h"
#include "cli/command.h"
#include "db/support_db.h"
#include "db/time_record_db.h"
#include "engine/engine.h"

namespace qm::cli {

void AddDbCommands(std::vector<Command>& commands);

// The program run of a command: the person from --user, $QUILLMK_USER or
// the login name, the database from --db or the person's "CurrentFile",
// --password answering the first password prompt and --yes the "Access
// Denied" question.
struct DbSessionPasswordUi {
  explicit DbSessionPasswordUi(CommandContext& context);
  PasswordOptionUi password_ui;
};

class DbSession : private DbSessionPasswordUi, public run::ProgramRun {
 public:
  explicit DbSession(CommandContext& context);
  CommandContext& context() { return context_; }

 private:
  CommandContext& context_;
};

}  // namespace qm::cli
