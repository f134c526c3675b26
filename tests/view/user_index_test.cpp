#include "view/user_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/calendar.h"
#include "db/temporary_index_name.h"
#include "engine/file_lock.h"
#include "engine/raw_file.h"
#include "tests/db/db_test_env.h"

namespace qm::view {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

core::TimeStamp At(int day, int hour) { return *core::StampFromFields({2024, 3, day, hour, 0, 0, 0}); }

core::TimeRecord Record(std::string_view person, std::string_view client, std::string_view task,
                        int day, int hour) {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  record.descriptors[core::kPersonDescriptor].assign(person);
  record.descriptors[core::kClientDescriptor].assign(client);
  record.descriptors[core::kActivityDescriptor].assign(task);
  record.start = At(day, hour);
  record.end = At(day, hour + 1);
  return record;
}

RecordFilter ClientFilter(std::string client) {
  RecordFilter filter;
  filter.enabled = 1;
  filter.rows[0] = {kFieldClient, kCompareEqual, std::move(client), kLinkEnd};
  return filter;
}

SortOrder ByStart(bool ascending) {
  SortOrder order;
  order.ascending = ascending ? 1 : 0;
  return order;
}

std::vector<std::string> TasksInOrder(db::TimeRecordDb& db) {
  std::vector<std::string> tasks;
  core::TimeRecord record;
  for (int status = db.FirstRecord(record); status == 0; status = db.NextRecord(record)) {
    tasks.emplace_back(record.descriptors[core::kActivityDescriptor].view());
  }
  return tasks;
}

// The temporary index files (.tmp, .tNN) left in `directory`.
std::vector<std::string> TemporaryFiles(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".tmp" || (extension.size() == 4 && extension[1] == 't' &&
                                std::isdigit(static_cast<unsigned char>(extension[2])))) {
      names.push_back(entry.path().filename().string());
    }
  }
  return names;
}

// A file kept open as the engine keeps its files open: another run's index.
struct HeldFile {
  explicit HeldFile(const std::string& path) {
    db::test::WriteBytes(path, "another run's index");
    EXPECT_TRUE(file.Open(path, engine::RawFile::Mode::kReadWrite).ok());
    EXPECT_EQ(engine::ShareLock::Acquire(file.fd(), engine::AccessMode::kDenyNone, true, lock), 0);
  }
  engine::RawFile file;
  engine::ShareLock lock;
};

// Passes everything on to the scripted double; runs `on_question` just
// before a Yes/No question is answered and logs the wait cursor.
class ActingUserInterface final : public platform::UserInterface {
 public:
  explicit ActingUserInterface(qm::test::ScriptedUserInterface& inner) : inner_(inner) {}

  std::function<void()> on_question;
  std::vector<bool> wait_cursor;

  void Show(const platform::Message& message) override { inner_.Show(message); }
  platform::Button AskYesNo(const platform::Message& question,
                            platform::Button default_button) override {
    if (on_question) on_question();
    return inner_.AskYesNo(question, default_button);
  }
  platform::Button AskYesNoCancel(const platform::Message& question,
                                  platform::Button default_button) override {
    return inner_.AskYesNoCancel(question, default_button);
  }
  std::optional<std::string> AskText(const platform::TextPrompt& prompt) override {
    return inner_.AskText(prompt);
  }
  void BeginProgress(std::string_view title, long total) override {
    inner_.BeginProgress(title, total);
  }
  bool AdvanceProgress(long done, std::string_view status) override {
    return inner_.AdvanceProgress(done, status);
  }
  void EndProgress() override { inner_.EndProgress(); }
  void SetWaitCursor(bool on) override { wait_cursor.push_back(on); }
  void ProcessPendingEvents() override { inner_.ProcessPendingEvents(); }

 private:
  qm::test::ScriptedUserInterface& inner_;
};

// Smith's run on a database of five records, two persons, three clients.
class UserIndexTest : public ::testing::Test, protected db::test::DbTestEnv {
 protected:
  UserIndexTest() {
    support_.set_user_name("Smith");
    settings_.Bind(dir_.File("Smith.ini"));
    EXPECT_EQ(db_.OpenTimeRecordDb(file_), 0);
    db_.RememberChangeCounter();
    Add(Record("Smith", "Acme", "design", 4, 9));   // 1
    Add(Record("Smith", "Zeta", "call", 4, 11));    // 2
    Add(Record("Jones", "Acme", "review", 5, 9));   // 3
    Add(Record("Smith", "Acme", "build", 3, 9));    // 4
    Add(Record("Jones", "Orbit", "visit", 6, 9));   // 5
    index_.set_changed_hook([this] { ++changes_; });
  }

