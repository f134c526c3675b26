#include "engine/expression.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"

namespace qm::engine {
namespace {

FieldDescriptor F(std::string name, FieldType type, int width, int decimals = 0) {
  FieldDescriptor field;
  field.name = std::move(name);
  field.type = type;
  field.width = width;
  field.decimals = decimals;
  return field;
}

// The seventeen fields of a time record row.
RecordLayout TimeRecordLayout() {
  using T = FieldType;
  return RecordLayout({F("PERSON", T::kCharacter, 35), F("CLIENT", T::kCharacter, 35),
                       F("PROJECT", T::kCharacter, 35), F("SUBPROJECT", T::kCharacter, 35),
                       F("TASK", T::kCharacter, 35), F("RATE", T::kNumeric, 11),
                       F("EXPENSE", T::kNumeric, 11), F("START_DATE", T::kDate, 8),
                       F("START_TIME", T::kCharacter, 8), F("END_DATE", T::kDate, 8),
                       F("END_TIME", T::kCharacter, 8), F("PAUSE_DUR", T::kNumeric, 7),
                       F("BILLABLE", T::kLogical, 1), F("EDITED", T::kLogical, 1),
                       F("INVOICE", T::kNumeric, 9), F("DESCSTART", T::kCharacter, 250),
                       F("DESCEND", T::kCharacter, 250)});
}

RecordLayout DescriptorLayout() {
  using T = FieldType;
  return RecordLayout({F("DESCRIPTOR", T::kCharacter, 35), F("TYPE", T::kNumeric, 2),
                       F("LINKED_TO", T::kCharacter, 35), F("LINKTOTYPE", T::kNumeric, 2)});
}

// A record buffer filled field by field as the data file stores it: text
// left-aligned, numbers right-aligned, both blank-padded.
class Record {
 public:
  explicit Record(const RecordLayout& layout)
      : layout_(layout), bytes_(layout.record_length(), ' ') {}

  Record& Set(std::string_view name, std::string_view value) {
    const FieldDescriptor& field = layout_.fields()[*layout_.Find(name)];
    const std::size_t width = static_cast<std::size_t>(field.width);
    const std::string_view cut = value.substr(0, width);
    char* at = bytes_.data() + field.offset;
    std::memset(at, ' ', width);
    if (field.type == FieldType::kNumeric || field.type == FieldType::kFloat) {
      std::memcpy(at + width - cut.size(), cut.data(), cut.size());
    } else {
      std::memcpy(at, cut.data(), cut.size());
    }
    return *this;
  }
  Record& Delete() {
    bytes_[0] = '*';
    return *this;
  }

  std::span<const char> span() const { return bytes_; }

