// security status | on | off | password | assign: the password protection
// of a time record database.
//
//   quillmk-cli security status
//   quillmk-cli security on [NEWPASSWORD]
//   quillmk-cli security off
//   quillmk-cli security password [NEWPASSWORD] [--mine]
//   quillmk-cli security assign PERSON [PASSWORD]
//
// The database is --db, else the user's "CurrentFile". Operations that need
// a level ask for the current password as the program does (three
// attempts); --password answers the first such prompt. A new password not
// given on the command line is asked for on the terminal. `password`
// changes the administrator password, or with --mine the signed-on user's
// own.
#pragma once

#include <vector>

#include "app/security.h"
#include "cli/command.h"

namespace qm::cli {

void AddSecurityCommands(std::vector<Command>& commands);

int RunSecurityStatus(CommandContext& context);
int RunSecurityOn(CommandContext& context);
int RunSecurityOff(CommandContext& context);
int RunSecurityPassword(CommandContext& context);
int RunSecurityAssign(CommandContext& context);

// For commands of other groups that need a level: 0 when the command may go
// on, because the database (--db, else the user's current file) is not
// protected or the password given grants `operation`'s level, or because
// there is no database at all (the descriptor and clients files belong to
// the installation). Else the message that refused it, already shown.
int RequireDatabaseAccess(CommandContext& context, app::SecuredOperation operation);

}  // namespace qm::cli
