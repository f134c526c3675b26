#include "db/time_record_db.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/calendar.h"
#include "engine/table.h"
#include "tests/db/db_test_env.h"

namespace qm::db {
namespace {

using test::ReadBytes;
using ::testing::ElementsAre;

core::TimeStamp At(int day, int hour, int minute) {
  return *core::StampFromFields({2024, 3, day, hour, minute, 0, 0});
}

core::TimeRecord Record(std::string_view person, core::TimeStamp start, core::TimeStamp end,
                        std::string_view task = "Work") {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign(person);
  record.descriptors[core::kActivityDescriptor].assign(task);
  record.descriptors[core::kRateDescriptor].assign("12.50");
  record.start = start;
  record.end = end;
  return record;
}

TimeRecordDbOptions Options(bool single_user, bool allow_overlapping_tasks) {
  TimeRecordDbOptions options;
  options.single_user = single_user;
  options.allow_overlapping_tasks = allow_overlapping_tasks;
  return options;
}

// One user's view of a database, as one program run has it: its engine,
// the support file and the records.
struct Session {
  Session(engine::TableEngine&, engine::TableReporter& reporter, std::string user,
          TimeRecordDbOptions options = {})
      : support(engine, reporter), db(engine, reporter, support, options) {
    engine.SetErrorHook(app::EngineErrorHook);
    engine.settings().lock_attempts = 3;
    engine.settings().lock_delay = 1;
    support.set_user_name(std::move(user));
  }
  engine::TableEngine engine;
  SupportDb support;
  TimeRecordDb db;
};

class TimeRecordDbTest : public ::testing::Test, protected test::DbTestEnv {
 protected:
  TimeRecordDbTest() { EXPECT_EQ(Open(alice_), 0); }

  int Open(Session& session) {
    int result = session.db.OpenTimeRecordDb(file_);
    if (result == 0) session.db.RememberChangeCounter();
    return result;
  }

  std::vector<std::string> TasksInOrder(TimeRecordDb& db) {
    std::vector<std::string> tasks;
    core::TimeRecord record;
    for (int status = db.FirstRecord(record); status == 0; status = db.NextRecord(record)) {
      tasks.emplace_back(record.descriptors[core::kActivityDescriptor].view());
    }
    return tasks;
  }

  std::string file_ = dir_.File("work.dbf");
  Session alice_{engine_, table_reporter_, "Alice"};
};

TEST_F(TimeRecordDbTest, NewDatabaseHasTheSeventeenFieldsAndNoIndexOfItsOwn) {
  ASSERT_EQ(alice_.db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0)), true), 0);
  alice_.db.CloseTimeRecordDb();
  const std::string bytes = ReadBytes(file_);
  EXPECT_EQ(bytes[28], 0);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("work.mdx")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Alice.tmp"))) << "the temporary index goes";
  int offset = 1;
  for (int i = 0; i < core::kTimeRecordFieldCount; ++i) {
    const char* descriptor = bytes.data() + 32 + 32 * i;
    EXPECT_EQ(std::string(descriptor), core::kTimeRecordTableFields[i].name);
    EXPECT_EQ(descriptor[11], core::kTimeRecordTableFields[i].type);
    EXPECT_EQ(static_cast<unsigned char>(descriptor[16]), core::kTimeRecordTableFields[i].width);
    if (i == core::kFieldRate) {
      const std::size_t header = static_cast<unsigned char>(bytes[8]) |
                                 static_cast<unsigned char>(bytes[9]) << 8;
      EXPECT_EQ(bytes.substr(header + offset, 11), "      12.50");
    }
    offset += core::kTimeRecordTableFields[i].width;
  }
  EXPECT_EQ(bytes[32 + 32 * core::kTimeRecordFieldCount], 0x0D);
}