 private:
  const RecordLayout& layout_;
  std::string bytes_;
};

Expression MustCompile(std::string_view text, const RecordLayout& layout) {
  CompileResult result = Expression::Compile(text, layout);
  EXPECT_TRUE(result.ok()) << text << ": " << result.error().message;
  if (!result.ok()) return Expression::Compile(".F.", layout).expression();
  return result.expression();
}

std::string Text(const Expression& expression, const Record& record) {
  std::string out(expression.result_width(), '?');
  expression.EvaluateCharacter(record.span(), out);
  return out;
}

// A working day of Ann's for ACME, as the program stores it.
Record SampleTimeRecord(const RecordLayout& layout) {
  Record record(layout);
  record.Set("PERSON", "Ann Smith")
      .Set("CLIENT", "Acme")
      .Set("PROJECT", "Website")
      .Set("SUBPROJECT", "Design")
      .Set("TASK", "Phone call")
      .Set("RATE", "12.50")
      .Set("EXPENSE", "3.50")
      .Set("START_DATE", "20240115")
      .Set("START_TIME", "09:30:00")
      .Set("END_DATE", "20240115")
      .Set("END_TIME", "17:05:00")
      .Set("PAUSE_DUR", "1800")
      .Set("BILLABLE", "T")
      .Set("EDITED", "F")
      .Set("INVOICE", "0")
      .Set("DESCSTART", "Called the client about the new layout");
  return record;
}

// --- Keys the program builds ------------------------------------------------

struct TextCase {
  const char* expression;
  const char* expected;  // the whole result, padding included
};

TEST(ExpressionKeyTest, TimeRecordKeysEvaluateToTheirStoredForm) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record = SampleTimeRecord(layout);
  const std::string client25 = "ACME" + std::string(21, ' ');
  const TextCase cases[] = {
      {"DTOS(START_DATE)+START_TIME", "2024011509:30:00"},
      {"DTOS(END_DATE ) + END_TIME", "2024011517:05:00"},
      {"DTOS(START_DATE)", "20240115"},
      {"STR(RATE,12,2)", "       12.50"},
      {"STR(EXPENSE,12,2)", "        3.50"},
      {"STR(INVOICE,12,2)", "        0.00"},
      {"IIF(BILLABLE,\"1\",\"0\")", "1"},
      {"IIF(EDITED,\"1\",\"0\")", "0"},
      {"UPPER(SUBSTR(CLIENT,1,25))", "ACME                     "},
      {"UPPER(SUBSTR(TASK,1,35)) + DTOS(START_DATE)+START_TIME",
       "PHONE CALL                         2024011509:30:00"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.expression);
    const Expression key = MustCompile(c.expression, layout);
    EXPECT_EQ(key.result_type(), ExpressionType::kCharacter);
    EXPECT_EQ(key.result_width(), std::strlen(c.expected));
    EXPECT_EQ(Text(key, record), c.expected);
  }
}

TEST(ExpressionKeyTest, FourDescriptorLevelsMakeAHundredCharacterKey) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record = SampleTimeRecord(layout);
  const char* text =
      "UPPER(SUBSTR(CLIENT,1,25)) + UPPER(SUBSTR(PROJECT,1,25)) + "
      "UPPER(SUBSTR(SUBPROJECT,1,25)) + UPPER(SUBSTR(TASK,1,25))";
  CompileResult key = Expression::CompileKey(text, layout);
  ASSERT_TRUE(key.ok()) << key.error().message;
  EXPECT_EQ(key.expression().result_width(), 100u);
  const std::string pad = std::string(25, ' ');
  EXPECT_EQ(Text(key.expression(), record), std::string("ACME") + pad.substr(4) + "WEBSITE" +
                                                pad.substr(7) + "DESIGN" + pad.substr(6) +
                                                "PHONE CALL" + pad.substr(10));
}

TEST(ExpressionKeyTest, DescriptorKeyOrdersKindValueAndLink) {
  const RecordLayout layout = DescriptorLayout();
  const Expression key = MustCompile(
      "STR(TYPE,2,0)+UPPER(DESCRIPTOR)+UPPER(LINKED_TO)+STR(LINKTOTYPE,2,0)", layout);
  ASSERT_EQ(key.result_width(), 74u);

  Record unlinked(layout);
  unlinked.Set("DESCRIPTOR", "Design").Set("TYPE", "2").Set("LINKTOTYPE", "-1");
  EXPECT_EQ(Text(key, unlinked),
            " 2DESIGN" + std::string(29, ' ') + std::string(35, ' ') + "-1");

  Record linked(layout);
  linked.Set("DESCRIPTOR", "design").Set("TYPE", "2").Set("LINKED_TO", "Acme").Set("LINKTOTYPE", "1");
  EXPECT_EQ(Text(key, linked),
            " 2DESIGN" + std::string(29, ' ') + "ACME" + std::string(31, ' ') + " 1");
}

TEST(ExpressionKeyTest, KeyLengthIsLimitedToAHundred) {
  const RecordLayout layout = TimeRecordLayout();
  const char* too_long =
      "UPPER(SUBSTR(CLIENT,1,26)) + UPPER(SUBSTR(PROJECT,1,26)) + "
      "UPPER(SUBSTR(SUBPROJECT,1,26)) + UPPER(SUBSTR(TASK,1,26))";
  CompileResult refused = Expression::CompileKey(too_long, layout);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "The key is 104 characters long; a key holds at most 100");
  // Any expression may be longer; only keys are bounded.
  EXPECT_TRUE(Expression::Compile(too_long, layout).ok());
  EXPECT_FALSE(Expression::CompileKey("DESCSTART", layout).ok());
  EXPECT_FALSE(Expression::CompileKey("BILLABLE", layout).ok());
  EXPECT_FALSE(Expression::CompileKey("SUBSTR(PERSON,40)", layout).ok());  // always empty

  CompileResult numeric = Expression::CompileKey("RATE", layout);
  ASSERT_TRUE(numeric.ok());
  EXPECT_EQ(numeric.expression().result_type(), ExpressionType::kNumeric);
  CompileResult date = Expression::CompileKey("START_DATE", layout);
  ASSERT_TRUE(date.ok());
  EXPECT_EQ(date.expression().result_type(), ExpressionType::kDate);
}

