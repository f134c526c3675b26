#include "engine/db_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/file_lock.h"
#include "engine/raw_file.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Shown {
  std::string kind;  // "show" or "report"
  int number;
  std::string file;
  bool operator==(const Shown&) const = default;
};

class RecordingReporter : public TableReporter {
 public:
  void ShowMessage(int number, std::string_view file) override {
    shown.push_back({"show", number, std::string(file)});
  }
  void ReportDatabaseError(std::string_view file, int fallback) override {
    shown.push_back({"report", fallback, std::string(file)});
  }
  std::vector<Shown> shown;
};

const std::vector<FieldSpec> kFields = {{"NAME", 'C', 8, 0}, {"HOURS", 'N', 6, 2}};

class DbTableTest : public ::testing::Test {
 protected:
  // A table of `records` records whose header is then edited by `edit`.
  std::string MakeFile(int records, const std::function<void(std::string&)>& edit = {}) {
    const std::string path = dir_.File("t.dbf");
    std::remove(path.c_str());
    {
      std::unique_ptr<Table> table = Table::Create(engine_, path, kFields);
      EXPECT_NE(table, nullptr);
      for (int i = 0; i < records; ++i) {
        table->AppendStart();
        table->FieldByName("NAME")->AssignText("N" + std::to_string(i));
        table->Append();
      }
    }
    if (edit) {
      std::string bytes = ReadAll(path);
      edit(bytes);
      WriteAll(path, bytes);
    }
    return path;
  }

  static std::uint32_t CountInHeader(const std::string& path) {
    const std::string bytes = ReadAll(path);
    return static_cast<unsigned char>(bytes[4]) | static_cast<unsigned char>(bytes[5]) << 8;
  }

  test::TempDir dir_;
  TableEngine engine_;
  RecordingReporter reporter_;
};

TEST_F(DbTableTest, HeaderCountIsRepairedOnlyWhenTheHeaderLooksSound) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> edit;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"says 10, holds 12", [](std::string& b) { b[4] = 10; }, 12},
      {"says 14, holds 12", [](std::string& b) { b[4] = 14; }, 12},
      {"torn last record", [](std::string& b) { b[4] = 10; b.resize(b.size() - 5); }, 11},
      {"last header byte not 13", [](std::string& b) { b[4] = 10; b[32 + 64] = 0; }, 10},
      {"month 0", [](std::string& b) { b[4] = 10; b[2] = 0; }, 10},
      {"day 32", [](std::string& b) { b[4] = 10; b[3] = 32; }, 10},
      {"year byte 50", [](std::string& b) { b[4] = 10; b[1] = 50; }, 10},
      {"year mod 100", [](std::string& b) { b[4] = 10; b[1] = 24; }, 12},
      {"not a data file", [](std::string& b) { b[4] = 10; b[0] = 0x05; }, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = MakeFile(12, c.edit);
    DbTable db(engine_, reporter_);
    EXPECT_EQ(db.CheckHeaderRecordCount(path), 0);
    EXPECT_EQ(CountInHeader(path), c.expected);
  }
  DbTable db(engine_, reporter_);
  EXPECT_EQ(db.CheckHeaderRecordCount(dir_.File("absent.dbf")), 0);
}

TEST_F(DbTableTest, HeaderIsLeftAloneWhileAnotherOpenAppends) {
  const std::string path = MakeFile(12, [](std::string& b) { b[4] = 11; });
  RawFile appender;
  ASSERT_TRUE(appender.Open(path, RawFile::Mode::kReadWrite).ok());
  ByteLock lock;
  ASSERT_EQ(ByteLock::TryAcquire(appender.fd(), kAppendLockByte, LockKind::kExclusive, lock), 0);
  DbTable db(engine_, reporter_);
  db.CheckHeaderRecordCount(path);
  EXPECT_EQ(CountInHeader(path), 11u);
}

TEST_F(DbTableTest, OpenOrCreateOpensARepairedFileOrCreatesANewOne) {
  const std::string path = MakeFile(12, [](std::string& b) { b[4] = 10; });
  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, {}), 0);
  EXPECT_EQ(db.table()->RecordCount(), 12u);
  EXPECT_EQ(db.CloseTable(), 0);
  EXPECT_FALSE(db.is_open());

  const std::string fresh = dir_.File("fresh.dbf");
  ASSERT_EQ(db.OpenOrCreate(fresh, kFields, {}), 0);
  EXPECT_EQ(db.table()->RecordCount(), 0u);
  EXPECT_EQ(db.table()->FieldNumber("HOURS"), 2);
  EXPECT_TRUE(reporter_.shown.empty());
}

