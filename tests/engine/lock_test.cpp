// Locks and share modes between real processes on real files.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "engine/file_lock.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

// Runs `body` in a forked child and returns its result (the exit status).
int RunInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int result = 99;
    try {
      result = body();
    } catch (...) {
    }
    ::_exit(result);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// An engine that gives up quickly.
void Impatient(TableEngine& engine, int attempts = 2) {
  engine.settings().lock_attempts = attempts;
  engine.settings().lock_delay = 1;
}

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<Table> table =
        Table::Create(engine_, path_, {{"NAME", 'C', 12, 0}, {"NOTES", 'M', 10, 0}});
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(table->AppendStart(), 0);
      ASSERT_EQ(table->Append(), 0);
    }
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("shared.dbf");
  TableEngine engine_;
};

TEST_F(LockTest, RecordLocksExcludeOtherProcessesRecordByRecord) {
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->LockRecord(2), 0);

  const int child = RunInChild([&] {
    TableEngine engine;
    Impatient(engine);
    std::unique_ptr<Table> other = Table::Open(engine, path_);
    if (!other) return 10;
    if (other->LockRecord(2) != kLocked) return 11;
    if (engine.error_code() != kLocked) return 12;
    if (other->LockRecord(1) != 0) return 13;
    // A change of the locked record cannot be written either.
    if (other->Go(2) != 0) return 14;
    other->FieldByName("NAME")->AssignText("intruder");
    if (other->Flush() != kLocked) return 15;
    return 0;
  });
  EXPECT_EQ(child, 0);

  ASSERT_EQ(table->Unlock(), 0);
  EXPECT_EQ(RunInChild([&] {
              TableEngine engine;
              Impatient(engine);
              std::unique_ptr<Table> other = Table::Open(engine, path_);
              return other && other->LockRecord(2) == 0 ? 0 : 1;
            }),
            0)
      << "released by Unlock";
}

TEST_F(LockTest, AppendLockExcludesOtherAppends) {
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->LockAppend(), 0);
  const int child = RunInChild([&] {
    TableEngine engine;
    Impatient(engine);
    std::unique_ptr<Table> other = Table::Open(engine, path_);
    if (!other) return 10;
    if (other->LockAppend() != kLocked) return 11;
    other->AppendStart();
    if (other->Append() != kLocked) return 12;
    if (other->RecordCount() != 3) return 13;
    if (other->LockRecord(1) != 0) return 14;  // record locks are separate
    return 0;
  });
  EXPECT_EQ(child, 0);
  ASSERT_EQ(table->AppendStart(), 0);
  EXPECT_EQ(table->Append(), 0) << "the holder appends under its own lock";
  EXPECT_EQ(table->RecordCount(), 4u);
}

TEST_F(LockTest, RefusedLockGivesUpAfterTheConfiguredAttemptsRepaintingBetween) {
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->LockRecord(1), 0);
  const int repaints = RunInChild([&] {
    TableEngine engine;
    Impatient(engine, 4);
    int count = 0;
    engine.SetRepaintCallback([&count] { ++count; });
    std::unique_ptr<Table> other = Table::Open(engine, path_);
    if (!other || other->LockRecord(1) != kLocked) return 100;
    return count;
  });
  EXPECT_EQ(repaints, 3) << "four attempts, a wait between each two";
}

TEST_F(LockTest, LocksOfTwoTablesInOneProcessExcludeEachOther) {
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  TableEngine second;
  Impatient(second, 1);
  std::unique_ptr<Table> other = Table::Open(second, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(table->LockRecord(3), 0);
  EXPECT_EQ(other->LockRecord(3), kLocked);
  table->Close();
  EXPECT_EQ(other->LockRecord(3), 0) << "closing releases the locks";
}

TEST_F(LockTest, ShareModesAreSeenByOtherProcesses) {
  struct Case {
    AccessMode holder;
    AccessMode opener;
    bool opens;
  };
  const Case cases[] = {
      {AccessMode::kDenyNone, AccessMode::kDenyNone, true},
      {AccessMode::kDenyNone, AccessMode::kExclusive, false},
      {AccessMode::kExclusive, AccessMode::kDenyNone, false},
      {AccessMode::kExclusive, AccessMode::kExclusive, false},
      {AccessMode::kDenyWrite, AccessMode::kDenyNone, false},  // the opener would write
      {AccessMode::kDenyNone, AccessMode::kDenyWrite, false},  // the holder writes
      {AccessMode::kDenyWrite, AccessMode::kDenyWrite, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.holder) * 10 + static_cast<int>(c.opener));
    engine_.settings().access_mode = c.holder;
    std::unique_ptr<Table> table = Table::Open(engine_, path_);
    ASSERT_NE(table, nullptr);
    const int child = RunInChild([&] {
      TableEngine engine;
      engine.settings().access_mode = c.opener;
      std::unique_ptr<Table> other = Table::Open(engine, path_);
      if (other) return 1;
      return engine.error_code() == kErrorAccess ? 0 : 2;
    });
    EXPECT_EQ(child, c.opens ? 1 : 0);
  }
}

TEST_F(LockTest, ExclusiveOpenSucceedsOnceTheOtherProcessClosed) {
  int ready[2];
  int done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    TableEngine engine;
    std::unique_ptr<Table> held = Table::Open(engine, path_);
    char byte = held ? 'y' : 'n';
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(done[0], &byte, 1);
    ::_exit(0);  // the process ends holding the file: its locks go with it
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ASSERT_EQ(byte, 'y');
  engine_.settings().access_mode = AccessMode::kExclusive;
  EXPECT_EQ(Table::Open(engine_, path_), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorAccess);
  (void)!::write(done[1], &byte, 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_NE(Table::Open(engine_, path_), nullptr);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

TEST_F(LockTest, TwoProcessesAppendingTogetherLoseNothing) {
  constexpr int kEach = 1000;
  auto appender = [&](char tag) {
    return [&, tag] {
      TableEngine engine;
      engine.settings().lock_delay = 1;
      std::unique_ptr<Table> table = Table::Open(engine, path_);
      if (!table) return 10;
      for (int i = 0; i < kEach; ++i) {
        if (table->AppendStart() != 0) return 11;
        table->FieldByName("NAME")->AssignText(std::string(1, tag) + std::to_string(i));
        if (i % 100 == 0) table->FieldByName("NOTES")->AssignMemo(std::string(600, tag));
        if (table->Append() != 0) return 12;
      }
      return 0;
    };
  };
  const pid_t first = ::fork();
  if (first == 0) ::_exit(appender('a')());
  const pid_t second = ::fork();
  if (second == 0) ::_exit(appender('b')());
  for (pid_t pid : {first, second}) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->RecordCount(), 3u + 2 * kEach);
  std::map<char, int> seen;
  std::map<std::string, int> names;
  Field name = *table->FieldByName("NAME");
  Field notes = *table->FieldByName("NOTES");
  for (int r = table->Go(4); r == 0; r = table->Skip()) {
    const std::string text = name.Text();
    ++seen[text[0]];
    ++names[text];
    const std::string memo = notes.MemoText();
    if (!memo.empty()) {
      EXPECT_EQ(memo, std::string(600, text[0])) << text;
    }
  }
  EXPECT_EQ(seen['a'], kEach);
  EXPECT_EQ(seen['b'], kEach);
  EXPECT_EQ(names.size(), 2u * kEach) << "no record written over another";
}

}  // namespace
}  // namespace qm::engine
