#include "engine/memo_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "engine/table.h"
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

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

std::string WithoutLineBreaks(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

// The memo texts that the fixture tables were filled with, in record order.
std::vector<std::string> ExpectedBdeMemos(const std::string& sql_path) {
  const std::string sql = ReadAll(sql_path);
  std::vector<std::string> texts;
  const std::regex quoted("\"(>[^\"]*>)\"");
  for (auto it = std::sregex_iterator(sql.begin(), sql.end(), quoted); it != std::sregex_iterator(); ++it)
    texts.push_back((*it)[1]);
  return texts;
}

TEST(MemoFileFixtureTest, BorlandMemosReadWithTheirBlockSize) {
  const std::string sql = test::FixturePath("dbase/bde_memo/BDE_TestData.sql");
  if (sql.empty()) GTEST_SKIP() << "fixtures absent: dbase/bde_memo";
  const std::vector<std::string> expected = ExpectedBdeMemos(sql);
  ASSERT_EQ(expected.size(), 2u);

  for (const char* name : {"BDE_TEST_4_64.dbf", "BDE_TEST_4_512.dbf"}) {
    SCOPED_TRACE(name);
    TableEngine engine;
    std::unique_ptr<Table> table =
        Table::Open(engine, test::FixturePath(std::string("dbase/bde_memo/") + name));
    ASSERT_NE(table, nullptr) << engine.error_code();
    std::optional<Field> memo = table->FieldByName("B");
    ASSERT_TRUE(memo.has_value());

    ASSERT_EQ(table->Go(1), 0);
    EXPECT_EQ(memo->MemoText(), expected[0]);
    ASSERT_EQ(table->Go(2), 0);
    // The stored text carries line breaks that the statement shows unbroken.
    const std::string second = memo->MemoText();
    EXPECT_EQ(WithoutLineBreaks(second), expected[1]);
    EXPECT_EQ(second.size(), 1180u);
    for (RecordNumber n : {3u, 4u}) {
      ASSERT_EQ(table->Go(n), 0);
      EXPECT_EQ(memo->MemoText(), "") << "record " << n;
    }
  }
}

TEST(MemoFileFixtureTest, BlockSizeComesFromTheHeader) {
  const std::string small = test::FixturePath("dbase/bde_memo/BDE_TEST_4_64.DBT");
  const std::string header_only = test::FixturePath("dbase/step7/XR000001.DBT");
  if (small.empty() || header_only.empty()) GTEST_SKIP() << "fixtures absent";
  MemoFile memo;
  ASSERT_TRUE(memo.Open(small).ok());
  EXPECT_EQ(memo.block_size(), 64u);
  // STEP 7 writes only the first 24 bytes of block 0 for an empty memo file.
  MemoFile empty;
  ASSERT_TRUE(empty.Open(header_only).ok());
  EXPECT_EQ(empty.block_size(), 512u);
  std::string text;
  EXPECT_EQ(empty.Read(1, text).code, kErrorMemo);
}

TEST(MemoFileTest, NewFileHasA512ByteHeaderBlock) {
  test::TempDir dir;
  MemoFile memo;
  ASSERT_TRUE(memo.Create(dir.File("t.dbt"), "TIMEDATA", false).ok());
  memo.Close();
  const std::string bytes = ReadAll(dir.File("t.dbt"));
  ASSERT_EQ(bytes.size(), 512u);
  EXPECT_EQ(U32At(bytes, 0), 1u) << "next free block";
  EXPECT_EQ(bytes.substr(8, 8), "TIMEDATA");
  EXPECT_EQ(static_cast<unsigned char>(bytes[20]) | static_cast<unsigned char>(bytes[21]) << 8, 512);
  EXPECT_EQ(memo.Create(dir.File("t.dbt"), "X", false).code, kErrorCreate);
}

TEST(MemoFileTest, RewritesInPlaceWhenTheTextFitsElseAppends) {
  test::TempDir dir;
  TableEngine engine;
  MemoFile memo;
  ASSERT_TRUE(memo.Create(dir.File("t.dbt"), "T", false).ok());

  const std::string long_text(1100, 'x');  // 1108 bytes with the memo header: 3 blocks
  std::uint32_t first = 0;
  ASSERT_TRUE(memo.Write(engine, long_text, first).ok());
  EXPECT_EQ(first, 1u);
  std::uint32_t second = 0;
  ASSERT_TRUE(memo.Write(engine, "second", second).ok());
  EXPECT_EQ(second, 4u);

  std::uint32_t block = first;
  ASSERT_TRUE(memo.Write(engine, "shorter", block).ok());
  EXPECT_EQ(block, first) << "fits in the old blocks";
  block = second;
  ASSERT_TRUE(memo.Write(engine, std::string(600, 'y'), block).ok());
  EXPECT_EQ(block, 5u) << "outgrew its one block";

  std::string text;
  ASSERT_TRUE(memo.Read(first, text).ok());
  EXPECT_EQ(text, "shorter");
  ASSERT_TRUE(memo.Read(second, text).ok());
  EXPECT_EQ(text, "second") << "the old text stays until packed";
  ASSERT_TRUE(memo.Read(5, text).ok());
  EXPECT_EQ(text, std::string(600, 'y'));

  block = 5;
  ASSERT_TRUE(memo.Write(engine, "", block).ok());
  EXPECT_EQ(block, 0u) << "an empty text is no memo";
  memo.Close();

  const std::string bytes = ReadAll(dir.File("t.dbt"));
  EXPECT_EQ(U32At(bytes, 0), 7u);
  EXPECT_EQ(bytes.size(), 7u * 512);
  EXPECT_EQ(bytes.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
  EXPECT_EQ(U32At(bytes, 516), 8u + 7);
}

TEST(MemoFileTest, DamagedMemosAreReportedNotInvented) {
  test::TempDir dir;
  std::string bytes(512, '\0');
  bytes[20] = 0x00;
  bytes[21] = 0x02;
  std::string bad_length(512, '\0');
  bad_length.replace(0, 8, std::string("\xFF\xFF\x08\x00\x03\x00\x00\x00", 8));
  std::string dbase3(512, ' ');
  dbase3.replace(0, 6, "hello\x1A");
  std::string past_end("\xFF\xFF\x08\x00\x20\x00\x00\x00" "abc", 11);
  WriteAll(dir.File("t.dbt"), bytes + bad_length + dbase3 + past_end);

  MemoFile memo;
  ASSERT_TRUE(memo.Open(dir.File("t.dbt")).ok());
  std::string text;
  EXPECT_EQ(memo.Read(1, text).code, kErrorMemo) << "length below 8";
  ASSERT_TRUE(memo.Read(2, text).ok());
  EXPECT_EQ(text, "hello") << "a memo without a header ends at 0x1A";
  ASSERT_TRUE(memo.Read(3, text).ok());
  EXPECT_EQ(text, "abc") << "a length past the end keeps what is there";
  EXPECT_EQ(memo.Read(9, text).code, kErrorMemo);
  ASSERT_TRUE(memo.Read(0, text).ok());
  EXPECT_EQ(text, "");

  std::string odd_size(512, '\0');
  odd_size[20] = 100;
  WriteAll(dir.File("odd.dbt"), odd_size);
  MemoFile odd;
  EXPECT_EQ(odd.Open(dir.File("odd.dbt")).code, kErrorMemo);
}

}  // namespace
}  // namespace qm::engine