TEST_F(TimeRecordDbTest, RecordsReadInEndTimeOrderAndDeletedOnesDropOut) {
  TimeRecordDb& db = alice_.db;
  ASSERT_EQ(db.AddRecord(Record("Alice", At(5, 9, 0), At(5, 10, 0), "late"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0), "early"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 11, 0), At(4, 12, 0), "middle"), true), 0);
  EXPECT_THAT(TasksInOrder(db), ElementsAre("early", "middle", "late"));
  EXPECT_EQ(db.CountRecords(true), 3);

  ASSERT_EQ(db.DeleteRecord(3, true), 0);
  EXPECT_THAT(TasksInOrder(db), ElementsAre("early", "late"));
  EXPECT_EQ(db.CountRecords(true), 2);
  EXPECT_EQ(db.CountRecords(false), 3);

  ASSERT_EQ(db.UndeleteRecord(3), 0);
  core::TimeRecord record;
  ASSERT_EQ(db.ReadRecordAt(3, record), 0);
  EXPECT_FALSE(db.IsCurrentDeleted());
  EXPECT_EQ(record.descriptors[core::kActivityDescriptor], "middle");
  EXPECT_EQ(record.descriptors[core::kRateDescriptor], "12.50");

  ASSERT_EQ(db.LastRecord(record), 0);
  EXPECT_EQ(record.descriptors[core::kActivityDescriptor], "late");
  EXPECT_EQ(db.NextRecord(record), kNoSuchRecord);
}

TEST_F(TimeRecordDbTest, ChangingTheCurrentRecordRewritesItInPlace) {
  TimeRecordDb& db = alice_.db;
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0), "draft"), true), 0);
  core::TimeRecord record;
  ASSERT_EQ(db.ReadRecordAt(1, record), 0);
  record.descriptors[core::kActivityDescriptor].assign("final");
  record.description.assign(std::string(250, 'd') + "rest");
  ASSERT_EQ(db.ChangeCurrentRecord(record, true), 0);
  EXPECT_EQ(db.CountRecords(false), 1);
  core::TimeRecord read;
  ASSERT_EQ(db.ReadRecordAt(1, read), 0);
  EXPECT_EQ(read, record);
}

TEST_F(TimeRecordDbTest, ScrollPositionsSpanTheDisplayOrder) {
  TimeRecordDb& db = alice_.db;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9 + i, 0), At(4, 9 + i, 30)), false), 0);
  }
  ASSERT_EQ(db.FlushDb(), 0);
  core::TimeRecord record;
  ASSERT_EQ(db.FirstRecord(record), 0);
  EXPECT_EQ(db.ScrollPosition(), 0);
  int previous = 0;
  for (int n = 2; n <= 5; ++n) {
    ASSERT_EQ(db.NextRecord(record), 0);
    const int position = db.ScrollPosition();
    EXPECT_GT(position, previous);
    EXPECT_LE(position, 32767);
    previous = position;
  }
  EXPECT_EQ(db.SetScrollPosition(0), 1u);
}

TEST_F(TimeRecordDbTest, EmptyDatabase) {
  core::TimeRecord record;
  EXPECT_TRUE(alice_.db.IsEmpty());
  EXPECT_EQ(alice_.db.CountRecords(true), 0);
  EXPECT_EQ(alice_.db.LastRecord(record), kNoSuchRecord);
  EXPECT_EQ(alice_.db.DeleteCurrentRecord(true), kNoSuchRecord);
}

TEST_F(TimeRecordDbTest, OverlapSearchSeesOnlyTheSamePerson) {
  TimeRecordDb& db = alice_.db;
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 7, 0), At(4, 8, 0), "before"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Bob", At(4, 9, 10), At(4, 9, 20), "bob's"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9, 30), At(4, 9, 45), "inside"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 13, 0), At(4, 14, 0), "after"), true), 0);

  struct Case {
    const char* what;
    core::TimeRecord record;
    int expected;
    const char* found_task;
  };
  const Case cases[] = {
      {"contains an earlier-ending record", Record("Alice", At(4, 9, 0), At(4, 10, 0)), 1,
       "inside"},
      {"same start", Record("Alice", At(4, 9, 30), At(4, 9, 40)), 2, "inside"},
      {"ends inside a later-ending record", Record("Alice", At(4, 12, 0), At(4, 13, 30)), 1,
       "after"},
      {"another person", Record("Carol", At(4, 9, 0), At(4, 10, 0)), 0, ""},
      {"touching", Record("Alice", At(4, 8, 0), At(4, 9, 0)), 0, ""},
      {"after every record", Record("Alice", At(6, 8, 0), At(6, 9, 0)), 0, ""},
  };
  for (const Case& c : cases) {
    core::TimeRecord found;
    EXPECT_EQ(db.FindOverlap(c.record, found), c.expected) << c.what;
    if (c.expected != 0) {
      EXPECT_EQ(found.descriptors[core::kActivityDescriptor], c.found_task) << c.what;
    }
  }
  // The display order is back in place after a search.
  EXPECT_THAT(TasksInOrder(db), ElementsAre("before", "bob's", "inside", "after"));
}

