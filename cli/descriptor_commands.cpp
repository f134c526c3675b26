#include "cli/descriptor_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/messages.h"
#include "app/security.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "app/settings_files.h"
#include "cli/command_replies.h"
#include "cli/json_text.h"
#include "cli/security_commands.h"
#include "core/amount_text.h"
#include "db/clients_db.h"
#include "db/descriptor_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "platform/paths.h"
#include "platform/text_case.h"

namespace qm::cli {
namespace {

using db::DescriptorTexts;
using db::kDescriptorKinds;

constexpr int kConfirmDeleteWithLinks = 1194;
constexpr int kNotFound = 183;
constexpr int kRateInvalid = 171;  // "The hourly rate that you have entered is invalid."  // "Not found.  Please check the spelling ..."
// A lock held by another user is waited for this long (tenths of a second
// apart) before the command gives up: a tool must not hang.
constexpr int kLockAttempts = 50;
constexpr int kLockDelay = 10;

constexpr std::string_view kKindWords[kDescriptorKinds] = {"person",     "client",   "project",
                                                           "subproject", "activity", "rate"};

// Installs a reporter for the command unless the run already has one.
class CommandReporter {
 public:
  explicit CommandReporter(CommandContext& context) {
    if (app::HasReporter()) return;
    reporter_ = std::make_unique<app::ErrorReporter>(
        context.ui, app::ProgramSettingsPath(ProgramDirectory(context), context.options.ini));
    installed_ = std::make_unique<app::ScopedReporter>(*reporter_);
  }
  static std::string ProgramDirectory(const CommandContext& context) {
    return context.options.home.empty() ? platform::ProgramDirectory() : context.options.home;
  }

 private:
  std::unique_ptr<app::ErrorReporter> reporter_;
  std::unique_ptr<app::ScopedReporter> installed_;
};

// Where the shared files of the installation are, and what it calls the
// six kinds.
struct Installation {
  std::string descriptor_file;
  std::string clients_file;
  DescriptorTexts kind_names;
};

bool FindInstallation(CommandContext& context, Installation& found) {
  const std::string program_directory = CommandReporter::ProgramDirectory(context);
  app::CSettings program;
  program.Bind(app::ProgramSettingsPath(program_directory, context.options.ini));
  const std::string support = app::SupportDirectory(program, program_directory);
  std::error_code error;
  std::filesystem::create_directories(support, error);
  if (error) {
    app::Reporter().ShowError("The support directory '" + support +
                              "' cannot be created: " + error.message());
    return false;
  }
  found.descriptor_file =
      db::DescriptorFilePath(program.GetString("Settings", "Descriptors File", ""), support);
  found.clients_file =
      db::ClientsFilePath(program.GetString("Special", "Client File", ""), support);
  const auto& defaults = app::DefaultDescriptorNames();
  for (int kind = 0; kind < kDescriptorKinds; ++kind) {
    std::string name =
        program.GetString("Settings", "DescriptorName" + std::to_string(kind + 1), "", 30);
    found.kind_names[kind] = name.empty() ? std::string(defaults[kind]) : name;
  }
  return true;
}

void PrepareEngine(engine::TableEngine& engine) {
  engine.SetErrorHook(app::EngineErrorHook);
  engine.settings().lock_attempts = kLockAttempts;
  engine.settings().lock_delay = kLockDelay;
}

// A kind given by number, by its word or by the installation's name for it.
std::optional<int> ParseKind(std::string_view text, const DescriptorTexts& names) {
  if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kDescriptorKinds) {
    return text[0] - '0';
  }
  for (int kind = 0; kind < kDescriptorKinds; ++kind) {
    if (platform::EqualsIgnoringCase(text, kKindWords[kind]) ||
        platform::EqualsIgnoringCase(text, names[kind])) {
      return kind;
    }
  }
  if (platform::EqualsIgnoringCase(text, "hourly rate")) return db::kRateKind;
  return std::nullopt;
}

int BadKind(CommandContext& context, std::string_view text) {
  context.err << "quillmk-cli: '" << text
              << "' is no descriptor kind: use 0-5, person, client, project, subproject, "
                 "activity or rate\n";
  return kExitUsage;
}

// Opens the descriptor file of the installation; false after the report.
// "The index file '%s' could not be opened for repair. ..."
constexpr int kIndexCannotBeRepaired = 1262;

struct OpenDescriptors {
  engine::TableEngine engine;
  std::unique_ptr<db::DescriptorDb> db;
  Installation installation;

