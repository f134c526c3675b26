#include "engine/data_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
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

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// --- Field values ---------------------------------------------------------

TEST(FieldValueTest, LogicalTrueOnlyForTandY) {
  for (char c : std::string("TtYy")) EXPECT_TRUE(LogicalIsTrue(c)) << c;
  for (char c : std::string("FfNn ?\0", 7)) EXPECT_FALSE(LogicalIsTrue(c)) << int(c);
}

TEST(FieldValueTest, FormatNumberRightAlignsWithGivenDecimals) {
  struct Case {
    double value;
    int decimals;
    int width;
    const char* expected;  // nullptr: does not fit
  };
  const Case cases[] = {
      {12.5, 2, 11, "      12.50"},  // more decimals than the field declares
      {12.5, 0, 5, "   13"},         // halves round away from zero
      {-12.5, 0, 5, "  -13"},
      {12.345, 2, 6, " 12.35"},       // stored a hair below .345
      {-0.001, 2, 5, " 0.00"},        // no negative zero
      {1234567, 0, 7, "1234567"},
      {12345678, 0, 7, nullptr},
      {99.999, 2, 5, nullptr},        // rounds up to 100.00
  };
  for (const Case& c : cases) {
    std::string out(static_cast<std::size_t>(c.width), '#');
    const bool fits = FormatNumber(c.value, c.decimals, out);
    if (c.expected == nullptr) {
      EXPECT_FALSE(fits) << c.value;
      EXPECT_EQ(out, std::string(static_cast<std::size_t>(c.width), '#')) << "left untouched";
    } else {
      EXPECT_TRUE(fits) << c.value;
      EXPECT_EQ(out, c.expected) << c.value;
    }
  }
}

TEST(FieldValueTest, ParseNumberReadsBlanksAndJunkAsZero) {
  EXPECT_DOUBLE_EQ(ParseNumber("   12.50"), 12.5);
  EXPECT_DOUBLE_EQ(ParseNumber("  -3"), -3);
  EXPECT_DOUBLE_EQ(ParseNumber("+7"), 7);
  EXPECT_DOUBLE_EQ(ParseNumber("          "), 0);
  EXPECT_DOUBLE_EQ(ParseNumber("abc"), 0);
  EXPECT_DOUBLE_EQ(ParseNumber(""), 0);
}

TEST(FieldValueTest, JulianDaysOfKnownDates) {
  EXPECT_EQ(JulianDayFromDate(2024, 1, 1), 2460311);
  EXPECT_EQ(JulianDayFromDate(2000, 2, 29), 2451604);
  EXPECT_EQ(JulianDayFromDate(1970, 1, 1), 2440588);
  EXPECT_EQ(JulianDayFromDateText("20240101"), 2460311);

  for (std::int32_t day : {2440588, 2451604, 2460311, 1721426 /* 0001-01-01 */, 5373484}) {
    std::array<char, 8> text{};
    ASSERT_TRUE(DateTextFromJulianDay(day, text));
    EXPECT_EQ(JulianDayFromDateText(std::string_view(text.data(), 8)), day);
  }
}

TEST(FieldValueTest, DateTextThatIsNoDateReadsAsZero) {
  for (const char* text : {"        ", "20230229", "20231301", "20230100", "2023-1-1", "0000000 "}) {
    EXPECT_EQ(JulianDayFromDateText(text), 0) << text;
  }
  std::array<char, 8> text{};
  ASSERT_TRUE(DateTextFromJulianDay(0, text));
  EXPECT_EQ(std::string(text.data(), 8), "        ");
  EXPECT_FALSE(DateTextFromJulianDay(5373485, text)) << "year 10000";
}

TEST(FieldValueTest, BlockNumbers) {
  std::string out(10, '#');
  FormatBlockNumber(42, out);
  EXPECT_EQ(out, "        42");
  EXPECT_EQ(ParseBlockNumber(out), 42u);
  FormatBlockNumber(0, out);
  EXPECT_EQ(out, "          ");
  EXPECT_EQ(ParseBlockNumber(out), 0u);
  EXPECT_EQ(ParseBlockNumber("  12x"), 0u);
}

