#include "run/command_line.h"

#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/message_format.h"
#include "app/messages.h"
#include "tests/support/test_paths.h"

namespace qm::run {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::vector<int> Numbers(const ParsedCommandLine& parsed) {
  std::vector<int> numbers;
  for (const app::NumberedText& message : parsed.messages) numbers.push_back(message.number);
  return numbers;
}

std::string Filled(int number, std::string_view text) {
  return app::FormatMessageText(*app::MessageText(number), {text});
}

// A working folder with the database files the cases name. "Time.dbf" is
// found as "Time.DBF" and "TIME.dbf" too, the way files copied from Windows
// are.
class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest() {
    for (const char* name : {"Time.dbf", "my time.dbf", "O'Brien.dbf", "notes.txt"}) {
      std::ofstream(folder_.File(name)) << "x";
    }
  }

  std::string Path(const std::string& name) const { return folder_.File(name); }
  const std::string& dir() const { return folder_.path(); }

  test::TempDir folder_;
};

struct TextCase {
  std::string line;  // "@" stands for the working folder
  std::string user;
  std::string ini;       // "@" stands for the working folder
  std::string database;  // "@" stands for the working folder
  std::vector<int> messages;
};

std::string Expand(std::string text, const std::string& folder) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
    text.replace(at, 1, folder);
    at += folder.size();
  }
  return text;
}

TEST_F(CommandLineTest, ReadsPersonSettingsFileAndDatabaseFromTheText) {
  const std::string long_name(40, 'n');
  const std::vector<TextCase> cases = {
      {"", "", "", "", {}},
      {"   ", "", "", "", {}},
      // Only a quoted person.
      {"\"Ann Smith\"", "Ann Smith", "", "", {}},
      {"'Ann Smith'", "Ann Smith", "", "", {}},
      // Database, person and settings file; relative names from the folder.
      {"Time.dbf \"Ann Smith\" /i=x.ini", "Ann Smith", "@/x.ini", "@/Time.dbf", {}},
      {"\"Ann Smith\" Time.dbf /i=x.ini", "Ann Smith", "@/x.ini", "@/Time.dbf", {}},
      // An absolute Linux path is a database, not an option.
      {"@/Time.dbf \"Ann\"", "Ann", "", "@/Time.dbf", {}},
      {"@/Time.dbf", "", "", "@/Time.dbf", {}},
      {"/i=/etc/q.ini @/Time.dbf", "", "/etc/q.ini", "@/Time.dbf", {}},
      // "/i=" followed by a blank names no file.
      {"Time.dbf /i= x.ini", "", "", "@/Time.dbf", {331}},
      {"/i=", "", "", "", {331}},
      {"/i=\"\" \"Ann\"", "Ann", "", "", {331}},
      // A path in quotes is no person.
      {"\"@/Time.dbf\"", "", "", "", {430}},
      {"Time.dbf \"C:\\QUILLMK\\TIME.DBF\"", "", "", "@/Time.dbf", {430}},
      {"\"Ann:1\"", "", "", "", {430}},
      // A quote without its partner.
      {"\"Ann Smith", "", "", "", {330}},
      {"Time.dbf 'Ann", "", "", "@/Time.dbf", {330}},
      {"\"Ann\" 'Bob", "Ann", "", "", {330}},
      {"/i=\"x.ini", "", "", "", {330}},
      // The name is cut to 35 characters.
      {"\"" + long_name + "\"", long_name.substr(0, 35), "", "", {}},
      // ".DBF" added; the file found without regard to case, and named as
      // it is on disk so that the run opens it.
      {"Time \"Ann\"", "Ann", "", "@/Time.dbf", {}},
      {"TIME.dbf", "", "", "@/Time.dbf", {}},
      {"My Time \"Ann\"", "Ann", "", "@/my time.dbf", {}},
      {"sub/../Time.dbf", "", "", "@/Time.dbf", {}},
      {"O'Brien.dbf 'Ann'", "Ann", "", "@/O'Brien.dbf", {}},
      // A database that is not there is dropped.
      {"missing.dbf \"Ann\"", "Ann", "", "", {175}},
      {"missing", "", "", "", {175}},
      {"/nologo", "", "", "", {175}},
      {"Time.dbf/i=x.ini", "", "", "", {175}},
      // Double quotes name the person before single ones; the first quote
      // of the line before both.
      {"Time.dbf 'Ann' \"Bob\"", "Bob", "", "@/Time.dbf", {}},
      {"'Ann' \"Bob\"", "Ann", "", "", {}},
      // The first "/i=" wins over "/I=" and "--ini="; other options are skipped.
      {"/I=b.ini /i=a.ini", "", "@/a.ini", "", {}},
      {"/I=b.ini --ini=c.ini", "", "@/b.ini", "", {}},
      {"--ini=c.ini \"Ann\"", "Ann", "@/c.ini", "", {}},
      {"/i=\"my file.ini\" \"Ann\"", "Ann", "@/my file.ini", "", {}},
      {"/x=\"a b\" Time.dbf", "", "", "@/Time.dbf", {}},
      {"\t\"Ann\"\tTime.dbf\t", "Ann", "", "@/Time.dbf", {}},
      {"notes.txt", "", "", "@/notes.txt", {}},
  };
  for (const TextCase& c : cases) {
    const std::string line = Expand(c.line, dir());
    SCOPED_TRACE(line);
    const ParsedCommandLine parsed = ParseCommandLine(line, dir());
    EXPECT_EQ(parsed.user_name, c.user);
    EXPECT_EQ(parsed.ini_path, Expand(c.ini, dir()));
    EXPECT_EQ(parsed.database, Expand(c.database, dir()));
    EXPECT_THAT(Numbers(parsed), ElementsAreArray(c.messages));
  }
}

