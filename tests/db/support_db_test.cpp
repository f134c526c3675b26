#include "db/support_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/security.h"
#include "engine/table.h"
#include "tests/db/db_test_env.h"

namespace qm::db {
namespace {

using test::ReadBytes;
using test::WriteBytes;
using ::testing::ElementsAre;

class SupportDbTest : public ::testing::Test, protected test::DbTestEnv {
 protected:
  SupportDbTest() {
    support_.set_user_name("Alice");
    file_ = dir_.File("WORK.SPT");
    EXPECT_EQ(support_.OpenSupport(file_), 0);
  }

  long RowCount() {
    support_.FlushSupport();
    return static_cast<long>(support_.table()->RecordCount());
  }

  SupportDb support_{engine_, table_reporter_};
  std::string file_;
};

TEST(SupportFileNameTest, ReplacesTheExtension) {
  EXPECT_EQ(SupportFileName("/data/Work.dbf"), "/data/Work.SPT");
  EXPECT_EQ(SupportFileName("/data/untitled"), "/data/untitled.SPT");
  EXPECT_EQ(SupportFileName("/da.ta/x.y.DBF"), "/da.ta/x.y.SPT");
}

TEST_F(SupportDbTest, TableHasTheFourFieldsOfTheFileFormat) {
  support_.CloseSupport();
  const std::string bytes = ReadBytes(file_);
  ASSERT_GE(bytes.size(), 32u + 4 * 32 + 1);
  auto u16 = [&](int at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  };
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_EQ(bytes[28], 0) << "the support file never has a production index";
  EXPECT_EQ(u16(10), 1 + 35 + 35 + 250 + 5);
  struct Expected {
    const char* name;
    char type;
    int width;
  };
  const Expected fields[] = {{"SECTION", 'C', 35}, {"ENTRY", 'C', 35}, {"VALUE", 'C', 250},
                             {"OTHER", 'N', 5}};
  for (int i = 0; i < 4; ++i) {
    const char* descriptor = bytes.data() + 32 + 32 * i;
    EXPECT_STREQ(descriptor, fields[i].name);
    EXPECT_EQ(descriptor[11], fields[i].type);
    EXPECT_EQ(static_cast<unsigned char>(descriptor[16]), fields[i].width);
  }
  EXPECT_EQ(bytes[32 + 4 * 32], 0x0D);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("WORK.mdx")));
}

