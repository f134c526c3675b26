// Indexed tables shared by real processes: concurrent appends and changes,
// readers that see other processes' writes, and appenders killed mid-way.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/db_table.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

pid_t StartChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int result = 99;
    try {
      result = body();
    } catch (...) {
    }
    ::_exit(result);
  }
  return pid;
}

int WaitForChild(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

int RunInChild(const std::function<int()>& body) { return WaitForChild(StartChild(body)); }

class QuietReporter : public TableReporter {
 public:
  void ShowMessage(int number, std::string_view) override { shown.push_back(number); }
  void ReportDatabaseError(std::string_view, int fallback) override { shown.push_back(fallback); }
  std::vector<int> shown;
};

const std::vector<FieldSpec> kFields = {{"SEQ", 'N', 8, 0}, {"WHO", 'C', 4, 0}, {"NAME", 'C', 20, 0}};
const std::vector<TagSpec> kTags = {{"SEQ", "SEQ", "", 0, kAscending},
                                    {"WHONAME", "WHO+NAME", ".NOT. DELETED()", 0, kDescending}};

int AppendOne(Table& table, long seq, const std::string& who) {
  if (table.AppendStart() != 0) return -1;
  table.Blank();
  table.FieldByName("SEQ")->AssignInteger(seq);
  table.FieldByName("WHO")->AssignText(who);
  table.FieldByName("NAME")->AssignText(who + "-" + std::to_string(seq));
  return table.Append();
}

class TableMultiProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<Table> table = Table::Create(engine_, path_, kFields, kTags);
    ASSERT_NE(table, nullptr);
  }

  // Every SEQ in the order of tag SEQ; checks the production index.
  std::vector<long> SeqsInTagOrder() {
    std::unique_ptr<Table> table = Table::Open(engine_, path_);
    EXPECT_NE(table, nullptr);
    if (!table) return {};
    FileStatus checked = table->FindIndexFile("")->Check(*table);
    EXPECT_TRUE(checked.ok()) << checked.text;
    std::vector<long> seqs;
    table->SelectTag(table->TagByName("SEQ"));
    for (int r = table->Top(); r == 0; r = table->Skip(1)) seqs.push_back(table->FieldByName("SEQ")->Integer());
    return seqs;
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("shared.dbf");
  TableEngine engine_;
};

// Two writers append and change records while a third process reads in tag
// order; the index must stay whole for all of them.
TEST_F(TableMultiProcessTest, TwoAppendersOfAThousandEachAndAReader) {
  auto writer = [&](long first, const std::string& who) {
    return [=, this] {
      TableEngine engine;
      std::unique_ptr<Table> table = Table::Open(engine, path_);
      if (!table) return 10;
      for (long i = 0; i < 1000; ++i) {
        if (AppendOne(*table, first + i, who) != 0) return 11;
        if (i % 50 == 0) {
          // A change of the record just added, through the record lock.
          table->FieldByName("NAME")->AssignText(who + "-changed-" + std::to_string(first + i));
          if (table->Flush() != 0) return 12;
        }
        if (i % 100 == 0 && (table->Delete() != 0 || table->Flush() != 0)) return 13;
      }
      return 0;
    };
  };
  const pid_t a = StartChild(writer(1, "A"));
  const pid_t b = StartChild(writer(100001, "B"));
  const pid_t reader = StartChild([&] {
    TableEngine engine;
    std::unique_ptr<Table> table = Table::Open(engine, path_);
    if (!table || table->SelectTag(table->TagByName("WHONAME")) != 0) return 20;
    for (int round = 0; round < 200; ++round) {
      int r = table->Seek("B");
      if (r < 0) return 21;
      for (int steps = 0; r == 0 && steps < 20; ++steps) r = table->Skip(1);
      if (r < 0) return 22;
      if (table->Bottom() < 0) return 23;
    }
    return 0;
  });
  EXPECT_EQ(WaitForChild(a), 0);
  EXPECT_EQ(WaitForChild(b), 0);
  EXPECT_EQ(WaitForChild(reader), 0);

  const std::vector<long> seqs = SeqsInTagOrder();
  ASSERT_EQ(seqs.size(), 2000u);
  for (long i = 0; i < 1000; ++i) {
    EXPECT_EQ(seqs[static_cast<std::size_t>(i)], 1 + i);
    EXPECT_EQ(seqs[static_cast<std::size_t>(1000 + i)], 100001 + i);
  }
}