TEST_F(CommandLineTest, MessagesNameTheCommandLineOrTheMissingFile) {
  {
    const std::string line = "\"" + Path("Time.dbf") + "\"";
    const ParsedCommandLine parsed = ParseCommandLine(line, dir());
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].text, Filled(430, line));
  }
  {
    const std::string line = "Time.dbf \"Ann";
    const ParsedCommandLine parsed = ParseCommandLine(line, dir());
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].text, Filled(330, line));
  }
  {
    const std::string line = "/i= \"Ann\"";
    const ParsedCommandLine parsed = ParseCommandLine(line, dir());
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].text, Filled(331, line));
  }
  {
    const ParsedCommandLine parsed = ParseCommandLine("gone \"Ann\"", dir());
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].text, Filled(175, Path("gone.DBF")));
  }
  // Every failure at once comes in the order the program shows them.
  const ParsedCommandLine parsed = ParseCommandLine("\"C:\\x\" /i= gone", dir());
  EXPECT_THAT(Numbers(parsed), ElementsAreArray({430, 331, 175}));
}

TEST_F(CommandLineTest, DatabasePathLongerThanTheDataAllowsIsDropped) {
  const std::string name(300, 'd');
  const ParsedCommandLine parsed = ParseCommandLine(name + ".dbf", dir());
  EXPECT_THAT(parsed.database, IsEmpty());
  EXPECT_THAT(Numbers(parsed), ElementsAreArray({175}));
}

struct ArgumentCase {
  std::vector<std::string> words;  // "@" stands for the working folder
  std::string joined;
  std::string user;
  std::string ini;
  std::string database;
  std::vector<int> messages;
};

