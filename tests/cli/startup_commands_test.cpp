// quillmk-cli startup: the desktop program's command line, start-up and
// shutdown run headless, end to end on real files.
#include "cli/startup_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/security.h"
#include "cli/db_commands.h"
#include "cli/dispatcher.h"
#include "db/support_db.h"
#include "db/table_reporter.h"
#include "engine/engine.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace fs = std::filesystem;

// The lines `startup` prints for a run of `person` on `database`.
std::string Shown(const std::string& database, const std::string& person) {
  std::string upper = fs::path(database).filename().string();
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "title: Corvane Quillmark - " + upper + " (" + person + ")\n" +
         "database: " + database + "\n" + "person: " + person + "\n";
}

class StartupCommandTest : public CommandTest {
 protected:
  // Each run names its person; the database comes from the words.
  StartupCommandTest() {
    user_.clear();
    db_.clear();
  }

  // `words` are what the shell hands to `quillmk-cli startup`; the CLI's
  // own person is Bob.
  CommandOutcome Startup(std::vector<std::string> words,
                         std::vector<platform::Button> answers = {}) {
    return RunAs("Bob", "startup", std::move(words), std::move(answers));
  }

  // A new database, made the current one of `person`.
  void NewDatabase(const std::string& file, const std::string& person) {
    CommandOutcome created = RunAs(person, "db new", {file});
    ASSERT_EQ(created.status, kExitOk) << created.err << created.texts;
  }

  std::string work_ = home_.File("work.dbf");
  std::string untitled_ = home_.File("untitled.dbf");
};

// Only a quoted person: that person signs on, without being asked, to
// their current file.
TEST_F(StartupCommandTest, OnlyAPersonOpensTheirCurrentFile) {
  NewDatabase(work_, "Ann Smith");
  for (const std::string& word : {std::string("Ann Smith"), std::string("\"Ann Smith\""),
                                  std::string("'Ann Smith'")}) {
    SCOPED_TRACE(word);
    CommandOutcome run = Startup({word});
    ASSERT_EQ(run.status, kExitOk) << run.err << run.texts;
    EXPECT_THAT(run.numbers, IsEmpty());
    EXPECT_THAT(run.out, HasSubstr(Shown(work_, "Ann Smith") +
                                   "access: Administrator\nstopwatch: inactive\n"));
  }
}

// Database, person and settings file together: the settings file holds for
// the whole run (its descriptor names show), and the database given without
// extension and in other capitals opens.
TEST_F(StartupCommandTest, DatabasePersonAndSettingsFileTogether) {
  NewDatabase(work_, "Bob");
  const std::string ini = home_.File("other/alt.ini");
  fs::create_directories(home_.File("other"));
  std::ofstream(ini) << "[Settings]\nDescriptorName2=Customer\n";
  CommandOutcome run = Startup({home_.File("WORK"), "Ann Smith", "/i=" + ini});
  ASSERT_EQ(run.status, kExitOk) << run.err << run.texts;
  EXPECT_THAT(run.numbers, IsEmpty());
  EXPECT_THAT(run.out, HasSubstr(Shown(work_, "Ann Smith")));
  EXPECT_THAT(run.out, HasSubstr("settings file: " + ini + "\n"));
  EXPECT_THAT(run.out, HasSubstr("descriptor names: Person, Customer, "));

  // Without the option the program's own settings file holds.
  CommandOutcome plain = Startup({work_, "Ann Smith"});
  ASSERT_EQ(plain.status, kExitOk) << plain.err << plain.texts;
  EXPECT_THAT(plain.out, HasSubstr("settings file: " + home_.File("QUILLMK.INI") + "\n"));
  EXPECT_THAT(plain.out, HasSubstr("descriptor names: Person, Client, "));
}

