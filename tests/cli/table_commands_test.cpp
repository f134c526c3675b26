#include "cli/table_commands.h"

#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/data_file.h"
#include "engine/engine.h"
#include "engine/index_file.h"
#include "engine/mdx_file.h"
#include "engine/raw_file.h"
#include "engine/table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/test_paths.h"

namespace qm::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunCommand(int (*run)(CommandContext&), std::vector<std::string> args, bool json = false) {
  test::ScriptedUserInterface ui;
  std::ostringstream out;
  std::ostringstream err;
  GlobalOptions options;
  options.json = json;
  CommandContext context{options, std::move(args), ui, out, err};
  const int status = run(context);
  return {status, out.str(), err.str()};
}

struct Row {
  std::string name;
  double amount;
  int julian_day;  // 0: empty
  bool done;
  std::string notes;
  bool deleted = false;
};

// 2024-01-01 is Julian day 2460311.
constexpr int kJan1 = 2460311;

// A small table with a memo and a production index of three tags: a
// unique character key, a descending numeric key, and a date key with a
// FOR filter.
class TableCommandsTest : public ::testing::Test {
 protected:
  TableCommandsTest() : path_(dir_.File("work.dbf")), mdx_(dir_.File("work.mdx")) {}

  void SetUp() override {
    Make({{"Pear", 3.5, kJan1 + 2, true, "ripe, \"soft\""},
          {"apple", 12, kJan1, false, "line one\nline two"},
          {"Fig", -1.25, 0, true, "", true},
          {"Banana", 7, kJan1 + 1, false, "ok"}});
  }

  void Make(const std::vector<Row>& rows) {
    engine::TableEngine engine;
    auto table = engine::Table::Create(engine, path_,
                                       {{"NAME", 'C', 10, 0},
                                        {"AMOUNT", 'N', 8, 2},
                                        {"DAY", 'D', 8, 0},
                                        {"DONE", 'L', 1, 0},
                                        {"NOTES", 'M', 10, 0}});
    ASSERT_NE(table, nullptr);
    for (const Row& row : rows) {
      ASSERT_EQ(table->AppendStart(), 0);
      table->Blank();
      table->FieldByName("NAME")->AssignText(row.name);
      table->FieldByName("AMOUNT")->AssignNumber(row.amount, 2);
      table->FieldByName("DAY")->AssignJulianDay(row.julian_day);
      table->FieldByName("DONE")->AssignLogical(row.done);
      table->FieldByName("NOTES")->AssignMemo(row.notes);
      ASSERT_EQ(table->Append(), 0);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i].deleted) continue;
      ASSERT_EQ(table->Go(static_cast<engine::RecordNumber>(i + 1)), 0);
      ASSERT_EQ(table->Delete(), 0);
    }
    ASSERT_EQ(table->Flush(), 0);
    engine::IndexFileOptions options;
    options.production = true;
    options.base_name = "WORK";
    std::unique_ptr<engine::IndexFile> index;
    engine::FileStatus status = engine::IndexFile::Create(
        mdx_, table->layout(),
        {{"NAME", "UPPER(NAME)", "", engine::kUniqueKeep, engine::kAscending},
         {"AMOUNT", "AMOUNT", "", 0, engine::kDescending},
         {"DAY", "DAY", ".NOT. DELETED()", 0, engine::kAscending}},
        *table, &index, options);
    ASSERT_TRUE(status.ok()) << status.text;
    index.reset();
    table->Close();
    engine::DataFile data;
    ASSERT_TRUE(data.Open(path_).ok());
    ASSERT_TRUE(data.SetIndexFlags(true, std::vector<bool>(5, false)).ok());
  }

  // Changes a record's bytes behind the index's back.
  void Overwrite(engine::RecordNumber number, std::size_t offset, std::string_view bytes) {
    engine::DataFile data;
    ASSERT_TRUE(data.Open(path_).ok());
    std::vector<char> record(data.layout().record_length());
    ASSERT_TRUE(data.ReadRecord(number, record).ok());
    std::copy(bytes.begin(), bytes.end(), record.begin() + static_cast<long>(offset));
    ASSERT_TRUE(data.WriteRecord(number, record).ok());
  }

  test::TempDir dir_;
  std::string path_;
  std::string mdx_;
};