// --- Filters the program builds ----------------------------------------------

struct FilterCase {
  const char* filter;
  bool on_sample;   // the sample record as it is
  bool on_variant;  // the variant: deleted, client "Acme Corp", not billable,
                    // rate 9.75, description with "CALL" across both halves
};

TEST(ExpressionFilterTest, FiltersSelectTheRightRecords) {
  const RecordLayout layout = TimeRecordLayout();
  const Record sample = SampleTimeRecord(layout);
  Record variant = SampleTimeRecord(layout);
  variant.Delete()
      .Set("CLIENT", "Acme Corp")
      .Set("BILLABLE", "F")
      .Set("RATE", "9.75")
      .Set("START_DATE", "19971231")
      .Set("INVOICE", "42")
      .Set("DESCSTART", std::string(248, 'x') + "ca")
      .Set("DESCEND", "ll back");
  const FilterCase cases[] = {
      {".NOT.DELETED()", true, false},
      {".NOT. DELETED()", true, false},
      {".NOT.DELETED().AND.(UPPER(CLIENT)=\"ACME   \")", true, false},
      {"UPPER(CLIENT)=\"ACME   \"", true, false},  // "ACME CORP" is another client
      {"UPPER(CLIENT)=\"ACME\"", true, true},      // without the blanks: every ACME...
      {"UPPER(CLIENT)<>\"ACME   \"", false, true},
      {"UPPER(CLIENT)>\"ACME                               \"", false, true},
      {".NOT.DELETED().AND.UPPER(PERSON)=\"ANN SMITH   \"", true, false},
      {"\"CALL\"$UPPER(DESCSTART+DESCEND)", true, true},
      {"\"LAYOUT\"$UPPER(DESCSTART+DESCEND)", true, false},
      {"DTOS(START_DATE)>=\"19980101\"", true, false},
      {"START_TIME<\"14:30:00\"", true, true},
      {"BILLABLE=.T.", true, false},
      {"BILLABLE=.F.", false, true},
      {"RATE>12.5", false, false},
      {"RATE>=12.5", true, false},
      {"RATE<10", false, true},
      {"INVOICE=0", true, false},
      {"INVOICE<>0", false, true},
      {".NOT.DELETED().AND.(((UPPER(CLIENT)=\"ACME   \") .OR. BILLABLE=.T.) .AND. RATE>=12.5)",
       true, false},
      {"((UPPER(CLIENT)=\"ACME   \") .OR. BILLABLE=.F.) .AND. RATE<10", false, true},
      {".F.", false, false},
      {".FALSE.", false, false},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.filter);
    CompileResult filter = Expression::CompileFilter(c.filter, layout);
    ASSERT_TRUE(filter.ok()) << filter.error().message;
    EXPECT_EQ(filter.expression().EvaluateLogical(sample.span()), c.on_sample);
    EXPECT_EQ(filter.expression().EvaluateLogical(variant.span()), c.on_variant);
  }
}

TEST(ExpressionFilterTest, ElevenRowsJoinedLeftToRight) {
  // The longest filter the filter dialog makes: ".AND.(" and ten further
  // "(", each row closing one of them.
  const RecordLayout layout = TimeRecordLayout();
  std::string text = ".NOT.DELETED().AND.UPPER(PERSON)=\"ANN SMITH   \".AND.(" + std::string(10, '(');
  for (int row = 1; row <= 11; ++row) {
    text += row == 1   ? "UPPER(CLIENT)=\"ACME   \""
            : row == 6 ? "\"CALL\"$UPPER(DESCSTART+DESCEND)"
            : row == 4 ? "INVOICE<>0"
                       : "RATE>1";
    text += ")";
    if (row < 11) text += row == 3 ? " .OR. " : " .AND. ";
  }
  ASSERT_LT(text.size(), 256u);
  CompileResult filter = Expression::CompileFilter(text, layout);
  ASSERT_TRUE(filter.ok()) << filter.error().message;
  Record record = SampleTimeRecord(layout);
  EXPECT_TRUE(filter.expression().EvaluateLogical(record.span()));
  record.Set("DESCSTART", "no phone");
  EXPECT_FALSE(filter.expression().EvaluateLogical(record.span()));
}

