#include "engine/index_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/data_file.h"
#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

// Records held in memory, for building and checking indexes.
class MemoryRecords : public RecordSource {
 public:
  explicit MemoryRecords(const RecordLayout& layout) : layout_(layout) {}
  RecordNumber RecordCount() const override { return static_cast<RecordNumber>(rows_.size()); }
  bool ReadRecord(RecordNumber number, std::span<char> record) const override {
    if (number == 0 || number > rows_.size() || record.size() < layout_.record_length()) {
      return false;
    }
    std::memcpy(record.data(), rows_[number - 1].data(), layout_.record_length());
    return true;
  }
  // Builds a record from the field texts, each padded to its width.
  std::string Make(const std::vector<std::string>& values, bool deleted = false) const {
    std::string row(layout_.record_length(), ' ');
    row[0] = deleted ? '*' : ' ';
    for (std::size_t i = 0; i < values.size(); ++i) {
      const FieldDescriptor& f = layout_.fields()[i];
      std::string v = values[i].substr(0, static_cast<std::size_t>(f.width));
      if (f.type == FieldType::kNumeric) v.insert(0, static_cast<std::size_t>(f.width) - v.size(), ' ');
      row.replace(f.offset, v.size(), v);
    }
    return row;
  }
  RecordNumber Append(const std::string& row) {
    rows_.push_back(row);
    return RecordCount();
  }
  std::string& operator[](RecordNumber number) { return rows_[number - 1]; }

 private:
  const RecordLayout& layout_;
  std::vector<std::string> rows_;
};

// A data file as a record source.
class DataFileRecords : public RecordSource {
 public:
  explicit DataFileRecords(const DataFile& file) : file_(file) {}
  RecordNumber RecordCount() const override {
    RecordNumber count = 0;
    return file_.ReadRecordCount(count).ok() ? count : 0;
  }
  bool ReadRecord(RecordNumber number, std::span<char> record) const override {
    return file_.ReadRecord(number, record).ok();
  }

 private:
  const DataFile& file_;
};

RecordLayout TestLayout() {
  return RecordLayout({{"NAME", FieldType::kCharacter, 10, 0, 0},
                       {"AMOUNT", FieldType::kNumeric, 8, 2, 0},
                       {"DAY", FieldType::kDate, 8, 0, 0}});
}

std::vector<RecordNumber> List(IndexFile& index, std::string_view tag) {
  std::vector<RecordNumber> out;
  MdxCursor cursor = index.Cursor(*index.FindTag(tag));
  for (int r = cursor.First(); r == kSuccess; r = cursor.Next()) out.push_back(cursor.record());
  return out;
}

// --- Files written by other programs ------------------------------------------

TEST(IndexFileFixtureTest, EveryFixtureAgreesWithItsData) {
  for (const char* base : {"BAUSTEIN", "HATTRME1", "HRELATI1", "S7CONTAI", "SYMLIST", "XR000001"}) {
    std::string dbf = qm::test::FixturePath(std::string("dbase/step7/") + base + ".DBF");
    std::string mdx = qm::test::FixturePath(std::string("dbase/step7/") + base + ".MDX");
    if (dbf.empty() || mdx.empty()) GTEST_SKIP() << "fixtures of dbase/step7 are absent";
    DataFile data;
    ASSERT_TRUE(data.Open(dbf).ok()) << base;
    std::unique_ptr<IndexFile> index;
    FileStatus s = IndexFile::Open(mdx, data.layout(), &index);
    ASSERT_TRUE(s.ok()) << base << ": " << s.text;
    DataFileRecords records(data);
    s = index->Check(records);
    EXPECT_TRUE(s.ok()) << base << ": " << s.text;
  }
}

TEST(IndexFileFixtureTest, SeekTextsOfEveryKeyType) {
  std::string dbf = qm::test::FixturePath("dbase/step7/XR000001.DBF");
  std::string mdx = qm::test::FixturePath("dbase/step7/XR000001.MDX");
  if (dbf.empty() || mdx.empty()) GTEST_SKIP() << "fixtures of dbase/step7 are absent";
  DataFile data;
  ASSERT_TRUE(data.Open(dbf).ok());
  std::unique_ptr<IndexFile> index;
  ASSERT_TRUE(IndexFile::Open(mdx, data.layout(), &index).ok());
  const IndexTag& id = index->tag(0);
  std::string key;
  ASSERT_TRUE(id.MakeSeekKey(" 3", &key));
  MdxCursor cursor = index->Cursor(0);
  EXPECT_EQ(cursor.Seek(key), kSuccess);
  EXPECT_EQ(cursor.record(), 2u);
  EXPECT_FALSE(id.MakeSeekKey("three", &key));
  ASSERT_TRUE(index->tag(3).MakeSeekKey("12", &key));
  MdxCursor blocks = index->Cursor(3);
  EXPECT_EQ(blocks.Seek(key), kSuccess);
  EXPECT_EQ(blocks.record(), 6u);
}

// --- Indexes built here -------------------------------------------------------------

class IndexFileTest : public ::testing::Test {
 protected:
  IndexFileTest() : layout_(TestLayout()), records_(layout_) {}