TEST_F(TimeRecordDbTest, OverlappingRecordIsRefusedUnlessAllowed) {
  ASSERT_EQ(alice_.db.AddRecord(Record("Alice", At(4, 9, 30), At(4, 9, 45)), true), 0);
  EXPECT_EQ(alice_.db.CheckOverlapBeforeAdd(Record("Alice", At(4, 9, 0), At(4, 10, 0))),
            kOverlapRefused);
  ASSERT_EQ(ui_.entries().size(), 1u);
  EXPECT_THAT(ui_.entries()[0].text, ::testing::HasSubstr("Existing Task:"));
  EXPECT_EQ(alice_.db.CheckOverlapBeforeAdd(Record("Bob", At(4, 9, 0), At(4, 10, 0))), 0);

  alice_.db.CloseTimeRecordDb();
  Session lenient(engine_, table_reporter_, "Alice", Options(false, true));
  ASSERT_EQ(Open(lenient), 0);
  EXPECT_EQ(lenient.db.CheckOverlapBeforeAdd(Record("Alice", At(4, 9, 0), At(4, 10, 0))), 0);
}

TEST_F(TimeRecordDbTest, EditLockNamesItsHolder) {
  std::string holder;
  ASSERT_EQ(alice_.db.LockRecordForEdit(2, holder), 0);
  EXPECT_EQ(alice_.db.LockRecordForEdit(2, holder), 0) << "a user's own lock is no obstacle";

  Session bob(engine_, table_reporter_, "Bob");
  bob.db.OpenTimeRecordDb(file_);
  EXPECT_EQ(bob.db.LockRecordForEdit(2, holder), kRecordEditLocked);
  EXPECT_EQ(holder, "Alice");
  EXPECT_TRUE(bob.db.IsLockedByOther(2, holder));
  EXPECT_EQ(bob.db.LockRecordForEdit(3, holder), 0);

  ASSERT_EQ(alice_.db.UnlockRecordForEdit(2), 0);
  EXPECT_EQ(bob.db.LockRecordForEdit(2, holder), 0);
  EXPECT_EQ(alice_.db.LockRecordForEdit(2, holder), kRecordEditLocked);
  EXPECT_EQ(holder, "Bob");

  // Closing releases the closing user's locks only.
  ASSERT_EQ(alice_.db.LockRecordForEdit(7, holder), 0);
  alice_.db.CloseTimeRecordDb();
  EXPECT_EQ(bob.db.RecordLockHolder(7), "");
  EXPECT_EQ(bob.db.RecordLockHolder(2), "Bob");
}

TEST_F(TimeRecordDbTest, ClosedDatabaseSharesNothing) {
  alice_.db.CloseTimeRecordDb();
  std::string holder;
  EXPECT_EQ(alice_.db.LockRecordForEdit(1, holder), kSupportNotOpen);
  EXPECT_EQ(alice_.db.LockEntireDatabase(holder), kSupportNotOpen);
  EXPECT_EQ(alice_.db.RecordLockHolder(1), "");
  EXPECT_EQ(alice_.db.AnnounceChange(), kNoChangeCounter);
  EXPECT_EQ(alice_.support.OpenSupport(""), kSupportNotOpen);
  EXPECT_FALSE(std::filesystem::exists(".SPT"));
}

