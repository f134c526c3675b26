#include "cli/startup_commands.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/messages.h"
#include "app/settings_files.h"
#include "cli/json_text.h"
#include "cli/password_option_ui.h"
#include "cli/user_name.h"
#include "core/time_record.h"
#include "run/command_line.h"
#include "run/program_run.h"
#include "run/window_title.h"
#include "stopwatch/stopwatch_display.h"

namespace qm::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "startup [DataBaseName] [\"User Name\"] [/i=IniFileName]";

int Usage(CommandContext& context, std::string_view why) {
  context.err << "quillmk-cli startup: " << why << "\n"
              << "usage: quillmk-cli " << kUsage << "\n";
  return kExitUsage;
}

std::string CurrentDirectory() {
  std::error_code error;
  const fs::path here = fs::current_path(error);
  return error ? std::string(".") : here.string();
}

void Print(CommandContext& context, run::ProgramRun& run) {
  const std::string title = run::WindowTitle(run.database(), run.user_name());
  const std::string_view access = run.is_administrator() ? "Administrator" : "Person";
  const std::string_view stopwatch =
      stopwatch::StopwatchStateName(run.stopwatch_record().stopwatchState);
  const std::string settings_file =
      app::ProgramSettingsPath(run.program_directory(), run.options().ini);
  const auto& names = run.settings().descriptor_names;
  std::ostream& out = context.out;
  if (context.options.json) {
    out << "{\"title\": " << JsonText(title) << ", \"database\": " << JsonText(run.database())
        << ", \"person\": " << JsonText(run.user_name()) << ", \"access\": " << JsonText(access)
        << ", \"stopwatch\": " << JsonText(stopwatch)
        << ", \"settings file\": " << JsonText(settings_file) << ", \"descriptor names\": [";
    for (std::size_t i = 0; i < names.size(); ++i) {
      out << (i == 0 ? "" : ", ") << JsonText(names[i]);
    }
    out << "]}\n";
    return;
  }
  out << "title: " << title << "\n"
      << "database: " << run.database() << "\n"
      << "person: " << run.user_name() << "\n"
      << "access: " << access << "\n"
      << "stopwatch: " << stopwatch << "\n"
      << "settings file: " << settings_file << "\n"
      << "descriptor names: ";
  for (std::size_t i = 0; i < names.size(); ++i) out << (i == 0 ? "" : ", ") << names[i];
  out << "\n";
}

int RunStartup(CommandContext& context) {
  // The database is one of the words, as on the desktop program's command
  // line; a second way to name it would leave open which one counts.
  if (!context.options.db.empty()) {
    return Usage(context, "the database is named among the words, not by --db");
  }
  std::vector<std::string> words;
  bool literal = false;
  for (const std::string& word : context.args) {
    if (!literal && word == "--") {
      literal = true;
      continue;
    }
    // The dispatcher leaves the options it does not know to the command;
    // the desktop program's only long option is --ini=, which the
    // dispatcher has already taken as the global --ini.
    if (!literal && word.starts_with("--")) return Usage(context, "unknown option " + word);
    words.push_back(word);
  }

  const run::ParsedCommandLine parsed = run::ParseCommandLine(words, CurrentDirectory());
  // The error reporter needs the settings file the command line names, so
  // the command line's own messages come before it exists.
  for (const app::NumberedText& message : parsed.messages) {
    context.ui.Show({.number = message.number,
                     .text = message.text,
                     .caption = std::string(app::MessageText(app::kDefaultCaptionId).value_or("")),
                     .icon = platform::MessageIcon::kExclamation});
  }

  run::RunOptions defaults;
  defaults.home = context.options.home;
  defaults.ini = context.options.ini;
  if (parsed.user_name.empty()) defaults.user = RunUserName(context).value_or("");
  defaults.override_access_denied = context.options.yes;
  defaults.fall_back_to_untitled = true;
  // Printing what start-up shows must not change the person's settings.
  defaults.save_settings_at_exit = false;

  PasswordOptionUi password_ui(context.ui, context.options.password);
  run::ProgramRun run(context.ui, run::RunOptionsFrom(parsed, std::move(defaults)), &password_ui);
  if (!run.Prepare()) return kExitFailed;
  if (run.Open() != 0) {
    run.Close();
    return kExitFailed;
  }
  Print(context, run);
  return run.Close() == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddStartupCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"startup", std::string(kUsage), "start and shut down as the desktop program would",
       "The words are the desktop program's command line: the database, the\n"
       "person in quotes and the program settings file after /i=; a word is an\n"
       "option only in the form /x=..., so /home/ann/time.dbf is a database.\n"
       "The person is asked for when neither the words nor --user,\n"
       "$QUILLMK_USER or the login name give one; the database is the one given,\n"
       "else the person's current one, and one that cannot be used falls back to\n"
       "the untitled database. Prints the window title, the database, the\n"
       "person, the access level, the stopwatch state, the settings file and the\n"
       "descriptor names; saves no settings. --yes overrides \"Access Denied\",\n"
       "--password answers the first password prompt.",
       RunStartup});
}

}  // namespace qm::cli
