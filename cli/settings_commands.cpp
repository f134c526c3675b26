// settings show | get | set: the two settings files of a home, as the
// program reads them.

#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/error_reporter.h"
#include "app/setting_values.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "app/settings_files.h"
#include "cli/command.h"
#include "cli/command_replies.h"
#include "cli/json_text.h"
#include "cli/user_name.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace qm::cli {
namespace {

using app::SettingsFileKind;

// The files of this run and the reporter that speaks for it.
struct SettingsRun {
  std::string program_directory;
  app::CSettings program;
  std::string support_directory;
  std::string user_name;
  app::UserSettingsFile user_file;
  std::vector<app::SettingDefinition> catalogue;
};

// Binds the program settings and finds (without claiming) the user's file.
// Reports the reason and returns false when either cannot be used.
bool OpenSettings(CommandContext& context, SettingsRun& run) {
  app::ErrorReporter& reporter = app::Reporter();
  run.program_directory =
      context.options.home.empty() ? platform::ProgramDirectory() : context.options.home;
  const std::string program_path =
      app::ProgramSettingsPath(run.program_directory, context.options.ini);
  if (!context.options.ini.empty() && !platform::FindFileIgnoringCase(program_path)) {
    reporter.ShowError("The settings file '" + program_path +
                       "' named with --ini does not exist.  Nothing was changed.");
    return false;
  }
  if (platform::Status status = app::CheckSettingsFile(program_path); !status) {
    reporter.ShowError(status.message());
    return false;
  }
  run.program.Bind(program_path);
  run.support_directory = app::SupportDirectory(run.program, run.program_directory);

  std::optional<std::string> user = RunUserName(context);
  if (!user) {
    reporter.ShowError("The login name cannot be written in Windows-1252; name the user "
                       "with --user.  Nothing was changed.");
    return false;
  }
  if (user->size() > app::kMaxUserNameLength) {
    reporter.ShowError("The user name '" + *user + "' is longer than " +
                       std::to_string(app::kMaxUserNameLength) +
                       " characters.  Nothing was changed.");
    return false;
  }
  run.user_name = *user;
  reporter.SetUserName(run.user_name);
  if (platform::Status status =
          app::FindUserSettingsFile(run.support_directory, run.user_name, run.user_file);
      !status) {
    reporter.ShowError(status.message() + "  Nothing was changed.");
    return false;
  }

  app::SettingsContext names;
  names.program_directory = run.program_directory;
  names.support_directory = run.support_directory;
  const auto& defaults = app::DefaultDescriptorNames();
  for (std::size_t i = 0; i < names.descriptor_names.size(); ++i) {
    std::string name = run.program.GetString(
        "Settings", "DescriptorName" + std::to_string(i + 1), "", 30);
    names.descriptor_names[i] = name.empty() ? std::string(defaults[i]) : name;
  }
  run.catalogue = app::DocumentedSettings(names);
  return true;
}

// Installs a reporter for the command unless the run already has one.
class CommandReporter {
 public:
  explicit CommandReporter(CommandContext& context) {
    if (app::HasReporter()) return;
    const std::string home =
        context.options.home.empty() ? platform::ProgramDirectory() : context.options.home;
    reporter_ = std::make_unique<app::ErrorReporter>(
        context.ui, app::ProgramSettingsPath(home, context.options.ini));
    installed_ = std::make_unique<app::ScopedReporter>(*reporter_);
  }