TEST_F(TableCommandsTest, InfoDescribesHeaderFieldsAndTags) {
  Outcome text = RunCommand(RunTableInfo, {path_});
  ASSERT_EQ(text.status, kExitOk) << text.err;
  EXPECT_THAT(text.out, HasSubstr("version: 0x8B (dBASE IV with memo)\n"));
  EXPECT_THAT(text.out, HasSubstr("records: 4\n"));
  EXPECT_THAT(text.out, HasSubstr("index file: " + mdx_ + "\n"));
  EXPECT_THAT(text.out, HasSubstr("(blocks of 512 bytes)"));
  EXPECT_THAT(text.out, HasSubstr("    2  AMOUNT      N    8   2\n"));
  EXPECT_THAT(text.out, HasSubstr("  NAME: key UPPER(NAME) (C 10), unique\n"));
  EXPECT_THAT(text.out, HasSubstr("  AMOUNT: key AMOUNT (N 12), descending\n"));
  EXPECT_THAT(text.out, HasSubstr("  DAY: key DAY (D 8), FOR .NOT. DELETED()\n"));

  Outcome json = RunCommand(RunTableInfo, {path_}, /*json=*/true);
  ASSERT_EQ(json.status, kExitOk) << json.err;
  EXPECT_THAT(json.out, HasSubstr("\"records\": 4"));
  EXPECT_THAT(json.out, HasSubstr("\"production_index_flag\": true"));
  EXPECT_THAT(json.out, HasSubstr("{\"name\": \"DAY\", \"key\": \"DAY\", \"for\": \".NOT. "
                                  "DELETED()\", \"key_type\": \"D\", \"key_length\": 8, "
                                  "\"unique\": false, \"descending\": false}"));
}

TEST_F(TableCommandsTest, DumpInRecordAndTagOrder) {
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const std::string header = "NAME,AMOUNT,DAY,DONE,NOTES\n";
  const std::string pear = "Pear,3.50,20240103,T,\"ripe, \"\"soft\"\"\"\n";
  const std::string apple = "apple,12.00,20240101,F,\"line one\nline two\"\n";
  const std::string fig = "Fig,-1.25,,T,\n";
  const std::string banana = "Banana,7.00,20240102,F,ok\n";
  const Case cases[] = {
      {{path_}, header + pear + apple + banana},
      {{path_, "--deleted"}, "DELETED()," + header + "," + pear + "," + apple + "*," + fig + "," + banana},
      {{path_, "--tag", "name"}, header + apple + banana + pear},
      {{path_, "--tag", "AMOUNT", "--deleted", "--recno"},
       "DELETED(),RECNO()," + header + ",2," + apple + ",4," + banana + ",1," + pear + "*,3," + fig},
      {{path_, "--tag", "DAY", "--deleted"}, "DELETED()," + header + "," + apple + "," + banana + "," + pear},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCommand(RunTableDump, c.args);
    EXPECT_EQ(outcome.status, kExitOk) << outcome.err;
    EXPECT_EQ(outcome.out, c.expected) << testing::PrintToString(c.args);
  }
}

TEST_F(TableCommandsTest, DumpAsJsonTypesTheValues) {
  Outcome outcome = RunCommand(RunTableDump, {path_, "--format", "json", "--deleted", "--tag", "DAY"});
  ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
  EXPECT_EQ(outcome.out,
            "{\"file\": \"" + path_ + "\", \"fields\": [\"NAME\", \"AMOUNT\", \"DAY\", \"DONE\", "
            "\"NOTES\"], \"records\": [\n"
            "{\"recno\": 2, \"deleted\": false, \"values\": {\"NAME\": \"apple\", \"AMOUNT\": 12.00, "
            "\"DAY\": \"20240101\", \"DONE\": false, \"NOTES\": \"line one\\nline two\"}},\n"
            "{\"recno\": 4, \"deleted\": false, \"values\": {\"NAME\": \"Banana\", \"AMOUNT\": 7.00, "
            "\"DAY\": \"20240102\", \"DONE\": false, \"NOTES\": \"ok\"}},\n"
            "{\"recno\": 1, \"deleted\": false, \"values\": {\"NAME\": \"Pear\", \"AMOUNT\": 3.50, "
            "\"DAY\": \"20240103\", \"DONE\": true, \"NOTES\": \"ripe, \\\"soft\\\"\"}}\n"
            "]}\n");
  Outcome deleted = RunCommand(RunTableDump, {path_, "--deleted"}, /*json=*/true);
  EXPECT_THAT(deleted.out, HasSubstr("{\"recno\": 3, \"deleted\": true, \"values\": {\"NAME\": "
                                     "\"Fig\", \"AMOUNT\": -1.25, \"DAY\": null, \"DONE\": true, "
                                     "\"NOTES\": \"\"}}"));
}