  void Add(const core::TimeRecord& record) { ASSERT_EQ(db_.AddRecord(record, true), 0); }
  std::string Smith(int number) const { return db::TemporaryIndexCandidate(dir_.path(), "Smith", number); }

  std::string file_ = dir_.File("work.dbf");
  db::SupportDb support_{engine_, table_reporter_};
  db::TimeRecordDb db_{engine_, table_reporter_, support_, {}};
  app::CSettings settings_;
  UserIndex index_{db_, settings_, FilterScope{true, "Smith"}};
  int changes_ = 0;
};

TEST_F(UserIndexTest, FilterAdmitsTheMatchingRecordsInSortOrderEitherWay) {
  ActingUserInterface ui(ui_);
  index_.set_user_interface(ui);
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("acme")), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"));
  EXPECT_EQ(db_.CountRecords(true), 3);
  EXPECT_TRUE(index_.is_open());
  EXPECT_EQ(index_.file_name(), Smith(0));
  EXPECT_TRUE(fs::exists(Smith(0)));
  EXPECT_THAT(ui.wait_cursor, ElementsAre(true, false));

  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(false), ClientFilter("acme")), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("review", "design", "build"));
  EXPECT_EQ(index_.file_name(), Smith(0)) << "a rebuild reuses the run's own name";
  EXPECT_EQ(changes_, 2);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());

  // The end-time order of every record stays beside it for the overlap check.
  core::TimeRecord found;
  EXPECT_EQ(db_.FindOverlap(Record("Smith", "Zeta", "x", 4, 11), found), 2);
  EXPECT_EQ(std::string(found.descriptors[core::kActivityDescriptor].view()), "call");
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("review", "design", "build"));
}

TEST_F(UserIndexTest, PersonWithoutAdministratorAccessSeesOnlyTheirOwnRecords) {
  UserIndex restricted(db_, settings_, FilterScope{false, "Smith"});
  ASSERT_EQ(restricted.ApplyFilterAndSort(ByStart(true), RecordFilter{}), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "call"));
  ASSERT_EQ(restricted.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design"));
}

TEST_F(UserIndexTest, FilteredSetIsDecidedByTheFilterWithoutMoving) {
  EXPECT_FALSE(index_.IsInFilteredSet(1)) << "no user index yet";
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  core::TimeRecord record;
  ASSERT_EQ(db_.FirstRecord(record), 0);
  EXPECT_TRUE(index_.IsInFilteredSet(1));
  EXPECT_FALSE(index_.IsInFilteredSet(2));
  EXPECT_TRUE(index_.IsInFilteredSet(3));
  EXPECT_FALSE(index_.IsInFilteredSet(6));
  EXPECT_FALSE(index_.IsInFilteredSet(0));
  EXPECT_EQ(db_.CurrentRecordNumber(), 4) << "the cursor stays on the first record";
  ASSERT_EQ(db_.DeleteRecord(1, true), 0);
  EXPECT_FALSE(index_.IsInFilteredSet(1));
}

// A filter of description rows whose expression is exactly `length`
// characters long.
RecordFilter FilterOfLength(std::size_t length, const FilterScope& scope) {
  RecordFilter filter;
  filter.enabled = 1;
  constexpr int kRows = 5;
  for (int i = 0; i < kRows; ++i) {
    const std::int16_t link = i + 1 < kRows ? kLinkAnd : kLinkEnd;
    filter.rows[i] = {kFieldDescription, kCompareContains, "", link};
  }
  std::size_t missing = length - BuildFilterExpression(filter, scope).size();
  for (int i = 0; i < kRows && missing > 0; ++i) {
    const std::size_t add = std::min(missing, kMaxFilterTarget);
    filter.rows[i].target.assign(add, 'Q');
    missing -= add;
  }
  EXPECT_EQ(BuildFilterExpression(filter, scope).size(), length);
  return filter;
}