TEST_F(DbTableTest, OpenOrCreateReportsWithTheMessageOfItsStep) {
  DbTable db(engine_, reporter_);
  const std::string nowhere = dir_.File("no/such/folder/t.dbf");
  EXPECT_EQ(db.OpenOrCreate(nowhere, kFields, {}), kErrorOpen);
  const std::string garbage = dir_.File("garbage.dbf");
  WriteAll(garbage, std::string(100, 'x'));
  EXPECT_EQ(db.OpenOrCreate(garbage, kFields, {}), kErrorData);
  EXPECT_EQ(ReadAll(garbage), std::string(100, 'x')) << "nothing written to a file that is no table";
  EXPECT_EQ(reporter_.shown, (std::vector<Shown>{{"report", kMessageCannotCreate, nowhere},
                                                 {"report", kMessageCannotOpen, garbage}}));
}

TEST_F(DbTableTest, ProductionIndexFlagIsClearedAndForcedOnRequest) {
  const std::string path = MakeFile(1);
  const std::string index = dir_.File("t.mdx");
  DbTable db(engine_, reporter_);

  WriteAll(index, "stale index");
  EXPECT_EQ(db.ForceIndexRebuild(path), 0);
  EXPECT_EQ(ReadAll(path)[28], 1);
  EXPECT_FALSE(FileExists(index)) << "deleted, so that the next open rebuilds it";

  WriteAll(index, "current index");
  EXPECT_EQ(db.ForceIndexRebuild(path), 0);
  EXPECT_TRUE(FileExists(index)) << "byte 28 was already 1: nothing to do";

  EXPECT_EQ(db.ClearProductionIndexFlag(path), 0);
  EXPECT_EQ(ReadAll(path)[28], 0);
  EXPECT_EQ(db.ClearProductionIndexFlag(dir_.File("absent.dbf")), kErrorOpen);
  EXPECT_TRUE(reporter_.shown.empty());
}

TEST_F(DbTableTest, ForceIndexRebuildKeepsAnIndexThatIsInUse) {
  const std::string path = MakeFile(1);
  const std::string index = dir_.File("T.MDX");
  WriteAll(index, "index in use");
  RawFile user;
  ASSERT_TRUE(user.Open(index, RawFile::Mode::kReadWrite).ok());
  ShareLock share;
  ASSERT_EQ(ShareLock::Acquire(user.fd(), AccessMode::kDenyNone, true, share), 0);

  DbTable db(engine_, reporter_);
  EXPECT_EQ(db.ForceIndexRebuild(path), kIndexNotReplaced);
  EXPECT_TRUE(FileExists(index));
  EXPECT_EQ(reporter_.shown, (std::vector<Shown>{{"show", kMessageIndexInUse, index}}));
}

TEST_F(DbTableTest, EngineErrorsComeBackAs125AndAreSetAside) {
  const std::string path = MakeFile(2);
  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, {}), 0);
  EXPECT_EQ(db.Call([&] { return db.table()->Go(9); }), kOperationIncomplete);
  EXPECT_EQ(db.set_aside_error(), kErrorRead);
  EXPECT_EQ(engine_.error_code(), 0) << "reset after being set aside";
  EXPECT_EQ(db.Call([&] { return db.table()->Skip(5); }), kEndOfFile) << "results pass through";
  EXPECT_EQ(db.Call([&] { return db.table()->Top(); }), 0);
}

TEST_F(DbTableTest, PackOnCloseRemovesDeletedRecords) {
  const std::string path = MakeFile(3);
  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, {}), 0);
  ASSERT_EQ(db.table()->Go(2), 0);
  ASSERT_EQ(db.table()->Delete(), 0);
  EXPECT_EQ(db.PackOnClose(), 0);
  EXPECT_FALSE(db.is_open());
  EXPECT_EQ(engine_.settings().access_mode, AccessMode::kDenyNone) << "restored";
  EXPECT_EQ(CountInHeader(path), 2u);
}

const std::vector<TagSpec> kTags = {{"NAME", "NAME", "", 0, kAscending},
                                    {"LIVE", "STR(HOURS,6,2)+NAME", ".NOT. DELETED()", 0, kAscending}};