TEST_F(TableCommandsTest, SeekFindsKeysOfEveryType) {
  struct Case {
    std::vector<std::string> args;
    int status;
    int record;  // the record printed, 0 for none
  };
  const Case cases[] = {
      {{path_, "NAME", "BANANA"}, kExitOk, 4},
      {{path_, "name", "PE"}, kExitOk, 1},          // a prefix finds the first key that begins so
      {{path_, "NAME", "C"}, kExitFailed, 3},       // next greater: FIG
      {{path_, "NAME", "ZZ"}, kExitFailed, 0},      // nothing greater
      {{path_, "AMOUNT", "7"}, kExitOk, 4},
      {{path_, "AMOUNT", "5"}, kExitFailed, 1},     // descending: 3.50 follows 5
      {{path_, "DAY", "20240102"}, kExitOk, 4},
      {{path_, "DAY", "Jan 2"}, kExitFailed, 0},    // no CCYYMMDD date
      {{path_, "NOSUCH", "x"}, kExitFailed, 0},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCommand(RunTableSeek, c.args);
    EXPECT_EQ(outcome.status, c.status) << testing::PrintToString(c.args) << outcome.err;
    if (c.record) {
      EXPECT_THAT(outcome.out, HasSubstr("record: " + std::to_string(c.record)))
          << testing::PrintToString(c.args);
    } else {
      EXPECT_THAT(outcome.out, IsEmpty()) << testing::PrintToString(c.args);
    }
    if (c.status != kExitOk) {
      EXPECT_THAT(outcome.err, Not(IsEmpty()));
    }
  }
  Outcome found = RunCommand(RunTableSeek, {path_, "NAME", "APPLE"});
  EXPECT_EQ(found.out,
            "record: 2\nNAME: apple\nAMOUNT: 12.00\nDAY: 20240101\nDONE: F\nNOTES: line one\nline "
            "two\n");
}

TEST_F(TableCommandsTest, CheckFindsADisagreementAndReindexMendsIt) {
  Outcome clean = RunCommand(RunTableCheck, {path_});
  EXPECT_EQ(clean.status, kExitOk) << clean.err;
  EXPECT_EQ(clean.out, "work.dbf: 4 records, 3 tags: ok\n");

  Overwrite(4, 1, "Zucchini  ");  // NAME of record 4, the index still says BANANA
  Outcome stale = RunCommand(RunTableCheck, {path_});
  EXPECT_EQ(stale.status, kExitFailed);
  EXPECT_THAT(stale.err, HasSubstr("NAME"));
  EXPECT_THAT(stale.out, IsEmpty());

  Outcome reindex = RunCommand(RunTableReindex, {path_});
  EXPECT_EQ(reindex.status, kExitOk) << reindex.err;
  EXPECT_EQ(reindex.out, "rebuilt 3 tags of work.mdx from 4 records\n");
  EXPECT_EQ(RunCommand(RunTableCheck, {path_}).status, kExitOk);
  EXPECT_EQ(RunCommand(RunTableSeek, {path_, "NAME", "ZUCCHINI"}).status, kExitOk);
}

TEST_F(TableCommandsTest, CheckReadsEveryMemo) {
  // A memo reference beyond the end of the memo file.
  Overwrite(4, 1 + 10 + 8 + 8 + 1, "      9999");
  Outcome outcome = RunCommand(RunTableCheck, {path_});
  EXPECT_EQ(outcome.status, kExitFailed);
  EXPECT_THAT(outcome.err, HasSubstr("record 4, field NOTES"));
}

