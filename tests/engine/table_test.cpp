#include "engine/table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/field_value.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct HookCall {
  int code;
  int where;
  std::string text1, text2;
};

// An engine whose error hook records every report.
class TableTest : public ::testing::Test {
 protected:
  TableTest() {
    engine_.SetErrorHook([this](int code, int where, std::string_view a, std::string_view b,
                                std::string_view) {
      calls_.push_back({code, where, std::string(a), std::string(b)});
    });
  }

  std::vector<FieldSpec> Fields() const {
    return {{"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 11, 0}, {"DAY", 'D', 8, 0},
            {"DONE", 'L', 1, 0},  {"NOTES", 'M', 10, 0}};
  }

  std::unique_ptr<Table> CreateWith(int records) {
    std::unique_ptr<Table> table = Table::Create(engine_, dir_.File("t.dbf"), Fields());
    EXPECT_NE(table, nullptr);
    for (int i = 1; i <= records; ++i) {
      EXPECT_EQ(table->AppendStart(), 0);
      table->Blank();
      table->FieldByName("NAME")->AssignText("R" + std::to_string(i));
      table->FieldByName("AMOUNT")->AssignInteger(i);
      EXPECT_EQ(table->Append(), 0);
    }
    return table;
  }

  std::string Name(Table& table) { return table.FieldByName("NAME")->Text(); }

  test::TempDir dir_;
  TableEngine engine_;
  std::vector<HookCall> calls_;
};

TEST_F(TableTest, EveryFieldTypeSurvivesAReopen) {
  {
    std::unique_ptr<Table> table = CreateWith(0);
    ASSERT_EQ(table->AppendStart(), 0);
    ASSERT_EQ(table->Blank(), 0);
    EXPECT_EQ(table->FieldByName("NAME")->AssignText("Acme Corporation"), 0);
    EXPECT_EQ(table->FieldByName("AMOUNT")->AssignNumber(-1234.5, 1), 0);
    EXPECT_EQ(table->FieldByName("DAY")->AssignJulianDay(2460311), 0);
    EXPECT_EQ(table->FieldByName("DONE")->AssignLogical(true), 0);
    EXPECT_EQ(table->FieldByName("NOTES")->AssignMemo("first line\r\nsecond line"), 0);
    ASSERT_EQ(table->Append(), 0);
    ASSERT_EQ(table->AppendStart(), 0);
    ASSERT_EQ(table->Blank(), 0);
    ASSERT_EQ(table->Append(), 0);
    EXPECT_EQ(table->Close(), 0);
  }
  std::unique_ptr<Table> table = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->RecordCount(), 2u);
  ASSERT_EQ(table->Top(), 0);
  EXPECT_EQ(table->FieldByName("NAME")->Text(), "Acme Corpo");
  EXPECT_EQ(table->FieldByName("AMOUNT")->Text(), "    -1234.5");
  EXPECT_DOUBLE_EQ(table->FieldByName("AMOUNT")->Number(), -1234.5);
  EXPECT_EQ(table->FieldByName("AMOUNT")->Integer(), -1234);
  EXPECT_EQ(table->FieldByName("DAY")->Text(), "20240101");
  EXPECT_EQ(table->FieldByName("DAY")->JulianDay(), 2460311);
  EXPECT_TRUE(table->FieldByName("DONE")->IsTrue());
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "first line\r\nsecond line");
  EXPECT_EQ(table->FieldByName("NOTES")->Text(), "         1");

  ASSERT_EQ(table->Skip(), 0);
  EXPECT_EQ(table->FieldByName("NAME")->Text(), std::string(10, ' '));
  EXPECT_EQ(table->FieldByName("AMOUNT")->Number(), 0);
  EXPECT_EQ(table->FieldByName("DAY")->JulianDay(), 0) << "blank date";
  EXPECT_FALSE(table->FieldByName("DONE")->IsTrue()) << "blank logical";
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "");
  EXPECT_TRUE(calls_.empty());
}