TEST(ExpressionFilterTest, FilterMustBeLogical) {
  const RecordLayout layout = TimeRecordLayout();
  CompileResult refused = Expression::CompileFilter("UPPER(CLIENT)", layout);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "A filter must be logical, not character");
  EXPECT_FALSE(Expression::CompileFilter("RATE", layout).ok());
}

// --- Language rules -----------------------------------------------------------

struct LogicalCase {
  const char* expression;
  bool expected;
};

TEST(ExpressionRulesTest, TextComparisonStopsAtTheEndOfTheRightOperand) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record(layout);
  const LogicalCase cases[] = {
      {"\"ABC\" = \"ABC\"", true},
      {"\"ABC\" = \"AB\"", true},
      {"\"AB\" = \"ABC\"", false},
      {"\"AB\" = \"AB \"", false},  // the left ends first
      {"\"AB \" = \"AB\"", true},
      {"\"ABC\" = \"\"", true},
      {"\"\" = \"AB\"", false},
      {"\"ABC\" <> \"AB\"", false},  // <> negates = exactly
      {"\"ABC\" # \"ABD\"", true},
      {"\"ABC\" > \"AB\"", false},
      {"\"ABC\" >= \"AB\"", true},
      {"\"ABC\" <= \"AB\"", true},
      {"\"AB\" < \"ABC\"", true},
      {"\"ABD\" > \"ABC\"", true},
      {"\"a\" < \"B\"", false},          // bytes, not letters
      {"\"\xE9\" > \"z\"", true},        // unsigned: é (0xE9) sorts after z
      {"\" \" < \"\x01\"", false},
  };
  for (const LogicalCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(MustCompile(c.expression, layout).EvaluateLogical(record.span()), c.expected);
  }
}

TEST(ExpressionRulesTest, PrecedenceNotThenAndThenOrAllLooserThanComparisons) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record(layout);
  const LogicalCase cases[] = {
      {".NOT. .T. .AND. .F.", false},   // (.NOT. .T.) .AND. .F.
      {".NOT. .F. .OR. .T.", true},
      {".T. .OR. .T. .AND. .F.", true},  // .T. .OR. (.T. .AND. .F.)
      {".F. .AND. .T. .OR. .T.", true},  // (.F. .AND. .T.) .OR. .T.
      {".NOT. 1 = 2", true},             // .NOT. (1 = 2)
      {".NOT..NOT..T.", true},
      {"1 + 2 * 3 = 7", true},
      {"(1 + 2) * 3 = 9", true},
      {"-2 * 3 = -6", true},
      {"10 - 4 - 3 = 3", true},          // left to right
      {"8 / 4 / 2 = 1", true},
      {"1 = 1 .AND. 2 > 1 .OR. .F.", true},
      {".t. .and. .y.", true},           // words in any case
      {".T..AND..N.", false},
      {"\"A\" + \"B\" = \"AB\"", true},
  };
  for (const LogicalCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(MustCompile(c.expression, layout).EvaluateLogical(record.span()), c.expected);
  }
}

