// How the CLI tests run a command: in a fresh home folder, as one person on
// one database, with a scripted interface that answers the questions the
// test expects and records every message the command shows.
//
//   class AddTest : public CommandTest {};
//   TEST_F(AddTest, ...) {
//     ASSERT_EQ(Run("db new", {db_}).status, kExitOk);
//     CommandOutcome added = Run("add", {"--client", "Acme"});
//     EXPECT_THAT(added.numbers, IsEmpty());
//   }
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "cli/command.h"
#include "cli/dispatcher.h"
#include "platform/user_interface.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {

// What one run of a command left behind.
struct CommandOutcome {
  int status = kExitOk;
  std::string out;
  std::string err;
  std::vector<int> numbers;  // every message shown or asked, in order
  std::string texts;         // their texts, one line each
};

// The dispatcher owns the interface it runs with; this one hands every call
// to the test's scripted double, which outlives the run.
class ForwardingUi final : public platform::UserInterface {
 public:
  explicit ForwardingUi(platform::UserInterface& target) : target_(target) {}
  void Show(const platform::Message& m) override;
  platform::Button AskYesNo(const platform::Message& m, platform::Button d) override;
  platform::Button AskYesNoCancel(const platform::Message& m, platform::Button d) override;
  std::optional<std::string> AskText(const platform::TextPrompt& p) override;
  void BeginProgress(std::string_view t, long n) override;
  bool AdvanceProgress(long d, std::string_view s) override;
  void EndProgress() override;
  void SetWaitCursor(bool on) override;
  void ProcessPendingEvents() override;

 private:
  platform::UserInterface& target_;
};

// The dispatcher's interface factory for a run that reports to `ui`.
UserInterfaceFactory ForwardTo(platform::UserInterface& ui);

// `arguments` (the words after the program's name) run as quillmk-cli runs
// them, through the dispatcher and `commands`, reporting to `ui`. The
// outcome's numbers and texts are all that `ui` has seen so far.
CommandOutcome RunDispatched(const std::vector<std::string>& arguments,
                             test::ScriptedUserInterface& ui,
                             const std::vector<Command>& commands = AllCommands());

// The registered command called `name` ("db new", "add"); a test that names
// no command fails.
const Command& FindCommand(std::string_view name);

// A home folder with the options every run of the test passes. A fixture
// changes the members before a run to change what that run sees: db_ and
// user_ empty pass no --db and no --user.
class CommandTest : public ::testing::Test {
 protected:
  using CommandFunction = int (*)(CommandContext&);

  // One run of the command `name` with `args` as user_. The run's interface
  // answers `answers`, then typed_ (text prompts), in the order asked.
  CommandOutcome Run(std::string_view name, std::vector<std::string> args,
                     std::vector<platform::Button> answers = {});
  // The same, as `user` for this run only.
  CommandOutcome RunAs(std::string user, std::string_view name, std::vector<std::string> args,
                       std::vector<platform::Button> answers = {});
  // The same for a command function the test names itself.
  CommandOutcome Run(CommandFunction command, std::vector<std::string> args,
                     std::vector<platform::Button> answers = {});

  // `quillmk-cli --home H [--user U] [--db D] [options_] WORDS...` through
  // the dispatcher, as a separate program run would see it.
  CommandOutcome RunLine(std::vector<std::string> words,
                         std::vector<platform::Button> answers = {});

  // `records --format csv`, which must succeed.
  std::string Records();

  // Gives `person` (app::kAdministratorEntry: the administrator) the
  // password `password` in the support file of `database`.
  void WritePassword(const std::string& database, std::string_view person,
                     std::string_view password);

  // Writes `value` under `section`/`key` in user_'s own settings file.
  void WriteUserSetting(std::string_view section, std::string_view key, int value);

  test::TempDir home_;
  std::string db_ = home_.File("work.dbf");  // --db
  std::string user_ = "Alice";               // --user
  // The other global options: --password, --json, --yes, --no, --ini.
  GlobalOptions options_;
  std::vector<std::optional<std::string>> typed_;  // answers to text prompts
  // A question the commands may or may not ask: answers left over pass.
  bool allow_unused_answers_ = false;

 private:
  CommandOutcome Execute(CommandFunction command, std::string user,
                         std::vector<std::string> args, std::vector<platform::Button> answers);
  void Script(test::ScriptedUserInterface& ui, const std::vector<platform::Button>& answers) const;
};

}  // namespace qm::cli