TEST_F(TableTest, AssignNumberUsesTheGivenDecimals) {
  std::unique_ptr<Table> table = CreateWith(1);
  ASSERT_EQ(table->Top(), 0);
  Field amount = *table->FieldByName("AMOUNT");
  ASSERT_EQ(amount.AssignNumber(12.5, 2), 0);
  EXPECT_EQ(amount.Text(), "      12.50");

  // Too wide: refused, reported, and the field keeps its value.
  EXPECT_EQ(amount.AssignNumber(1e12, 2), kErrorFieldValue);
  EXPECT_EQ(amount.Text(), "      12.50");
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].text1, "AMOUNT");
  EXPECT_EQ(engine_.error_code(), kErrorFieldValue);
}

TEST_F(TableTest, LogicalReadsYAsTrueAndNOrBlankAsFalse) {
  std::unique_ptr<Table> table = CreateWith(1);
  ASSERT_EQ(table->Top(), 0);
  Field done = *table->FieldByName("DONE");
  for (auto [text, expected] : {std::pair{"y", true}, {"T", true}, {"N", false}, {" ", false},
                                {"f", false}}) {
    done.AssignText(text);
    EXPECT_EQ(done.IsTrue(), expected) << text;
  }
}

TEST_F(TableTest, MovesInRecordOrderWithEndAndBeginning) {
  std::unique_ptr<Table> table = CreateWith(3);
  EXPECT_EQ(table->Top(), 0);
  EXPECT_EQ(table->RecordNumber(), 1u);
  EXPECT_EQ(table->Skip(2), 0);
  EXPECT_EQ(Name(*table), "R3        ");
  EXPECT_EQ(table->Skip(), kEndOfFile);
  EXPECT_TRUE(table->IsEof());
  EXPECT_EQ(table->RecordNumber(), 0u);
  EXPECT_EQ(table->Skip(-1), 0) << "back from the end reaches the last record";
  EXPECT_EQ(table->RecordNumber(), 3u);
  EXPECT_EQ(table->Skip(-5), kBeginningOfFile);
  EXPECT_TRUE(table->IsBof());
  EXPECT_EQ(table->RecordNumber(), 1u);
  EXPECT_EQ(table->Bottom(), 0);
  EXPECT_EQ(table->RecordNumber(), 3u);
  EXPECT_DOUBLE_EQ(table->Position(), 1.0);
  EXPECT_EQ(table->SetPosition(0.5), 0);
  EXPECT_EQ(table->RecordNumber(), 2u);
  EXPECT_DOUBLE_EQ(table->Position(), 0.5);
  EXPECT_EQ(table->Go(3), 0);
  EXPECT_EQ(Name(*table), "R3        ");

  EXPECT_EQ(table->Go(4), kErrorRead);
  EXPECT_EQ(table->Go(0), kErrorRead);
  EXPECT_EQ(calls_.size(), 2u);
  EXPECT_EQ(table->Seek("R1"), kErrorNoTag);
}