  std::unique_ptr<IndexFile> Create(const std::vector<TagSpec>& specs) {
    std::unique_ptr<IndexFile> index;
    IndexFileOptions options;
    options.base_name = "T";
    options.overwrite = true;
    FileStatus s = IndexFile::Create(dir_.File("T.mdx"), layout_, specs, records_, &index, options);
    EXPECT_TRUE(s.ok()) << s.text;
    return index;
  }
  RecordNumber Add(IndexFile& index, const std::vector<std::string>& values, int expected = 0) {
    std::string row = records_.Make(values);
    FileStatus s = index.OnAppend(records_.RecordCount() + 1, row);
    EXPECT_EQ(s.code, expected) << s.text;
    return s.ok() ? records_.Append(row) : 0;
  }
  FileStatus Change(IndexFile& index, RecordNumber number, const std::string& row) {
    FileStatus s = index.OnChange(number, records_[number], row);
    if (s.ok()) records_[number] = row;
    return s;
  }

  qm::test::TempDir dir_;
  RecordLayout layout_;
  MemoryRecords records_;
};

TEST_F(IndexFileTest, CreateBuildsEveryKindOfTag) {
  records_.Append(records_.Make({"carol", "12.50", "20240301"}));
  records_.Append(records_.Make({"alice", "-3.00", "20231231"}));
  records_.Append(records_.Make({"bob", "100.00", "20240101"}, true));
  records_.Append(records_.Make({"alice", "7.25", ""}));
  auto index = Create({{"NAME", "UPPER(NAME)", "", 0, kAscending},
                       {"AMOUNT", "AMOUNT", "", 0, kDescending},
                       {"DAY", "DAY", ".NOT. DELETED()", 0, kAscending},
                       {"ONENAME", "NAME", "", kUniqueKeep, kAscending}});
  ASSERT_TRUE(index);
  EXPECT_EQ(List(*index, "NAME"), (std::vector<RecordNumber>{2, 4, 3, 1}));
  EXPECT_EQ(List(*index, "AMOUNT"), (std::vector<RecordNumber>{3, 1, 4, 2}));
  EXPECT_EQ(List(*index, "DAY"), (std::vector<RecordNumber>{4, 2, 1}));  // empty date first
  EXPECT_EQ(List(*index, "ONENAME"), (std::vector<RecordNumber>{2, 3, 1}));
  EXPECT_EQ(index->tag(1).key_type(), KeyType::kNumeric);
  EXPECT_EQ(index->tag(2).key_type(), KeyType::kDate);
  EXPECT_EQ(index->tag(0).key_length(), 10u);

  std::string key;
  ASSERT_TRUE(index->tag(2).MakeSeekKey("20240101", &key));
  MdxCursor days = index->Cursor(2);
  EXPECT_EQ(days.Seek(key), kKeyNotFound);  // record 3 is deleted: the next is 1
  EXPECT_EQ(days.record(), 1u);
  EXPECT_FALSE(index->tag(2).MakeSeekKey("2024-01-01", &key));
  EXPECT_TRUE(index->Check(records_).ok());

  // The file reopens with the same tags, keys and filters.
  std::unique_ptr<IndexFile> reopened;
  ASSERT_TRUE(IndexFile::Open(index->path(), layout_, &reopened).ok());
  EXPECT_EQ(reopened->tag(2).info().for_expression, ".NOT. DELETED()");
  EXPECT_TRUE(reopened->tag(3).unique());
  EXPECT_TRUE(reopened->tag(1).descending());
  EXPECT_TRUE(reopened->Check(records_).ok());
}

TEST_F(IndexFileTest, CreateRefusesBadSpecs) {
  struct Case {
    TagSpec spec;
    int code;
  };
  const std::vector<Case> cases = {
      {{"BAD", "NAME +", "", 0, kAscending}, kErrorExpression},
      {{"BAD", "NOFIELD", "", 0, kAscending}, kErrorExpression},
      {{"BAD", "NAME", "NAME", 0, kAscending}, kErrorExpression},  // filter not logical
      {{"BAD", "NAME = \"A\"", "", 0, kAscending}, kErrorExpression},  // logical key
      {{"", "NAME", "", 0, kAscending}, kErrorParameter},
      {{"ELEVENCHARS", "NAME", "", 0, kAscending}, kErrorParameter},
  };
  for (const Case& c : cases) {
    std::unique_ptr<IndexFile> index;
    FileStatus s = IndexFile::Create(dir_.File("X.mdx"), layout_, {c.spec}, records_, &index);
    EXPECT_EQ(s.code, c.code) << c.spec.name << " " << c.spec.key << ": " << s.text;
    EXPECT_FALSE(index);
  }
  std::unique_ptr<IndexFile> index;
  ASSERT_TRUE(IndexFile::Create(dir_.File("X.mdx"), layout_, {{"A", "NAME", "", 0, 0}}, records_,
                                &index).ok());
  index.reset();
  EXPECT_EQ(IndexFile::Create(dir_.File("X.mdx"), layout_, {{"A", "NAME", "", 0, 0}}, records_,
                              &index).code,
            kErrorCreate);
  // A layout that lacks the key's field cannot open the file.
  RecordLayout other({{"OTHER", FieldType::kCharacter, 5, 0, 0}});
  EXPECT_EQ(IndexFile::Open(dir_.File("X.mdx"), other, &index).code, kErrorExpression);
  RecordLayout narrower({{"NAME", FieldType::kCharacter, 5, 0, 0}});
  EXPECT_EQ(IndexFile::Open(dir_.File("X.mdx"), narrower, &index).code, kErrorIndex);
}