  bool Open(CommandContext& context) {
    if (!FindInstallation(context, installation)) return false;
    PrepareEngine(engine);
    db = std::make_unique<db::DescriptorDb>(engine, db::RunTableReporter());
    return db->OpenDescriptorFile(installation.descriptor_file) == 0;
  }
};

struct OpenClients {
  engine::TableEngine engine;
  std::unique_ptr<db::ClientsDb> db;

  bool Open(CommandContext& context) {
    Installation installation;
    if (!FindInstallation(context, installation)) return false;
    PrepareEngine(engine);
    db = std::make_unique<db::ClientsDb>(engine, db::RunTableReporter());
    return db->OpenClientsFile(installation.clients_file) == 0;
  }
};

// "1,3" or "all" as positions from 1 among `count` rows; nothing when the
// text is neither.
std::optional<std::vector<std::size_t>> ParsePositions(std::string_view text, std::size_t count) {
  std::vector<std::size_t> positions;
  if (platform::EqualsIgnoringCase(text, "all")) {
    for (std::size_t i = 0; i < count; ++i) positions.push_back(i);
    return positions;
  }
  std::string word;
  std::istringstream words{std::string(text)};
  while (std::getline(words, word, ',')) {
    std::size_t used = 0;
    unsigned long number = 0;
    try {
      number = std::stoul(word, &used);
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (used != word.size() || number < 1 || number > count) return std::nullopt;
    positions.push_back(number - 1);
  }
  if (positions.empty()) return std::nullopt;
  return positions;
}


// Deletes the production index of `data_file` so that the next open builds
// it again. False after message 1262 when it exists and cannot be deleted.
bool DeleteIndexForRepair(const std::string& data_file) {
  std::filesystem::path index(data_file);
  index.replace_extension(".mdx");
  const std::optional<std::string> found = platform::FindFileIgnoringCase(index.string());
  if (!found) return true;
  std::error_code error;
  if (std::filesystem::remove(*found, error) && !error) return true;
  app::Reporter().ShowMessageWithText(kIndexCannotBeRepaired, *found);
  return false;
}

}  // namespace

int RepairSharedIndexes(CommandContext& context) {
  Installation installation;
  if (!FindInstallation(context, installation)) return kIndexCannotBeRepaired;
  engine::TableEngine engine;
  PrepareEngine(engine);
  if (std::filesystem::exists(installation.clients_file)) {
    if (!DeleteIndexForRepair(installation.clients_file)) return kIndexCannotBeRepaired;
    db::ClientsDb clients(engine, db::RunTableReporter());
    clients.set_repair_command(true);
    if (int result = clients.OpenClientsFile(installation.clients_file); result != 0) return result;
  }
  if (std::filesystem::exists(installation.descriptor_file)) {
    if (!DeleteIndexForRepair(installation.descriptor_file)) return kIndexCannotBeRepaired;
    db::DescriptorDb descriptors(engine, db::RunTableReporter());
    descriptors.set_repair_command(true);
    if (int result = descriptors.OpenDescriptorFile(installation.descriptor_file); result != 0) {
      return result;
    }
  }
  return 0;
}

int RunDescriptorsList(CommandContext& context) {
  CommandReporter reporter(context);
  if (context.args.size() > 1) return Usage(context, "descriptors list [KIND]");
  OpenDescriptors files;
  if (!files.Open(context)) return kExitFailed;
  std::optional<int> only;
  if (context.args.size() == 1) {
    only = ParseKind(context.args[0], files.installation.kind_names);
    if (!only) return BadKind(context, context.args[0]);
  }
  if (const int loaded = files.db->LoadDescriptorCache(); loaded != 0) {
    app::Reporter().ShowMessage(loaded);
    return kExitFailed;
  }
  const db::DescriptorCache& cache = files.db->cache();
  const DescriptorTexts& names = files.installation.kind_names;
  bool first = true;
  if (context.options.json) context.out << "[";
  for (const db::Descriptor& entry : cache.entries) {
    if (only && entry.kind != *only) continue;
    const bool link_known = entry.linked() && entry.link_kind >= 0 && entry.link_kind < 6;
    if (context.options.json) {
      context.out << (first ? "\n  " : ",\n  ") << "{\"kind\": " << entry.kind
                  << ", \"kind_name\": " << JsonText(names[entry.kind])
                  << ", \"value\": " << JsonText(entry.value);
      if (entry.linked()) {
        context.out << ", \"linked_to_kind\": " << entry.link_kind
                    << ", \"linked_to\": " << JsonText(entry.linked_to);
      }
      context.out << "}";
    } else {
      context.out << names[entry.kind] << "\t" << entry.value;
      if (entry.linked()) {
        context.out << "\t" << (link_known ? names[entry.link_kind] : std::to_string(entry.link_kind))
                    << "\t" << entry.linked_to;
      }
      context.out << "\n";
    }
    first = false;
  }
  if (context.options.json) context.out << (first ? "]\n" : "\n]\n");
  return kExitOk;
}

int RunDescriptorsAdd(CommandContext& context) {
  CommandReporter reporter(context);
  constexpr std::string_view kUsage = "descriptors add KIND VALUE [--link-to KIND VALUE]";
  std::vector<std::string> positional;
  std::optional<std::pair<std::string, std::string>> link;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    if (context.args[i] == "--link-to") {
      if (i + 2 >= context.args.size() || link) return Usage(context, kUsage);
      link = {context.args[i + 1], context.args[i + 2]};
      i += 2;
    } else if (context.args[i] == "--") {
      positional.insert(positional.end(), context.args.begin() + i + 1, context.args.end());
      break;
    } else {
      positional.push_back(context.args[i]);
    }
  }
  if (positional.size() != 2) return Usage(context, kUsage);
  if (RequireDatabaseAccess(context, app::SecuredOperation::kEditDescriptors) != 0) {
    return kExitFailed;
  }
  OpenDescriptors files;
  if (!files.Open(context)) return kExitFailed;
  const DescriptorTexts& names = files.installation.kind_names;
  std::optional<int> kind = ParseKind(positional[0], names);
  if (!kind) return BadKind(context, positional[0]);
  std::optional<int> link_kind;
  if (link) {
    link_kind = ParseKind(link->first, names);
    if (!link_kind) return BadKind(context, link->first);
    if (*link_kind == *kind) {
      context.err << "quillmk-cli: a descriptor cannot be linked to its own kind\n";
      return kExitUsage;
    }
  }
  if (positional[1].find_first_not_of(" \t") == std::string::npos ||
      (link && link->second.find_first_not_of(" \t") == std::string::npos)) {
    context.err << "quillmk-cli: a descriptor's value cannot be empty\n";
    return kExitUsage;
  }
  // A rate is stored as money text; text that is no amount would become 0.00.
  if ((*kind == db::kRateKind && !core::IsNumberText(positional[1])) ||
      (link_kind == db::kRateKind && !core::IsNumberText(link->second))) {
    app::Reporter().ShowMessage(kRateInvalid);
    return kExitFailed;
  }
  const int added = files.db->AddDescriptor(positional[1], *kind, link.has_value(),
                                            link ? std::string_view(link->second) : "",
                                            link_kind.value_or(db::kNotLinked));
  if (added != 0) {
    app::Reporter().ReportDatabaseError(files.installation.descriptor_file, added);
    return kExitFailed;
  }
  return kExitOk;
}

