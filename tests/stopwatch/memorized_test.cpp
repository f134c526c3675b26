#include "stopwatch/memorized.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/error_reporter.h"
#include "stopwatch/memorized_list_model.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::stopwatch {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr std::string_view kHeader = "1.00 Version Corvane Quillmark Memorized Descriptor File\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, std::string_view contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// A support directory below a scratch folder, with the run's reporter
// showing through a scripted interface.
class MemorizedTest : public ::testing::Test {
 protected:
  MemorizedTest() : reporter_(ui_, ""), installed_(reporter_) {}

  std::string SupportDirectory() const { return folder_.File("support"); }
  std::string FilePath() const { return folder_.File("support/Memorize.txt"); }

  test::TempDir folder_;
  test::ScriptedUserInterface ui_;
  app::ErrorReporter reporter_;
  app::ScopedReporter installed_;
};

TEST_F(MemorizedTest, SetsRoundTripThroughTheFileExactly) {
  MemorizedDescriptors file(SupportDirectory());
  EXPECT_TRUE(std::filesystem::is_directory(SupportDirectory()));
  EXPECT_EQ(file.file_name(), FilePath());

  const std::vector<DescriptorSet> sets = {
      {"Smith", "Acme Corp.", "Audit", "<<Not Specified>>", "Meeting"},
      {"Smith", "", "Audit", "", "Travel"},          // empty texts
      {"Smith", "ACME CORP.", "Audit", "<<Not Specified>>", "Meeting"},  // only case differs
      {"Jones", "Br\xfc" "ckner GmbH", "Q3", "Phase 1", "Design"},    // Windows-1252 byte
  };
  for (const DescriptorSet& set : sets) EXPECT_EQ(file.MemorizeDescriptors(set), 0);
  // The same set again leaves one line, and is still reported memorised.
  EXPECT_EQ(file.MemorizeDescriptors(sets[0]), 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(327, 327, 327, 327, 327));
  EXPECT_EQ(file.last_memorized(), "Smith  /  Acme Corp.  /  Audit  /  <<Not Specified>>  /  Meeting");

  EXPECT_EQ(ReadFile(FilePath()),
            std::string(kHeader) +
                "Smith  /  Acme Corp.  /  Audit  /  <<Not Specified>>  /  Meeting\n"
                "Smith  /    /  Audit  /    /  Travel\n"
                "Smith  /  ACME CORP.  /  Audit  /  <<Not Specified>>  /  Meeting\n"
                "Jones  /  Br\xfc" "ckner GmbH  /  Q3  /  Phase 1  /  Design\n");

  std::vector<std::string> lines;
  ASSERT_EQ(file.LoadMemorizedSets(lines), 0);
  ASSERT_EQ(lines.size(), sets.size());
  for (std::size_t i = 0; i < sets.size(); ++i) {
    EXPECT_EQ(MemorizedDescriptors::SplitMemorizedSet(lines[i]), sets[i]) << lines[i];
  }

  // Writing the list back gives the same bytes.
  const std::string before = ReadFile(FilePath());
  EXPECT_EQ(file.SaveMemorizedSets(lines), 0);
  EXPECT_EQ(ReadFile(FilePath()), before);
}

TEST_F(MemorizedTest, LongDescriptorsAreCutTo35Characters) {
  MemorizedDescriptors file(SupportDirectory());
  const std::string long_text(50, 'c');
  ASSERT_EQ(file.MemorizeDescriptors({"Ann", long_text, "", "", ""}), 0);
  std::vector<std::string> lines;
  ASSERT_EQ(file.LoadMemorizedSets(lines), 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MemorizedDescriptors::SplitMemorizedSet(lines[0])[1], long_text.substr(0, 35));
}

TEST_F(MemorizedTest, SplitsHandEditedLines) {
  struct Case {
    std::string line;
    DescriptorSet expected;
  };
  const std::string long_text(40, 'x');
  for (const Case& c : std::vector<Case>{
           {"a  /  b  /  c  /  d  /  e", {"a", "b", "c", "d", "e"}},
           {"a  /  b", {"a", "b", "", "", ""}},
           {"only a person", {"only a person", "", "", "", ""}},
           {"", {"", "", "", "", ""}},
           {"  /    /    /    /  ", {"", "", "", "", ""}},
           // Separators beyond the fourth belong to the activity.
           {"a  /  b  /  c  /  d  /  e  /  f", {"a", "b", "c", "d", "e  /  f"}},
           // A single blank around the slash is no separator.
           {"a / b  /  c", {"a / b", "c", "", "", ""}},
           {long_text + "  /  b", {long_text.substr(0, 35), "b", "", "", ""}},
       }) {
    EXPECT_EQ(MemorizedDescriptors::SplitMemorizedSet(c.line), c.expected) << c.line;
  }
}

