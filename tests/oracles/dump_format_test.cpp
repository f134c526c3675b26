// The parser of the oracles' dumps: a cell misread here would make every
// compatibility comparison built on it meaningless.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/oracles/oracle_tools.h"

namespace qm::test::oracles {
namespace {

struct CellsCase {
  const char* name;
  std::string line;
  std::vector<std::string> cells;
};

class SplitCellsTest : public ::testing::TestWithParam<CellsCase> {};

TEST_P(SplitCellsTest, Splits) { EXPECT_EQ(SplitCells(GetParam().line), GetParam().cells); }

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCellsTest,
    ::testing::Values(CellsCase{"plain", "1,,12.5,T", {"1", "", "12.5", "T"}},
                      CellsCase{"trailing_empty", "3,*,", {"3", "*", ""}},
                      CellsCase{"quoted_comma", R"("a,b",x)", {"a,b", "x"}},
                      CellsCase{"doubled_quote", R"("say ""hi""")", {"say \"hi\""}},
                      CellsCase{"empty_quoted", R"("",1)", {"", "1"}},
                      CellsCase{"escapes", R"("a\\b\nc\rd\te")", {"a\\b\nc\rd\te"}},
                      CellsCase{"hex_escape", R"("\x00\x1F\x7f")", {std::string("\0\x1f\x7f", 3)}},
                      CellsCase{"eight_bit_bytes_kept", "\"caf\xE9\"", {"caf\xE9"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitCellsErrors, MalformedLinesAreRefused) {
  for (const std::string line :
       {R"("open)", R"("a\q")", R"("a\x4")", R"("a"b)", R"(a"b)", R"("ends\)"}) {
    EXPECT_THROW(SplitCells(line), std::invalid_argument) << line;
  }
}

TEST(ParseTableDump, ReadsFieldsAndRecords) {
  const auto dump = ParseTableDump(
      "NAME:C:20:0,AMOUNT:N:11:2,NOTES:M:10:0\n"
      "1,,\"Ann\",-7.66,\"two\\nlines\"\n"
      "2,*,\"\",,\"\"\n");
  ASSERT_EQ(dump.fields.size(), 3u);
  EXPECT_EQ(dump.fields[1].name, "AMOUNT");
  EXPECT_EQ(dump.fields[1].type, 'N');
  EXPECT_EQ(dump.fields[1].width, 11);
  EXPECT_EQ(dump.fields[1].decimals, 2);
  ASSERT_EQ(dump.records.size(), 2u);
  EXPECT_EQ(dump.records[0].record_number, 1);
  EXPECT_FALSE(dump.records[0].deleted);
  EXPECT_EQ(dump.records[0].values, (std::vector<std::string>{"Ann", "-7.66", "two\nlines"}));
  EXPECT_TRUE(dump.records[1].deleted);
  EXPECT_EQ(dump.records[1].values, (std::vector<std::string>{"", "", ""}));
}

TEST(ParseTableDump, RefusesInconsistentDumps) {
  for (const std::string& text : {
           std::string(""),                             // no field line
           std::string("NAME:C:x:0\n"),                 // width not a number
           std::string("NAME:CC:1:0\n"),                // type of two letters
           std::string("A:C:1:0,B:C:1:0\n1,,\"x\"\n"),  // a cell missing
           std::string("A:C:1:0\n1,D,\"x\"\n"),         // unknown deletion mark
           std::string("A:C:1:0\nx,,\"x\"\n"),          // record number not a number
       }) {
    EXPECT_THROW(ParseTableDump(text), std::invalid_argument) << text;
  }
}

TEST(ParseIndexDump, ReadsRecordNumbersAndKeys) {
  const auto keys = ParseIndexDump("4,1\n3,\"ANN 0   \"\n9,20240101\n");
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].record_number, 4);
  EXPECT_EQ(keys[0].key, "1");
  EXPECT_EQ(keys[1].key, "ANN 0   ");
  EXPECT_EQ(keys[2].key, "20240101");
  EXPECT_THROW(ParseIndexDump("4\n"), std::invalid_argument);
}

TEST(ParseTdbfTags, ReadsExpressionsAndFlags) {
  const auto tags =
      ParseTdbfTags("TAG_ID,\"ID\",\".NOT. DELETED()\",1,0\nAMOUNT,\"AMOUNT\",\"\",0,1\n");
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags[0].name, "TAG_ID");
  EXPECT_EQ(tags[0].for_expression, ".NOT. DELETED()");
  EXPECT_TRUE(tags[0].unique);
  EXPECT_FALSE(tags[0].descending);
  EXPECT_TRUE(tags[1].descending);
  EXPECT_TRUE(tags[1].for_expression.empty());
}

}  // namespace
}  // namespace qm::test::oracles
