#include "platform/profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_paths.h"

namespace qm::platform {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProfileTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) {
    std::ofstream file(path_, std::ios::binary);
    file << text;
  }
  std::string Contents() const {
    std::ifstream file(path_, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // Files in the folder other than the INI itself (left-over temporaries).
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      if (entry.path() != path_) names.push_back(entry.path().filename());
    }
    return names;
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("QUILLMK.INI");
};

struct ReadCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  const char* expected;
};

class ProfileReadTest : public ProfileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ProfileReadTest, ReadsValue) {
  const ReadCase& c = GetParam();
  Put(c.file);
  EXPECT_EQ(GetProfileString(path_, c.section, c.key, "<default>"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    ::testing::Values(
        ReadCase{"Plain", "[General]\nKey=value\n", "General", "Key", "value"},
        ReadCase{"SectionCase", "[GeneralConfig]\nKey=v\n", "generalconfig", "Key", "v"},
        ReadCase{"KeyCase", "[General]\nPollPeriod=30\n", "General", "POLLPERIOD", "30"},
        ReadCase{"AccentedCase", "[G]\n\xC9t\xE9=1\n", "g", "\xC9T\xC9", "1"},
        ReadCase{"BlanksTrimmed", "  [ General ]  \n\t Key \t=\t  spaced value  \t\n", "General",
                 "Key", "spaced value"},
        ReadCase{"DoubleQuotes", "[G]\nKey=\" padded \"\n", "G", "Key", " padded "},
        ReadCase{"SingleQuotes", "[G]\nKey='x'\n", "G", "Key", "x"},
        ReadCase{"UnmatchedQuotes", "[G]\nKey=\"x'\n", "G", "Key", "\"x'"},
        ReadCase{"LoneQuote", "[G]\nKey=\"\n", "G", "Key", "\""},
        ReadCase{"SemicolonInValueKept", "[G]\nKey=a;b ; c\n", "G", "Key", "a;b ; c"},
        ReadCase{"CommentLineIgnored", "[G]\n;Key=no\nKey=yes\n", "G", "Key", "yes"},
        ReadCase{"IndentedComment", "[G]\n  ; Key=no\n", "G", "Key", "<default>"},
        ReadCase{"EqualsInValue", "[G]\nKey=a=b\n", "G", "Key", "a=b"},
        ReadCase{"EmptyValue", "[G]\nKey=\n", "G", "Key", ""},
        ReadCase{"CrLf", "[G]\r\nKey=value\r\nOther=2\r\n", "G", "Key", "value"},
        ReadCase{"NoFinalNewline", "[G]\nKey=last", "G", "Key", "last"},
        ReadCase{"FirstSectionWins", "[G]\nA=1\n[g]\nKey=2\n", "G", "Key", "<default>"},
        ReadCase{"FirstKeyWins", "[G]\nKey=1\nkey=2\n", "G", "Key", "1"},
        ReadCase{"KeyOfOtherSection", "[A]\nKey=1\n[B]\n", "B", "Key", "<default>"},
        ReadCase{"KeyBeforeAnySection", "Key=1\n[G]\n", "G", "Key", "<default>"},
        ReadCase{"LineWithoutEquals", "[G]\nKey\n", "G", "Key", "<default>"},
        ReadCase{"MissingSection", "[G]\nKey=1\n", "H", "Key", "<default>"},
        ReadCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF[G]\nKey=1\n", "G", "Key", "1"},
        ReadCase{"Windows1252Bytes", "[G]\nName=Jos\xE9 M\x80\n", "G", "Name", "Jos\xE9 M\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileTest, MissingFileReadsAsEmpty) {
  EXPECT_EQ(GetProfileString(path_, "G", "Key", "dflt"), "dflt");
  EXPECT_EQ(GetProfileInt(path_, "G", "Key", 7), 7);
  EXPECT_THAT(ProfileSections(path_), IsEmpty());
  EXPECT_THAT(ProfileKeys(path_, "G"), IsEmpty());
  EXPECT_TRUE(CheckProfileFile(path_).ok());
}

TEST_F(ProfileTest, ReadsIntegersTheWindowsWay) {
  Put("[G]\nA=42\nB=-7\nC=12abc\nD=abc\nE=\nF=\"15\"\nG=+3\nH=99999999999\nI=-99999999999\n");
  EXPECT_EQ(GetProfileInt(path_, "G", "A", 1), 42);
  EXPECT_EQ(GetProfileInt(path_, "G", "B", 1), -7);
  EXPECT_EQ(GetProfileInt(path_, "G", "C", 1), 12);
  EXPECT_EQ(GetProfileInt(path_, "G", "D", 1), 0);
  EXPECT_EQ(GetProfileInt(path_, "G", "E", 1), 1);  // an empty value is no value
  EXPECT_EQ(GetProfileInt(path_, "G", "F", 1), 15);
  EXPECT_EQ(GetProfileInt(path_, "G", "G", 1), 3);
  EXPECT_EQ(GetProfileInt(path_, "G", "H", 1), INT_MAX);
  EXPECT_EQ(GetProfileInt(path_, "G", "I", 1), INT_MIN);
  EXPECT_EQ(GetProfileInt(path_, "G", "Missing", 5), 5);
}

TEST_F(ProfileTest, ListsSectionsAndKeysAsSpelled) {
  Put("; head\n[First]\nb=1\nA = 2\n;c=3\nB=4\n[Second]\n[first]\nz=1\n");
  EXPECT_THAT(ProfileSections(path_), ElementsAre("First", "Second"));
  EXPECT_THAT(ProfileKeys(path_, "FIRST"), ElementsAre("b", "A"));
  EXPECT_THAT(ProfileKeys(path_, "second"), IsEmpty());
}

// Writes: the whole expected file after one write.
struct WriteCase {
  const char* name;
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

class ProfileWriteTest : public ProfileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyItsLine) {
  const WriteCase& c = GetParam();
  if (c.before != nullptr) Put(c.before);
  ASSERT_TRUE(WriteProfileString(path_, c.section, c.key, c.value).ok());
  EXPECT_EQ(Contents(), c.after);
  EXPECT_EQ(GetProfileString(path_, c.section, c.key, "<default>"), c.value);
  EXPECT_THAT(Strays(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"CreatesFile", nullptr, "General", "Key", "v", "[General]\nKey=v\n"},
        WriteCase{"ReplacesValueKeepingSpacing",
                  "; comment\r\n[GeneralConfig]\r\n  PollPeriod   =  30   \r\nNext=1\r\n",
                  "GeneralConfig", "pollperiod", "45",
                  "; comment\r\n[GeneralConfig]\r\n  PollPeriod   =  45\r\nNext=1\r\n"},
        WriteCase{"LandsInExistingSectionOfOtherCase",
                  "[GeneralConfig]\nA=1\n\n[Other]\nB=2\n", "generalconfig", "New", "x",
                  "[GeneralConfig]\nA=1\nNew=x\n\n[Other]\nB=2\n"},
        WriteCase{"NewKeyBeforeTrailingCommentOfSection",
                  "[A]\nx=1\n; about B\n[B]\ny=2\n", "A", "z", "3",
                  "[A]\nx=1\nz=3\n; about B\n[B]\ny=2\n"},
        WriteCase{"NewKeyInEmptySection", "[A]\n[B]\ny=2\n", "a", "k", "v",
                  "[A]\nk=v\n[B]\ny=2\n"},
        WriteCase{"NewKeyKeepsCrLf", "[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        WriteCase{"NewKeyAfterLastLineWithoutEnding", "[A]\nx=1", "A", "y", "2",
                  "[A]\nx=1\ny=2\n"},
        WriteCase{"NewSectionAtEnd", "[A]\r\nx=1\r\n", "New", "k", "v",
                  "[A]\r\nx=1\r\n\r\n[New]\r\nk=v\r\n"},
        WriteCase{"NewSectionAfterBlankLine", "[A]\nx=1\n\n", "B", "k", "v",
                  "[A]\nx=1\n\n[B]\nk=v\n"},
        WriteCase{"EmptyValue", "[A]\nx=1\n", "A", "x", "", "[A]\nx=\n"},
        WriteCase{"OddBytesElsewhereKept", "[A]\nx=1\n  [ B ]  ; note\n\tweird  line\n", "B", "k",
                  "\xE9", "[A]\nx=1\n  [ B ]  ; note\nk=\xE9\n\tweird  line\n"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[A]\nx=1\n", "A", "x", "2",
                  "\xEF\xBB\xBF[A]\nx=2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileTest, WriteIntRoundTrips) {
  ASSERT_TRUE(WriteProfileInt(path_, "G", "N", -12).ok());
  EXPECT_EQ(GetProfileInt(path_, "G", "N", 0), -12);
}

TEST_F(ProfileTest, UnchangedValueLeavesFileAlone) {
  Put("[A]\nx = 1\n");
  struct stat before{};
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  ASSERT_TRUE(WriteProfileString(path_, "A", "x", "1").ok());
  struct stat after{};
  ASSERT_EQ(stat(path_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced by a new file
}

TEST_F(ProfileTest, WriteKeepsPermissions) {
  Put("[A]\nx=1\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  ASSERT_TRUE(WriteProfileString(path_, "A", "x", "2").ok());
  struct stat info{};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(ProfileTest, WriteThroughSymlinkReplacesTarget) {
  const std::string target = dir_.File("real.ini");
  { std::ofstream(target) << "[A]\nx=1\n"; }
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(WriteProfileString(path_, "A", "x", "2").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(GetProfileString(target, "A", "x", ""), "2");
}

TEST_F(ProfileTest, RefusesTextsThatWouldBreakTheFile) {
  Put("[A]\nx=1\n");
  const std::string before = Contents();
  EXPECT_FALSE(WriteProfileString(path_, "A", "x", "two\nlines").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "x", "cr\rhere").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "x", std::string("nul\0", 4)).ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "a=b", "1").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", ";k", "1").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "[k", "1").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "  ", "1").ok());
  EXPECT_FALSE(WriteProfileString(path_, "A]", "k", "1").ok());
  EXPECT_FALSE(WriteProfileString(path_, "", "k", "1").ok());
  EXPECT_EQ(Contents(), before);
}

TEST_F(ProfileTest, BinaryJunkIsRefusedAndFileUnchanged) {
  const std::string junk("[A]\nx=1\n\x00\x01\x02\xFF garbage", 19);
  Put(junk);
  const Status check = CheckProfileFile(path_);
  EXPECT_FALSE(check.ok());
  EXPECT_THAT(check.message(), ::testing::HasSubstr("not a text file"));
  EXPECT_FALSE(WriteProfileString(path_, "A", "x", "2").ok());
  EXPECT_FALSE(DeleteProfileKey(path_, "A", "x").ok());
  EXPECT_FALSE(DeleteProfileSection(path_, "A").ok());
  EXPECT_EQ(Contents(), junk);
  EXPECT_THAT(Strays(), IsEmpty());
}

TEST_F(ProfileTest, TextWithTabsFormFeedsAndHighBytesPassesTheCheck) {
  Put("[A]\r\n\tx=\xE9\xFF\f\n\x1A");
  EXPECT_TRUE(CheckProfileFile(path_).ok());
}

TEST_F(ProfileTest, UnreadableTargetIsAnError) {
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(CheckProfileFile(path_).ok());
  EXPECT_FALSE(WriteProfileString(path_, "A", "x", "1").ok());
  EXPECT_EQ(GetProfileString(path_, "A", "x", "d"), "d");
}

TEST_F(ProfileTest, WriteIntoMissingFolderFailsCleanly) {
  const std::string nowhere = dir_.File("no/such/folder/x.ini");
  const Status status = WriteProfileString(nowhere, "A", "x", "1");
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
}

TEST_F(ProfileTest, DeleteKeyRemovesEveryLineOfIt) {
  Put("[A]\r\nx=1\r\n; keep\r\ny=2\r\nX=3\r\n[B]\r\nx=4\r\n");
  ASSERT_TRUE(DeleteProfileKey(path_, "a", "x").ok());
  EXPECT_EQ(Contents(), "[A]\r\n; keep\r\ny=2\r\n[B]\r\nx=4\r\n");
  EXPECT_EQ(GetProfileString(path_, "A", "x", "gone"), "gone");
}

TEST_F(ProfileTest, DeleteSectionRemovesItsLinesOnly) {
  Put("; top\n[A]\nx=1\n\n[B]\ny=2\n; tail of B\n[C]\nz=3\n[b]\nw=4\n");
  ASSERT_TRUE(DeleteProfileSection(path_, "B").ok());
  EXPECT_EQ(Contents(), "; top\n[A]\nx=1\n\n[C]\nz=3\n");
}

TEST_F(ProfileTest, DeletingWhatIsAbsentWritesNothing) {
  ASSERT_TRUE(DeleteProfileKey(path_, "A", "x").ok());
  ASSERT_TRUE(DeleteProfileSection(path_, "A").ok());
  EXPECT_FALSE(std::filesystem::exists(path_));
  Put("[A]\nx=1\n");
  ASSERT_TRUE(DeleteProfileKey(path_, "B", "x").ok());
  ASSERT_TRUE(DeleteProfileKey(path_, "A", "y").ok());
  EXPECT_EQ(Contents(), "[A]\nx=1\n");
}

// Two processes saving different keys of one file at the same moment must
// not lose each other's values.
TEST_F(ProfileTest, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kKeysEach = 30;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int k = 0; k < kKeysEach; ++k) {
        const std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
        if (!WriteProfileInt(path_, "Shared", key, k)) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ProfileKeys(path_, "Shared").size(), std::size_t{kWriters * kKeysEach});
  EXPECT_THAT(Strays(), IsEmpty());
}

}  // namespace
}  // namespace qm::platform