int RunDescriptorsDelete(CommandContext& context) {
  CommandReporter reporter(context);
  constexpr std::string_view kUsage = "descriptors delete KIND VALUE [--which N,...]";
  std::vector<std::string> positional;
  std::optional<std::string> which;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    if (context.args[i] == "--which") {
      if (i + 1 >= context.args.size()) return Usage(context, kUsage);
      which = context.args[++i];
    } else {
      positional.push_back(context.args[i]);
    }
  }
  if (positional.size() != 2) return Usage(context, kUsage);
  if (RequireDatabaseAccess(context, app::SecuredOperation::kEditDescriptors) != 0) {
    return kExitFailed;
  }
  OpenDescriptors files;
  if (!files.Open(context)) return kExitFailed;
  const DescriptorTexts& names = files.installation.kind_names;
  std::optional<int> kind = ParseKind(positional[0], names);
  if (!kind) return BadKind(context, positional[0]);

  std::vector<engine::RecordNumber> found;
  if (files.db->FindDescriptors(*kind, positional[1], found) == 0) {
    app::Reporter().ShowMessage(kNotFound);
    return kExitFailed;
  }
  // The warning names the kinds whose rows may hang on this one: those
  // linked to this kind now, else the links the program itself makes.
  std::vector<int> dependent;
  for (const db::Descriptor& entry : files.db->LoadedCache().entries) {
    if (entry.link_kind == *kind && entry.kind > *kind &&
        std::find(dependent.begin(), dependent.end(), entry.kind) == dependent.end()) {
      dependent.push_back(entry.kind);
    }
  }
  for (int fallback : {2, 5}) {
    if (dependent.size() < 2 && fallback != *kind &&
        std::find(dependent.begin(), dependent.end(), fallback) == dependent.end()) {
      dependent.push_back(fallback);
    }
  }
  const std::string question = app::FormatMessageText(
      app::MessageText(kConfirmDeleteWithLinks).value_or(""),
      {names[*kind], positional[1], names[dependent[0]],
       names[dependent.size() > 1 ? dependent[1] : dependent[0]]});
  const platform::Message warning{kConfirmDeleteWithLinks, question,
                                  app::Reporter().LoadText(app::kDefaultCaptionId).value_or(""),
                                  platform::MessageIcon::kQuestion};
  if (context.ui.AskYesNo(warning, platform::Button::kNo) != platform::Button::kYes) {
    app::Reporter().ShowMessage(app::kOperationCanceled);
    return kExitFailed;
  }

  bool bad_which = false;
  auto choose = [&](const std::vector<std::string>& rows) -> std::vector<std::size_t> {
    if (which) {
      auto positions = ParsePositions(*which, rows.size());
      if (!positions) bad_which = true;
      return positions.value_or(std::vector<std::size_t>{});
    }
    std::string listing = "Several descriptors have this value:\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
      listing += "  " + std::to_string(i + 1) + ". " + rows[i] + "\n";
    }
    platform::TextPrompt prompt;
    prompt.prompt = listing + "Delete which (numbers separated by commas, or all)?";
    std::optional<std::string> answer = context.ui.AskText(prompt);
    if (!answer) return {};
    auto positions = ParsePositions(*answer, rows.size());
    if (!positions) bad_which = true;
    return positions.value_or(std::vector<std::size_t>{});
  };
  const int deleted = files.db->DeleteDescriptorByValue(choose, names, *kind, positional[1]);
  if (bad_which) {
    context.err << "quillmk-cli: give the rows to delete as numbers from 1 to " << found.size()
                << ", separated by commas, or all\n";
    return kExitUsage;
  }
  if (deleted == db::kNothingChosen) {
    app::Reporter().ShowMessage(app::kOperationCanceled);
    return kExitFailed;
  }
  if (deleted != 0) {
    app::Reporter().ReportDatabaseError(files.installation.descriptor_file, deleted);
    return kExitFailed;
  }
  return kExitOk;
}

