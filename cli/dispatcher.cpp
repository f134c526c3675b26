#include "cli/dispatcher.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <optional>

#include "cli/terminal_ui.h"
#include "cli/utf8_output.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace qm::cli {
namespace {

constexpr const char* kProgram = "quillmk-cli";

// The global options that take a value, and where the value goes.
std::string* ValueOption(std::string_view name, CommandLine& line) {
  if (name == "--home") return &line.options.home;
  if (name == "--ini") return &line.options.ini;
  if (name == "--user") return &line.options.user;
  if (name == "--db") return &line.options.db;
  if (name == "--password") return &line.options.password;
  if (name == "--now") return &line.now;
  return nullptr;
}

bool* FlagOption(std::string_view name, CommandLine& line) {
  if (name == "--yes") return &line.options.yes;
  if (name == "--no") return &line.options.no;
  if (name == "--json") return &line.options.json;
  if (name == "--version") return &line.version;
  if (name == "--help" || name == "-h") return &line.help;
  return nullptr;
}

const Command* FindCommand(const std::vector<Command>& commands, const std::string& name) {
  for (const Command& command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

// An argument the command reads: its text, and whether it came after "--"
// (and so can never be a command word).
struct Word {
  std::string text;
  bool literal;
};

bool IsOptionLike(const Word& word) { return !word.literal && word.text.starts_with("-"); }

std::string UnknownCommandMessage(const std::vector<Command>& commands, const std::string& first) {
  std::string group;
  for (const Command& command : commands) {
    if (command.name.starts_with(first + " ")) {
      group += group.empty() ? "" : ", ";
      group += command.name;
    }
  }
  const std::string shown = platform::Cp1252ToUtf8(first);
  if (!group.empty()) return "\"" + shown + "\" needs one of: " + group;
  return "unknown command \"" + shown + "\"";
}

// A --now value: seconds since 1970 UTC, or a local "YYYY-MM-DD[ T]HH:MM[:SS]".
std::optional<std::int64_t> ParseNow(const std::string& text) {
  char* end = nullptr;
  const long long seconds = std::strtoll(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') return seconds;
  std::tm local{};
  int second = 0;
  char separator = 0;
  const int fields = std::sscanf(text.c_str(), "%d-%d-%d%c%d:%d:%d", &local.tm_year, &local.tm_mon,
                                 &local.tm_mday, &separator, &local.tm_hour, &local.tm_min, &second);
  if (fields < 6 || (separator != 'T' && separator != ' ')) return std::nullopt;
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&local);
  if (stamp == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(stamp);
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::string cwd(4096, '\0');
  if (getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  cwd.resize(cwd.find('\0'));
  return platform::JoinPath(cwd, path);
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments,
                      const std::vector<Command>& commands, CommandLine& line, std::string& error) {
  line = CommandLine();
  std::vector<std::string> converted(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const platform::Status status = platform::Utf8ToCp1252(arguments[i], converted[i]);
    if (!status) {
      error = "argument " + std::to_string(i + 1) + " cannot be used: " + status.message();
      return false;
    }
  }

  std::vector<Word> words;
  bool literal = false;
  for (std::size_t i = 0; i < converted.size(); ++i) {
    const std::string& argument = converted[i];
    if (literal) {
      words.push_back({argument, true});
      continue;
    }
    if (argument == "--") {
      literal = true;
      words.push_back({argument, false});
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.starts_with("--") ? argument.substr(0, equals) : argument;
    if (std::string* value = ValueOption(name, line)) {
      if (equals != std::string::npos) {
        *value = argument.substr(equals + 1);
      } else if (i + 1 < converted.size()) {
        *value = converted[++i];
      } else {
        error = name + " needs a value";
        return false;
      }
      continue;
    }
    if (bool* flag = FlagOption(argument, line)) {
      *flag = true;
      continue;
    }
    words.push_back({argument, false});
  }
  if (line.options.yes && line.options.no) {
    error = "--yes and --no cannot both be given";
    return false;
  }

  // The command words: the first one or two arguments that are not options.
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < words.size() && candidates.size() < 2; ++i) {
    if (words[i].literal || words[i].text == "--") break;
    if (!IsOptionLike(words[i])) candidates.push_back(i);
  }
  if (candidates.empty()) {
    if (line.help || line.version) return true;
    error = words.empty() ? "no command given"
                         : "no command given before \"" + platform::Cp1252ToUtf8(words[0].text) + "\"";
    return false;
  }
  std::size_t used = 0;
  if (candidates.size() == 2) {
    line.command = FindCommand(commands, words[candidates[0]].text + " " + words[candidates[1]].text);
    if (line.command != nullptr) used = 2;
  }
  if (line.command == nullptr) {
    line.command = FindCommand(commands, words[candidates[0]].text);
    used = 1;
  }
  if (line.command == nullptr) {
    if (line.version) return true;
    error = UnknownCommandMessage(commands, words[candidates[0]].text);
    return false;
  }
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (std::find(candidates.begin(), candidates.begin() + used, i) != candidates.begin() + used) {
      continue;
    }
    line.args.push_back(std::move(words[i].text));
  }
  return true;
}

void PrintProgramHelp(const std::vector<Command>& commands, std::ostream& out) {
  out << "Usage: " << kProgram << " [OPTIONS] COMMAND [ARGUMENTS]\n"
      << "\n"
      << "Time tracking and billing on Quillmark's files, without windows.\n"
      << "\n"
      << "Options (before or after the command):\n"
      << "  --home DIR       the program directory (default: $QUILLMK_HOME, else\n"
      << "                   $XDG_DATA_HOME/quillmark, else ~/.local/share/quillmark)\n"
      << "  --ini FILE       the program settings file (default: QUILLMK.INI there)\n"
      << "  --user NAME      the person who works (default: $QUILLMK_USER, else the login name)\n"
      << "  --db FILE        the time record database (default: the person's current one)\n"
      << "  --password TEXT  the person's password (else asked on the terminal)\n"
      << "  --yes, --no      answer every question Yes, or No\n"
      << "  --json           print listings as JSON\n"
      << "  --version        print the version\n"
      << "  --help           this text; COMMAND --help tells about one command\n"
      << "  --               every argument after it goes to the command as it is\n"
      << "\n"
      << "Commands:\n";
  std::size_t width = 0;
  for (const Command& command : commands) width = std::max(width, command.usage.size());
  width = std::min<std::size_t>(width, 40);
  for (const Command& command : commands) {
    out << "  " << command.usage;
    if (command.usage.size() < width) {
      out << std::string(width - command.usage.size(), ' ');
    } else {
      out << "\n  " << std::string(width, ' ');
    }
    out << "  " << command.summary << "\n";
  }
  out << "\n"
      << "Messages go to standard error with their numbers. Exit status: 0 success,\n"
      << "1 the operation failed, 2 a usage error.\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "Usage: " << kProgram << " " << command.usage << "\n\n" << command.summary << "\n";
  if (!command.help.empty()) {
    out << "\n" << command.help;
    if (command.help.back() != '\n') out << "\n";
  }
}

int RunCommandLine(const std::vector<std::string>& arguments, const std::vector<Command>& commands,
                   std::ostream& out, std::ostream& err, const UserInterfaceFactory& make_ui) {
  Utf8Output text_out(out);
  Utf8Output text_err(err);
  const auto usage_error = [&](const std::string& utf8_message) {
    err << kProgram << ": " << utf8_message << "\n"
             << "Run \"" << kProgram << " --help\" for the commands and options." << std::endl;
    return kExitUsage;
  };

  CommandLine line;
  std::string error;
  if (!ParseCommandLine(arguments, commands, line, error)) return usage_error(error);
  if (line.version) {
    text_out << kProgram << " " << QM_VERSION_TEXT << std::endl;
    return kExitOk;
  }
  if (line.help) {
    if (line.command != nullptr) {
      PrintCommandHelp(*line.command, text_out);
    } else {
      PrintProgramHelp(commands, text_out);
    }
    text_out.flush();
    return kExitOk;
  }

  std::optional<platform::FixedClock> pinned;
  if (!line.now.empty()) {
    const auto now = ParseNow(line.now);
    if (!now) return usage_error("--now takes seconds since 1970 or YYYY-MM-DD HH:MM[:SS]");
    const std::time_t stamp = static_cast<std::time_t>(*now);
    std::tm local{};
    localtime_r(&stamp, &local);
    pinned.emplace(*now, platform::SystemClock().StandardOffsetWest(), local.tm_isdst > 0);
  }
  std::optional<platform::ScopedClock> clock;
  if (pinned) clock.emplace(*pinned);

  if (!line.options.home.empty()) {
    line.options.home = Absolute(line.options.home);
    setenv("QUILLMK_HOME", platform::Cp1252ToUtf8(line.options.home).c_str(), 1);
  }

  try {
    const std::unique_ptr<platform::UserInterface> ui = make_ui(line.options);
    CommandContext context{line.options, std::move(line.args), *ui, text_out, text_err};
    const int status = line.command->run(context);
    text_out.flush();
    text_err.flush();
    return status;
  } catch (const std::exception& failure) {
    text_out.flush();
    text_err << kProgram << ": internal error: " << failure.what() << std::endl;
    return kExitFailed;
  }
}

int RunQuillmkCli(const std::vector<std::string>& arguments) {
  return RunCommandLine(arguments, AllCommands(), std::cout, std::cerr,
                        [](const GlobalOptions& options) -> std::unique_ptr<platform::UserInterface> {
                          return TerminalUserInterface::ForThisProcess(options);
                        });
}

}  // namespace qm::cli