TEST_F(MemorizedTest, RefusesDescriptorsThatWouldRecallDifferently) {
  struct Case {
    DescriptorSet set;
    std::string named;  // the text the message names
  };
  WriteFile(FilePath(), std::string(kHeader) + "a  /  b  /  c  /  d  /  e\n");
  const std::string before = ReadFile(FilePath());
  MemorizedDescriptors file(SupportDirectory());
  for (const Case& c : std::vector<Case>{
           {{"Ann", "Acme  /  West", "", "", ""}, "Acme  /  West"},
           {{"Ann", "Acme  /", "  West", "", ""}, "Acme  /"},
           {{"Ann", "Acme", "Audit\nPhase 2", "", ""}, "Audit\nPhase 2"},
           {{"Ann", "Acme", "", "", "Travel\r"}, "Travel\r"},
       }) {
    SCOPED_TRACE(c.named);
    ui_.Clear();
    EXPECT_EQ(file.MemorizeDescriptors(c.set), kDescriptorNotMemorizable);
    ASSERT_EQ(ui_.entries().size(), 1u);
    EXPECT_THAT(ui_.entries()[0].text, HasSubstr("\"" + c.named + "\""));
    EXPECT_EQ(ReadFile(FilePath()), before);
    EXPECT_EQ(file.last_memorized(), "");
  }
}

TEST_F(MemorizedTest, AnInvalidHeaderIsRefusedAndTheFileKept) {
  for (const std::string& contents : {
           std::string("1.00 version Corvane Quillmark Memorized Descriptor File\na  /  b  /  c  /  d  /  e\n"),
           std::string("1.00 Version Corvane Quillmark Memorized Descriptor File \n"),
           std::string("a  /  b  /  c  /  d  /  e\n"),
           std::string(""),
           std::string("\n"),
       }) {
    SCOPED_TRACE(contents);
    WriteFile(FilePath(), contents);
    MemorizedDescriptors file(SupportDirectory());
    ui_.Clear();
    EXPECT_EQ(file.MemorizeDescriptors({"Ann", "Acme", "", "", ""}), kMemorizedFileInvalid);
    std::vector<std::string> lines{"stale"};
    EXPECT_EQ(file.LoadMemorizedSets(lines), kMemorizedFileInvalid);
    EXPECT_THAT(lines, IsEmpty());
    EXPECT_THAT(ui_.Numbers(), ElementsAre(324, 324));
    EXPECT_THAT(ui_.Texts()[0], HasSubstr(FilePath()));
    EXPECT_EQ(ReadFile(FilePath()), contents);
  }
}

TEST_F(MemorizedTest, ReadsFilesWrittenElsewhere) {
  // Copied from Windows: upper-case name, CR LF line ends, a blank line.
  std::filesystem::create_directories(SupportDirectory());
  const std::string windows_file = folder_.File("support/MEMORIZE.TXT");
  WriteFile(windows_file,
            "1.00 Version Corvane Quillmark Memorized Descriptor File\r\n"
            "a  /  b  /  c  /  d  /  e\r\n"
            "\r\n"
            "f  /  g  /  h  /  i  /  j\r\n");
  MemorizedDescriptors file(SupportDirectory());
  EXPECT_EQ(file.file_name(), windows_file);
  std::vector<std::string> lines;
  ASSERT_EQ(file.LoadMemorizedSets(lines), 0);
  EXPECT_THAT(lines, ElementsAre("a  /  b  /  c  /  d  /  e", "f  /  g  /  h  /  i  /  j"));
  // A set that is there already is not added again.
  const std::string copied = ReadFile(windows_file);
  EXPECT_EQ(file.MemorizeDescriptors({"f", "g", "h", "i", "j"}), 0);
  EXPECT_EQ(ReadFile(windows_file), copied);

  // Edited by hand: the last line lost its line feed, another is overlong.
  const std::string overlong(300, 'z');
  WriteFile(FilePath(), std::string(kHeader) + overlong + "\nlast  /  b  /  c  /  d  /  e");
  std::filesystem::remove(windows_file);
  MemorizedDescriptors edited(SupportDirectory());
  ASSERT_EQ(edited.MemorizeDescriptors({"new", "b", "c", "d", "e"}), 0);
  EXPECT_EQ(ReadFile(FilePath()), std::string(kHeader) + overlong +
                                      "\nlast  /  b  /  c  /  d  /  e\nnew  /  b  /  c  /  d  /  e\n");
  ASSERT_EQ(edited.LoadMemorizedSets(lines), 0);
  EXPECT_THAT(lines, ElementsAre(overlong.substr(0, 215), "last  /  b  /  c  /  d  /  e",
                                 "new  /  b  /  c  /  d  /  e"));
}

TEST_F(MemorizedTest, MissingOrUnreadableFile) {
  MemorizedDescriptors file(SupportDirectory());
  std::vector<std::string> lines;
  EXPECT_EQ(file.LoadMemorizedSets(lines), kNothingMemorized);

  // A folder where the file should be cannot be opened.
  std::filesystem::create_directories(FilePath());
  EXPECT_EQ(file.LoadMemorizedSets(lines), kMemorizedFileUnopenable);
  EXPECT_EQ(file.MemorizeDescriptors({"Ann", "", "", "", ""}), kMemorizedFileUnopenable);
  EXPECT_EQ(file.SaveMemorizedSets({"a  /  b  /  c  /  d  /  e"}), kMemorizedFileWriteFailed);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(322, 321, 321, 325));
  EXPECT_THAT(ui_.Texts()[1], HasSubstr(FilePath()));
  EXPECT_EQ(file.last_memorized(), "");
}