TEST_F(UserIndexTest, FilterOf256CharactersIsRefusedAndThePreviousIndexStays) {
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  EXPECT_EQ(index_.ApplyFilterAndSort(ByStart(true), FilterOfLength(256, index_.scope())),
            kFilterTooLong);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(kFilterTooLong));
  EXPECT_TRUE(index_.is_open());
  EXPECT_TRUE(fs::exists(index_.file_name()));
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"));
  EXPECT_EQ(changes_, 1);

  ui_.Clear();
  EXPECT_EQ(index_.ApplyFilterAndSort(ByStart(true), FilterOfLength(255, index_.scope())), 0);
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
  EXPECT_THAT(TasksInOrder(db_), IsEmpty());
}

TEST_F(UserIndexTest, FileInUseAsks417AndYesTriesTheNamesAgain) {
  db_.CloseTemporaryIndex();  // Smith.tmp becomes another run's below
  std::deque<HeldFile> others;
  for (int number = 0; number <= db::kLastTemporaryIndexNumber; ++number) {
    others.emplace_back(Smith(number));
  }
  ActingUserInterface acting(ui_);
  app::ErrorReporter reporter(acting, dir_.File("quillmk.ini"));
  app::ScopedReporter installed(reporter);
  // The other runs end while the question is open.
  acting.on_question = [&] { others.clear(); };
  ui_.QueueAnswer(platform::Button::kYes);

  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  EXPECT_THAT(ui_.Numbers(), ElementsAre(app::kInternalErrorMessage, kIndexLockedRetry));
  EXPECT_EQ(index_.file_name(), Smith(0));
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"));
}

TEST_F(UserIndexTest, FileInUseAnsweredNoIs297WithTheFileNameAndNoIndex) {
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  index_.CloseUserIndex();
  std::deque<HeldFile> others;
  for (int number = 0; number <= db::kLastTemporaryIndexNumber; ++number) {
    others.emplace_back(Smith(number));
  }
  ui_.QueueAnswer(platform::Button::kNo);
  EXPECT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Zeta")), kIndexNotCreated);
  EXPECT_THAT(ui_.Numbers(),
              ElementsAre(app::kInternalErrorMessage, kIndexLockedRetry, kIndexNotCreated));
  EXPECT_THAT(ui_.Texts().back(), HasSubstr("'" + Smith(98) + "'"));
  EXPECT_FALSE(index_.is_open());
  EXPECT_FALSE(db_.has_temporary_index());
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(index_.ReindexUserIndex(), kNoIndexFileName);
  EXPECT_TRUE(fs::exists(Smith(98))) << "another run's file is never deleted";
}

TEST_F(UserIndexTest, SavedDefinitionsRebuildAndClearFilterSavesTheFlag) {
  ASSERT_EQ(SaveFilter(settings_, ClientFilter("Acme")), 0);
  ASSERT_EQ(SaveSortOrder(settings_, ByStart(false)), 0);
  ASSERT_EQ(index_.RebuildFromSettings(), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("review", "design", "build"));

  EXPECT_EQ(index_.SetFilterEnabled(0), 1);
  EXPECT_EQ(db_.CountRecords(true), 5);
  EXPECT_FALSE(IsFilterEnabled(settings_));
  EXPECT_EQ(LoadFilter(settings_).rows[0].target, "Acme") << "the rows stay stored";

  EXPECT_EQ(index_.SetFilterEnabled(1), 0);
  EXPECT_EQ(db_.CountRecords(true), 3);
  EXPECT_TRUE(IsFilterEnabled(settings_));
}

