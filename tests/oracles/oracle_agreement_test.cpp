// The two oracles must agree with each other, and read files that other
// programs wrote, before our engine is judged by them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/oracles/oracle_tools.h"
#include "tests/support/test_paths.h"

namespace qm::test::oracles {
namespace {

std::vector<long> RecordNumbers(const TableDump& dump) {
  std::vector<long> numbers;
  for (const auto& record : dump.records) numbers.push_back(record.record_number);
  return numbers;
}

std::vector<long> RecordNumbers(const std::vector<IndexEntry>& keys) {
  std::vector<long> numbers;
  for (const auto& entry : keys) numbers.push_back(entry.record_number);
  return numbers;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ToUpperAscii(std::string text) {
  for (auto& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

class OraclesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TdbfTool().empty()) GTEST_SKIP() << TdbfToolMissing();
    if (XbaseTool().empty()) GTEST_SKIP() << XbaseToolMissing();
  }

  // Both dumps of `table`, which must be byte-identical.
  TableDump AgreedDump(const std::string& table) {
    const auto tdbf = RunTool(TdbfTool(), {"dump", table});
    const auto xbase = RunTool(XbaseTool(), {"dump", table});
    EXPECT_EQ(tdbf.exit_code, 0) << tdbf.err;
    EXPECT_EQ(xbase.exit_code, 0) << xbase.err;
    EXPECT_EQ(tdbf.out, xbase.out) << "the oracles read " << table << " differently";
    return ParseTableDump(tdbf.out);
  }

  TempDir dir_;
};

TEST_F(OraclesTest, TableWrittenByTdbfReadsTheSameInXbase) {
  const auto table = dir_.File("sample.dbf");
  CreateWithTdbf(table);
  ASSERT_TRUE(std::filesystem::exists(dir_.File("sample.dbt")));
  ASSERT_TRUE(std::filesystem::exists(dir_.File("sample.mdx")));

  const auto dump = AgreedDump(table);
  ASSERT_EQ(dump.fields.size(), 7u);
  EXPECT_EQ(dump.fields[3].name, "AMOUNT");
  EXPECT_EQ(dump.fields[3].type, 'N');
  EXPECT_EQ(dump.fields[3].decimals, 2);
  EXPECT_EQ(dump.fields[6].type, 'M');
  ASSERT_EQ(dump.records.size(), 70u);

  const auto memo = [&](int n) { return dump.records[n - 1].values[6]; };
  EXPECT_EQ(memo(7).size(), 1200u);  // several blocks
  EXPECT_EQ(memo(20).size(), 504u);  // one block exactly, with its 8-byte header
  EXPECT_EQ(memo(21).size(), 505u);  // one byte into the next block
  EXPECT_EQ(memo(10), "");
  EXPECT_NE(memo(2).find("\r\nsecond line"), std::string::npos);
  EXPECT_NE(memo(3).find("caf\xE9 C:\\temp"), std::string::npos);  // bytes unconverted
  EXPECT_NE(memo(1).find("\"quoted\""), std::string::npos);

  for (const auto& record : dump.records) {
    EXPECT_EQ(record.deleted, record.record_number % 11 == 0) << record.record_number;
  }
  EXPECT_EQ(dump.records[0].values[0], "Hal 1");
  EXPECT_EQ(dump.records[0].values[3], "-7.66");
  EXPECT_EQ(dump.records[0].values[5], "T");
}

TEST_F(OraclesTest, CompanionFilesTakeTheCaseOfTheTableExtension) {
  const auto table = dir_.File("UPPER.DBF");
  CreateWithTdbf(table, 5);
  EXPECT_TRUE(std::filesystem::exists(dir_.File("UPPER.DBT")));
  EXPECT_TRUE(std::filesystem::exists(dir_.File("UPPER.MDX")));
  EXPECT_EQ(AgreedDump(table).records.size(), 5u);
  EXPECT_EQ(KeysWithXbase(dir_.File("UPPER.MDX"), "WHEN").size(), 5u);
}

TEST_F(OraclesTest, TagsOfTheSampleTable) {
  const auto table = dir_.File("sample.dbf");
  CreateWithTdbf(table, 10);
  const auto tags = TagsWithTdbf(table);
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[0].name, "NAME");
  EXPECT_EQ(tags[0].key_expression, "UPPER(NAME)");
  EXPECT_TRUE(tags[0].unique);
  EXPECT_EQ(tags[1].key_expression, "DTOS(START_DATE)+START_TIME");
  EXPECT_FALSE(tags[1].unique);
  EXPECT_FALSE(tags[1].descending);
  EXPECT_TRUE(tags[2].descending);
  for (const auto& tag : tags) EXPECT_EQ(tag.for_expression, "") << tag.name;