// --- Clients ----------------------------------------------------------------------

namespace {

struct ClientOption {
  std::string_view option;
  std::string_view heading;
  std::string db::Client::*member;
};

constexpr ClientOption kClientOptions[] = {
    {"--name", "NAME", &db::Client::name},         {"--contact", "CONTACT", &db::Client::contact},
    {"--addr1", "ADDR1", &db::Client::addr1},      {"--addr2", "ADDR2", &db::Client::addr2},
    {"--city", "CITY", &db::Client::city},         {"--state", "STATE", &db::Client::state},
    {"--zip", "ZIP", &db::Client::zip},            {"--phone", "PHONE", &db::Client::phone},
    {"--terms", "TERMS", &db::Client::terms},      {"--comment", "COMMENT", &db::Client::comment},
    {"--category", "CATEGORY", &db::Client::category},
};

}  // namespace

int RunClientsList(CommandContext& context) {
  CommandReporter reporter(context);
  if (!context.args.empty()) return Usage(context, "clients list");
  OpenClients files;
  if (!files.Open(context)) return kExitFailed;
  db::ClientList list;
  if (files.db->FillClientList(list, "") != 0) return kExitFailed;
  if (context.options.json) {
    context.out << "[";
    for (std::size_t i = 0; i < list.names.size(); ++i) {
      context.out << (i ? ", " : "") << JsonText(list.names[i]);
    }
    context.out << "]\n";
  } else {
    for (const std::string& name : list.names) context.out << name << "\n";
  }
  return kExitOk;
}