TEST_F(TableTest, EmptyTableIsAtEndEverywhere) {
  std::unique_ptr<Table> table = CreateWith(0);
  EXPECT_EQ(table->Top(), kEndOfFile);
  EXPECT_TRUE(table->IsEof());
  EXPECT_EQ(table->Bottom(), kEndOfFile);
  EXPECT_EQ(table->Skip(1), kEndOfFile);
  EXPECT_EQ(table->Skip(-1), kEndOfFile);
  EXPECT_EQ(table->SetPosition(0.3), kEndOfFile);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(TableTest, ChangesAreWrittenWhenTheTableMoves) {
  std::unique_ptr<Table> table = CreateWith(2);
  ASSERT_EQ(table->Top(), 0);
  table->FieldByName("NAME")->AssignText("changed");
  ASSERT_EQ(table->Delete(), 0);
  EXPECT_TRUE(table->IsDeleted());
  ASSERT_EQ(table->Skip(), 0);

  // Another open of the file sees the change at once.
  engine_.settings().open_errors = true;
  std::unique_ptr<Table> other = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_EQ(other, nullptr) << "same alias";
  EXPECT_EQ(engine_.error_code(), kErrorInstance);
  TableEngine second_engine;
  other = Table::Open(second_engine, dir_.File("t.dbf"));
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(other->Go(1), 0);
  EXPECT_EQ(other->FieldByName("NAME")->Text(), "changed   ");
  EXPECT_TRUE(other->IsDeleted());

  ASSERT_EQ(table->Go(1), 0);
  ASSERT_EQ(table->Recall(), 0);
  ASSERT_EQ(table->Flush(), 0);
  ASSERT_EQ(other->Go(1), 0);
  EXPECT_FALSE(other->IsDeleted());

  // An append by the other open is counted at the next move.
  ASSERT_EQ(other->AppendStart(), 0);
  other->FieldByName("NAME")->AssignText("third");
  ASSERT_EQ(other->Append(), 0);
  EXPECT_EQ(table->RecordCount(), 3u);
  ASSERT_EQ(table->Bottom(), 0);
  EXPECT_EQ(Name(*table), "third     ");
}

TEST_F(TableTest, AppendStartDoesNotShareMemoBlocks) {
  std::unique_ptr<Table> table = CreateWith(0);
  ASSERT_EQ(table->AppendStart(), 0);
  table->Blank();
  table->FieldByName("NOTES")->AssignMemo("original");
  ASSERT_EQ(table->Append(), 0);
  // The copy keeps the other fields but not the memo reference.
  ASSERT_EQ(table->AppendStart(), 0);
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "");
  table->FieldByName("NOTES")->AssignMemo("copy");
  ASSERT_EQ(table->Append(), 0);
  ASSERT_EQ(table->Go(1), 0);
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "original");
  ASSERT_EQ(table->Go(2), 0);
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "copy");
  // A longer text than the blocks hold moves; the record follows it.
  table->FieldByName("NOTES")->AssignMemo(std::string(2000, 'z'));
  ASSERT_EQ(table->Go(1), 0);
  ASSERT_EQ(table->Go(2), 0);
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), std::string(2000, 'z'));
  ASSERT_EQ(table->Go(1), 0);
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "original");
}

TEST_F(TableTest, AppendAfterADeletedRecordStoresAnUndeletedOne) {
  std::unique_ptr<Table> table = CreateWith(2);
  ASSERT_EQ(table->Go(2), 0);
  ASSERT_EQ(table->Delete(), 0);
  // The new record is copied from the deleted current one.
  ASSERT_EQ(table->AppendStart(), 0);
  table->FieldByName("NAME")->AssignText("fresh");
  ASSERT_EQ(table->Append(), 0);
  ASSERT_EQ(table->Go(3), 0);
  EXPECT_FALSE(table->IsDeleted());
  ASSERT_EQ(table->Go(2), 0);
  EXPECT_TRUE(table->IsDeleted());
}

TEST_F(TableTest, FieldLookupReportsMissingFieldsWhenAsked) {
  std::unique_ptr<Table> table = CreateWith(0);
  EXPECT_EQ(table->FieldNumber("amount"), 2);
  EXPECT_EQ(table->FieldByName("NoSuch"), std::nullopt);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].code, kErrorFieldName);
  EXPECT_EQ(calls_[0].text1, "NoSuch");
  engine_.settings().field_name_errors = false;
  EXPECT_EQ(table->FieldNumber("NoSuch"), -1);
  EXPECT_EQ(calls_.size(), 1u);
  EXPECT_FALSE(table->FieldAt(6).has_value());
  EXPECT_EQ(table->FieldAt(1)->name(), "NAME");
}

TEST_F(TableTest, CreateRefusesToOverwriteWithSafetyOn) {
  CreateWith(1)->Close();
  EXPECT_EQ(Table::Create(engine_, dir_.File("t.dbf"), Fields()), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorCreate);
  std::unique_ptr<Table> kept = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->RecordCount(), 1u);
  kept->Close();

  engine_.settings().safety = false;
  std::unique_ptr<Table> fresh = Table::Create(engine_, dir_.File("t.dbf"), Fields());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->RecordCount(), 0u);

  EXPECT_EQ(Table::Create(engine_, dir_.File("bad.dbf"), {{"X", 'Q', 3, 0}}), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorFieldType);
  EXPECT_FALSE(FileExists(dir_.File("bad.dbf")));
}