// The command line's own messages, each shown with its number; the run
// still starts, with what the command line did not spoil.
TEST_F(StartupCommandTest, CommandLineMessagesAndWhatOpensAfterThem) {
  NewDatabase(work_, "Ann Smith");
  struct Case {
    std::vector<std::string> words;
    std::vector<int> numbers;
    std::string database;
    std::string person;
  };
  const std::vector<Case> cases = {
      // "/i=" followed by a blank names no settings file.
      {{"/i=", "Ann Smith"}, {331}, work_, "Ann Smith"},
      {{"/i=", "x.ini"}, {331, 175}, untitled_, "Bob"},
      // A path in quotes is no person: the CLI's person opens their
      // current file, the untitled one.
      {{"\"" + work_ + "\""}, {430}, untitled_, "Bob"},
      {{"\"" + work_ + "\"", "/i=" + home_.File("alt.ini")}, {430}, untitled_, "Bob"},
      // An absolute Linux path is a database, not an option.
      {{work_}, {}, work_, "Bob"},
      {{work_, "Ann Smith"}, {}, work_, "Ann Smith"},
      // A database that is not there: 175, then the person's current file,
      // else the untitled one.
      {{home_.File("gone.dbf"), "Ann Smith"}, {175}, work_, "Ann Smith"},
      {{home_.File("gone"), "Carol Jones"}, {175}, untitled_, "Carol Jones"},
      // A quote without its partner.
      {{"\"Ann Smith"}, {330}, untitled_, "Bob"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    CommandOutcome run = Startup(c.words);
    ASSERT_EQ(run.status, kExitOk) << run.err << run.texts;
    EXPECT_THAT(run.numbers, ElementsAreArray(c.numbers)) << run.texts;
    EXPECT_THAT(run.out, HasSubstr(Shown(c.database, c.person)));
  }
  // The messages are filled in: the command line, the missing file.
  CommandOutcome blank = Startup({"/i=", "Ann Smith"});
  EXPECT_THAT(blank.texts, HasSubstr("quillmk2 /i= \"Ann Smith\"\n\nis invalid."));
  CommandOutcome gone = Startup({home_.File("gone"), "Ann Smith"});
  EXPECT_THAT(gone.texts, HasSubstr("'" + home_.File("gone.DBF") + "' could not be found."));
  // Starting up changed nobody's current file.
  EXPECT_THAT(Startup({"Ann Smith"}).out, HasSubstr(Shown(work_, "Ann Smith")));
}

// A database that exists but cannot be used falls back to the untitled one,
// as the desktop program does.
TEST_F(StartupCommandTest, UnusableDatabaseFallsBackToTheUntitledOne) {
  const std::string stray = home_.File("stray.dbf");
  std::ofstream(stray) << "not a table";
  CommandOutcome run = Startup({stray, "Ann Smith"});
  ASSERT_EQ(run.status, kExitOk) << run.err << run.texts;
  EXPECT_THAT(run.numbers, ElementsAre(253));
  EXPECT_THAT(run.out, HasSubstr(Shown(untitled_, "Ann Smith")));
}

// "Access Denied": Cancel ends the run (217); --yes overrides.
TEST_F(StartupCommandTest, AccessDeniedEndsTheRunUnlessOverridden) {
  NewDatabase(work_, "Ann Smith");
  {
    engine::TableEngine engine;
    db::SupportDb support(engine, db::RunTableReporter());
    support.set_user_name("Ann Smith");
    ASSERT_EQ(support.OpenSupport(db::SupportFileName(work_)), 0);
    ASSERT_EQ(support.SetUserActive(work_, "Ann Smith", true), 0);
    support.CloseSupport();
  }
  CommandOutcome refused = Startup({work_, "Ann Smith"}, {platform::Button::kCancel});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_THAT(refused.numbers, ElementsAre(0, 217)) << refused.texts;
  EXPECT_THAT(refused.out, IsEmpty());

  options_.yes = true;
  CommandOutcome overridden = Startup({work_, "Ann Smith"});
  ASSERT_EQ(overridden.status, kExitOk) << overridden.err << overridden.texts;
  EXPECT_THAT(overridden.numbers, IsEmpty());
  EXPECT_THAT(overridden.out, HasSubstr(Shown(work_, "Ann Smith")));
}

// --password answers the sign-on; without the password the untitled
// database opens (370).
TEST_F(StartupCommandTest, PasswordSignsOnOrTheUntitledDatabaseOpens) {
  NewDatabase(work_, "Ann Smith");
  ASSERT_NO_FATAL_FAILURE(WritePassword(work_, app::kAdministratorEntry, "secret1"));
  options_.password = "secret1";
  CommandOutcome signed_on = Startup({"Ann Smith"});
  ASSERT_EQ(signed_on.status, kExitOk) << signed_on.err << signed_on.texts;
  EXPECT_THAT(signed_on.out, HasSubstr(Shown(work_, "Ann Smith") + "access: Administrator\n"));

  options_.password = "wrong1";
  typed_ = {"wrong2", "wrong3"};
  CommandOutcome refused = Startup({"Ann Smith"});
  ASSERT_EQ(refused.status, kExitOk) << refused.err << refused.texts;
  EXPECT_THAT(refused.numbers, ElementsAre(1237, 1236, 1237, 1236, 242, 370));
  EXPECT_THAT(refused.out, HasSubstr(Shown(untitled_, "Ann Smith")));
}

TEST_F(StartupCommandTest, JsonAndRefusedOptions) {
  NewDatabase(work_, "Ann Smith");
  options_.json = true;
  CommandOutcome json = Startup({"Ann Smith"});
  ASSERT_EQ(json.status, kExitOk) << json.err << json.texts;
  EXPECT_THAT(json.out, HasSubstr("{\"title\": \"Corvane Quillmark - WORK.DBF (Ann Smith)\", "
                                  "\"database\": \"" + work_ + "\", \"person\": \"Ann Smith\", "
                                  "\"access\": \"Administrator\", \"stopwatch\": \"inactive\""));
  options_.json = false;

  // The database is one of the words; --db would be a second one.
  db_ = work_;
  EXPECT_EQ(Startup({"Ann Smith"}).status, kExitUsage);
  db_.clear();
  EXPECT_EQ(Startup({"--nologo"}).status, kExitUsage);
  // After "--" every word is the command line's.
  CommandOutcome literal = Startup({"--", "--nologo", "Ann Smith"});
  EXPECT_EQ(literal.status, kExitOk) << literal.err << literal.texts;
  EXPECT_THAT(literal.numbers, ElementsAre(175));
}

// Through the whole quillmk-cli command line: the dispatcher leaves the
// desktop program's words, "/i=..." included, to the command.
TEST_F(StartupCommandTest, WordsPassTheDispatcherUntouched) {
  NewDatabase(work_, "Bob");
  const std::string ini = home_.File("alt.ini");
  std::ofstream(ini) << "[Settings]\nDescriptorName3=Matter\n";
  std::ostringstream out;
  std::ostringstream err;
  std::vector<int> numbers;
  const int status = RunCommandLine(
      {"--home", home_.path(), "--user", "Bob", "startup", work_, "Ann Smith", "/i=" + ini},
      AllCommands(), out, err, [](const GlobalOptions&) {
        return std::make_unique<test::ScriptedUserInterface>();
      });
  ASSERT_EQ(status, kExitOk) << err.str();
  EXPECT_THAT(out.str(), HasSubstr(Shown(work_, "Ann Smith")));
  EXPECT_THAT(out.str(), HasSubstr("descriptor names: Person, Client, Matter, "));
}

}  // namespace
}  // namespace qm::cli
