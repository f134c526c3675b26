// The quillmk-cli command line: global options, command words, help,
// and the run of one command.
//
//   quillmk-cli [GLOBAL OPTIONS] COMMAND [WORDS] [ARGUMENTS] [GLOBAL OPTIONS]
//
// Global options may stand anywhere before "--"; "--" itself and every
// argument after it go to the command untouched. Options a command does not
// share (--program, --format ...) are left for the command to read. A
// command is named by one or two words ("add", "settings show").
//
// Every argument is converted from UTF-8 to Windows-1252 before anything
// else happens; an argument that is not UTF-8, or holds a character
// Windows-1252 cannot, is a usage error (exit status 2) and nothing runs.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"

namespace qm::cli {

// What the command line asks for.
struct CommandLine {
  GlobalOptions options;
  bool help = false;          // --help / -h
  bool version = false;       // --version
  std::string now;            // hidden --now STAMP: pins the clock for scripted demos
  const Command* command = nullptr;
  std::vector<std::string> args;  // the command's own arguments, in Windows-1252
};

// Parses `arguments` (without the program name). Returns false with a
// message in `error` (UTF-8, ready to print) on a usage error.
bool ParseCommandLine(const std::vector<std::string>& arguments,
                      const std::vector<Command>& commands, CommandLine& line, std::string& error);

using UserInterfaceFactory =
    std::function<std::unique_ptr<platform::UserInterface>(const GlobalOptions&)>;

// Parses and runs; returns the exit status. `out` and `err` take UTF-8 (the
// process's standard streams); commands write Windows-1252 to the streams
// of their context, which convert.
int RunCommandLine(const std::vector<std::string>& arguments, const std::vector<Command>& commands,
                   std::ostream& out, std::ostream& err, const UserInterfaceFactory& make_ui);

// The whole program: every command, the terminal, standard output and error.
int RunQuillmkCli(const std::vector<std::string>& arguments);

void PrintProgramHelp(const std::vector<Command>& commands, std::ostream& out);
void PrintCommandHelp(const Command& command, std::ostream& out);

}  // namespace qm::cli