TEST_F(TableMultiProcessTest, ReaderSeesAnotherProcessesWritesAtItsNextSeek) {
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  for (long i = 1; i <= 50; ++i) ASSERT_EQ(AppendOne(*table, i * 10, "P"), 0);
  ASSERT_EQ(table->SelectTag(table->TagByName("SEQ")), 0);
  ASSERT_EQ(table->Seek("255"), kKeyNotFound);  // pages now cached here

  ASSERT_EQ(RunInChild([&] {
              TableEngine engine;
              std::unique_ptr<Table> other = Table::Open(engine, path_);
              if (!other) return 10;
              if (AppendOne(*other, 255, "C") != 0) return 11;
              // Enough more to split pages that the reader has cached.
              for (long i = 0; i < 400; ++i) {
                if (AppendOne(*other, 1000 + i, "C") != 0) return 12;
              }
              // And a change of a key the reader has seen.
              if (other->Go(1) != 0) return 13;
              other->FieldByName("SEQ")->AssignInteger(5);
              return other->Flush() == 0 ? 0 : 14;
            }),
            0);

  EXPECT_EQ(table->Seek("255"), 0);
  EXPECT_EQ(table->RecordNumber(), 51u);
  EXPECT_EQ(table->Seek("5"), 0);
  EXPECT_EQ(table->RecordNumber(), 1u);
  EXPECT_EQ(table->Seek("10"), kKeyNotFound);
  EXPECT_EQ(table->Seek("1399"), 0);
  EXPECT_EQ(table->Skip(1), kEndOfFile);
}

TEST_F(TableMultiProcessTest, AnotherProcessesGroupedAppendsWaitForItsUnlock) {
  int ready[2];
  int go_on[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go_on), 0);
  const pid_t child = StartChild([&] {
    TableEngine engine;
    std::unique_ptr<Table> other = Table::Open(engine, path_);
    if (!other || other->LockAppend() != 0) return 10;
    for (long i = 1; i <= 100; ++i) {
      if (AppendOne(*other, i, "G") != 0) return 11;
    }
    char byte = 1;
    if (::write(ready[1], &byte, 1) != 1 || ::read(go_on[0], &byte, 1) != 1) return 12;
    return other->Unlock() == 0 ? 0 : 13;
  });
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  engine_.settings().lock_attempts = 2;
  engine_.settings().lock_delay = 1;
  std::unique_ptr<Table> table = Table::Open(engine_, path_);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->SelectTag(table->TagByName("SEQ")), 0);
  EXPECT_EQ(table->Seek("50"), kLocked) << "the index is being written";
  EXPECT_EQ(AppendOne(*table, 500, "P"), kLocked);
  EXPECT_EQ(table->RecordCount(), 100u) << "the data is there already";

  ASSERT_EQ(::write(go_on[1], &byte, 1), 1);
  EXPECT_EQ(WaitForChild(child), 0);
  EXPECT_EQ(table->Seek("50"), 0);
  EXPECT_EQ(table->RecordNumber(), 50u);
  for (int fd : {ready[0], ready[1], go_on[0], go_on[1]}) ::close(fd);
}

// An appender killed at random moments: every reopen through DbTable gives
// a table whose index agrees with the data and that holds every record
// whose append had returned.
TEST_F(TableMultiProcessTest, AppenderKilledAtRandomMomentsLosesNothingThatReturned) {
  std::mt19937 random(20240501);
  long next_seq = 1;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    const long first = next_seq;
    const bool grouped = round % 3 == 2;
    const pid_t child = StartChild([&] {
      ::close(done[0]);
      TableEngine engine;
      engine.settings().default_unique = kUniqueKeep;
      std::unique_ptr<Table> table = Table::Open(engine, path_);
      if (!table) return 10;
      for (long seq = first;; ++seq) {
        if (grouped && table->LockAppend() != 0) return 11;
        if (AppendOne(*table, seq, seq % 2 ? "ODD" : "EVEN") != 0) return 12;
        if (grouped && table->Unlock() != 0) return 13;
        if (::write(done[1], &seq, sizeof seq) != sizeof seq) return 14;
      }
    });
    ::close(done[1]);
    long last_returned = first - 1;
    long seq = 0;
    // The random moment counts from the child's second append: on a loaded
    // machine starting the child alone can take longer than the shortest wait.
    for (int started = 0; started < 2; ++started) {
      pollfd ready{done[0], POLLIN, 0};
      if (::poll(&ready, 1, 10000) != 1 || ::read(done[0], &seq, sizeof seq) != sizeof seq) break;
      last_returned = seq;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 120));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << WEXITSTATUS(status);
    while (::read(done[0], &seq, sizeof seq) == sizeof seq) last_returned = seq;
    ::close(done[0]);
    ASSERT_GT(last_returned, first) << "the child appended";

    QuietReporter reporter;
    DbTable db(engine_, reporter);
    ASSERT_EQ(db.OpenOrCreate(path_, kFields, kTags), 0);
    Table& table = *db.table();
    FileStatus checked = table.FindIndexFile("")->Check(table);
    ASSERT_TRUE(checked.ok()) << checked.text;
    std::set<long> present;
    ASSERT_EQ(table.SelectTag(table.TagByName("SEQ")), 0);
    for (int r = table.Top(); r == 0; r = table.Skip(1)) present.insert(table.FieldByName("SEQ")->Integer());
    ASSERT_EQ(present.size(), table.RecordCount());
    for (long s = 1; s <= last_returned; ++s) ASSERT_TRUE(present.count(s)) << "record " << s << " lost";
    next_seq = *present.rbegin() + 1;
  }
}

}  // namespace
}  // namespace qm::engine