TEST_F(TimeRecordDbTest, WholeDatabaseLockRefusesEveryoneWhileHeld) {
  std::string holder;
  ASSERT_EQ(alice_.db.LockEntireDatabase(holder), 0);
  EXPECT_EQ(alice_.db.LockEntireDatabase(holder), kDatabaseLocked);
  EXPECT_EQ(holder, "Alice");
  ASSERT_EQ(alice_.db.UnlockEntireDatabase(), 0);
  EXPECT_EQ(alice_.db.LockEntireDatabase(holder), 0);
}

TEST_F(TimeRecordDbTest, SingleUserTakesNoLocksAndWritesNothingShared) {
  alice_.db.CloseTimeRecordDb();
  Session solo(engine_, table_reporter_, "Alice", Options(true, false));
  ASSERT_EQ(Open(solo), 0);
  std::string holder;
  EXPECT_EQ(solo.db.LockRecordForEdit(1, holder), 0);
  EXPECT_EQ(solo.db.LockEntireDatabase(holder), 0);
  EXPECT_EQ(solo.db.AnnounceChange(), 0);
  EXPECT_EQ(solo.support.GetSupportString("UserLocks", "UserLocking1", "none",
                                          solo.db.support_file()),
            "none");
  EXPECT_EQ(solo.support.SupportEntryName("Index", 0), "");
}

TEST_F(TimeRecordDbTest, AnnouncedChangesReachTheOtherUsersPoll) {
  Session bob(engine_, table_reporter_, "Bob");
  ASSERT_EQ(Open(bob), 0);
  EXPECT_EQ(bob.db.PollForChange(), 0);
  ASSERT_EQ(alice_.db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0)), true), 0);
  ASSERT_EQ(alice_.db.AnnounceChange(), 0);
  EXPECT_EQ(bob.db.PollForChange(), 1);
  EXPECT_EQ(bob.db.PollForChange(), 0);
  EXPECT_EQ(alice_.db.PollForChange(), 0) << "a user's own announcement is not news";

  Session carol(engine_, table_reporter_, "Carol");
  carol.db.OpenTimeRecordDb(file_);
  EXPECT_EQ(carol.db.AnnounceChange(), kNoChangeCounter);
}

TEST_F(TimeRecordDbTest, SecondRunOfOnePersonLeavesTheFirstRunsIndexAlone) {
  ASSERT_EQ(alice_.db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0), "first"), true), 0);
  Session again(engine_, table_reporter_, "Alice");
  ASSERT_EQ(Open(again), 0);
  EXPECT_EQ(alice_.db.temporary_index_file(), dir_.File("Alice.tmp"));
  EXPECT_EQ(again.db.temporary_index_file(), dir_.File("Alice.t01"));
  ASSERT_EQ(again.db.AddRecord(Record("Alice", At(4, 11, 0), At(4, 12, 0), "second"), true), 0);
  // The first run's file still takes its own additions.
  ASSERT_EQ(alice_.db.AddRecord(Record("Alice", At(5, 9, 0), At(5, 10, 0), "third"), true), 0);
  EXPECT_THAT(TasksInOrder(alice_.db), ElementsAre("first", "third"));
  ASSERT_EQ(alice_.db.ReindexTemporaryIndex(), 0);
  EXPECT_THAT(TasksInOrder(alice_.db), ElementsAre("first", "second", "third"));

  again.db.CloseTimeRecordDb();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Alice.t01")));
  EXPECT_TRUE(std::filesystem::exists(dir_.File("Alice.tmp")));
  alice_.db.CloseTimeRecordDb();
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Alice.tmp")));
}

