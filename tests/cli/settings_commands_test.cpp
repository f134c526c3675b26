#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/command.h"
#include "cli/dispatcher.h"
#include "tests/cli/cli_test_env.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Every file under a folder with its bytes, to show that nothing changed.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    files[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : "<dir>";
  }
  return files;
}

class SettingsCommandsTest : public ::testing::Test {
 protected:
  // Every run reports to ui_, which keeps what all of them showed.
  CommandOutcome Run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--home", home_.path()});
    return RunDispatched(arguments, ui_);
  }
  CommandOutcome RunAs(const std::string& user, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--user", user});
    return Run(std::move(arguments));
  }
  std::string Program() const { return home_.File("QUILLMK.INI"); }
  std::string Support(const std::string& name) const { return home_.File("support/" + name); }

  test::TempDir home_;
  test::ScriptedUserInterface ui_;
};

TEST_F(SettingsCommandsTest, SetThenGetRoundTripsAndLeavesEveryOtherLine) {
  const std::string program =
      "; Quillmark installation\r\n[Settings]\r\nDescriptorName2 = Customer  ; renamed\r\n"
      "PackOnClose=1\r\n\r\n[Invoice Setup]\r\n  Odd   Spacing   =  kept  \r\n";
  WriteFile(Program(), program);
  ASSERT_EQ(Run({"settings", "set", "settings", "packonclose", "0", "--program"}).status, 0);
  EXPECT_EQ(ReadFile(Program()),
            "; Quillmark installation\r\n[Settings]\r\nDescriptorName2 = Customer  ; renamed\r\n"
            "PackOnClose=0\r\n\r\n[Invoice Setup]\r\n  Odd   Spacing   =  kept  \r\n");
  CommandOutcome get = Run({"settings", "get", "Settings", "PackOnClose", "--program"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "0\n");

  const std::string user =
      "[UserInfo]\nUserName=Ann Smith\n; my layout\n[Layout]\nWidth=37,37,13,\n"
      "[GeneralConfig]\nIconType=2\nPauseHandling = 1\n[Zzz]\nz=1\n";
  WriteFile(Support("annsmith.ini"), user);
  ASSERT_EQ(RunAs("Ann Smith", {"settings", "set", "generalconfig", "DURATIONMODE", "1"}).status,
            0);
  EXPECT_EQ(ReadFile(Support("annsmith.ini")),
            "[UserInfo]\nUserName=Ann Smith\n; my layout\n[Layout]\nWidth=37,37,13,\n"
            "[GeneralConfig]\nIconType=2\nPauseHandling = 1\nDurationMode=1\n[Zzz]\nz=1\n");
  EXPECT_EQ(RunAs("Ann Smith", {"settings", "get", "GeneralConfig", "DurationMode"}).out, "1\n");
  // A default comes back for a key the file does not hold.
  EXPECT_EQ(RunAs("Ann Smith", {"settings", "get", "GeneralConfig", "PollPeriod"}).out, "5\n");
  EXPECT_THAT(ui_.entries(), IsEmpty());
}

TEST_F(SettingsCommandsTest, UsersWithTheSameLettersKeepTheirOwnFiles) {
  ASSERT_EQ(RunAs("Ann Smith", {"settings", "set", "Settings", "DailyGoal", "3600"}).status, 0);
  ASSERT_EQ(RunAs("Ann-Smith", {"settings", "set", "Settings", "DailyGoal", "7200"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(Support("annsmith.ini")));
  EXPECT_TRUE(std::filesystem::exists(Support("annsmith.001")));
  EXPECT_EQ(RunAs("Ann Smith", {"settings", "get", "Settings", "DailyGoal"}).out, "3600\n");
  EXPECT_EQ(RunAs("Ann-Smith", {"settings", "get", "Settings", "DailyGoal"}).out, "7200\n");
  CommandOutcome show = RunAs("Ann-Smith", {"settings", "show", "Settings"});
  EXPECT_THAT(show.out, HasSubstr("annsmith.001"));
  EXPECT_THAT(show.out, HasSubstr("DailyGoal=7200"));
}

TEST_F(SettingsCommandsTest, ShowMarksWhatComesFromTheFile) {
  WriteFile(Program(), "[Settings]\nDescriptorName2=Customer\n[Special]\nMine=1\n");
  CommandOutcome show = RunAs("Bo", {"settings", "show"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_THAT(show.out, HasSubstr("DescriptorName2=Customer"));
  EXPECT_THAT(show.out, HasSubstr("DescriptorName1=Person"));
  EXPECT_THAT(show.out, HasSubstr("Mine=1"));
  EXPECT_THAT(show.out, HasSubstr("[GeneralConfig]"));
  EXPECT_THAT(show.out, HasSubstr("PrintMode=2"));
  // The record list's customer column is headed by the renamed descriptor.
  EXPECT_THAT(show.out, HasSubstr("Heading1=Customer"));
  EXPECT_THAT(show.out, HasSubstr("(not created yet)"));
  // Reading never creates the user's file.
  EXPECT_FALSE(std::filesystem::exists(Support("bo.ini")));

  CommandOutcome json = RunAs("Bo", {"--json", "settings", "show", "special"});
  ASSERT_EQ(json.status, 0);
  EXPECT_THAT(json.out, HasSubstr("{\"section\": \"Special\", \"key\": \"Mine\", \"value\": "
                                  "\"1\", \"type\": \"text\", \"from_file\": true, "
                                  "\"documented\": false}"));
  EXPECT_THAT(json.out, Not(HasSubstr("GeneralConfig")));

  EXPECT_EQ(RunAs("Bo", {"settings", "show", "NoSuchSection"}).status, 1);
}

TEST_F(SettingsCommandsTest, BadInputGivesAMessageAndChangesNothing) {
  const std::string junk("[Settings]\nPackOnClose=\0\x01\xff\xfe", 27);
  WriteFile(home_.File("damaged.ini"), junk);
  WriteFile(Support("annsmith.ini"), "[UserInfo]\nUserName=Ann Smith\n[Report]\nTitle=Mine\n");
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message_part;
  };
  const std::string long_title(129, 't');
  for (const Case& c : std::vector<Case>{
           {{"--ini", home_.File("missing.ini"), "settings", "set", "Settings", "SafeMode", "1",
             "--program"},
            1, "does not exist"},
           {{"--ini", home_.File("missing.ini"), "settings", "show"}, 1, "does not exist"},
           {{"--ini", home_.File("damaged.ini"), "settings", "set", "Settings", "SafeMode", "1",
             "--program"},
            1, "cannot be read as a settings file"},
           {{"--ini", home_.File("damaged.ini"), "settings", "get", "Settings", "SafeMode",
             "--program"},
            1, "cannot be read as a settings file"},
           {{"--user", "Ann Smith", "settings", "set", "Report", "Title", long_title}, 1,
            "at most 128"},
           {{"--user", "Ann Smith", "settings", "set", "Settings", "DurationFormat", "9"}, 1,
            "out of range"},
           {{"--user", "Ann Smith", "settings", "set", "Settings", "DailyGoal", "8h"}, 1,
            "not a whole number"},
           {{"--user", "Ann Smith", "settings", "set", "UserInfo", "UserName", "Eve"}, 1,
            "owner of the file"},
           {{"--user", "Ann Smith", "settings", "set", "Bad]Section", "Key", "1"}, 1,
            "section name"},
           {{"--user", std::string(36, 'n'), "settings", "set", "Settings", "DailyGoal", "1"},
            1, "longer than 35"},
           {{"--user", "Ann Smith", "settings", "get", "Nowhere", "Nothing"}, 1, "neither in"},
           {{"--user", "Ann Smith", "settings", "set", "Settings", "DailyGoal"}, 2, ""},
           {{"--user", "Ann Smith", "settings", "show", "a", "b"}, 2, ""},
           {{"--user", "Ann Smith", "settings", "set", "Report", "Title", "\xff\xfe"}, 2, ""},
       }) {
    ui_.Clear();
    const auto before = Snapshot(home_.path());
    CommandOutcome result = Run(c.arguments);
    std::string shown;
    for (const std::string& text : ui_.Texts()) shown += text + "\n";
    EXPECT_EQ(result.status, c.status) << c.arguments[2] << " " << shown << result.err;
    if (!c.message_part.empty()) {
      EXPECT_THAT(shown, HasSubstr(c.message_part));
    }
    EXPECT_EQ(Snapshot(home_.path()), before) << shown;
  }
}

TEST_F(SettingsCommandsTest, ADamagedUserFileIsReportedNotBypassed) {
  const std::string junk("[UserInfo]\nUserName=\0\x02\x03", 24);
  WriteFile(Support("annsmith.ini"), junk);
  const auto before = Snapshot(home_.path());
  CommandOutcome result = RunAs("Ann Smith", {"settings", "set", "Settings", "DailyGoal", "60"});
  EXPECT_EQ(result.status, 1);
  ASSERT_FALSE(ui_.Texts().empty());
  EXPECT_THAT(ui_.Texts()[0], HasSubstr("annsmith.ini"));
  EXPECT_EQ(Snapshot(home_.path()), before);
}

}  // namespace
}  // namespace qm::cli