int RunClientsShow(CommandContext& context) {
  CommandReporter reporter(context);
  if (context.args.size() != 1) return Usage(context, "clients show NAME");
  OpenClients files;
  if (!files.Open(context)) return kExitFailed;
  db::Client client;
  if (files.db->ReadClient(context.args[0], client) != 0) {
    app::Reporter().ShowMessage(kNotFound);
    return kExitFailed;
  }
  if (context.options.json) context.out << "{";
  bool first = true;
  for (const ClientOption& field : kClientOptions) {
    const std::string& value = client.*field.member;
    if (context.options.json) {
      context.out << (first ? "" : ", ") << JsonText(field.heading) << ": " << JsonText(value);
    } else {
      context.out << field.heading << ": " << value << "\n";
    }
    first = false;
  }
  if (context.options.json) context.out << "}\n";
  return kExitOk;
}

int RunClientsSet(CommandContext& context) {
  CommandReporter reporter(context);
  constexpr std::string_view kUsage =
      "clients set NAME [--contact T] [--addr1 T] [--addr2 T] [--city T] [--state T] "
      "[--zip T] [--phone T] [--terms T] [--comment T] [--category T]";
  std::vector<std::string> positional;
  std::vector<std::pair<const ClientOption*, std::string>> changes;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& word = context.args[i];
    if (word.rfind("--", 0) != 0) {
      positional.push_back(word);
      continue;
    }
    const ClientOption* option = nullptr;
    for (const ClientOption& candidate : kClientOptions) {
      if (candidate.option == word && candidate.option != "--name") option = &candidate;
    }
    if (option == nullptr || i + 1 >= context.args.size()) return Usage(context, kUsage);
    changes.emplace_back(option, context.args[++i]);
  }
  if (positional.size() != 1 || positional[0].find_first_not_of(' ') == std::string::npos) {
    return Usage(context, kUsage);
  }
  OpenClients files;
  if (!files.Open(context)) return kExitFailed;
  db::Client client;
  if (files.db->ReadClient(positional[0], client) != 0) {
    client = db::Client{};
    client.name = positional[0];
  }
  for (const auto& [option, value] : changes) client.*(option->member) = value;
  if (const int written = files.db->WriteClient(client); written != 0) {
    app::Reporter().ReportDatabaseError(files.db->ClientsFileName(), written);
    return kExitFailed;
  }
  return kExitOk;
}

void AddDescriptorCommands(std::vector<Command>& commands) {
  commands.push_back({"descriptors list", "descriptors list [KIND]",
                      "list the shared descriptors, or those of one kind",
                      "Prints kind, value and link of each descriptor, tab-separated (--json: "
                      "objects). KIND: 0-5, person, client, project, subproject, activity, "
                      "rate, or the installation's own name for the kind.",
                      RunDescriptorsList});
  commands.push_back({"descriptors add", "descriptors add KIND VALUE [--link-to KIND VALUE]",
                      "add a descriptor, optionally linked to one of another kind",
                      "A descriptor that exists already (same kind, value and link) is left as "
                      "it is. Rates are stored as money text (1,234.5 becomes 1,234.50).",
                      RunDescriptorsAdd});
  commands.push_back({"descriptors delete", "descriptors delete KIND VALUE [--which N,...]",
                      "delete a descriptor and every descriptor linked to it",
                      "Asks first (message 1194). When several rows have the value, asks "
                      "which, or takes --which with their positions from 1, or all.",
                      RunDescriptorsDelete});
  commands.push_back({"clients list", "clients list", "list the clients of the clients file",
                      "One name per line in the file's order (--json: an array).",
                      RunClientsList});
  commands.push_back({"clients show", "clients show NAME", "show a client's details",
                      "Prints FIELD: value lines (--json: an object). The name must match "
                      "exactly, case included.",
                      RunClientsShow});
  commands.push_back({"clients set", "clients set NAME --contact T --category T ...",
                      "change a client's details, creating the client when new",
                      "Options: --contact --addr1 --addr2 --city --state --zip --phone --terms "
                      "--comment --category; fields not given keep their values. Values are cut "
                      "to their field's width.",
                      RunClientsSet});
}

}  // namespace qm::cli
