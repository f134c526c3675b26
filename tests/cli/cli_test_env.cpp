#include "tests/cli/cli_test_env.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <utility>

#include "app/security.h"
#include "app/settings.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"

namespace qm::cli {

void ForwardingUi::Show(const platform::Message& m) { target_.Show(m); }

platform::Button ForwardingUi::AskYesNo(const platform::Message& m, platform::Button d) {
  return target_.AskYesNo(m, d);
}

platform::Button ForwardingUi::AskYesNoCancel(const platform::Message& m, platform::Button d) {
  return target_.AskYesNoCancel(m, d);
}

std::optional<std::string> ForwardingUi::AskText(const platform::TextPrompt& p) {
  return target_.AskText(p);
}

void ForwardingUi::BeginProgress(std::string_view t, long n) { target_.BeginProgress(t, n); }

bool ForwardingUi::AdvanceProgress(long d, std::string_view s) {
  return target_.AdvanceProgress(d, s);
}

void ForwardingUi::EndProgress() { target_.EndProgress(); }

void ForwardingUi::SetWaitCursor(bool on) { target_.SetWaitCursor(on); }

void ForwardingUi::ProcessPendingEvents() { target_.ProcessPendingEvents(); }

UserInterfaceFactory ForwardTo(platform::UserInterface& ui) {
  return [&ui](const GlobalOptions&) -> std::unique_ptr<platform::UserInterface> {
    return std::make_unique<ForwardingUi>(ui);
  };
}

namespace {

std::string Lines(const std::vector<std::string>& texts) {
  std::string lines;
  for (const std::string& text : texts) lines += text + "\n";
  return lines;
}

}  // namespace

CommandOutcome RunDispatched(const std::vector<std::string>& arguments,
                             test::ScriptedUserInterface& ui,
                             const std::vector<Command>& commands) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunCommandLine(arguments, commands, out, err, ForwardTo(ui));
  return {status, out.str(), err.str(), ui.Numbers(), Lines(ui.Texts())};
}

const Command& FindCommand(std::string_view name) {
  for (const Command& command : AllCommands()) {
    if (command.name == name) return command;
  }
  ADD_FAILURE() << "no command " << name;
  return AllCommands().front();
}

CommandOutcome CommandTest::Run(std::string_view name, std::vector<std::string> args,
                                std::vector<platform::Button> answers) {
  return Execute(FindCommand(name).run, user_, std::move(args), std::move(answers));
}

CommandOutcome CommandTest::RunAs(std::string user, std::string_view name,
                                  std::vector<std::string> args,
                                  std::vector<platform::Button> answers) {
  return Execute(FindCommand(name).run, std::move(user), std::move(args), std::move(answers));
}

CommandOutcome CommandTest::Run(CommandFunction command, std::vector<std::string> args,
                                std::vector<platform::Button> answers) {
  return Execute(command, user_, std::move(args), std::move(answers));
}

CommandOutcome CommandTest::RunLine(std::vector<std::string> words,
                                    std::vector<platform::Button> answers) {
  std::vector<std::string> arguments = {"--home", home_.path()};
  if (!user_.empty()) arguments.insert(arguments.end(), {"--user", user_});
  if (!db_.empty()) arguments.insert(arguments.end(), {"--db", db_});
  if (!options_.ini.empty()) arguments.insert(arguments.end(), {"--ini", options_.ini});
  if (!options_.password.empty()) {
    arguments.insert(arguments.end(), {"--password", options_.password});
  }
  if (options_.yes) arguments.push_back("--yes");
  if (options_.no) arguments.push_back("--no");
  if (options_.json) arguments.push_back("--json");
  arguments.insert(arguments.end(), words.begin(), words.end());
  test::ScriptedUserInterface ui;
  Script(ui, answers);
  return RunDispatched(arguments, ui);
}

std::string CommandTest::Records() {
  CommandOutcome listed = Run("records", {"--format", "csv"});
  EXPECT_EQ(listed.status, kExitOk) << listed.err << listed.texts;
  return listed.out;
}

void CommandTest::WritePassword(const std::string& database, std::string_view person,
                                std::string_view password) {
  engine::TableEngine engine;
  db::SupportDb support(engine, db::RunTableReporter());
  ASSERT_EQ(support.WriteSupportString(app::kPasswordSection, person,
                                       app::ScramblePassword(password),
                                       db::SupportFileName(database), true),
            1);
}

void CommandTest::WriteUserSetting(std::string_view section, std::string_view key, int value) {
  app::CSettings settings;
  std::filesystem::create_directories(home_.File("support"));
  ASSERT_TRUE(settings.BindUser(home_.File("support"), user_));
  ASSERT_TRUE(settings.WriteInt(section, key, value));
}

CommandOutcome CommandTest::Execute(CommandFunction command, std::string user,
                                    std::vector<std::string> args,
                                    std::vector<platform::Button> answers) {
  test::ScriptedUserInterface ui;
  Script(ui, answers);
  std::ostringstream out;
  std::ostringstream err;
  GlobalOptions options = options_;
  options.home = home_.path();
  options.user = std::move(user);
  options.db = db_;
  CommandContext context{options, std::move(args), ui, out, err};
  const int status = command(context);
  return {status, out.str(), err.str(), ui.Numbers(), Lines(ui.Texts())};
}

void CommandTest::Script(test::ScriptedUserInterface& ui,
                         const std::vector<platform::Button>& answers) const {
  if (allow_unused_answers_) ui.AllowUnusedAnswers();
  for (platform::Button answer : answers) ui.QueueAnswer(answer);
  for (const std::optional<std::string>& text : typed_) ui.QueueText(text);
}

}  // namespace qm::cli