TEST_F(UserIndexTest, ClosingDeletesTheFileAndLeavesNothingToReindex) {
  EXPECT_EQ(index_.ReindexUserIndex(), kNoIndexFileName);
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  EXPECT_EQ(index_.ReindexUserIndex(), 0);
  EXPECT_EQ(changes_, 2);
  index_.CloseUserIndex();
  EXPECT_FALSE(index_.is_open());
  EXPECT_THAT(TemporaryFiles(dir_.path()), IsEmpty());
  EXPECT_EQ(index_.ReindexUserIndex(), kNoIndexFileName);
  EXPECT_FALSE(index_.IsInFilteredSet(1));
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

// Another program adds two records, one for Acme and one for Orbit, and
// raises the change counter, as a whole run of its own would.
int AddInAnotherProcess(const std::string& file) {
  int failures = 0;
  {
    db::test::DbTestEnv env;
    db::SupportDb support(env.engine_, env.table_reporter_);
    support.set_user_name("Jones");
    db::TimeRecordDb db(env.engine_, env.table_reporter_, support, {});
    failures += support.SetUserActive(file, "Jones", true) != 0;
    failures += db.OpenTimeRecordDb(file) != 0;
    failures += db.RememberChangeCounter() != 0;
    failures += db.AddRecord(Record("Jones", "Acme", "late acme", 7, 9), true) != 0;
    failures += db.AnnounceChange() != 0;
    failures += db.AddRecord(Record("Jones", "Orbit", "late orbit", 7, 11), true) != 0;
    failures += db.AnnounceChange() != 0;
    failures += support.SetUserActive(file, "Jones", false) != 0;
    failures += db.CloseTimeRecordDb() != 0;
  }
  return failures;
}

TEST_F(UserIndexTest, AnotherProcessesAddIsSeenAfterThePollAndReindex) {
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  EXPECT_FALSE(index_.PollForIndexChanges());

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(AddInAnotherProcess(file_) == 0 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"))
      << "unseen until the poll";
  EXPECT_TRUE(index_.PollForIndexChanges());
  ASSERT_EQ(index_.ReindexUserIndex(), 0);
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review", "late acme"));
  EXPECT_TRUE(index_.IsInFilteredSet(6));
  EXPECT_FALSE(index_.IsInFilteredSet(7));
  EXPECT_FALSE(index_.PollForIndexChanges()) << "the new counter is noted";
  EXPECT_THAT(ui_.Numbers(), IsEmpty());
}

// Smith's second run on the same database, in a process of its own: it
// reports its file name through `report` and closes when `proceed` says so.
int SecondRun(const std::string& file, int report, int proceed) {
  int failures = 0;
  {
    db::test::DbTestEnv env;
    db::SupportDb support(env.engine_, env.table_reporter_);
    support.set_user_name("Smith");
    db::TimeRecordDb db(env.engine_, env.table_reporter_, support, {});
    app::CSettings settings;
    settings.Bind(env.dir_.File("Smith.ini"));
    failures += db.OpenTimeRecordDb(file) != 0;
    UserIndex index(db, settings, FilterScope{true, "Smith"});
    failures += index.ApplyFilterAndSort(ByStart(true), ClientFilter("Zeta")) != 0;
    failures += TasksInOrder(db) != std::vector<std::string>{"call"};
    const std::string name = index.file_name() + "\n";
    failures += write(report, name.data(), name.size()) != static_cast<ssize_t>(name.size());
    char go = 0;
    failures += read(proceed, &go, 1) != 1;
    index.CloseUserIndex();
    failures += db.CloseTimeRecordDb() != 0;
  }
  return failures;
}

TEST_F(UserIndexTest, TwoRunsOfOnePersonUseTmpAndT01AndLeaveNothingBehind) {
  ASSERT_EQ(index_.ApplyFilterAndSort(ByStart(true), ClientFilter("Acme")), 0);
  int report[2];
  int proceed[2];
  ASSERT_EQ(pipe(report), 0);
  ASSERT_EQ(pipe(proceed), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(report[0]);
    close(proceed[1]);
    _exit(SecondRun(file_, report[1], proceed[0]) == 0 ? 0 : 1);
  }
  close(report[1]);
  close(proceed[0]);
  std::string reported;
  char c = 0;
  while (read(report[0], &c, 1) == 1 && c != '\n') reported.push_back(c);
  close(report[0]);

  EXPECT_EQ(reported, Smith(1));
  EXPECT_EQ(index_.file_name(), Smith(0));
  EXPECT_THAT(TemporaryFiles(dir_.path()), ::testing::UnorderedElementsAre("Smith.tmp", "Smith.t01"));
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"));

  ASSERT_EQ(write(proceed[1], "g", 1), 1);
  close(proceed[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_THAT(TemporaryFiles(dir_.path()), ElementsAre("Smith.tmp"));
  EXPECT_THAT(TasksInOrder(db_), ElementsAre("build", "design", "review"));

  index_.CloseUserIndex();
  ASSERT_EQ(db_.CloseTimeRecordDb(), 0);
  EXPECT_THAT(TemporaryFiles(dir_.path()), IsEmpty());
}

}  // namespace
}  // namespace qm::view