TEST_F(TimeRecordDbTest, TemporaryIndexWithAUserTagReadsInItsOrderAndFilter) {
  TimeRecordDb& db = alice_.db;
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0), "beta"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(5, 9, 0), At(5, 10, 0), "alpha"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(6, 9, 0), At(6, 10, 0), "skip"), true), 0);
  const std::string file = dir_.File("Alice.t05");
  const std::vector<engine::TagSpec> tags = {
      {"USERTAG", "UPPER(TASK)", ".NOT.DELETED().AND.UPPER(TASK)<>\"SKIP   \"", 0,
       engine::kDescending},
      {std::string(kEndTimeTagName), std::string(kEndTimeKey), std::string(kNotDeletedFilter), 0,
       engine::kAscending}};
  ASSERT_EQ(db.CreateTemporaryIndex(file, tags), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("Alice.tmp"))) << "the previous file goes";
  EXPECT_EQ(db.temporary_index_file(), file);
  EXPECT_THAT(TasksInOrder(db), ElementsAre("beta", "alpha"));
  EXPECT_EQ(db.CountRecords(true), 2);
  EXPECT_TRUE(db.IsInUserTag(1));
  EXPECT_FALSE(db.IsInUserTag(3));
  EXPECT_FALSE(db.IsInUserTag(4));
  ASSERT_EQ(db.DeleteRecord(1, true), 0);
  EXPECT_FALSE(db.IsInUserTag(1));
  // The overlap check goes on reading the end-time order.
  core::TimeRecord found;
  EXPECT_EQ(db.FindOverlap(Record("Alice", At(6, 9, 30), At(6, 9, 45)), found), 1);

  db.CloseTemporaryIndex();
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(db.has_temporary_index());
  EXPECT_EQ(db.ReindexTemporaryIndex(), kNoTemporaryIndex);
}

TEST_F(TimeRecordDbTest, TemporaryIndexWithoutTheEndTimeTagIsRefused) {
  const std::string file = dir_.File("Alice.t05");
  EXPECT_EQ(alice_.db.CreateTemporaryIndex(file, {{"USERTAG", "TASK", "", 0, engine::kAscending}}),
            engine::kErrorTagName);
  EXPECT_FALSE(alice_.db.has_temporary_index());
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(TimeRecordDbTest, ClosePacksOnlyWhenNoUserIsActive) {
  TimeRecordDb& db = alice_.db;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9 + i, 0), At(4, 9 + i, 30)), true), 0);
  }
  ASSERT_EQ(db.DeleteRecord(2, true), 0);
  ASSERT_EQ(alice_.support.SetUserActive(file_, "Bob", true), 0);
  db.CloseTimeRecordDb();
  ASSERT_EQ(Open(alice_), 0);
  EXPECT_EQ(db.CountRecords(false), 3) << "Bob still works in it";

  ASSERT_EQ(alice_.support.SetUserActive(file_, "Bob", false), 0);
  db.CloseTimeRecordDb();
  ASSERT_EQ(Open(alice_), 0);
  EXPECT_EQ(db.CountRecords(false), 2);
}

TEST_F(TimeRecordDbTest, CopyHoldsTheRecordsNotDeleted) {
  TimeRecordDb& db = alice_.db;
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 9, 0), At(4, 10, 0), "one"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 10, 0), At(4, 11, 0), "two"), false), 0);
  ASSERT_EQ(db.AddRecord(Record("Alice", At(4, 11, 0), At(4, 12, 0), "three"), true), 0);
  ASSERT_EQ(db.DeleteRecord(2, true), 0);
  const std::string copy = dir_.File("copy.dbf");
  ASSERT_EQ(db.CopyDatabaseTo(copy), 0);
  EXPECT_FALSE(std::filesystem::exists(copy + ".cpy"));
  EXPECT_EQ(db.CountRecords(false), 3) << "the original is untouched";

  Session reader(engine_, table_reporter_, "Reader");
  ASSERT_EQ(reader.db.OpenTimeRecordDb(copy), 0);
  EXPECT_THAT(TasksInOrder(reader.db), ElementsAre("one", "three"));
  EXPECT_EQ(reader.db.CountRecords(false), 2);
}