TEST(ExpressionRulesTest, FunctionsAndTextOperators) {
  const RecordLayout layout = TimeRecordLayout();
  Record record = SampleTimeRecord(layout);
  record.Set("PROJECT", "  Web site").Set("TASK", "\xE9t\xE9 \x9A\xFF\xF7\xDF");
  const TextCase cases[] = {
      {"SUBSTR(\"ABCDEF\",2,3)", "BCD"},
      {"SUBSTR(\"ABCDEF\",4)", "DEF"},
      {"SUBSTR(\"ABC\",2,10)", "BC"},
      {"LEFT(\"ABCDEF\",2)", "AB"},
      {"RIGHT(\"ABCDEF\",2)", "EF"},
      {"TRIM(CLIENT)+\"|\"", "Acme|                               "},
      {"RTRIM(CLIENT)+\"|\"", "Acme|                               "},
      {"LTRIM(PROJECT)+\"|\"", "Web site                         |  "},  // shorter by the leading blanks
      {"LTRIM(TRIM(PROJECT))+\"|\"", "Web site|                           "},
      {"UPPER(LTRIM(TRIM(PROJECT)))", "WEB SITE                           "},
      {"\"AB  \" - \"CD\"", "ABCD  "},
      {"UPPER(\"abc\xE9\xFE\")", "ABC\xC9\xDE"},
      {"UPPER(SUBSTR(TASK,1,8))", "\xC9T\xC9 \x8A\x9F\xF7\xDF"},  // ÷ and ß stay
      {"IIF(BILLABLE,\"yes\",\"no\")", "yes"},
      {"IIF(EDITED,\"yes\",\"no\")", "no "},  // padded to the wider branch
      {"DTOC(START_DATE)", "01/15/24"},
      {"DTOC(START_DATE-15)", "12/31/23"},
      {"DTOS(START_DATE+17)", "20240201"},
      {"DTOS(45+START_DATE)", "20240229"},
      {"STR(PAUSE_DUR)", "      1800"},
      {"STR(VAL(\"  42.7xyz\"),5,1)", " 42.7"},
      {"subs(upper(client),1,2)", "AC"},  // names in any case, functions abbreviated
      {"Upper(Client)", "ACME                               "},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(Text(MustCompile(c.expression, layout), record), c.expected);
  }
}

TEST(ExpressionRulesTest, StrRoundsHalfAwayFromZeroAndOverflowsToAsterisks) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record(layout);
  const TextCase cases[] = {
      {"STR(2.5)", "         3"},
      {"STR(-2.5)", "        -3"},
      {"STR(2.4999)", "         2"},
      {"STR(1.005,6,2)", "  1.01"},  // the decimal digits, not the binary fraction
      {"STR(0.125,5,2)", " 0.13"},
      {"STR(-0.001,5,2)", " 0.00"},  // no minus sign on a zero
      {"STR(0.5,4,2)", "0.50"},
      {"STR(99.96,5,1)", "100.0"},
      {"STR(123.456,5,2)", "123.5"},  // fewer decimals when they do not fit
      {"STR(123.456,3,2)", "123"},
      {"STR(1234,3)", "***"},
      {"STR(-123,3)", "***"},
      {"STR(1/3,12,10)", "0.3333333333"},
      {"STR(1,12,2)", "        1.00"},
      {"STR(12345678901,11)", "12345678901"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(Text(MustCompile(c.expression, layout), record), c.expected);
  }
}

TEST(ExpressionRulesTest, FieldValuesReadAsStored) {
  const RecordLayout layout = TimeRecordLayout();
  Record record(layout);
  const Expression rate = MustCompile("RATE", layout);
  const Expression start = MustCompile("START_DATE", layout);
  const Expression billable = MustCompile("BILLABLE", layout);
  const Expression days = MustCompile("END_DATE - START_DATE", layout);

  EXPECT_EQ(rate.EvaluateNumber(record.span()), 0);  // blank
  EXPECT_EQ(start.EvaluateDate(record.span()), 0);
  EXPECT_EQ(Text(MustCompile("DTOS(START_DATE)", layout), record), "        ");
  EXPECT_EQ(Text(MustCompile("DTOC(START_DATE)", layout), record), "  /  /  ");

  const struct {
    const char* stored;
    double value;
  } numbers[] = {{"1234.50", 1234.5}, {"-12.25", -12.25}, {"7", 7}, {"***********", 0}, {"-", 0},
                 {"nan", 0}, {"-inf", 0}};  // never NaN in a key
  for (const auto& n : numbers) {
    record.Set("RATE", n.stored);
    EXPECT_EQ(rate.EvaluateNumber(record.span()), n.value) << n.stored;
  }

  const struct {
    const char* stored;
    double julian_day;
  } dates[] = {{"20240101", 2460311}, {"19700101", 2440588}, {"20000229", 2451604},
               {"20240231", 0}, {"2024 1 1", 0}, {"00000000", 0}};
  for (const auto& d : dates) {
    record.Set("START_DATE", d.stored);
    EXPECT_EQ(start.EvaluateDate(record.span()), d.julian_day) << d.stored;
  }
  record.Set("START_DATE", "20240101").Set("END_DATE", "20240301");
  EXPECT_EQ(days.result_type(), ExpressionType::kNumeric);
  EXPECT_EQ(days.EvaluateNumber(record.span()), 60);

  for (const char* yes : {"T", "t", "Y", "y"}) {
    record.Set("BILLABLE", yes);
    EXPECT_TRUE(billable.EvaluateLogical(record.span())) << yes;
  }
  for (const char* no : {"F", "N", " ", "?"}) {
    record.Set("BILLABLE", no);
    EXPECT_FALSE(billable.EvaluateLogical(record.span())) << no;
  }
}