// The names in the order of `tag`.
std::vector<std::string> NamesInTag(Table& table, const std::string& tag) {
  std::vector<std::string> names;
  EXPECT_EQ(table.SelectTag(table.TagByName(tag)), 0);
  for (int r = table.Top(); r == 0; r = table.Skip(1)) names.push_back(table.FieldByName("NAME")->Text());
  return names;
}

TEST_F(DbTableTest, DeletedProductionIndexIsRebuiltWith354Then355) {
  const std::string path = dir_.File("idx.dbf");
  {
    DbTable db(engine_, reporter_);
    ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
    for (const char* name : {"bb", "aa", "cc"}) {
      db.table()->AppendStart();
      db.table()->FieldByName("NAME")->AssignText(name);
      ASSERT_EQ(db.table()->Append(), 0);
    }
  }
  ASSERT_EQ(std::remove(dir_.File("idx.mdx").c_str()), 0);

  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
  EXPECT_EQ(reporter_.shown, (std::vector<Shown>{{"show", kMessageDamaged, path},
                                                 {"show", kMessageRepaired, path}}));
  EXPECT_EQ(engine_.settings().access_mode, AccessMode::kDenyNone) << "restored after the rebuild";
  EXPECT_TRUE(engine_.settings().auto_open);
  EXPECT_EQ(NamesInTag(*db.table(), "NAME"),
            (std::vector<std::string>{"aa      ", "bb      ", "cc      "}));
  FileStatus checked = db.table()->FindIndexFile("")->Check(*db.table());
  EXPECT_TRUE(checked.ok()) << checked.text;
  EXPECT_EQ(ReadAll(path)[28], 1);
}

TEST_F(DbTableTest, IndexedTableWhoseHeaderUndercountsOpensWithEveryRecord) {
  const std::string path = dir_.File("idx.dbf");
  {
    DbTable db(engine_, reporter_);
    ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
    for (int i = 0; i < 12; ++i) {
      db.table()->AppendStart();
      db.table()->FieldByName("NAME")->AssignText("N" + std::to_string(100 - i));
      ASSERT_EQ(db.table()->Append(), 0);
    }
  }
  std::string bytes = ReadAll(path);
  bytes[4] = 10;
  WriteAll(path, bytes);

  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
  EXPECT_EQ(db.table()->RecordCount(), 12u);
  EXPECT_EQ(NamesInTag(*db.table(), "LIVE").size(), 12u);
  EXPECT_TRUE(db.table()->FindIndexFile("")->Check(*db.table()).ok());
  EXPECT_TRUE(reporter_.shown.empty()) << "nothing to repair in the index";
}

TEST_F(DbTableTest, ForceIndexRebuildSeesAnIndexThatAnOpenTableHolds) {
  const std::string path = dir_.File("idx.dbf");
  DbTable holder(engine_, reporter_);
  ASSERT_EQ(holder.OpenOrCreate(path, kFields, kTags), 0);
  ASSERT_EQ(holder.table()->SetAlias("HOLDER"), 0);
  ASSERT_EQ(holder.ClearProductionIndexFlag(path), 0);

  DbTable other(engine_, reporter_);
  EXPECT_EQ(other.ForceIndexRebuild(path), kIndexNotReplaced);
  EXPECT_TRUE(FileExists(dir_.File("idx.mdx")));
}

TEST_F(DbTableTest, PackOnCloseKeepsTheProductionIndexInStep) {
  const std::string path = dir_.File("idx.dbf");
  {
    DbTable db(engine_, reporter_);
    ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
    for (const char* name : {"c", "b", "a"}) {
      db.table()->AppendStart();
      db.table()->FieldByName("NAME")->AssignText(name);
      ASSERT_EQ(db.table()->Append(), 0);
    }
    ASSERT_EQ(db.table()->Go(2), 0);
    ASSERT_EQ(db.table()->Delete(), 0);
    ASSERT_EQ(db.PackOnClose(), 0);
  }
  DbTable db(engine_, reporter_);
  ASSERT_EQ(db.OpenOrCreate(path, kFields, kTags), 0);
  EXPECT_EQ(NamesInTag(*db.table(), "NAME"), (std::vector<std::string>{"a       ", "c       "}));
  EXPECT_TRUE(db.table()->FindIndexFile("")->Check(*db.table()).ok());
}

}  // namespace
}  // namespace qm::engine