// --- Header -------------------------------------------------------------------

TEST(DataFileHeaderTest, YearByteCountsFrom1900OrIsTheYearModulo100) {
  EXPECT_EQ(YearFromHeaderByte(124), 2024);
  EXPECT_EQ(YearFromHeaderByte(95), 1995);
  EXPECT_EQ(YearFromHeaderByte(24), 2024);
  EXPECT_EQ(YearFromHeaderByte(0), 2000);
}

std::vector<FieldDescriptor> SampleFields() {
  return {{"NAME", FieldType::kCharacter, 10, 0, 0}, {"AMOUNT", FieldType::kNumeric, 11, 2, 0},
          {"DAY", FieldType::kDate, 8, 0, 0},        {"DONE", FieldType::kLogical, 1, 0, 0},
          {"NOTES", FieldType::kMemo, 10, 0, 0}};
}

TEST(DataFileTest, CreateWritesTheDbaseIvLayout) {
  test::TempDir dir;
  DataFile file;
  ASSERT_TRUE(file.Create(dir.File("t.dbf"), SampleFields(), {true, false}, true, false).ok());
  file.Close();

  const std::string bytes = ReadAll(dir.File("t.dbf"));
  const std::size_t header_length = 32 + 32 * 5 + 1;
  ASSERT_EQ(bytes.size(), header_length + 1);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x8B) << "a memo field makes 0x8B";
  EXPECT_GE(static_cast<unsigned char>(bytes[1]), 124) << "year - 1900";
  EXPECT_EQ(std::memcmp(bytes.data() + 4, "\0\0\0\0", 4), 0);
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8,
            static_cast<int>(header_length));
  EXPECT_EQ(static_cast<unsigned char>(bytes[10]), 1 + 10 + 11 + 8 + 1 + 10);
  EXPECT_EQ(bytes[28], 1);
  EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x57);
  EXPECT_EQ(std::string(bytes.data() + 32, 11), std::string("NAME\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(bytes[32 + 11], 'C');
  EXPECT_EQ(bytes[32 + 31], 1) << "NAME alone keys a production tag";
  EXPECT_EQ(bytes[64 + 16], 11);
  EXPECT_EQ(bytes[64 + 17], 2);
  EXPECT_EQ(bytes[64 + 31], 0);
  EXPECT_EQ(bytes[header_length - 1], 0x0D);
  EXPECT_EQ(bytes[header_length], 0x1A);

  DataFile plain;
  ASSERT_TRUE(plain.Create(dir.File("p.dbf"), {{"A", FieldType::kCharacter, 3, 0, 0}}, {}, false,
                           false).ok());
  plain.Close();
  EXPECT_EQ(ReadAll(dir.File("p.dbf"))[0], 0x03);
}

TEST(DataFileTest, CreateRefusesAnExistingFileUnlessOverwriting) {
  test::TempDir dir;
  WriteAll(dir.File("t.dbf"), "keep me");
  DataFile file;
  FileStatus status = file.Create(dir.File("t.dbf"), SampleFields(), {}, false, false);
  EXPECT_EQ(status.code, kErrorCreate);
  EXPECT_EQ(ReadAll(dir.File("t.dbf")), "keep me");
  EXPECT_TRUE(file.Create(dir.File("t.dbf"), SampleFields(), {}, false, true).ok());
}

TEST(DataFileTest, ValidateFieldsNamesTheCulprit) {
  struct Case {
    FieldDescriptor field;
    int code;
  };
  const Case cases[] = {
      {{"lower", FieldType::kCharacter, 5, 0, 0}, kErrorFieldName},
      {{"TOOLONGNAME1", FieldType::kCharacter, 5, 0, 0}, kErrorFieldName},
      {{"1ST", FieldType::kCharacter, 5, 0, 0}, kErrorFieldName},
      {{"X", static_cast<FieldType>('B'), 10, 0, 0}, kErrorFieldType},
      {{"X", FieldType::kCharacter, 0, 0, 0}, kErrorFieldType},
      {{"X", FieldType::kCharacter, 255, 0, 0}, kErrorFieldType},
      {{"X", FieldType::kNumeric, 5, 4, 0}, kErrorFieldType},
      {{"X", FieldType::kDate, 6, 0, 0}, kErrorFieldType},
      {{"X", FieldType::kMemo, 8, 0, 0}, kErrorFieldType},
  };
  for (const Case& c : cases) {
    FileStatus status = DataFile::ValidateFields({c.field});
    EXPECT_EQ(status.code, c.code) << c.field.name;
    EXPECT_NE(status.text.find(c.field.name), std::string::npos) << status.text;
  }
  EXPECT_EQ(DataFile::ValidateFields({}).code, kErrorParameter);
  EXPECT_EQ(DataFile::ValidateFields({{"A", FieldType::kCharacter, 1, 0, 0},
                                      {"A", FieldType::kCharacter, 1, 0, 0}})
                .code,
            kErrorFieldName);
  EXPECT_TRUE(DataFile::ValidateFields({{"N_2", FieldType::kNumeric, 11, 2, 0}}).ok());
}

TEST(DataFileTest, AppendWritesRecordThenCountAndReadsBack) {
  test::TempDir dir;
  DataFile file;
  ASSERT_TRUE(file.Create(dir.File("t.dbf"), {{"A", FieldType::kCharacter, 3, 0, 0}}, {}, false,
                          false).ok());
  RecordNumber number = 0;
  ASSERT_TRUE(file.NextRecordNumber(number).ok());
  EXPECT_EQ(number, 1u);
  ASSERT_TRUE(file.AppendRecords(std::string(" abc*def"), 1).ok());
  RecordNumber count = 0;
  ASSERT_TRUE(file.ReadRecordCount(count).ok());
  EXPECT_EQ(count, 2u);
  std::string record(4, '\0');
  ASSERT_TRUE(file.ReadRecord(2, record).ok());
  EXPECT_EQ(record, "*def");
  EXPECT_EQ(file.ReadRecord(3, record).code, kErrorRead);
  ASSERT_TRUE(file.WriteRecord(1, std::string(" xyz")).ok());
  file.Close();
  const std::string bytes = ReadAll(dir.File("t.dbf"));
  EXPECT_EQ(bytes.substr(bytes.size() - 9), " xyz*def\x1A");
  EXPECT_EQ(bytes[4], 2);
}

TEST(DataFileTest, CountIsCappedAtCompleteRecords) {
  test::TempDir dir;
  {
    DataFile file;
    ASSERT_TRUE(file.Create(dir.File("t.dbf"), {{"A", FieldType::kCharacter, 3, 0, 0}}, {}, false,
                            false).ok());
    ASSERT_TRUE(file.AppendRecords(std::string(" aaa bbb ccc"), 1).ok());
  }
  // A crash that cut the last record short: the header still says 3.
  std::string bytes = ReadAll(dir.File("t.dbf"));
  bytes.resize(bytes.size() - 3);
  WriteAll(dir.File("t.dbf"), bytes);

  DataFile file;
  ASSERT_TRUE(file.Open(dir.File("t.dbf")).ok());
  RecordNumber count = 0;
  ASSERT_TRUE(file.ReadRecordCount(count).ok());
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(file.header().record_count, 3u) << "the header itself is left to the header check";
  // The next append overwrites the torn record.
  RecordNumber next = 0;
  ASSERT_TRUE(file.NextRecordNumber(next).ok());
  EXPECT_EQ(next, 4u) << "numbers follow the header; DbTable repairs the header before opening";
}

TEST(DataFileTest, OpenRefusesWhatIsNoDataFile) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
    int code;
  };
  std::string good;
  {
    DataFile file;
    ASSERT_TRUE(file.Create(dir.File("good.dbf"), {{"A", FieldType::kCharacter, 3, 0, 0}}, {},
                            false, false).ok());
  }
  good = ReadAll(dir.File("good.dbf"));
  std::string bad_version = good;
  bad_version[0] = 0x02;
  std::string bad_type = good;
  bad_type[32 + 11] = 'X';
  std::string bad_length = good;
  bad_length[10] = 9;
  std::string no_terminator = good.substr(0, 32 + 16);
  const Case cases[] = {
      {"short.dbf", "\x03\x7c", kErrorData},
      {"version.dbf", bad_version, kErrorData},
      {"type.dbf", bad_type, kErrorFieldType},
      {"length.dbf", bad_length, kErrorRecordLength},
      {"cut.dbf", no_terminator, kErrorData},
  };
  for (const Case& c : cases) {
    WriteAll(dir.File(c.name), c.bytes);
    DataFile file;
    EXPECT_EQ(file.Open(dir.File(c.name)).code, c.code) << c.name;
    EXPECT_FALSE(file.is_open());
  }
  DataFile missing;
  EXPECT_EQ(missing.Open(dir.File("none.dbf")).code, kErrorOpen);
}

