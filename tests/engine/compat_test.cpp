// Files that our engine writes, read by two independent dBASE IV engines
// (Free Pascal's TDbf and Perl's XBase), and files that TDbf writes, read
// by ours: the same records, memo texts and tag orders both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/data_file.h"
#include "engine/engine.h"
#include "engine/field_value.h"
#include "engine/index_file.h"
#include "engine/mdx_file.h"
#include "engine/raw_file.h"
#include "engine/table.h"
#include "tests/oracles/oracle_tools.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

namespace oracles = qm::test::oracles;

// --- Our reading of a table, in the oracles' dump form -------------------------

// Trailing blanks go, as the oracles drop them; NULs are data.
std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// A number as the oracles print it: integral values without a point,
// others with 15 significant digits.
std::string OracleNumber(const std::string& stored) {
  const std::string trimmed = TrimRight(stored.substr(stored.find_first_not_of(' ') == std::string::npos
                                                          ? stored.size()
                                                          : stored.find_first_not_of(' ')));
  if (trimmed.empty()) return "";
  const double value = ParseNumber(trimmed);
  char text[64];
  if (value == static_cast<double>(static_cast<long long>(value)) && value < 1e15 && value > -1e15) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  } else {
    std::snprintf(text, sizeof text, "%.15g", value);
  }
  return text;
}

std::string OracleValue(Table& table, std::size_t index) {
  const FieldDescriptor& field = table.layout().fields()[index];
  const std::string stored(table.record().data() + field.offset,
                           static_cast<std::size_t>(field.width));
  switch (field.type) {
    case FieldType::kCharacter: return TrimRight(stored);
    case FieldType::kNumeric:
    case FieldType::kFloat: return OracleNumber(stored);
    case FieldType::kDate: return TrimRight(stored) == "" ? "" : stored;
    case FieldType::kLogical:
      if (LogicalIsTrue(stored[0])) return "T";
      return stored[0] == 'F' || stored[0] == 'f' || stored[0] == 'N' || stored[0] == 'n' ? "F" : "";
    case FieldType::kMemo: return table.FieldAt(static_cast<int>(index) + 1)->MemoText();
  }
  return "";
}

oracles::TableDump OurDump(const std::string& path) {
  TableEngine engine;
  engine.settings().auto_open = false;
  std::unique_ptr<Table> table = Table::Open(engine, path);
  EXPECT_NE(table, nullptr) << path;
  oracles::TableDump dump;
  if (!table) return dump;
  for (const FieldDescriptor& field : table->layout().fields()) {
    dump.fields.push_back({field.name, static_cast<char>(field.type), field.width, field.decimals});
  }
  for (int moved = table->Top(); moved == kSuccess; moved = table->Skip()) {
    oracles::DumpRecord record;
    record.record_number = table->RecordNumber();
    record.deleted = table->IsDeleted();
    for (std::size_t i = 0; i < table->layout().fields().size(); ++i) {
      record.values.push_back(OracleValue(*table, i));
    }
    dump.records.push_back(std::move(record));
  }
  EXPECT_EQ(engine.error_code(), 0) << path;
  return dump;
}

void ExpectSameDump(const oracles::TableDump& ours, const oracles::TableDump& theirs,
                    const std::string& who) {
  ASSERT_EQ(ours.fields.size(), theirs.fields.size()) << who;
  for (std::size_t i = 0; i < ours.fields.size(); ++i) {
    EXPECT_EQ(ours.fields[i].name, theirs.fields[i].name) << who;
    EXPECT_EQ(ours.fields[i].type, theirs.fields[i].type) << who << " " << ours.fields[i].name;
    EXPECT_EQ(ours.fields[i].width, theirs.fields[i].width) << who << " " << ours.fields[i].name;
  }
  ASSERT_EQ(ours.records.size(), theirs.records.size()) << who;
  for (std::size_t r = 0; r < ours.records.size(); ++r) {
    const auto& a = ours.records[r];
    const auto& b = theirs.records[r];
    EXPECT_EQ(a.record_number, b.record_number) << who;
    EXPECT_EQ(a.deleted, b.deleted) << who << " record " << a.record_number;
    ASSERT_EQ(a.values.size(), b.values.size()) << who;
    for (std::size_t f = 0; f < a.values.size(); ++f) {
      EXPECT_EQ(a.values[f], b.values[f])
          << who << " record " << a.record_number << " field " << ours.fields[f].name;
    }
  }
}