TEST_F(TableCommandsTest, PackRemovesDeletedRecordsAndRebuildsTheIndex) {
  Outcome outcome = RunCommand(RunTablePack, {path_});
  ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
  EXPECT_EQ(outcome.out,
            "packed work.dbf: 3 records kept, 1 deleted records removed\n"
            "rebuilt 3 tags of work.mdx from 3 records\n");
  EXPECT_EQ(RunCommand(RunTableCheck, {path_}).status, kExitOk);
  Outcome dump = RunCommand(RunTableDump, {path_, "--tag", "AMOUNT", "--deleted", "--recno"});
  EXPECT_EQ(dump.out,
            "DELETED(),RECNO(),NAME,AMOUNT,DAY,DONE,NOTES\n"
            ",2,apple,12.00,20240101,F,\"line one\nline two\"\n"
            ",3,Banana,7.00,20240102,F,ok\n"
            ",1,Pear,3.50,20240103,T,\"ripe, \"\"soft\"\"\"\n");
}

TEST_F(TableCommandsTest, AMissingProductionIndexIsReported) {
  ASSERT_EQ(std::remove(mdx_.c_str()), 0);
  Outcome info = RunCommand(RunTableInfo, {path_});
  EXPECT_EQ(info.status, kExitOk) << info.err;
  EXPECT_THAT(info.out, HasSubstr("index file: missing (" + mdx_ + ")\n"));
  for (auto run : {RunTableCheck, RunTableReindex, RunTablePack}) {
    Outcome outcome = RunCommand(run, {path_});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_THAT(outcome.err, HasSubstr("production index"));
  }
  // Dumping in record order needs no index.
  EXPECT_EQ(RunCommand(RunTableDump, {path_}).status, kExitOk);
  EXPECT_EQ(RunCommand(RunTableDump, {path_, "--tag", "NAME"}).status, kExitFailed);
}

TEST_F(TableCommandsTest, ADamagedIndexFailsWithoutTouchingTheData) {
  {
    engine::RawFile file;
    ASSERT_TRUE(file.Open(mdx_, engine::RawFile::Mode::kReadWrite));
    unsigned char entry[4];  // the first tag's header page, from the tag table
    ASSERT_TRUE(file.ReadAt(544, std::span<char>(reinterpret_cast<char*>(entry), 4)));
    const std::uint64_t page = entry[0] | entry[1] << 8 | entry[2] << 16 | entry[3] << 24;
    const std::string junk(512, '\x7f');
    ASSERT_TRUE(file.WriteAt(page * 512, junk));
  }
  const Outcome before = RunCommand(RunTableDump, {path_, "--deleted"});
  for (auto run : {RunTableCheck, RunTablePack}) {
    Outcome outcome = RunCommand(run, {path_});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_THAT(outcome.err, Not(IsEmpty()));
  }
  EXPECT_EQ(RunCommand(RunTableDump, {path_, "--deleted"}).out, before.out);
}

TEST_F(TableCommandsTest, SeparateIndexFileByOption) {
  const std::string user_index = dir_.File("SMITH.tmp");
  {
    engine::TableEngine engine;
    engine.settings().auto_open = false;
    auto table = engine::Table::Open(engine, path_);
    ASSERT_NE(table, nullptr);
    std::unique_ptr<engine::IndexFile> index;
    ASSERT_TRUE(engine::IndexFile::Create(user_index, table->layout(),
                                          {{"USERTAG", "DTOS(DAY)+NAME", ".NOT. DELETED()", 0, 0}},
                                          *table, &index)
                    .ok());
  }
  Outcome dump = RunCommand(RunTableDump, {path_, "--tag", "USERTAG", "--index", user_index, "--recno"});
  EXPECT_EQ(dump.status, kExitOk) << dump.err;
  EXPECT_THAT(dump.out, HasSubstr("\n2,apple"));
  EXPECT_EQ(RunCommand(RunTableCheck, {path_, "--index", user_index}).out,
            "work.dbf: 4 records, 1 tag: ok\n");
  EXPECT_EQ(RunCommand(RunTableCheck, {path_, "--index", dir_.File("none.tmp")}).status, kExitFailed);
}