TEST_F(SupportDbTest, NamesMatchWithTheirFirstCharacterExact) {
  ASSERT_EQ(support_.WriteSupportInt("UserCount", "NumActiveUsers", 3, true), 1);
  struct Case {
    const char* section;
    const char* entry;
    int expected;
  };
  const Case cases[] = {
      {"UserCount", "NumActiveUsers", 3},
      {"usercount", "NUMACTIVEUSERS", 3},
      {"USERCOUNT", "NumactiveUSERS", 3},
      {"UserCount", "numActiveUsers", -1},  // first character differs in case
      {"UserCount", "NumActiveUser", -1},
      {"UserCounts", "NumActiveUsers", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(support_.GetSupportInt(c.section, c.entry, -1), c.expected)
        << c.section << "/" << c.entry;
  }
}

TEST_F(SupportDbTest, ValuesReadBackTrimmedAndEmptyIntegersGiveTheDefault) {
  ASSERT_EQ(support_.WriteSupportString("S", "Text", "  padded  ", false), 1);
  ASSERT_EQ(support_.WriteSupportString("S", "Empty", "", false), 1);
  ASSERT_EQ(support_.WriteSupportString("S", "Negative", "-12", false), 1);
  EXPECT_EQ(support_.GetSupportString("S", "Text", "d"), "  padded");
  EXPECT_EQ(support_.GetSupportString("S", "Missing", "d"), "d");
  EXPECT_EQ(support_.GetSupportInt("S", "Empty", 7), 7);
  EXPECT_EQ(support_.GetSupportInt("S", "Negative", 7), -12);
  EXPECT_EQ(support_.GetSupportString("S", "Text", "d", 4, file_), "  p");
}

TEST_F(SupportDbTest, RewritingAnEntryChangesItsRowInPlace) {
  ASSERT_EQ(support_.WriteSupportString("Index", "Changes", "1", true), 1);
  ASSERT_EQ(support_.WriteSupportString("index", "Changes", "2", true), 1);
  EXPECT_EQ(RowCount(), 2);  // with the no-password marker of a new file
  EXPECT_EQ(support_.GetSupportInt("Index", "Changes", 0), 2);
}

TEST_F(SupportDbTest, NewFileStartsWithProtectionOff) {
  EXPECT_EQ(app::UnscramblePassword(
                support_.GetSupportString("Index Position Blocks", "Index~Lock", "")),
            "MARBLEOTTERKITE");
  EXPECT_EQ(RowCount(), 1);
}

TEST_F(SupportDbTest, TooLongValueIsRefusedAndLeavesTheEntry) {
  ASSERT_EQ(support_.WriteSupportString("S", "E", "old", true), 1);
  EXPECT_EQ(support_.WriteSupportString("S", "E", std::string(251, 'v'), true), 0);
  EXPECT_EQ(support_.GetSupportString("S", "E", ""), "old");
  EXPECT_EQ(support_.WriteSupportString("S", "E", std::string(250, 'v'), true), 1);
  EXPECT_EQ(support_.GetSupportString("S", "E", ""), std::string(250, 'v'));
}

TEST_F(SupportDbTest, DeletedRowIsReusedByTheNextNewEntry) {
  ASSERT_EQ(support_.WriteSupportString("UserLocks", "UserLocking1", "Alice", true), 1);
  ASSERT_EQ(support_.WriteSupportString("UserLocks", "UserLocking2", "Bob", true), 1);
  ASSERT_EQ(support_.DeleteSupportEntry("UserLocks", "UserLocking1", true), 0);
  EXPECT_EQ(support_.GetSupportString("UserLocks", "UserLocking1", "none"), "none");
  ASSERT_EQ(support_.WriteSupportString("UserLocks", "UserLocking7", "Carol", true), 1);
  EXPECT_EQ(RowCount(), 3);  // with the no-password marker of a new file
  EXPECT_EQ(support_.GetSupportString("UserLocks", "UserLocking7", ""), "Carol");
  EXPECT_EQ(support_.GetSupportString("UserLocks", "UserLocking2", ""), "Bob");
}

TEST_F(SupportDbTest, DeletingAbsentEntriesAndWholeSections) {
  EXPECT_EQ(support_.DeleteSupportEntry("S", "nothing", true), kSupportNotFound);
  support_.WriteSupportString("UserLocks", "A", "1", false);
  support_.WriteSupportString("Other", "A", "2", false);
  support_.WriteSupportString("userlocks", "B", "3", true);
  EXPECT_EQ(support_.DeleteSupportSection("UserLocks", true), 0);
  EXPECT_EQ(support_.SupportEntryName("UserLocks", 0), "");
  EXPECT_EQ(support_.GetSupportString("Other", "A", ""), "2");
  EXPECT_EQ(support_.DeleteSupportSection("Empty", true), 0);
}

TEST_F(SupportDbTest, EntryNamesFollowRecordOrderAndSeeLaterWrites) {
  support_.WriteSupportString("Users", "Bob", "1", false);
  support_.WriteSupportString("Other", "X", "1", false);
  support_.WriteSupportString("Users", "Alice", "0", true);
  EXPECT_EQ(support_.SupportEntryName("users", 0), "Bob");
  EXPECT_EQ(support_.SupportEntryName("users", 1), "Alice");
  EXPECT_EQ(support_.SupportEntryName("users", 2), "");
  support_.WriteSupportString("Users", "Carol", "1", true);
  EXPECT_EQ(support_.SupportEntryName("Users", 2), "Carol");
  EXPECT_EQ(support_.SupportEntryName("Other", 0), "X");
}

TEST_F(SupportDbTest, AccessNamingAnotherFileSwitchesToIt) {
  support_.WriteSupportString("S", "E", "first", true);
  const std::string other = dir_.File("OTHER.SPT");
  EXPECT_EQ(support_.WriteSupportString("S", "E", "second", other, true), 1);
  EXPECT_EQ(support_.open_file(), other);
  EXPECT_EQ(support_.GetSupportString("S", "E", "", file_), "first");
  EXPECT_EQ(support_.GetSupportString("S", "E", "", other), "second");
}

TEST_F(SupportDbTest, NoOpenFileAndShutdownRefuseWrites) {
  support_.CloseSupport();
  EXPECT_EQ(support_.DeleteSupportEntry("S", "E", false), kSupportNotOpen);
  EXPECT_EQ(support_.GetSupportString("S", "E", "d"), "d");
  EXPECT_EQ(support_.WriteSupportString("S", "E", "v", false), 0);

  ASSERT_EQ(support_.OpenSupport(file_), 0);
  support_.WriteSupportString("S", "E", "kept", true);
  support_.BeginShutdown();
  EXPECT_EQ(support_.WriteSupportString("S", "E", "lost", file_, true), 0);
  EXPECT_EQ(support_.DeleteSupportEntry("S", "E", true), kSupportUnavailable);
  EXPECT_EQ(support_.FlushSupport(), kSupportUnavailable);
  EXPECT_EQ(support_.GetSupportString("S", "E", "d", file_), "d");
}

TEST_F(SupportDbTest, ActiveUserCountNeverGoesBelowZero) {
  const std::string database = dir_.File("WORK.dbf");
  EXPECT_EQ(support_.SetUserActive(database, "Alice", true), 0);
  EXPECT_EQ(support_.SetUserActive(database, "Bob", true), 0);
  EXPECT_TRUE(support_.IsUserActive(database, "ALICE"));
  EXPECT_EQ(support_.ActiveUserCount(), 2);
  EXPECT_EQ(support_.SetUserActive(database, "Alice", false), 0);
  EXPECT_EQ(support_.SetUserActive(database, "Bob", false), 0);
  EXPECT_EQ(support_.SetUserActive(database, "Bob", false), 0);
  EXPECT_FALSE(support_.IsUserActive(database, "Bob"));
  EXPECT_EQ(support_.ActiveUserCount(), 0);
  EXPECT_EQ(support_.GetSupportString("UserCount", "NumActiveUsers", ""), "0");
}

class StopwatchRecordTest : public SupportDbTest {
 protected:
  core::TimeRecord Running(std::string_view description) {
    core::TimeRecord record;
    core::ClearTimeRecord(record);
    record.descriptors[core::kPersonDescriptor].assign("Alice");
    record.descriptors[core::kClientDescriptor].assign("Acme");
    record.descriptors[core::kRateDescriptor].assign("12.50");
    record.description.assign(description);
    record.stopwatchState = core::kStopwatchPaused;
    record.start = 1000;
    record.end = 5000;
    record.pauseOrigin = 4000;
    record.pauseDuration = 120;
    record.expense = 19.999;
    record.billable = 0;
    record.edited = 1;
    return record;
  }
  std::string database_ = dir_.File("WORK.dbf");
};

TEST_F(StopwatchRecordTest, RoundTripsThroughTheUsersSection) {
  core::TimeRecord saved = Running("Writing the report");
  ASSERT_EQ(support_.SaveStopwatchRecord(database_, saved), 0);
  const std::string data = support_.GetSupportString("Alice", "RecordData", "");
  ASSERT_FALSE(data.empty());
  EXPECT_EQ(data.back(), kStopwatchItemEnd);
  EXPECT_EQ(data, std::string("Alice\xFE" "Acme\xFE\xFE\xFE\xFE" "12.50\xFE"
                              "120\xFE" "1\xFE" "2\xFE" "1999\xFE" "0\xFE" "1000\xFE"
                              "4000\xFE" "5000\xFE"));

  core::TimeRecord loaded;
  core::ClearTimeRecord(loaded);
  ASSERT_EQ(support_.LoadStopwatchRecord(database_, loaded), 0);
  saved.expense = 19.99;
  EXPECT_DOUBLE_EQ(loaded.expense, 19.99);
  loaded.expense = saved.expense;
  EXPECT_EQ(loaded, saved);
}

TEST_F(StopwatchRecordTest, LoadNamesThePersonAfterTheSection) {
  support_.set_user_name("Bob");
  ASSERT_EQ(support_.SaveStopwatchRecord(database_, Running("x1")), 0);
  support_.set_user_name("Alice");
  core::TimeRecord loaded;
  EXPECT_EQ(support_.LoadStopwatchRecord(database_, loaded), kSupportNotFound);
  ASSERT_EQ(support_.LoadStopwatchRecord(database_, loaded, "Bob"), 0);
  EXPECT_EQ(loaded.descriptors[core::kPersonDescriptor], "Bob");
}

TEST_F(StopwatchRecordTest, DescriptionsAroundTheSplitPoint) {
  struct Case {
    std::string saved;
    std::string loaded;
  };
  const std::string a250 = std::string(250, 'a');
  const Case cases[] = {
      {std::string(249, 'a') + " ", std::string(249, 'a')},  // blank lost in storage
      {a250, a250},
      {a250 + "tail", a250 + "tail"},
      {std::string(249, 'a') + " tail", std::string(249, 'a') + " tail"},
      {std::string(500, 'z'), std::string(500, 'z')},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(support_.SaveStopwatchRecord(database_, Running(c.saved)), 0);
    core::TimeRecord loaded;
    ASSERT_EQ(support_.LoadStopwatchRecord(database_, loaded), 0);
    EXPECT_EQ(loaded.description.view(), c.loaded) << "saved length " << c.saved.size();
  }
}

TEST_F(StopwatchRecordTest, ShorterDescriptionDropsTheEarlierSecondPart) {
  ASSERT_EQ(support_.SaveStopwatchRecord(database_, Running(std::string(400, 'a'))), 0);
  ASSERT_EQ(support_.SaveStopwatchRecord(database_, Running(std::string(250, 'b'))), 0);
  core::TimeRecord loaded;
  ASSERT_EQ(support_.LoadStopwatchRecord(database_, loaded), 0);
  EXPECT_EQ(loaded.description.view(), std::string(250, 'b'));
  EXPECT_EQ(support_.GetSupportString("Alice", "DescriptionEnd", "absent"), "absent");
}

class SupportConversionTest : public ::testing::Test, protected test::DbTestEnv {
 protected:
  SupportDb support_{engine_, table_reporter_};
  std::string file_ = dir_.File("OLD.SPT");
};

TEST_F(SupportConversionTest, KeepsActivityAndLocksAndDropsUserSections) {
  WriteBytes(file_,
             "[ID]\r\nFileDataVersion=3\r\n\r\n"
             "[Users]\r\nAlice=1\r\nBob=0\r\n=orphan\r\nempty=\r\n"
             "[Alice]\r\nDescriptionStart=secret plans\r\n"
             "[Index Position Blocks]\r\nIndex~Lock=xyzzy\r\n"
             "[UserCount]\r\nNumActiveUsers=1\r\n");
  ASSERT_EQ(support_.OpenSupport(file_), 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(436, 437));
  EXPECT_EQ(support_.GetSupportString("Users", "Alice", ""), "1");
  EXPECT_EQ(support_.GetSupportString("Users", "Bob", ""), "0");
  EXPECT_EQ(support_.GetSupportInt("ID", "FileDataVersion", -1), 3);
  EXPECT_EQ(support_.ActiveUserCount(), 1);
  EXPECT_EQ(support_.SupportEntryName("Alice", 0), "");
  // The old password is dropped: the converted file has protection off.
  EXPECT_EQ(app::UnscramblePassword(
                support_.GetSupportString("Index Position Blocks", "Index~Lock", "")),
            "MARBLEOTTERKITE");
  EXPECT_EQ(support_.SupportEntryName("Users", 2), "");
  EXPECT_TRUE(std::filesystem::exists(dir_.File("OLD.b00")));
  EXPECT_FALSE(IsTextSupportFile(file_));

  // Opened again, the converted file is a table and is not converted twice.
  support_.CloseSupport();
  ui_.Clear();
  ASSERT_EQ(support_.OpenSupport(file_), 0);
  EXPECT_TRUE(ui_.Numbers().empty());
  EXPECT_EQ(support_.GetSupportString("Users", "Alice", ""), "1");
}

TEST_F(SupportConversionTest, BackupTakesTheFirstFreeName) {
  WriteBytes(dir_.File("OLD.b00"), "older backup");
  WriteBytes(file_, "[Users]\nAlice=1\n");
  ASSERT_EQ(support_.OpenSupport(file_), 0);
  EXPECT_EQ(ReadBytes(dir_.File("OLD.b00")), "older backup");
  EXPECT_EQ(ReadBytes(dir_.File("OLD.b01")), "[Users]\nAlice=1\n");
}

TEST_F(SupportConversionTest, UnclosedSectionNameStopsWithoutTouchingTheFile) {
  WriteBytes(file_, "[Users\nAlice=1\n");
  EXPECT_EQ(support_.OpenSupport(file_), kSupportConversionCorrupt);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(436, 439));
  EXPECT_EQ(ReadBytes(file_), "[Users\nAlice=1\n");
  EXPECT_FALSE(support_.is_open());
}

TEST_F(SupportConversionTest, TableWhoseValueBeginsALineWithABracketIsNotText) {
  ASSERT_EQ(support_.OpenSupport(file_), 0);
  ASSERT_EQ(support_.WriteSupportString("S", "E", "\n[not a section]", true), 1);
  support_.CloseSupport();
  EXPECT_FALSE(IsTextSupportFile(file_));
  ASSERT_EQ(support_.OpenSupport(file_), 0);
  EXPECT_TRUE(ui_.Numbers().empty());
}

}  // namespace
}  // namespace qm::db