std::vector<long> RecordNumbers(const oracles::TableDump& dump) {
  std::vector<long> numbers;
  for (const auto& record : dump.records) numbers.push_back(record.record_number);
  return numbers;
}

std::vector<long> RecordNumbers(const std::vector<oracles::IndexEntry>& keys) {
  std::vector<long> numbers;
  for (const auto& entry : keys) numbers.push_back(entry.record_number);
  return numbers;
}

std::vector<long> TagOrder(IndexFile& index, const std::string& tag) {
  std::vector<long> numbers;
  std::optional<std::size_t> found = index.FindTag(tag);
  EXPECT_TRUE(found) << tag;
  if (!found) return numbers;
  MdxCursor cursor = index.Cursor(*found);
  int moved = cursor.First();
  for (; moved == kSuccess; moved = cursor.Next()) numbers.push_back(cursor.record());
  EXPECT_EQ(moved, kEndOfFile) << cursor.status().text;
  return numbers;
}

// --- A table written by us ------------------------------------------------------

// The fields of the oracles' sample table, so that both sides speak of the
// same kind of table.
std::vector<FieldSpec> SampleFields() {
  return {{"NAME", 'C', 20, 0},  {"START_DATE", 'D', 8, 0}, {"START_TIME", 'C', 8, 0},
          {"AMOUNT", 'N', 11, 2}, {"QTY", 'N', 6, 0},        {"BILLABLE", 'L', 1, 0},
          {"NOTES", 'M', 10, 0}};
}

// Tags that both oracles read: TDbf knows these functions.
std::vector<TagSpec> SharedTags() {
  return {{"NAME", "UPPER(NAME)", "", kUniqueKeep, kAscending},
          {"WHEN", "DTOS(START_DATE)+START_TIME", "", 0, kAscending},
          {"AMOUNT", "AMOUNT", "", 0, kDescending}};
}

// A memo text of `length` bytes with line breaks and Windows-1252 letters.
std::string MemoOfLength(std::size_t length, int seed) {
  static const std::string kWords = "Caf\xE9 r\xE9sum\xE9 \x80 12,50; \"quoted\"\r\nline ";
  std::string text;
  for (std::size_t i = 0; text.size() < length; ++i) text += kWords[(i + seed) % kWords.size()];
  text.resize(length);
  return text;
}

struct SampleRow {
  std::string name;
  int day;  // days after 2024-01-01; -1 for an empty date
  std::string time;
  double amount;
  int quantity;
  bool billable;
  std::string notes;
};

std::vector<SampleRow> SampleRows(int count, int first) {
  static const char* const kNames[] = {"Acme", "globex", "Initech", "ACME", "Umbrella", "Hooli",
                                       "Stark", "acme", "Wayne", "Tyrell"};
  std::vector<SampleRow> rows;
  for (int i = first; i < first + count; ++i) {
    SampleRow row;
    row.name = std::string(kNames[i % 10]) + (i % 3 == 0 ? "" : " " + std::to_string(i % 7));
    row.day = i % 13 == 5 ? -1 : (i * 7) % 40;
    row.time = (i % 12 < 10 ? "0" : "") + std::to_string(i % 12) + ":" + (i % 2 ? "30" : "00") + ":00";
    row.amount = (i % 9 == 4) ? 0 : (i * 37 % 500) / 4.0 - 20;
    row.quantity = i * 3 % 17;
    row.billable = i % 4 != 0;
    const std::size_t lengths[] = {0, 1, 503, 504, 505, 1200, 40};
    row.notes = MemoOfLength(lengths[i % 7], i);
    rows.push_back(row);
  }
  return rows;
}

void FillRecord(Table& table, const SampleRow& row) {
  table.Blank();
  table.FieldByName("NAME")->AssignText(row.name);
  table.FieldByName("START_DATE")->AssignJulianDay(row.day < 0 ? 0 : 2460311 + row.day);
  table.FieldByName("START_TIME")->AssignText(row.time);
  table.FieldByName("AMOUNT")->AssignNumber(row.amount, 2);
  table.FieldByName("QTY")->AssignInteger(row.quantity);
  table.FieldByName("BILLABLE")->AssignLogical(row.billable);
  table.FieldByName("NOTES")->AssignMemo(row.notes);
}

class CompatibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (oracles::TdbfTool().empty()) GTEST_SKIP() << oracles::TdbfToolMissing();
    if (oracles::XbaseTool().empty()) GTEST_SKIP() << oracles::XbaseToolMissing();
    engine_.settings().auto_open = false;
  }

  // Our table with a memo and a production index of `tags`, made as the
  // program makes its tables; every eleventh record deleted.
  void WriteOurs(const std::string& path, const std::vector<TagSpec>& tags, int count) {
    TableEngine engine;
    std::unique_ptr<Table> table = Table::Create(engine, path, SampleFields(), tags);
    ASSERT_NE(table, nullptr) << engine.error_code();
    ASSERT_EQ(table->LockAppend(), 0);
    for (const SampleRow& row : SampleRows(count, 1)) {
      ASSERT_EQ(table->AppendStart(), 0);
      FillRecord(*table, row);
      ASSERT_EQ(table->Append(), 0);
    }
    ASSERT_EQ(table->Unlock(), 0);
    for (RecordNumber n = 11; n <= static_cast<RecordNumber>(count); n += 11) {
      ASSERT_EQ(table->Go(n), 0);
      ASSERT_EQ(table->Delete(), 0);
    }
    ASSERT_EQ(table->Close(), 0);
  }

  // Appends rows through our table, which keeps its production index in
  // step, in one run under the append lock.
  void AppendOurs(const std::string& path, int count, int first) {
    TableEngine engine;
    std::unique_ptr<Table> table = Table::Open(engine, path);
    ASSERT_NE(table, nullptr) << engine.error_code();
    ASSERT_NE(table->FindIndexFile(""), nullptr);
    ASSERT_EQ(table->LockAppend(), 0);
    for (const SampleRow& row : SampleRows(count, first)) {
      ASSERT_EQ(table->AppendStart(), 0);
      FillRecord(*table, row);
      ASSERT_EQ(table->Append(), 0);
    }
    ASSERT_EQ(table->Unlock(), 0);
    ASSERT_EQ(table->Close(), 0);
  }

  // Our tag orders and the tree checks of the table's production index.
  std::unique_ptr<IndexFile> OpenOurIndex(const std::string& path, std::unique_ptr<Table>* table,
                                          bool check = true) {
    *table = Table::Open(engine_, path);
    EXPECT_NE(*table, nullptr);
    if (!*table) return nullptr;
    std::unique_ptr<IndexFile> index;
    const std::string mdx = FindFileIgnoringCase(CompanionPath(path, ".mdx"));
    FileStatus status = IndexFile::Open(mdx, (*table)->layout(), &index);
    EXPECT_TRUE(status.ok()) << status.text;
    if (index && check) {
      status = index->Check(**table);
      EXPECT_TRUE(status.ok()) << status.text;
    }
    return index;
  }

  // Both oracles and we read the same records, and every tag in the same
  // order; TDbf is asked only about `tdbf_tags`.
  void ExpectAllAgree(const std::string& path, const std::vector<std::string>& tdbf_tags,
                      bool check = true) {
    const oracles::TableDump ours = OurDump(path);
    ExpectSameDump(ours, oracles::DumpWithXbase(path), "XBase");
    ExpectSameDump(ours, oracles::DumpWithTdbf(path), "TDbf");

    std::unique_ptr<Table> table;
    std::unique_ptr<IndexFile> index = OpenOurIndex(path, &table, check);
    ASSERT_NE(index, nullptr);
    const std::string mdx = index->path();
    for (std::size_t t = 0; t < index->tag_count(); ++t) {
      const std::string name = index->tag(t).name();
      const std::vector<long> order = TagOrder(*index, name);
      EXPECT_EQ(RecordNumbers(oracles::KeysWithXbase(mdx, name)), order) << "XBase, tag " << name;
      if (std::find(tdbf_tags.begin(), tdbf_tags.end(), name) != tdbf_tags.end()) {
        EXPECT_EQ(RecordNumbers(oracles::DumpWithTdbf(path, name)), order) << "TDbf, tag " << name;
      }
    }
  }

  test::TempDir dir_;
  TableEngine engine_;
};

TEST_F(CompatibilityTest, OurTableWithMemoAndThreeTagsReadsTheSameInBothOracles) {
  const std::string path = dir_.File("ours.dbf");
  WriteOurs(path, SharedTags(), 120);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"});

  const std::vector<oracles::TdbfTag> tags = oracles::TagsWithTdbf(path);
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].name, "NAME");
  EXPECT_EQ(tags[0].key_expression, "UPPER(NAME)");
  EXPECT_TRUE(tags[0].unique);
  EXPECT_EQ(tags[1].key_expression, "DTOS(START_DATE)+START_TIME");
  EXPECT_TRUE(tags[2].descending);
  EXPECT_FALSE(tags[2].unique);
}