  const auto listed = RunTool(XbaseTool(), {"tags", dir_.File("sample.mdx")});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "AMOUNT,N,12,0,1\n"
            "NAME,C,20,1,0\n"
            "WHEN,C,16,0,0\n");
}

// Tag order through TDbf's cursor equals XBase's walk of the B-tree, and the
// keys XBase decodes are sorted and match the records' fields.
TEST_F(OraclesTest, TagOrderAgreesAfterAppending) {
  const auto table = dir_.File("grown.dbf");
  const auto mdx = dir_.File("grown.mdx");
  CreateWithTdbf(table, 40);
  AppendWithTdbf(table, 45);  // enough keys to split the pages of every tag
  const auto dump = AgreedDump(table);
  ASSERT_EQ(dump.records.size(), 85u);

  for (const std::string tag : {"NAME", "WHEN", "AMOUNT"}) {
    SCOPED_TRACE(tag);
    const auto keys = KeysWithXbase(mdx, tag);
    EXPECT_EQ(RecordNumbers(DumpWithTdbf(table, tag)), RecordNumbers(keys));
  }

  // NAME: unique, so each upper-cased name once, ascending.
  const auto names = KeysWithXbase(mdx, "NAME");
  std::set<std::string> distinct;
  for (const auto& record : dump.records) distinct.insert(ToUpperAscii(record.values[0]));
  ASSERT_EQ(names.size(), distinct.size());
  for (std::size_t i = 1; i < names.size(); ++i) EXPECT_LT(names[i - 1].key, names[i].key);

  // WHEN: every record, DTOS()+time ascending.
  const auto when = KeysWithXbase(mdx, "WHEN");
  ASSERT_EQ(when.size(), dump.records.size());
  for (std::size_t i = 1; i < when.size(); ++i) EXPECT_LE(when[i - 1].key, when[i].key);
  for (const auto& entry : when) {
    const auto& record = dump.records[entry.record_number - 1];
    EXPECT_EQ(entry.key, record.values[1] + record.values[2]);
  }

  // AMOUNT: numeric keys decode to the field's value, descending.
  const auto amounts = KeysWithXbase(mdx, "AMOUNT");
  ASSERT_EQ(amounts.size(), dump.records.size());
  for (std::size_t i = 0; i < amounts.size(); ++i) {
    EXPECT_EQ(amounts[i].key, dump.records[amounts[i].record_number - 1].values[3]);
    if (i > 0) {
      EXPECT_GE(std::strtod(amounts[i - 1].key.c_str(), nullptr),
                std::strtod(amounts[i].key.c_str(), nullptr));
    }
  }
}

TEST_F(OraclesTest, AppendedRecordsEqualCreatedOnes) {
  CreateWithTdbf(dir_.File("whole.dbf"), 60);
  CreateWithTdbf(dir_.File("parts.dbf"), 25);
  AppendWithTdbf(dir_.File("parts.dbf"), 35);
  EXPECT_EQ(RunTool(TdbfTool(), {"dump", dir_.File("whole.dbf")}).out,
            RunTool(TdbfTool(), {"dump", dir_.File("parts.dbf")}).out);
  for (const std::string tag : {"NAME", "WHEN", "AMOUNT"}) {
    EXPECT_EQ(RecordNumbers(KeysWithXbase(dir_.File("whole.mdx"), tag)),
              RecordNumbers(KeysWithXbase(dir_.File("parts.mdx"), tag)))
        << tag;
  }
}

struct FailureCase {
  const char* name;
  bool tdbf;                      // else xbase_tool
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int exit_code;
  const char* message;  // a part of stderr
};
// Test names show the case, not its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }


