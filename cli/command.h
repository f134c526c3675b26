// One quillmk-cli subcommand: its name, its help, and the function that
// runs it. Each command group (settings, table, db, records, ...) lives in
// its own file and registers its commands in commands.cpp.
//
// A command parses its own arguments, calls the libraries, prints, and
// returns the exit status: 0 success, 1 the operation failed (the message
// with its number is already on stderr), 2 a usage error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace qm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Options that come before the subcommand (and may also follow it).
struct GlobalOptions {
  std::string home;       // --home DIR: the program directory
  std::string ini;        // --ini FILE: the program settings file
  std::string user;       // --user NAME
  std::string db;         // --db FILE
  std::string password;   // --password TEXT
  bool yes = false;       // --yes: answer questions Yes
  bool no = false;        // --no: answer questions No
  bool json = false;      // --json: listings as JSON
};

struct CommandContext {
  // Windows-1252 like the arguments; --home is already absolute and set as
  // $QUILLMK_HOME for the run.
  GlobalOptions options;
  // The words after the command's name, already converted to Windows-1252
  // (the dispatcher refuses arguments that cannot be). The command's own
  // options (--program, --format ...) are among them; so is "--" when it
  // was given, followed by the arguments that must not be read as options.
  std::vector<std::string> args;
  platform::UserInterface& ui;
  // Both take Windows-1252 text and write it as UTF-8: print the program's
  // texts as they are, never converted by hand.
  std::ostream& out;
  std::ostream& err;
};

struct Command {
  // One or two words: "settings show", "table info", "add".
  std::string name;
  std::string usage;    // "settings get SECTION KEY [--program]"
  std::string summary;  // one line for `quillmk-cli --help`
  std::string help;     // the rest of `quillmk-cli NAME --help`
  int (*run)(CommandContext& context);
};

// Every command, in the order --help lists them.
const std::vector<Command>& AllCommands();

// Group registrations, one per command file.
void AddSettingsCommands(std::vector<Command>& commands);
void AddTextCommands(std::vector<Command>& commands);

}  // namespace qm::cli