TEST_F(TableTest, OpenFailuresAndQuietOpen) {
  EXPECT_EQ(Table::Open(engine_, dir_.File("none.dbf")), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorOpen);
  ASSERT_EQ(calls_.size(), 1u);
  engine_.ResetError();
  engine_.settings().open_errors = false;
  EXPECT_EQ(Table::Open(engine_, dir_.File("none.dbf")), nullptr);
  EXPECT_EQ(engine_.error_code(), kNoOpen);
  EXPECT_EQ(calls_.size(), 1u) << "a quiet open reports nothing";

  // A memo table without its memo file does not open.
  CreateWith(0)->Close();
  std::remove(dir_.File("t.dbt").c_str());
  EXPECT_EQ(Table::Open(engine_, dir_.File("t.dbf")), nullptr);
  EXPECT_EQ(engine_.error_code(), kErrorOpen);
}

TEST_F(TableTest, CompanionFilesAreFoundWithoutRegardToCase) {
  std::unique_ptr<Table> table = Table::Create(engine_, dir_.File("UPPER.DBF"), Fields());
  ASSERT_NE(table, nullptr);
  table->Close();
  EXPECT_TRUE(FileExists(dir_.File("UPPER.DBT")));
  ASSERT_EQ(std::rename(dir_.File("UPPER.DBT").c_str(), dir_.File("upper.dbt").c_str()), 0);
  EXPECT_NE(Table::Open(engine_, dir_.File("UPPER.DBF")), nullptr);
}

TEST_F(TableTest, AliasIsTheUpperCaseBaseNameAndUnique) {
  std::unique_ptr<Table> table = CreateWith(0);
  EXPECT_EQ(table->Alias(), "T");
  EXPECT_EQ(table->SetAlias("time records"), 0);
  EXPECT_EQ(table->Alias(), "TIME RECORDS");
  std::unique_ptr<Table> other = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_NE(other, nullptr) << "the alias T is free again";
  EXPECT_EQ(other->SetAlias("Time Records"), kErrorInstance);
  EXPECT_EQ(table->SetAlias(std::string(40, 'a')), 0);
  EXPECT_EQ(table->Alias().size(), 32u);
}

TEST_F(TableTest, PackRemovesDeletedRecordsAndKeepsMemos) {
  {
    std::unique_ptr<Table> table = CreateWith(4);
    ASSERT_EQ(table->Go(4), 0);
    table->FieldByName("NOTES")->AssignMemo("kept memo");
    for (RecordNumber n : {1u, 3u}) {
      ASSERT_EQ(table->Go(n), 0);
      ASSERT_EQ(table->Delete(), 0);
    }
    EXPECT_EQ(table->Pack(), kErrorInfo) << "needs an exclusive open";
    table->Close();
  }
  engine_.settings().access_mode = AccessMode::kExclusive;
  std::unique_ptr<Table> table = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->Pack(), 0);
  EXPECT_EQ(table->RecordCount(), 2u);
  ASSERT_EQ(table->Top(), 0);
  EXPECT_EQ(Name(*table), "R2        ");
  ASSERT_EQ(table->Skip(), 0);
  EXPECT_EQ(Name(*table), "R4        ");
  EXPECT_EQ(table->FieldByName("NOTES")->MemoText(), "kept memo");
  EXPECT_FALSE(FileExists(dir_.File("t.dbf.pack")));

  const std::string bytes = ReadAll(dir_.File("t.dbf"));
  EXPECT_EQ(bytes.size(), table->header().header_length + 2u * 41 + 1);
  EXPECT_EQ(bytes.back(), '\x1A');

  // Still exclusive after the file was replaced.
  TableEngine second_engine;
  EXPECT_EQ(Table::Open(second_engine, dir_.File("t.dbf")), nullptr);
  EXPECT_EQ(second_engine.error_code(), kErrorAccess);
}

TEST_F(TableTest, ClosedTablesAndEngineShutDown) {
  std::unique_ptr<Table> table = CreateWith(1);
  ASSERT_EQ(table->Top(), 0);
  table->FieldByName("NAME")->AssignText("pending");
  engine_.CloseAllTables();
  EXPECT_FALSE(table->is_open());
  EXPECT_TRUE(engine_.open_tables().empty());
  EXPECT_EQ(table->Top(), kErrorInfo);

  std::unique_ptr<Table> reopened = Table::Open(engine_, dir_.File("t.dbf"));
  ASSERT_EQ(reopened->Top(), 0);
  EXPECT_EQ(Name(*reopened), "pending   ") << "closing wrote the change";
}

}  // namespace
}  // namespace qm::engine