TEST(ExpressionRulesTest, EmptyNeedleIsNotContained) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record = SampleTimeRecord(layout);
  EXPECT_FALSE(MustCompile("\"\"$CLIENT", layout).EvaluateLogical(record.span()));
  EXPECT_TRUE(MustCompile("\"cm\"$CLIENT", layout).EvaluateLogical(record.span()));
  EXPECT_FALSE(MustCompile("\"CM\"$CLIENT", layout).EvaluateLogical(record.span()));
}

TEST(ExpressionRulesTest, DivisionByZeroGivesZero) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record(layout);
  EXPECT_EQ(MustCompile("RATE / INVOICE", layout).EvaluateNumber(record.span()), 0);
}

// --- Errors -------------------------------------------------------------------

struct ErrorCase {
  const char* expression;
  std::size_t offset;
  const char* message;
};

TEST(ExpressionErrorTest, RefusalsSayWhatAndWhere) {
  RecordLayout layout = TimeRecordLayout();
  std::vector<FieldDescriptor> with_memo = layout.fields();
  with_memo.push_back(F("NOTES", FieldType::kMemo, 10));
  layout = RecordLayout(with_memo);
  const ErrorCase cases[] = {
      {"", 0, "The expression is empty at position 1"},
      {"   ", 3, "The expression is empty at position 4"},
      {"UPPER(CLEINT)", 6, "Unknown field \"CLEINT\" at position 7"},
      {"LOWER(CLIENT)", 0, "Unknown function \"LOWER\" at position 1"},
      {"UPP(CLIENT)", 0, "Unknown function \"UPP\" at position 1"},  // too short to abbreviate
      {"\"A\" + 1", 4, "Cannot apply \"+\" to character and numeric at position 5"},
      {"START_DATE + START_DATE", 11, "Cannot apply \"+\" to date and date at position 12"},
      {"UPPER(RATE)", 6, "UPPER needs a character value, not numeric at position 7"},
      {"DTOS(START_TIME)", 5, "DTOS needs a date value, not character at position 6"},
      {"STR(CLIENT,2)", 4, "STR needs a numeric value, not character at position 5"},
      {"CLIENT = 1", 7, "Cannot compare character and numeric with \"=\" at position 8"},
      {"RATE $ CLIENT", 5, "Cannot compare numeric and character with \"$\" at position 6"},
      {"BILLABLE < .T.", 9, "Logical values can only be compared with \"=\" or \"<>\" at position 10"},
      {".NOT. RATE", 6, ".NOT. needs a logical value, not numeric at position 7"},
      {"RATE .AND. .T.", 0, ".AND. needs logical operands, not numeric at position 1"},
      {"IIF(BILLABLE, 1, \"1\")", 17, "The branches of IIF differ in type: numeric and character at position 18"},
      {"IIF(RATE, 1, 2)", 4, "The condition of IIF needs a logical value, not numeric at position 5"},
      {"(UPPER(CLIENT) = \"A\"", 20, "Missing \")\", found end of expression at position 21"},
      {"UPPER(CLIENT", 12, "Missing \")\", found end of expression at position 13"},
      {"UPPER(CLIENT))", 13, "Unexpected \")\" at position 14"},
      {"CLIENT PERSON", 7, "Unexpected \"PERSON\" at position 8"},
      {"\"ACME", 0, "Text literal is not closed at position 1"},
      {"A .XOR. B", 2, "Unknown operator \".XOR.\" at position 3"},
      {"CLIENT @ 2", 7, "Unexpected character \"@\" at position 8"},
      {"SUBSTR(CLIENT)", 0, "SUBSTR takes 2 to 3 arguments, not 1 at position 1"},
      {"DELETED(1)", 0, "DELETED takes 0 arguments, not 1 at position 1"},
      {"SUBSTR(CLIENT,RATE,2)", 14, "The start of SUBSTR must be a constant number at position 15"},
      {"SUBSTR(CLIENT,0,2)", 14, "The start of SUBSTR must lie between 1 and 65535 at position 15"},
      {"STR(RATE,0)", 9, "The width of STR must lie between 1 and 255 at position 10"},
      {"STR(RATE,300)", 9, "The width of STR must lie between 1 and 255 at position 10"},
      {"UPPER(NOTES)", 6, "Memo field \"NOTES\" cannot be used in an expression at position 7"},
      {"-CLIENT", 0, "Unary \"-\" needs a numeric value, not character at position 1"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.expression);
    CompileResult result = Expression::Compile(c.expression, layout);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().offset, c.offset);
    EXPECT_EQ(result.error().message, c.message);
  }
}