 private:
  std::unique_ptr<app::ErrorReporter> reporter_;
  std::unique_ptr<app::ScopedReporter> installed_;
};

std::string_view TypeName(const app::SettingDefinition* definition) {
  if (!definition) return "text";
  switch (definition->type) {
    case app::SettingType::kInteger: return "integer";
    case app::SettingType::kText: return "text";
    case app::SettingType::kPath: return "path";
    case app::SettingType::kIntList: return "integer list";
  }
  return "text";
}

void PrintListingText(std::ostream& out, std::string_view title, const std::string& path,
                      const std::vector<app::SettingValue>& listing) {
  out << "# " << title << ": " << path << "\n";
  std::string section;
  for (const app::SettingValue& value : listing) {
    if (value.section != section) {
      section = value.section;
      out << "[" << section << "]\n";
    }
    std::string line = value.key + "=" + value.value;
    out << line;
    std::size_t width = line.size();
    out << std::string(width < 40 ? 40 - width : 1, ' ');
    if (!value.from_file) {
      out << "; default\n";
    } else if (!value.definition) {
      out << "; from file (not a documented key)\n";
    } else {
      out << "; from file\n";
    }
  }
}

void PrintListingJson(std::ostream& out, const std::vector<app::SettingValue>& listing) {
  out << "[";
  bool first = true;
  for (const app::SettingValue& value : listing) {
    out << (first ? "\n" : ",\n") << "    {\"section\": " << JsonText(value.section)
        << ", \"key\": " << JsonText(value.key) << ", \"value\": " << JsonText(value.value)
        << ", \"type\": \"" << TypeName(value.definition) << "\""
        << ", \"from_file\": " << (value.from_file ? "true" : "false")
        << ", \"documented\": " << (value.definition ? "true" : "false") << "}";
    first = false;
  }
  out << (first ? "]" : "\n  ]");
}

int RunShow(CommandContext& context) {
  CommandReporter reporter(context);
  if (context.args.size() > 1) return Usage(context, "settings show [SECTION]");
  std::string section = context.args.empty() ? std::string() : context.args[0];
  SettingsRun run;
  if (!OpenSettings(context, run)) return kExitFailed;
  app::CSettings user;
  user.Bind(run.user_file.path);
  auto program_listing =
      app::ListSettings(run.program, run.catalogue, SettingsFileKind::kProgram, section);
  auto user_listing = app::ListSettings(user, run.catalogue, SettingsFileKind::kUser, section);
  if (!section.empty() && program_listing.empty() && user_listing.empty()) {
    app::Reporter().ShowError("Neither settings file has or documents a section '" +
                              section + "'.");
    return kExitFailed;
  }
  if (context.options.json) {
    context.out << "{\n  \"program_file\": " << JsonText(run.program.path())
                << ",\n  \"user_file\": " << JsonText(run.user_file.path)
                << ",\n  \"user_file_exists\": " << (run.user_file.exists ? "true" : "false")
                << ",\n  \"user\": " << JsonText(run.user_name) << ",\n  \"program\": ";
    PrintListingJson(context.out, program_listing);
    context.out << ",\n  \"user_settings\": ";
    PrintListingJson(context.out, user_listing);
    context.out << "\n}\n";
    return kExitOk;
  }
  PrintListingText(context.out, "Program settings file", run.program.path(), program_listing);
  context.out << "\n";
  std::string title = "User settings file of \"" + run.user_name + "\"";
  if (!run.user_file.exists) title += " (not created yet)";
  PrintListingText(context.out, title, run.user_file.path,
                   user_listing);
  return kExitOk;
}

// SECTION KEY [VALUE] [--program]
struct KeyArguments {
  std::vector<std::string> words;
  bool program = false;
};

KeyArguments SplitKeyArguments(const std::vector<std::string>& args) {
  KeyArguments parsed;
  for (const std::string& word : args) {
    if (word == "--program") {
      parsed.program = true;
    } else {
      parsed.words.push_back(word);
    }
  }
  return parsed;
}

int RunGet(CommandContext& context) {
  CommandReporter reporter(context);
  KeyArguments arguments = SplitKeyArguments(context.args);
  if (arguments.words.size() != 2) {
    return Usage(context, "settings get SECTION KEY [--program]");
  }
  SettingsRun run;
  if (!OpenSettings(context, run)) return kExitFailed;
  app::CSettings user;
  user.Bind(run.user_file.path);
  app::CSettings& settings = arguments.program ? run.program : user;
  const SettingsFileKind file =
      arguments.program ? SettingsFileKind::kProgram : SettingsFileKind::kUser;
  std::optional<app::SettingValue> value =
      app::ReadSetting(settings, run.catalogue, file, arguments.words[0], arguments.words[1]);
  if (!value) {
    app::Reporter().ShowError("The key '" + arguments.words[1] + "' of section '" +
                              arguments.words[0] + "' is neither in '" + settings.path() +
                              "' nor a documented setting.");
    return kExitFailed;
  }
  if (context.options.json) {
    context.out << "{\"section\": " << JsonText(value->section)
                << ", \"key\": " << JsonText(value->key)
                << ", \"value\": " << JsonText(value->value)
                << ", \"from_file\": " << (value->from_file ? "true" : "false") << "}\n";
  } else {
    context.out << value->value << "\n";
  }
  return kExitOk;
}

int RunSet(CommandContext& context) {
  CommandReporter reporter(context);
  KeyArguments arguments = SplitKeyArguments(context.args);
  if (arguments.words.size() != 3) {
    return Usage(context, "settings set SECTION KEY VALUE [--program]");
  }
  const std::string& section = arguments.words[0];
  const std::string& key = arguments.words[1];
  const std::string& value = arguments.words[2];
  SettingsRun run;
  if (!OpenSettings(context, run)) return kExitFailed;
  const SettingsFileKind file =
      arguments.program ? SettingsFileKind::kProgram : SettingsFileKind::kUser;

  // Every check comes before the first change on disk.
  const app::SettingDefinition* definition =
      app::FindSetting(run.catalogue, file, section, key);
  std::optional<std::string> problem = app::CheckSettingName(section, key);
  if (!problem) problem = app::CheckSettingValue(definition, section, key, value);
  if (problem) {
    app::Reporter().ShowError(*problem + "  Nothing was changed.");
    return kExitFailed;
  }
  if (!arguments.program && definition && definition->section == "UserInfo") {
    app::Reporter().ShowError("UserInfo/UserName names the owner of the file and is not "
                              "changed by hand.  Nothing was changed.");
    return kExitFailed;
  }

  app::CSettings user;
  if (!arguments.program) {
    if (platform::Status status = platform::EnsureDirectory(run.support_directory); !status) {
      app::Reporter().ShowError(status.message());
      return kExitFailed;
    }
    if (platform::Status status = user.BindUser(run.support_directory, run.user_name);
        !status) {
      app::Reporter().ShowMessageWithText(109, run.user_file.path);
      app::Reporter().ShowError(status.message());
      return kExitFailed;
    }
  }
  app::CSettings& settings = arguments.program ? run.program : user;
  if (platform::Status status =
          app::WriteSetting(settings, run.catalogue, file, section, key, value);
      !status) {
    app::Reporter().ShowMessageWithText(109, settings.path());
    app::Reporter().ShowError(status.message());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

void AddSettingsCommands(std::vector<Command>& commands) {
  commands.push_back(Command{
      "settings show", "settings show [SECTION]",
      "list every setting of the program and the user settings file",
      "Lists every documented key of the program settings file (QUILLMK.INI) and of the\n"
      "user's settings file with the value the program uses, and marks which values\n"
      "come from the file and which are defaults. Keys a file holds that the program\n"
      "does not document are listed after them. With SECTION, only that section.\n"
      "The user is --user, else $QUILLMK_USER, else the login name. --json for JSON.",
      RunShow});
  commands.push_back(Command{
      "settings get", "settings get SECTION KEY [--program]",
      "print the value of one setting",
      "Prints the value the program uses for KEY of SECTION: the value in the file, or\n"
      "the default when the file has none. Without --program it reads the user's\n"
      "settings file, with --program the program settings file.",
      RunGet});
  commands.push_back(Command{
      "settings set", "settings set SECTION KEY VALUE [--program]",
      "change one setting",
      "Writes VALUE under KEY of SECTION, leaving every other line of the file as it\n"
      "was. Sections and keys are matched without regard to case. A value that does not\n"
      "fit the key (not a number, out of range, longer than its limit) is refused and\n"
      "nothing is written. Without --program it writes the user's settings file (and\n"
      "creates it for a new user), with --program the program settings file.",
      RunSet});
}

}  // namespace qm::cli