// An append that runs out of room (here the file size limit) takes back
// the part that got out: the file is as it was.
TEST_F(MemorizedTest, FailedAppendLeavesTheFileAsItWas) {
  const std::string contents = std::string(kHeader) + "a  /  b  /  c  /  d  /  e\n";
  WriteFile(FilePath(), contents);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{contents.size() + 10, contents.size() + 10};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
    platform::SilentUserInterface silent;
    app::ErrorReporter reporter(silent, "");
    app::ScopedReporter installed(reporter);
    MemorizedDescriptors file(SupportDirectory());
    const int result =
        file.MemorizeDescriptors({"a rather long person name", "client", "project", "", ""});
    _exit(result == kMemorizedFileWriteFailed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the append did not fail with 325";
  EXPECT_EQ(ReadFile(FilePath()), contents);
}

TEST_F(MemorizedTest, RecallListSelectsDeletesAndWritesBack) {
  MemorizedDescriptors file(SupportDirectory());
  {
    MemorizedListModel list(file);
    EXPECT_EQ(list.Load(), kNothingMemorized);
    EXPECT_EQ(list.selection(), std::nullopt);
  }
  const std::vector<DescriptorSet> sets = {
      {"a", "1", "", "", ""}, {"b", "2", "", "", ""}, {"c", "3", "", "", ""}};
  for (const DescriptorSet& set : sets) ASSERT_EQ(file.MemorizeDescriptors(set), 0);
  ASSERT_EQ(file.MemorizeDescriptors(sets[1]), 0);  // memorised last in this run
  const std::string full = ReadFile(FilePath());

  // The set memorised last is selected; OK without a change writes nothing.
  MemorizedListModel list(file);
  ASSERT_EQ(list.Load(), 0);
  EXPECT_THAT(list.lines(), ElementsAre("a  /  1  /    /    /  ", "b  /  2  /    /    /  ",
                                        "c  /  3  /    /    /  "));
  EXPECT_EQ(list.selection(), 1u);
  std::filesystem::remove(FilePath());
  std::optional<DescriptorSet> recalled;
  ASSERT_EQ(list.Ok(recalled), 0);
  EXPECT_EQ(recalled, sets[1]);
  EXPECT_FALSE(std::filesystem::exists(FilePath()));
  WriteFile(FilePath(), full);

  // Without one memorised in this run, the first is selected.
  MemorizedDescriptors other_run(SupportDirectory());
  MemorizedListModel fresh(other_run);
  ASSERT_EQ(fresh.Load(), 0);
  EXPECT_EQ(fresh.selection(), 0u);

  // Deleting moves the selection to the entry that took the place, else
  // the one before.
  list.Select(2);
  list.DeleteSelected();
  EXPECT_EQ(list.selection(), 1u);
  list.Select(7);  // outside the list: ignored
  EXPECT_EQ(list.selection(), 1u);
  list.Select(0);
  list.DeleteSelected();
  EXPECT_EQ(list.selection(), 0u);
  EXPECT_TRUE(list.changed());
  ASSERT_EQ(list.Ok(recalled), 0);
  EXPECT_EQ(recalled, sets[1]);
  EXPECT_EQ(ReadFile(FilePath()), std::string(kHeader) + "b  /  2  /    /    /  \n");

  // Deleting every entry leaves the header alone, and recalls nothing.
  ASSERT_EQ(list.Load(), 0);
  list.DeleteSelected();
  EXPECT_EQ(list.selection(), std::nullopt);
  list.DeleteSelected();  // nothing left to delete
  ASSERT_EQ(list.Ok(recalled), 0);
  EXPECT_EQ(recalled, std::nullopt);
  EXPECT_EQ(ReadFile(FilePath()), kHeader);
  EXPECT_EQ(list.Load(), 0);
  EXPECT_THAT(list.lines(), IsEmpty());
}

TEST_F(MemorizedTest, RecallListShowsTheFileFailures) {
  WriteFile(FilePath(), "not the header\n");
  MemorizedDescriptors file(SupportDirectory());
  MemorizedListModel list(file);
  EXPECT_EQ(list.Load(), kMemorizedFileInvalid);
  EXPECT_THAT(list.lines(), IsEmpty());

  // The file turned into a folder between reading and writing back.
  WriteFile(FilePath(), std::string(kHeader) + "a  /  b  /  c  /  d  /  e\n");
  ASSERT_EQ(list.Load(), 0);
  list.DeleteSelected();
  std::filesystem::remove(FilePath());
  std::filesystem::create_directories(FilePath());
  std::optional<DescriptorSet> recalled;
  EXPECT_EQ(list.Ok(recalled), kMemorizedFileWriteFailed);
  EXPECT_EQ(recalled, std::nullopt);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(324, 325));
}

}  // namespace
}  // namespace qm::stopwatch