// --- Files that other programs wrote ------------------------------------------

TEST(DataFileFixtureTest, EveryFixtureTableOpensWithItsFieldsAndRecords) {
  struct Case {
    const char* file;
    std::uint8_t version;
    std::size_t fields;
    RecordNumber records;
    const char* first_field;
    const char* record1_start;  // the first bytes of record 1 (after the deletion byte)
  };
  const Case cases[] = {
      {"dbase/step7/XR000001.DBF", 0x8B, 16, 6, "ID", "         4"},
      {"dbase/step7/HRELATI1.DBF", 0x03, 7, 11, "SOBJID", nullptr},
      {"dbase/step7/HATTRME1.DBF", 0x8B, 4, 6, "IDM", nullptr},
      {"dbase/step7/SYMLIST.DBF", 0x03, 22, 4, "_ID", nullptr},
      {"dbase/step7/BAUSTEIN.DBF", 0x8B, 7, 2, "ID", nullptr},
      {"dbase/step7/S7CONTAI.DBF", 0x03, 13, 0, "ID", nullptr},
      {"dbase/bde_memo/BDE_TEST_4_64.dbf", 0x8B, 7, 4, "C10", "AAA       20150101T"},
      {"dbase/bde_memo/BDE_TEST_4_512.dbf", 0x8B, 7, 4, "C10", "AAA       20150101T"},
  };
  for (const Case& c : cases) {
    const std::string path = test::FixturePath(c.file);
    if (path.empty()) GTEST_SKIP() << "fixtures absent: " << c.file;
    DataFile file;
    FileStatus status = file.Open(path);
    ASSERT_TRUE(status.ok()) << c.file << ": " << status.text;
    EXPECT_EQ(file.header().version, c.version) << c.file;
    EXPECT_EQ(file.layout().fields().size(), c.fields) << c.file;
    EXPECT_EQ(file.layout().fields()[0].name, c.first_field) << c.file;
    EXPECT_EQ(file.header().year, std::strstr(c.file, "bde") ? 2016 : 2018) << c.file;
    RecordNumber count = 0;
    ASSERT_TRUE(file.ReadRecordCount(count).ok());
    EXPECT_EQ(count, c.records) << c.file;
    std::vector<char> record(file.layout().record_length());
    for (RecordNumber n = 1; n <= count; ++n) {
      ASSERT_TRUE(file.ReadRecord(n, record).ok()) << c.file << " record " << n;
      EXPECT_TRUE(record[0] == ' ' || record[0] == '*');
    }
    if (c.record1_start != nullptr) {
      ASSERT_TRUE(file.ReadRecord(1, record).ok());
      EXPECT_EQ(std::string(record.data() + 1, std::strlen(c.record1_start)), c.record1_start);
    }
  }
}

}  // namespace
}  // namespace qm::engine