TEST_F(CompatibilityTest, OurAppendsToOurIndexReadTheSame) {
  // Enough appends to split leaves and interior nodes of every tag.
  const std::string path = dir_.File("grown.dbf");
  WriteOurs(path, SharedTags(), 30);
  AppendOurs(path, 700, 31);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"});
}

TEST_F(CompatibilityTest, FilterAndTrimTagsReadTheSameInXbase) {
  // Tags that TDbf cannot evaluate; XBase reads their keys.
  const std::string path = dir_.File("filters.dbf");
  WriteOurs(path,
            {{"LIVE", "DTOS(START_DATE)+START_TIME", ".NOT. DELETED()", 0, kAscending},
             {"TRIMMED", "UPPER(LTRIM(TRIM(NAME)))", "", 0, kAscending},
             {"BILLED", "NAME", "BILLABLE .AND. AMOUNT > 0", 0, kDescending}},
            90);
  ExpectAllAgree(path, {});
  std::unique_ptr<Table> table;
  std::unique_ptr<IndexFile> index = OpenOurIndex(path, &table);
  ASSERT_NE(index, nullptr);
  const std::vector<long> live = TagOrder(*index, "LIVE");
  EXPECT_EQ(live.size(), 90u - 8u);  // records 11, 22, ... 88 are deleted
  EXPECT_EQ(std::count_if(live.begin(), live.end(), [](long n) { return n % 11 == 0; }), 0);
}

// --- Tables written by TDbf ------------------------------------------------------

// The tree checks of TDbf's files are a test of their own below.
TEST_F(CompatibilityTest, TdbfTablesReadTheSameInOurEngine) {
  const std::string path = dir_.File("theirs.dbf");
  oracles::CreateWithTdbf(path, 70);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"}, /*check=*/false);

  // TDbf's own appends split the trees it wrote.
  oracles::AppendWithTdbf(path, 400);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"}, /*check=*/false);
}

TEST_F(CompatibilityTest, OurAppendsToATdbfTableReadTheSameInTdbf) {
  const std::string path = dir_.File("mixed.dbf");
  oracles::CreateWithTdbf(path, 70);
  AppendOurs(path, 300, 71);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"}, /*check=*/false);
  // And TDbf goes on appending to what we changed.
  oracles::AppendWithTdbf(path, 50);
  ExpectAllAgree(path, {"NAME", "WHEN", "AMOUNT"}, /*check=*/false);
}

// TDbf computes a numeric key from the binary double, so 78.72 is stored as
// 78.71999999999999999: the same number to a double's precision. The
// check must take such a key as the record's key; a user's `table check`
// of any TDbf table with decimals depends on it.
TEST_F(CompatibilityTest, TdbfIndexesPassOurCheck) {
  const std::string path = dir_.File("checked.dbf");
  oracles::CreateWithTdbf(path, 70);
  oracles::AppendWithTdbf(path, 400);
  std::unique_ptr<Table> table;
  std::unique_ptr<IndexFile> index = OpenOurIndex(path, &table);
  ASSERT_NE(index, nullptr);
}

// --- Files that other programs wrote ---------------------------------------------

TEST(CompatibilityFixtureTest, EveryFixtureReadsAsXbaseReadsIt) {
  if (oracles::XbaseTool().empty()) GTEST_SKIP() << oracles::XbaseToolMissing();
  for (const char* name :
       {"dbase/step7/XR000001.DBF", "dbase/step7/HRELATI1.DBF", "dbase/step7/HATTRME1.DBF",
        "dbase/step7/SYMLIST.DBF", "dbase/step7/BAUSTEIN.DBF", "dbase/step7/S7CONTAI.DBF",
        "dbase/bde_memo/BDE_TEST_4_512.dbf", "dbase/bde_memo/BDE_TEST_4_64.dbf"}) {
    const std::string path = test::FixturePath(name);
    if (path.empty()) GTEST_SKIP() << "the fixtures of dbase/ are absent";
    ExpectSameDump(OurDump(path), oracles::DumpWithXbase(path), name);
  }
}

}  // namespace
}  // namespace qm::engine