class Version2Test : public ::testing::Test, protected test::DbTestEnv {
 protected:
  // A table in the version 2 layout: the description in one memo field.
  void MakeVersion2Table(const std::vector<std::string>& descriptions) {
    std::vector<engine::FieldSpec> fields;
    for (const core::TableFieldSpec& f : core::kTimeRecordTableFields) {
      if (f.name == "DESCSTART" || f.name == "DESCEND") continue;
      fields.push_back({std::string(f.name), f.type, f.width, f.decimals});
    }
    fields.push_back({"DESCRIPTN", 'M', 10, 0});
    std::unique_ptr<engine::Table> table = engine::Table::Create(engine_, file_, fields);
    ASSERT_NE(table, nullptr);
    int hour = 8;
    for (const std::string& description : descriptions) {
      ASSERT_EQ(table->AppendStart(), 0);
      table->Blank();
      table->FieldByName("PERSON")->AssignText("Alice");
      table->FieldByName("RATE")->AssignNumber(12.5, 2);
      table->FieldByName("START_DATE")->AssignText("20240304");
      table->FieldByName("START_TIME")->AssignText(std::to_string(hour) + ":00");
      table->FieldByName("END_DATE")->AssignText("20240304");
      table->FieldByName("END_TIME")->AssignText(std::to_string(hour) + ":30");
      table->FieldByName("DESCRIPTN")->AssignMemo(description);
      ASSERT_EQ(table->Append(), 0);
      ++hour;
    }
    ASSERT_EQ(table->Close(), 0);
  }

  std::string file_ = dir_.File("old.dbf");
  std::string backup_ = dir_.File("backup");
  Session session_{engine_, table_reporter_, "Alice"};
};

TEST_F(Version2Test, OpeningRefusesTheOldLayoutWith399) {
  MakeVersion2Table({"short"});
  EXPECT_EQ(session_.db.OpenTimeRecordDb(file_), kVersion2Layout);
  EXPECT_FALSE(session_.db.IsOpen());
  EXPECT_TRUE(ui_.entries().empty());
}

TEST_F(Version2Test, ConvertsAfterBothConfirmationsWithABackup) {
  const std::string long_text = std::string(250, 'a') + "the rest";
  MakeVersion2Table({"short one", long_text});
  ui_.QueueAnswer(platform::Button::kYes);  // 400
  ui_.QueueAnswer(platform::Button::kYes);  // 407
  EXPECT_EQ(session_.db.CheckVersionBeforeOpen(file_, backup_), 1);
  using ::testing::HasSubstr;
  EXPECT_THAT(ui_.Texts(), ElementsAre(HasSubstr("created with Version 2"),
                                       HasSubstr("old database will be backup"),
                                       HasSubstr("successfully converted")));
  // The two questions carry their numbers.
  ASSERT_GE(ui_.Numbers().size(), 2u);
  EXPECT_EQ(ui_.Numbers()[0], 400);
  EXPECT_EQ(ui_.Numbers()[1], 407);
  EXPECT_TRUE(std::filesystem::exists(backup_ + "/old.dbf"));
  EXPECT_TRUE(std::filesystem::exists(backup_ + "/old.dbt"));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("old.dbt")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("old.new")));

  ASSERT_EQ(session_.db.OpenTimeRecordDb(file_), 0);
  core::TimeRecord record;
  ASSERT_EQ(session_.db.FirstRecord(record), 0);
  EXPECT_EQ(record.description.view(), "short one");
  EXPECT_EQ(record.descriptors[core::kRateDescriptor], "12.50");
  ASSERT_EQ(session_.db.NextRecord(record), 0);
  EXPECT_EQ(record.description.view(), long_text);
  session_.db.CloseTimeRecordDb();

  // The converted file passes the check; converting it again is refused.
  ui_.Clear();
  EXPECT_EQ(session_.db.CheckVersionBeforeOpen(file_, backup_), 1);
  EXPECT_TRUE(ui_.entries().empty());
}

TEST_F(Version2Test, DeclinedConversionLeavesTheFileAsItWas) {
  MakeVersion2Table({"kept"});
  const std::string before = ReadBytes(file_);
  struct Case {
    std::vector<platform::Button> answers;
    int expected;
  };
  const Case cases[] = {
      {{platform::Button::kNo}, 0},
      {{platform::Button::kYes, platform::Button::kNo}, 1},  // declined at 407
  };
  for (const Case& c : cases) {
    for (platform::Button answer : c.answers) ui_.QueueAnswer(answer);
    EXPECT_EQ(session_.db.CheckVersionBeforeOpen(file_, backup_), c.expected);
    EXPECT_EQ(ReadBytes(file_), before);
    EXPECT_EQ(session_.db.OpenTimeRecordDb(file_), kVersion2Layout);
  }
}