TEST_F(TableCommandsTest, UsageErrors) {
  struct Case {
    int (*run)(CommandContext&);
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {RunTableInfo, {}},
      {RunTableInfo, {path_, "extra"}},
      {RunTableDump, {path_, "--format", "xml"}},
      {RunTableDump, {path_, "--tag"}},
      {RunTableDump, {path_, "--bogus"}},
      {RunTableSeek, {path_, "NAME"}},
      {RunTablePack, {path_, "--index", mdx_}},
      {RunTableCheck, {}},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCommand(c.run, c.args);
    EXPECT_EQ(outcome.status, kExitUsage) << testing::PrintToString(c.args);
    EXPECT_THAT(outcome.err, HasSubstr("usage: quillmk-cli table "));
  }
  Outcome missing = RunCommand(RunTableInfo, {dir_.File("absent.dbf")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));
}

TEST(TableCommandsRegistration, EveryCommandIsListed) {
  std::vector<Command> commands;
  AddTableCommands(commands);
  std::vector<std::string> names;
  for (const Command& c : commands) names.push_back(c.name);
  EXPECT_THAT(names, ::testing::ElementsAre("table info", "table dump", "table seek",
                                            "table reindex", "table pack", "table check"));
}

// --- Files that other programs wrote -------------------------------------------------

struct FixtureTable {
  const char* file;
  int records;
  int tags;
};

TEST(TableCommandsFixtureTest, EveryFixtureDescribesChecksAndDumps) {
  const FixtureTable fixtures[] = {
      {"dbase/step7/XR000001.DBF", 6, 4}, {"dbase/step7/HRELATI1.DBF", 11, -1},
      {"dbase/step7/HATTRME1.DBF", 6, 2}, {"dbase/step7/SYMLIST.DBF", 4, 5},
      {"dbase/step7/BAUSTEIN.DBF", 2, -1}, {"dbase/step7/S7CONTAI.DBF", 0, 3},
      {"dbase/bde_memo/BDE_TEST_4_512.dbf", -1, 0}, {"dbase/bde_memo/BDE_TEST_4_64.dbf", -1, 0},
  };
  for (const FixtureTable& fixture : fixtures) {
    const std::string path = test::FixturePath(fixture.file);
    if (path.empty()) GTEST_SKIP() << "the fixtures of dbase/ are absent";
    SCOPED_TRACE(fixture.file);

    Outcome info = RunCommand(RunTableInfo, {path});
    ASSERT_EQ(info.status, kExitOk) << info.err;
    if (fixture.records >= 0) {
      EXPECT_THAT(info.out, HasSubstr("records: " + std::to_string(fixture.records) + "\n"));
    }
    Outcome check = RunCommand(RunTableCheck, {path});
    EXPECT_EQ(check.status, kExitOk) << check.err;
    if (fixture.tags >= 0) {
      EXPECT_THAT(check.out, HasSubstr(std::to_string(fixture.tags) + (fixture.tags == 1 ? " tag" : " tags") + ": ok"));
    }
    Outcome dump = RunCommand(RunTableDump, {path, "--deleted"});
    EXPECT_EQ(dump.status, kExitOk) << dump.err;
    Outcome json = RunCommand(RunTableDump, {path, "--deleted", "--format", "json"});
    EXPECT_EQ(json.status, kExitOk) << json.err;
  }
}

TEST(TableCommandsFixtureTest, SeeksInAFixtureIndex) {
  const std::string path = test::FixturePath("dbase/step7/XR000001.DBF");
  if (path.empty()) GTEST_SKIP() << "the fixtures of dbase/step7 are absent";
  Outcome numeric = RunCommand(RunTableSeek, {path, "TAG_ID", "3"});
  EXPECT_EQ(numeric.status, kExitOk) << numeric.err;
  EXPECT_THAT(numeric.out, HasSubstr("record: 2\n"));
  Outcome character = RunCommand(RunTableSeek, {path, "tag_blktnu", "12"});
  EXPECT_EQ(character.status, kExitOk) << character.err;
  EXPECT_THAT(character.out, HasSubstr("record: 6\n"));
}

}  // namespace
}  // namespace qm::cli