class OracleFailureTest : public OraclesTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OracleFailureTest, FailsWithAReason) {
  const auto& c = GetParam();
  CreateWithTdbf(dir_.File("t.dbf"), 3);
  std::vector<std::string> args;
  for (auto arg : c.args) {
    if (const auto at = arg.find('@'); at != std::string::npos) arg.replace(at, 1, dir_.path());
    args.push_back(arg);
  }
  const auto run = RunTool(c.tdbf ? TdbfTool() : XbaseTool(), args);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Tools, OracleFailureTest,
    ::testing::Values(
        FailureCase{"tdbf_no_args", true, {}, 2, "usage"},
        FailureCase{"tdbf_unknown_command", true, {"list", "@/t.dbf"}, 2, "usage"},
        FailureCase{"tdbf_bad_count", true, {"append", "@/t.dbf", "x"}, 2, "record count"},
        FailureCase{"tdbf_missing_file", true, {"dump", "@/none.dbf"}, 1, "none.dbf"},
        FailureCase{"tdbf_unknown_tag", true, {"dump", "@/t.dbf", "--tag", "NOPE"}, 1, "NOPE"},
        FailureCase{"tdbf_create_over_table", true, {"create", "@/t.dbf"}, 1, "exists"},
        FailureCase{"xbase_no_args", false, {}, 2, "usage"},
        FailureCase{"xbase_missing_file", false, {"dump", "@/none.dbf"}, 1, "none.dbf"},
        FailureCase{"xbase_unknown_tag", false, {"index", "@/t.mdx", "NOPE"}, 1, "NOPE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OraclesTest, CreateRefusesToReplaceATable) {
  const auto table = dir_.File("kept.dbf");
  CreateWithTdbf(table, 4);
  const auto before = ReadFile(table);
  EXPECT_NE(RunTool(TdbfTool(), {"create", table, "9"}).exit_code, 0);
  EXPECT_EQ(ReadFile(table), before);
  // Nothing of the refused attempt is left beside the table.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().stem(), "kept") << entry.path();
  }
}

std::uint32_t ReadLittle32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// An index that our engine damaged must make the oracle fail, not hang.
TEST_F(OraclesTest, XbaseRefusesAnIndexWhosePagesFormACycle) {
  const auto table = dir_.File("cycle.dbf");
  const auto mdx = dir_.File("cycle.mdx");
  CreateWithTdbf(table, 200);  // NAME's root then is an interior page
  std::string bytes = ReadFile(mdx);
  ASSERT_EQ(bytes.substr(548, 4), std::string("NAME"));  // first tag entry
  const auto tag_header = ReadLittle32(bytes, 544) * 512;
  const auto root = ReadLittle32(bytes, tag_header) * 512;
  const auto keys = ReadLittle32(bytes, root);
  constexpr std::size_t kNameItem = 24;  // 4-byte pointer + 20-byte key
  ASSERT_GT(ReadLittle32(bytes, root + 8 + keys * kNameItem), 0u) << "root is not interior";
  // The root's first child pointer now names the root itself.
  for (int i = 0; i < 4; ++i) bytes[root + 8 + i] = bytes[tag_header + i];
  std::ofstream(mdx, std::ios::binary | std::ios::trunc) << bytes;

  const auto run = RunTool(XbaseTool(), {"index", mdx, "NAME"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
}

// ---- files written by other programs ----------------------------------

struct FixtureTable {
  const char* path;
  std::size_t records;
};
void PrintTo(const FixtureTable& c, std::ostream* os) { *os << c.path; }


class FixtureDumpTest : public OraclesTest, public ::testing::WithParamInterface<FixtureTable> {};

TEST_P(FixtureDumpTest, BothOraclesReadIt) {
  const auto path = FixturePath(GetParam().path);
  if (path.empty()) GTEST_SKIP() << "fixture " << GetParam().path << " is absent";
  EXPECT_EQ(AgreedDump(path).records.size(), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureDumpTest,
                         ::testing::Values(FixtureTable{"dbase/step7/BAUSTEIN.DBF", 2},
                                           FixtureTable{"dbase/step7/HATTRME1.DBF", 6},
                                           FixtureTable{"dbase/step7/HRELATI1.DBF", 11},
                                           FixtureTable{"dbase/step7/S7CONTAI.DBF", 0},
                                           FixtureTable{"dbase/step7/SYMLIST.DBF", 4},
                                           FixtureTable{"dbase/step7/XR000001.DBF", 6},
                                           FixtureTable{"dbase/bde_memo/BDE_TEST_4_512.dbf", 4},
                                           FixtureTable{"dbase/bde_memo/BDE_TEST_4_64.dbf", 4}),
                         [](const auto& info) {
                           auto name = std::filesystem::path(info.param.path).stem().string();
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

// The memo texts are those of the statement that filled the tables; the
// 64-byte-block file must read like the 512-byte one.
TEST_F(OraclesTest, BorlandMemosReadAsInserted) {
  for (const char* name :
       {"dbase/bde_memo/BDE_TEST_4_512.dbf", "dbase/bde_memo/BDE_TEST_4_64.dbf"}) {
    const auto path = FixturePath(name);
    if (path.empty()) GTEST_SKIP() << "fixture " << name << " is absent";
    SCOPED_TRACE(name);
    const auto dump = AgreedDump(path);
    ASSERT_EQ(dump.records.size(), 4u);
    EXPECT_EQ(dump.records[0].values,
              (std::vector<std::string>{"AAA", "20150101", "T", "111", "1111", "11111.11",
                                        ">aAaA aAaA aAaA aAaA aAaA aAaA aAaA aAaA>"}));
    const auto& long_memo = dump.records[1].values[6];
    EXPECT_EQ(long_memo.substr(0, 15), ">\r\nbBbBbBbbbbBB");
    EXPECT_EQ(long_memo.substr(long_memo.size() - 20), "bbBBBbbBBBBbbBBBBBB>");
    EXPECT_GT(long_memo.size(), 1024u);
    EXPECT_EQ(dump.records[2].values[6], "");
    EXPECT_EQ(dump.records[3].values[6], "");
  }
}

struct FixtureTag {
  const char* table;  // the .DBF; its .MDX is beside it
  const char* tag;
  std::vector<long> record_order;
  const char* first_key;
};
void PrintTo(const FixtureTag& c, std::ostream* os) { *os << c.table << " " << c.tag; }


class FixtureIndexTest : public OraclesTest, public ::testing::WithParamInterface<FixtureTag> {};

TEST_P(FixtureIndexTest, XbaseListsTheKeysInOrder) {
  const auto& c = GetParam();
  const auto table = FixturePath(std::string("dbase/step7/") + c.table + ".DBF");
  const auto mdx = FixturePath(std::string("dbase/step7/") + c.table + ".MDX");
  if (table.empty() || mdx.empty()) GTEST_SKIP() << "fixture " << c.table << " is absent";
  const auto keys = KeysWithXbase(mdx, c.tag);
  EXPECT_EQ(RecordNumbers(keys), c.record_order);
  if (!keys.empty()) {
    EXPECT_EQ(keys.front().key, c.first_key);
  }
  // TDbf's parser lacks LTRIM and TRIM, so it cannot open SYMLIST's index.
  if (std::string(c.table) != "SYMLIST") {
    EXPECT_EQ(RecordNumbers(DumpWithTdbf(table, c.tag)), c.record_order);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Step7, FixtureIndexTest,
    ::testing::Values(
        // Numeric keys, unique, FOR .NOT. DELETED().
        FixtureTag{"XR000001", "TAG_ID", {4, 3, 2, 1, 6, 5}, "1"},
        FixtureTag{"BAUSTEIN", "ID_TAG", {1, 2}, "1"},
        // Equal keys stored newest record first.
        FixtureTag{"HRELATI1", "REL1_TAG", {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, "          1"},
        FixtureTag{"XR000001", "TAG_BLKTNU", {4, 3, 2, 1, 6, 5}, " 8    1"},
        // A 55-character STR()+STR()... key over several items.
        FixtureTag{"HRELATI1",
                   "REL2_TAG",
                   {3, 4, 2, 8, 1, 6, 5, 7, 11, 9, 10},
                   "          1    1316291         16          1    1327361"},
        FixtureTag{"SYMLIST", "__USKZ", {4, 3, 2, 1}, "MASTER_BRANCH           "},
        // FOR .FALSE.: an empty tag.
        FixtureTag{"SYMLIST", "__OPHIST", {}, ""},
        // No records: root leaves without keys.
        FixtureTag{"S7CONTAI", "NAME_TAG", {}, ""}),
    [](const auto& info) { return std::string(info.param.table) + "_" + info.param.tag; });

TEST_F(OraclesTest, TdbfReportsTheForFiltersOfStep7Tags) {
  const auto table = FixturePath("dbase/step7/XR000001.DBF");
  if (table.empty()) GTEST_SKIP() << "fixture dbase/step7/XR000001.DBF is absent";
  const auto tags = TagsWithTdbf(table);
  ASSERT_EQ(tags.size(), 4u);
  EXPECT_EQ(tags[0].name, "TAG_ID");
  EXPECT_TRUE(tags[0].unique);
  EXPECT_EQ(tags[1].key_expression, "OPTYPE + OPACCESS + DBNB + BYTEADR + BITADR");
  for (const auto& tag : tags) EXPECT_EQ(tag.for_expression, ".NOT. DELETED()") << tag.name;
}

}  // namespace
}  // namespace qm::test::oracles