// What a shell hands over after it removed the quotes that the person typed.
TEST_F(CommandLineTest, ShellWordsKeepTheirPlacesInTheForm) {
  const std::vector<ArgumentCase> cases = {
      {{}, "", "", "", "", {}},
      // quillmk /home/ann/Time.dbf "Ann Smith" /i=x.ini
      {{"@/Time.dbf", "Ann Smith", "/i=x.ini"},
       "@/Time.dbf \"Ann Smith\" /i=x.ini", "Ann Smith", "@/x.ini", "@/Time.dbf", {}},
      // quillmk Time.dbf "Ann": the shell left one word for the person.
      {{"Time.dbf", "Ann"}, "Time.dbf \"Ann\"", "Ann", "", "@/Time.dbf", {}},
      // quillmk "Ann Smith"
      {{"Ann Smith"}, "\"Ann Smith\"", "Ann Smith", "", "", {}},
      // quillmk "/home/ann/my time.dbf": a path, though it holds a blank.
      {{"@/my time.dbf"}, "@/my time.dbf", "", "", "@/my time.dbf", {}},
      {{"my time.dbf", "Ann"}, "my time.dbf \"Ann\"", "Ann", "", "@/my time.dbf", {}},
      // A lone word without blank is the database, as on Windows.
      {{"Ann"}, "Ann", "", "", "", {175}},
      // quillmk '"Ann"': quoted on purpose, kept.
      {{"\"Ann\""}, "\"Ann\"", "Ann", "", "", {}},
      {{"\"@/Time.dbf\""}, "\"@/Time.dbf\"", "", "", "", {430}},
      // quillmk "/i=my file.ini" and quillmk --ini="my file.ini"
      {{"/i=my file.ini"}, "/i=\"my file.ini\"", "", "@/my file.ini", "", {}},
      {{"--ini=my file.ini", "Ann Smith"},
       "--ini=\"my file.ini\" \"Ann Smith\"", "Ann Smith", "@/my file.ini", "", {}},
      {{"/i=", "x.ini"}, "/i= x.ini", "", "", "@/x.ini", {331, 175}},
      // A person whose name holds a double quote is put in single ones.
      {{"Time.dbf", "Ann \"Nan\" Smith"},
       "Time.dbf 'Ann \"Nan\" Smith'", "Ann \"Nan\" Smith", "", "@/Time.dbf", {}},
      {{"O'Brien.dbf", "", "Ann"}, "O'Brien.dbf \"Ann\"", "Ann", "", "@/O'Brien.dbf", {}},
  };
  for (const ArgumentCase& c : cases) {
    std::vector<std::string> words;
    for (const std::string& word : c.words) words.push_back(Expand(word, dir()));
    SCOPED_TRACE(Expand(c.joined, dir()));
    EXPECT_EQ(JoinCommandLineArguments(words), Expand(c.joined, dir()));
    const ParsedCommandLine parsed = ParseCommandLine(words, dir());
    EXPECT_EQ(parsed.user_name, c.user);
    EXPECT_EQ(parsed.ini_path, Expand(c.ini, dir()));
    if (c.messages.empty() || c.messages.back() != 175) {
      EXPECT_EQ(parsed.database, Expand(c.database, dir()));
    }
    EXPECT_THAT(Numbers(parsed), ElementsAreArray(c.messages));
  }
}

// What the command line gave replaces the defaults; what it did not give or
// dropped leaves them, so the desktop program asks for the person and opens
// their current file.
TEST_F(CommandLineTest, RunOptionsTakeWhatTheCommandLineGave) {
  RunOptions defaults;
  defaults.home = "/home/q";
  defaults.ini = "/home/q/QUILLMK.INI";
  defaults.user = "login";
  defaults.fall_back_to_untitled = true;
  defaults.save_settings_at_exit = false;

  const RunOptions all = RunOptionsFrom(
      ParseCommandLine(Path("Time.dbf") + " \"Ann Smith\" /i=x.ini", dir()), defaults);
  EXPECT_EQ(all.user, "Ann Smith");
  EXPECT_EQ(all.ini, Path("x.ini"));
  EXPECT_EQ(all.database, Path("Time.dbf"));
  EXPECT_EQ(all.home, "/home/q");
  EXPECT_TRUE(all.fall_back_to_untitled);
  EXPECT_FALSE(all.save_settings_at_exit);

  const RunOptions dropped =
      RunOptionsFrom(ParseCommandLine("\"C:\\x\" /i= gone", dir()), defaults);
  EXPECT_EQ(dropped.user, "login");
  EXPECT_EQ(dropped.ini, "/home/q/QUILLMK.INI");
  EXPECT_EQ(dropped.database, "");

  const RunOptions desktop = RunOptionsFrom(ParseCommandLine("", dir()));
  EXPECT_EQ(desktop.user, "");
  EXPECT_EQ(desktop.database, "");
  EXPECT_EQ(desktop.ini, "");
}

}  // namespace
}  // namespace qm::run