TEST_F(IndexFileTest, UniqueRefuseChangesNothingAndKeepLeavesTheKeyOut) {
  auto index = Create({{"REFUSE", "NAME", "", kUniqueRefuse, kAscending},
                       {"ALL", "AMOUNT", "", 0, kAscending}});
  ASSERT_TRUE(index);
  Add(*index, {"ann", "1"});
  Add(*index, {"ann", "2"}, kDuplicateKey);
  EXPECT_EQ(List(*index, "ALL"), (std::vector<RecordNumber>{1}));  // untouched
  RecordNumber ben = Add(*index, {"ben", "3"});
  EXPECT_EQ(Change(*index, ben, records_.Make({"ann", "3"})).code, kDuplicateKey);
  EXPECT_EQ(Change(*index, ben, records_.Make({"ben", "0"})).code, 0);  // own key kept
  EXPECT_EQ(List(*index, "ALL"), (std::vector<RecordNumber>{2, 1}));

  auto keep = Create({{"KEEP", "NAME", "", kUniqueKeep, kAscending},
                      {"ALL", "AMOUNT", "", 0, kAscending}});
  RecordNumber twin = Add(*keep, {"ann", "5"});
  EXPECT_EQ(List(*keep, "KEEP"), (std::vector<RecordNumber>{1, 2}));
  EXPECT_EQ(List(*keep, "ALL"), (std::vector<RecordNumber>{2, 1, twin}));
  EXPECT_TRUE(keep->Check(records_).ok());
}

TEST_F(IndexFileTest, ChangesFollowKeysAndFilters) {
  auto index = Create({{"LIVE", "NAME", ".NOT. DELETED()", 0, kAscending},
                       {"BYDAY", "DTOS(DAY) + NAME", "", 0, kDescending}});
  ASSERT_TRUE(index);
  std::mt19937 random(11);
  for (int i = 0; i < 400; ++i) {
    Add(*index, {"n" + std::to_string(random() % 50), "1",
                 "2024" + std::to_string(10 + random() % 3) + "1" + std::to_string(random() % 10)});
  }
  for (int i = 0; i < 600; ++i) {
    RecordNumber n = 1 + random() % records_.RecordCount();
    std::string row = records_[n];
    switch (random() % 3) {
      case 0: row[0] = row[0] == '*' ? ' ' : '*'; break;          // delete or recall
      case 1: row.replace(1, 3, "x" + std::to_string(random() % 9) + "y"); break;
      default: row.replace(layout_.fields()[2].offset + 6, 2, "0" + std::to_string(1 + random() % 9));
    }
    ASSERT_TRUE(Change(*index, n, row).ok());
  }
  FileStatus s = index->Check(records_);
  EXPECT_TRUE(s.ok()) << s.text;
  std::size_t live = 0;
  for (RecordNumber n = 1; n <= records_.RecordCount(); ++n) live += records_[n][0] != '*';
  EXPECT_EQ(List(*index, "LIVE").size(), live);
}

TEST_F(IndexFileTest, CheckFindsDisagreementAndReindexMendsIt) {
  for (int i = 0; i < 50; ++i) records_.Append(records_.Make({"k" + std::to_string(i), "1"}));
  auto index = Create({{"NAME", "NAME", "", 0, kAscending}});
  ASSERT_TRUE(index->Check(records_).ok());
  records_[7] = records_.Make({"changed"});  // written behind the index's back
  FileStatus s = index->Check(records_);
  EXPECT_EQ(s.code, kErrorIndex);
  EXPECT_NE(s.text.find("NAME"), std::string::npos) << s.text;
  records_.Append(records_.Make({"new"}));
  ASSERT_TRUE(index->Reindex(records_).ok());
  s = index->Check(records_);
  EXPECT_TRUE(s.ok()) << s.text;
  EXPECT_EQ(List(*index, "NAME").size(), 51u);
}

TEST(JulianDayTest, FromDtos) {
  EXPECT_EQ(JulianDayFromDtos("20240101"), 2460311.0);
  EXPECT_EQ(JulianDayFromDtos("19700101"), 2440588.0);
  EXPECT_EQ(JulianDayFromDtos("20000229"), 2451604.0);
  EXPECT_EQ(JulianDayFromDtos("2024011"), std::nullopt);
  EXPECT_EQ(JulianDayFromDtos("20241301"), std::nullopt);
  EXPECT_EQ(JulianDayFromDtos("2024O101"), std::nullopt);
}

}  // namespace
}  // namespace qm::engine