TEST_F(Version2Test, MissingFileIsNoTimeRecordTable) {
  EXPECT_EQ(session_.db.CheckVersionBeforeOpen(dir_.File("none.dbf"), backup_), 0);
}

// Users racing for one record's edit lock: exactly one gets it, and every
// other one is told who.
TEST(TimeRecordDbProcessesTest, OneOfManyGetsAnEditLock) {
  qm::test::TempDir dir;
  const std::string file = dir.File("shared.dbf");
  {
    test::DbTestEnv env;
    Session setup(env.engine_, env.table_reporter_, "Setup");
    ASSERT_EQ(setup.db.OpenTimeRecordDb(file), 0);
    setup.db.CloseTimeRecordDb();
  }
  constexpr int kUsers = 4;
  std::vector<pid_t> children;
  for (int u = 0; u < kUsers; ++u) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int outcome = 3;
      {
        test::DbTestEnv env;
        Session session(env.engine_, env.table_reporter_, "User" + std::to_string(u));
        session.engine.settings().lock_attempts = engine::kWaitForever;
        if (session.db.OpenTimeRecordDb(file) == 0) {
          std::string holder;
          const int result = session.db.LockRecordForEdit(5, holder);
          if (result == 0) outcome = 0;
          if (result == kRecordEditLocked && holder.starts_with("User")) outcome = 1;
          session.db.FlushDb();
          // Stay open until every user has tried, so the lock is not released.
          usleep(300 * 1000);
        }
      }
      _exit(outcome);
    }
    children.push_back(pid);
  }
  int winners = 0;
  int refused = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    winners += WEXITSTATUS(status) == 0;
    refused += WEXITSTATUS(status) == 1;
  }
  EXPECT_EQ(winners, 1);
  EXPECT_EQ(refused, kUsers - 1);
}

// Four real processes add 250 records each to one database, each running
// the whole session: active, add, announce, inactive, close.
TEST(TimeRecordDbProcessesTest, FourWritersEachAddTheirRecords) {
  qm::test::TempDir dir;
  const std::string file = dir.File("shared.dbf");
  {
    test::DbTestEnv env;
    Session setup(env.engine_, env.table_reporter_, "Setup");
    ASSERT_EQ(setup.db.OpenTimeRecordDb(file), 0);
    setup.db.CloseTimeRecordDb();
  }
  constexpr int kWriters = 4;
  constexpr int kRecordsEach = 250;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      {
        test::DbTestEnv env;
        
        const std::string user = "Writer" + std::to_string(w);
        Session session(env.engine_, env.table_reporter_, user);
        session.engine.settings().lock_attempts = engine::kWaitForever;
        failures += session.support.SetUserActive(file, user, true) != 0;
        failures += session.db.OpenTimeRecordDb(file) != 0;
        session.db.RememberChangeCounter();
        for (int i = 0; i < kRecordsEach; ++i) {
          const core::TimeStamp start = At(1, 0, 0) + i * 600;
          failures += session.db.AddRecord(Record(user, start, start + 300), true) != 0;
          failures += session.db.AnnounceChange() != 0;
        }
        failures += session.support.SetUserActive(file, user, false) != 0;
        failures += session.db.CloseTimeRecordDb() != 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  test::DbTestEnv env;
  Session check(env.engine_, env.table_reporter_, "Check");
  ASSERT_EQ(check.db.OpenTimeRecordDb(file), 0);
  EXPECT_EQ(check.db.CountRecords(false), kWriters * kRecordsEach);
  EXPECT_EQ(check.db.CountRecords(true), kWriters * kRecordsEach);
  EXPECT_EQ(check.support.GetSupportInt("Index", "Changes", 0, check.db.support_file()),
            kWriters * kRecordsEach);
  EXPECT_EQ(check.support.ActiveUserCount(), 0);
  for (int w = 0; w < kWriters; ++w) {
    EXPECT_FALSE(check.support.IsUserActive(file, "Writer" + std::to_string(w)));
  }
}

}  // namespace
}  // namespace qm::db
