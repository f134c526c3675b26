// The command line of the desktop program:
//
//   quillmk [DataBaseName] ["User Name"] [/i=IniFileName]
//
// every part optional. The person is the text in quotes (double or single);
// the database is the first other text; the program settings file follows
// "/i=" ("/I=", or "--ini="). Windows wrote paths with "\" and options with
// "/", so on Linux a word is an option only when it has the form "/x=..."
// (a slash, one letter, an equals sign); any other word that begins with
// "/" is a path. A quote opens a quoted text only at the start of a word,
// so that a file name holding an apostrophe ("O'Brien.dbf") stays whole.
//
// Parsing shows nothing itself: it returns the messages in the order the
// program shows them, already filled, so that the run shows them through
// its own error reporter:
//   330  a quote without its partner (the person, or the text it opens, is
//        dropped);
//   430  the quoted text holds "\", ":" or "/" - a file name in quotes
//        rather than a person;
//   331  "/i=" with nothing after it;
//   175  the database does not exist (it is dropped).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/error_reporter.h"
#include "run/program_run.h"

namespace qm::run {

inline constexpr int kUnpairedQuote = 330;
inline constexpr int kIllegalUserName = 430;
inline constexpr int kEmptyIniName = 331;
inline constexpr int kCommandLineDatabaseMissing = 175;

inline constexpr std::size_t kMaxCommandLineUserName = 35;
inline constexpr std::size_t kMaxDatabasePath = 255;

struct ParsedCommandLine {
  std::string user_name;  // "" when none was given
  std::string ini_path;   // "" for the default QUILLMK.INI
  // The full path of the file as it is on disk: ".DBF" is added to a name
  // without extension, and the file is found without regard to case, so
  // that "time" opens "Time.dbf". "" when none was given or it was dropped.
  std::string database;
  std::vector<app::NumberedText> messages;
};

// `command_line` is what follows the program's name, as one Windows-1252
// text; relative paths are taken from `current_directory`.
ParsedCommandLine ParseCommandLine(std::string_view command_line,
                                   const std::string& current_directory);

// The same for the words a Linux shell hands over, after it removed the
// quotes that held them together. The words are put back into one text by
// their places in the command's form: the first plain word is the
// database, the second the person (quoted again). A single plain word is
// the person when it holds a blank and no "/" (the shell took the quotes
// from "Ann Smith"), else the database. Options keep their place, their
// value quoted when it holds a blank; a word that still begins with a
// quote was quoted on purpose and is kept as it is.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& current_directory);

// The one text that ParseCommandLine(arguments, ...) parses.
std::string JoinCommandLineArguments(const std::vector<std::string>& arguments);

// The options of the run the command line asks for: the person, the
// settings file and the database it gave replace those of `defaults`; what
// it did not give (or dropped with a message) stays as `defaults` has it -
// for the desktop program nothing, so that the person is asked for and the
// database is their "CurrentFile".
RunOptions RunOptionsFrom(const ParsedCommandLine& parsed, RunOptions defaults = {});

}  // namespace qm::run