TEST(ExpressionErrorTest, HostileTextIsRefusedNotCrashedOn) {
  const RecordLayout layout = TimeRecordLayout();
  CompileResult deep = Expression::Compile(std::string(2000, '(') + "1" + std::string(2000, ')'), layout);
  ASSERT_FALSE(deep.ok());
  EXPECT_NE(deep.error().message.find("nested too deeply"), std::string::npos);
  EXPECT_FALSE(Expression::Compile(std::string(3000, '-') + "1", layout).ok());
  EXPECT_FALSE(Expression::Compile(std::string(Expression::kMaxTextLength + 1, ' '), layout).ok());

  std::string too_wide = "DESCSTART";
  for (int k = 0; k < 262; ++k) too_wide += "+DESCSTART";  // 263 x 250 bytes
  CompileResult refused = Expression::Compile(too_wide, layout);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().offset, too_wide.size() - 10);  // the last "+"
  EXPECT_NE(refused.error().message.find("longer than 65535"), std::string::npos);

  // Long flat chains are fine: they nest nothing.
  std::string chain = "TASK";
  while (chain.size() < 4000) chain += "+TASK";
  CompileResult wide = Expression::Compile(chain, layout);
  ASSERT_TRUE(wide.ok()) << wide.error().message;
  const Record record = SampleTimeRecord(layout);
  EXPECT_EQ(Text(wide.expression(), record).size(), wide.expression().result_width());

  // Every text node of a long chain wanting room of its own stays bounded.
  std::string views = "\"x\"$(DESCSTART+DESCEND)";
  while (views.size() < 4000) views += ".OR.\"x\"$(DESCSTART+DESCEND)";
  EXPECT_TRUE(Expression::Compile(views, layout).ok());
}

TEST(ExpressionErrorTest, RandomTextNeverCrashes) {
  const RecordLayout layout = TimeRecordLayout();
  const std::string pieces[] = {"(", ")", ",", "+", "-", "*", "/", "=", "<>", "<", ">=", "$", "#",
                                ".AND.", ".OR.", ".NOT.", ".T.", "\"AB \"", "''", "[x]", "12",
                                ".5", "0", "CLIENT", "RATE", "START_DATE", "BILLABLE", "DESCSTART",
                                "DTOS(", "UPPER(", "SUBSTR(", "STR(", "IIF(", "TRIM(", "LTRIM(",
                                "VAL(", "DELETED()", "DTOC(", "RIGHT(", "LEFT(", " ", "\x01", ".",
                                "\"", "65535", "-1"};
  std::mt19937 random(20240115);
  const Record sample = SampleTimeRecord(layout);
  Record deleted = SampleTimeRecord(layout);
  deleted.Delete().Set("RATE", "*****").Set("START_DATE", "99999999");
  int compiled = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = 1 + static_cast<int>(random() % 12);
    for (int k = 0; k < count; ++k) text += pieces[random() % std::size(pieces)];
    CompileResult result = Expression::Compile(text, layout);
    if (!result.ok()) {
      EXPECT_LE(result.error().offset, text.size()) << text;
      EXPECT_FALSE(result.error().message.empty()) << text;
      continue;
    }
    ++compiled;
    const Expression& e = result.expression();
    for (const Record* record : {&sample, static_cast<const Record*>(&deleted)}) {
      std::string out(e.result_width(), '?');
      e.EvaluateCharacter(record->span(), out);
      e.EvaluateNumber(record->span());
      e.EvaluateDate(record->span());
      e.EvaluateLogical(record->span());
      EXPECT_EQ(out.find('?'), std::string::npos) << text;
    }
  }
  EXPECT_GT(compiled, 100);  // the generator reaches the evaluator, not just the parser
}

// --- Evaluation contract -------------------------------------------------------

TEST(ExpressionEvaluationTest, CopiesEvaluateOnTheirOwn) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record = SampleTimeRecord(layout);
  std::optional<Expression> original =
      MustCompile("UPPER(TRIM(CLIENT)) + \"-\" + DTOS(START_DATE)", layout);
  const Expression copy = *original;
  original.reset();
  EXPECT_EQ(Text(copy, record), "ACME-20240115" + std::string(31, ' '));
  EXPECT_EQ(copy.text(), "UPPER(TRIM(CLIENT)) + \"-\" + DTOS(START_DATE)");
}

TEST(ExpressionEvaluationTest, ShortBufferOrWrongTypeYieldsEmptyValues) {
  const RecordLayout layout = TimeRecordLayout();
  const Record record = SampleTimeRecord(layout);
  const std::span<const char> too_short = record.span().first(40);
  const Expression client = MustCompile("CLIENT", layout);
  std::string out(35, '?');
  client.EvaluateCharacter(too_short, out);
  EXPECT_EQ(out, std::string(35, ' '));
  EXPECT_EQ(client.EvaluateNumber(record.span()), 0);
  EXPECT_FALSE(MustCompile("DELETED()", layout).EvaluateLogical({}));
  // A record only as long as the fields used is enough.
  EXPECT_TRUE(MustCompile("UPPER(PERSON) = \"ANN\"", layout).EvaluateLogical(too_short));
}

// --- Keys found in files that other programs wrote ---------------------------

// The fields of a .dbf header: 32-byte descriptors from offset 32 up to 0x0D.
std::optional<RecordLayout> ReadLayout(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<FieldDescriptor> fields;
  char descriptor[32];
  file.seekg(32);
  while (file.read(descriptor, 1) && descriptor[0] != 0x0D) {
    if (!file.read(descriptor + 1, 31)) return std::nullopt;
    fields.push_back(F(std::string(descriptor, strnlen(descriptor, 11)),
                       static_cast<FieldType>(descriptor[11]),
                       static_cast<unsigned char>(descriptor[16]),
                       static_cast<unsigned char>(descriptor[17])));
  }
  return RecordLayout(fields);
}

TEST(ExpressionFixtureTest, KeysOfStep7IndexesCompileToTheirStoredLength) {
  const struct {
    const char* table;
    const char* key;
    std::size_t key_length;  // as the tag header stores it
  } tags[] = {
      {"BAUSTEIN.DBF", "TYP + NUMMER", 10},
      {"HATTRME1.DBF", "STR(IDM,11)+STR(AttriIDM,11)", 22},
      {"HRELATI1.DBF", "STR(SOBJID,11)+STR(SOBJTYP,11)+STR(RELID,11)+STR(TOBJID,11)+STR(TOBJTYP,11)", 55},
      {"S7CONTAI.DBF", "NAME", 24},
      {"SYMLIST.DBF", "UPPER(LTRIM(TRIM(_SKZ)))", 24},
      {"SYMLIST.DBF", "_OpIEC", 12},
      {"XR000001.DBF", "OPTYPE + OPACCESS + DBNB + BYTEADR + BITADR", 15},
      {"XR000001.DBF", "BLOCKTYPE + BLOCKNB", 7},
  };
  for (const auto& tag : tags) {
    SCOPED_TRACE(tag.key);
    const std::string path = qm::test::FixturePath(std::string("dbase/step7/") + tag.table);
    if (path.empty()) GTEST_SKIP() << "the STEP 7 fixtures are not present";
    const std::optional<RecordLayout> layout = ReadLayout(path);
    ASSERT_TRUE(layout.has_value());
    CompileResult key = Expression::CompileKey(tag.key, *layout);
    ASSERT_TRUE(key.ok()) << key.error().message;
    EXPECT_EQ(key.expression().result_width(), tag.key_length);
    for (const char* filter : {".NOT. DELETED()", ".FALSE."}) {
      EXPECT_TRUE(Expression::CompileFilter(filter, *layout).ok());
    }
  }
}

}  // namespace
}  // namespace qm::engine
