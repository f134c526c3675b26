#include "view/record_filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/intl_settings.h"
#include "db/time_record_db.h"
#include "engine/expression.h"
#include "engine/field_layout.h"
#include "tests/support/test_paths.h"
#include "view/sort_order.h"

namespace qm::view {
namespace {

const FilterScope kAdministrator{true, "Smith"};

FilterRow Row(int field, int comparison, std::string target, int link = kLinkEnd) {
  return FilterRow{static_cast<std::int16_t>(field), static_cast<std::int16_t>(comparison),
                   std::move(target), static_cast<std::int16_t>(link)};
}

RecordFilter Enabled(std::vector<FilterRow> rows) {
  RecordFilter filter;
  filter.enabled = 1;
  for (std::size_t i = 0; i < rows.size(); ++i) filter.rows[i] = rows[i];
  return filter;
}

// The filter of one row, as its expression is built for an administrator.
std::string OneRow(int field, int comparison, std::string target) {
  return BuildFilterExpression(Enabled({Row(field, comparison, std::move(target))}),
                               kAdministrator);
}

std::string Condition(const std::string& one_row_expression) {
  const std::string prefix = ".NOT.DELETED().AND.(";
  EXPECT_EQ(one_row_expression.rfind(prefix, 0), 0u) << one_row_expression;
  EXPECT_EQ(one_row_expression.back(), ')') << one_row_expression;
  return one_row_expression.substr(prefix.size(),
                                   one_row_expression.size() - prefix.size() - 1);
}

// The time record table's layout, which the expressions are compiled
// against when the index is made.
engine::RecordLayout TimeRecordLayout() {
  std::vector<engine::FieldDescriptor> fields;
  for (const engine::FieldSpec& spec : db::TimeRecordFieldSpecs()) {
    fields.push_back({spec.name, static_cast<engine::FieldType>(spec.type), spec.width,
                      spec.decimals, 0});
  }
  return engine::RecordLayout(std::move(fields));
}

class RecordFilterTest : public ::testing::Test {
 protected:
  core::ScopedIntlSettings intl_{core::IntlSettings{}};
};

TEST_F(RecordFilterTest, ExpressionsOfTheDocumentedExamples) {
  EXPECT_EQ(BuildFilterExpression(RecordFilter{}, kAdministrator), ".NOT.DELETED()");
  EXPECT_EQ(OneRow(kFieldClient, kCompareEqual, "x"), ".NOT.DELETED().AND.(UPPER(CLIENT)=\"X   \")");
  EXPECT_EQ(BuildFilterExpression(RecordFilter{}, FilterScope{false, "Smith"}),
            ".NOT.DELETED().AND.UPPER(PERSON)=\"SMITH   \"");
  EXPECT_EQ(Condition(OneRow(kFieldClient, kCompareEqual, "acme")), "UPPER(CLIENT)=\"ACME   \"");
  EXPECT_EQ(Condition(OneRow(kFieldDescription, kCompareContains, "call")),
            "\"CALL\"$UPPER(DESCSTART+DESCEND)");
  EXPECT_EQ(Condition(OneRow(kFieldStartDate, kCompareGreaterOrEqual, "1/1/98")),
            "DTOS(START_DATE)>=\"19980101\"");
  EXPECT_EQ(Condition(OneRow(kFieldBillable, kCompareEqual, "Yes")), "BILLABLE=.T.");
  EXPECT_EQ(Condition(OneRow(kFieldStartTime, kCompareEqual, "2:30 PM")),
            "START_TIME=\"14:30:00\"");
}

TEST_F(RecordFilterTest, ElevenAndRowsNestFromTheLeftAndTheLastEndsTheFilter) {
  RecordFilter filter;
  filter.enabled = 1;
  for (FilterRow& row : filter.rows) row = Row(kFieldClient, kCompareEqual, "a", kLinkAnd);
  EXPECT_EQ(filter.RowsInUse(), 11);
  std::string expected = ".NOT.DELETED().AND.(" + std::string(10, '(');
  for (int i = 0; i < 11; ++i) {
    expected += "UPPER(CLIENT)=\"A   \")";
    if (i < 10) expected += " .AND. ";
  }
  EXPECT_EQ(BuildFilterExpression(filter, kAdministrator), expected);
}

TEST_F(RecordFilterTest, RowsCombineStrictlyLeftToRightUpToTheEndRow) {
  RecordFilter filter = Enabled({Row(kFieldClient, kCompareEqual, "a", kLinkOr),
                                 Row(kFieldClient, kCompareEqual, "b", kLinkAnd),
                                 Row(kFieldBillable, kCompareEqual, "y", kLinkEnd),
                                 Row(kFieldClient, kCompareEqual, "never read", kLinkAnd)});
  EXPECT_EQ(filter.RowsInUse(), 3);
  EXPECT_EQ(BuildFilterExpression(filter, FilterScope{false, "Ann Lee"}),
            ".NOT.DELETED().AND.UPPER(PERSON)=\"ANN LEE   \".AND.(((UPPER(CLIENT)=\"A   \") .OR. "
            "UPPER(CLIENT)=\"B   \") .AND. BILLABLE=.T.)");
}

TEST_F(RecordFilterTest, LiteralsFollowTheFieldAndTheComparison) {
  const std::string padded = "ACME" + std::string(31, ' ');
  struct Case {
    int field;
    int comparison;
    std::string target;
    std::string condition;
  } cases[] = {
      {kFieldPerson, kCompareGreater, "acme", "UPPER(PERSON)>\"" + padded + "\""},
      {kFieldProject, kCompareLess, "acme", "UPPER(PROJECT)<\"ACME\""},
      {kFieldSubproject, kCompareGreaterOrEqual, "acme", "UPPER(SUBPROJECT)>=\"ACME\""},
      {kFieldActivity, kCompareLessOrEqual, "acme", "UPPER(TASK)<=\"ACME   \""},
      {kFieldClient, kCompareNotEqual, "acme", "UPPER(CLIENT)<>\"ACME   \""},
      {kFieldClient, kCompareContains, "cme", "\"CME\"$UPPER(CLIENT)"},
      {kFieldClient, 9, "acme", "UPPER(CLIENT)=\"ACME   \""},  // unknown comparison is "="
      {kFieldClient, kCompareEqual, "\xe9t\xe9", "UPPER(CLIENT)=\"\xc9T\xc9   \""},
      {kFieldRate, kCompareGreater, "12.50", "RATE>12.50"},
      {kFieldExpense, kCompareLess, "-3", "EXPENSE<-3"},
      {kFieldRate, kCompareEqual, "$1,234.5", "RATE=1234.50"},
      {kFieldInvoice, kCompareEqual, "Not Billed", "INVOICE=0"},
      {kFieldInvoice, kCompareEqual, "NOT BILLED", "INVOICE=0"},
      {kFieldInvoice, kCompareNotEqual, "not billed", "INVOICE<>0"},
      {kFieldInvoice, kCompareGreaterOrEqual, "1042", "INVOICE>=1042"},
      {kFieldBillable, kCompareEqual, "YES", "BILLABLE=.T."},
      {kFieldBillable, kCompareEqual, "yes", "BILLABLE=.T."},
      {kFieldBillable, kCompareEqual, "true", "BILLABLE=.T."},
      {kFieldBillable, kCompareEqual, "No", "BILLABLE=.F."},
      {kFieldBillable, kCompareNotEqual, "", "BILLABLE<>.F."},
      {kFieldStartTime, kCompareGreater, "9:05", "START_TIME>\"09:05:00\""},
      {kFieldStartTime, kCompareGreater, "12:00 AM", "START_TIME>\"00:00:00\""},
      {kFieldStartTime, kCompareGreater, "no time", "START_TIME>\"00:00:00\""},
      {kFieldStartDate, kCompareLess, "12/31/2037", "DTOS(START_DATE)<\"20371231\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Condition(OneRow(c.field, c.comparison, c.target)), c.condition)
        << "field " << c.field << " comparison " << c.comparison << " target " << c.target;
  }
}

TEST_F(RecordFilterTest, DecimalSymbolOfTheRegionBecomesAPoint) {
  core::IntlSettings european;
  european.decimal_separator = ",";
  european.thousands_separator = ".";
  core::ScopedIntlSettings scoped(european);
  EXPECT_EQ(Condition(OneRow(kFieldRate, kCompareGreater, "12,5")), "RATE>12.5");
  EXPECT_EQ(Condition(OneRow(kFieldExpense, kCompareEqual, "0,75")), "EXPENSE=0.75");
}

// A typed quote must not end the literal early: every text still reads
// back as itself, and the whole expression still compiles.
TEST_F(RecordFilterTest, QuotesInTargetsKeepTheExpressionWhole) {
  EXPECT_EQ(Condition(OneRow(kFieldDescription, kCompareContains, "say \"hi\"")),
            "'SAY \"HI\"'$UPPER(DESCSTART+DESCEND)");
  EXPECT_EQ(Condition(OneRow(kFieldClient, kCompareLess, "o'neil \"x\"")),
            "UPPER(CLIENT)<[O'NEIL \"X\"]");
  EXPECT_EQ(Condition(OneRow(kFieldClient, kCompareLess, "a\"b'c]d")),
            "UPPER(CLIENT)<(\"A\"+'\"'+\"B'C]D\")");
  EXPECT_EQ(BuildFilterExpression(RecordFilter{}, FilterScope{false, "Bo \"B\""}),
            ".NOT.DELETED().AND.UPPER(PERSON)='BO \"B\"   '");
}

// Every field and comparison that the dialog's checks let through (the
// others are refused with 173 or 305), with any target.
TEST_F(RecordFilterTest, EveryExpressionCompilesAgainstTheTimeRecordTable) {
  const engine::RecordLayout layout = TimeRecordLayout();
  std::vector<std::string> targets = {"acme", "", "a\"b'c]d", "12.5", "$1,2", "Not Billed",
                                      "yes", "1/1/98", "2:30 PM", "garbage ) .OR. (.T."};
  for (int field = 0; field <= kFieldDescription; ++field) {
    for (int comparison = 0; comparison <= kCompareContains; ++comparison) {
      if (comparison == kCompareContains && field >= kFieldRate && field <= kFieldBillable) continue;
      if (field == kFieldBillable && comparison != kCompareEqual && comparison != kCompareNotEqual) {
        continue;
      }
      for (const std::string& target : targets) {
        const RecordFilter filter =
            Enabled({Row(field, comparison, target, kLinkOr), Row(kFieldClient, kCompareEqual, "z")});
        const std::string text = BuildFilterExpression(filter, FilterScope{false, "Smith"});
        const engine::CompileResult compiled = engine::Expression::CompileFilter(text, layout);
        EXPECT_TRUE(compiled.ok()) << text << ": "
                                   << (compiled.ok() ? "" : compiled.error().message);
      }
    }
  }
}

// --- settings -----------------------------------------------------------------------

class FilterSettingsTest : public ::testing::Test {
 protected:
  FilterSettingsTest() { settings_.Bind(dir_.File("smith.ini")); }

  void Write(const std::string& text) {
    std::ofstream(dir_.File("smith.ini"), std::ios::binary) << text;
  }

  test::TempDir dir_;
  app::CSettings settings_;
};

TEST_F(FilterSettingsTest, MissingKeysGiveTheDefaults) {
  const RecordFilter filter = LoadFilter(settings_);
  EXPECT_EQ(filter, RecordFilter{});
  EXPECT_EQ(filter.rows[0], Row(kFieldStartDate, kCompareGreater, ""));
  EXPECT_FALSE(IsFilterEnabled(settings_));
  EXPECT_EQ(LoadSortOrder(settings_), SortOrder{});
}

TEST_F(FilterSettingsTest, SavedFilterReadsBackAndStaleRowsAfterTheEndAreIgnored) {
  RecordFilter longer = Enabled({Row(kFieldClient, kCompareEqual, "Acme", kLinkAnd),
                                 Row(kFieldBillable, kCompareEqual, "Yes", kLinkOr),
                                 Row(kFieldDescription, kCompareContains, "call", kLinkEnd)});
  ASSERT_EQ(SaveFilter(settings_, longer), 0);
  EXPECT_EQ(LoadFilter(settings_), longer);
  EXPECT_TRUE(IsFilterEnabled(settings_));

  RecordFilter shorter;
  shorter.rows[0] = Row(kFieldExpense, kCompareLess, "10");
  ASSERT_EQ(SaveFilter(settings_, shorter), 0);
  EXPECT_EQ(settings_.GetString("Index", "Target2", ""), "call") << "stale, never read";
  EXPECT_EQ(LoadFilter(settings_), shorter);
  EXPECT_FALSE(IsFilterEnabled(settings_));
}

TEST_F(FilterSettingsTest, TargetsReadBackAsTyped) {
  for (std::string target : {" Acme", "Acme  ", "\"quoted\"", "'single'", "\"", "a \"b\" c", ";x"}) {
    RecordFilter filter = Enabled({Row(kFieldDescription, kCompareContains, target)});
    ASSERT_EQ(SaveFilter(settings_, filter), 0);
    EXPECT_EQ(LoadFilter(settings_).rows[0].target, target);
  }
}

TEST_F(FilterSettingsTest, HandEditedCodesAreReadSafely) {
  Write("[Index]\nEnabled=1\nField0=42\nComparison0=2\nLink0=7\nTarget0=" +
        std::string(70, 'x') + "\nField1=1\nLink1=0\n");
  const RecordFilter filter = LoadFilter(settings_);
  EXPECT_EQ(filter.rows[0].field, kFieldPerson) << "a code outside 0 to 11 is 0";
  EXPECT_EQ(filter.rows[0].link, kLinkEnd) << "an unknown link ends the filter";
  EXPECT_EQ(filter.rows[0].target, std::string(60, 'x'));
  EXPECT_EQ(filter.rows[1], FilterRow{});
  EXPECT_EQ(filter.RowsInUse(), 1);
}

TEST_F(FilterSettingsTest, FailedWriteIsReported) {
  Write("[Index]\n");
  settings_.Bind(dir_.path());  // a folder cannot be written as a file
  RecordFilter filter = Enabled({Row(kFieldClient, kCompareEqual, "Acme")});
  EXPECT_EQ(SaveFilter(settings_, filter), 205);
  EXPECT_EQ(SaveSortOrder(settings_, SortOrder{}), 205);
}

// --- sort key ----------------------------------------------------------------------

TEST(SortKeyTest, KeysNarrowTheDescriptorsUntilTheyFit) {
  struct Case {
    std::array<std::int32_t, 4> fields;
    std::string key;
  } cases[] = {
      {{7, 11, 11, 11}, "DTOS(START_DATE)+START_TIME"},
      {{1, 2, 3, 4},
       "UPPER(SUBSTR(CLIENT,1,25)) + UPPER(SUBSTR(PROJECT,1,25)) + "
       "UPPER(SUBSTR(SUBPROJECT,1,25)) + UPPER(SUBSTR(TASK,1,25))"},
      {{0, 7, 11, 11}, "UPPER(SUBSTR(PERSON,1,35)) + DTOS(START_DATE)+START_TIME"},
      {{1, 2, 7, 11},
       "UPPER(SUBSTR(CLIENT,1,35)) + UPPER(SUBSTR(PROJECT,1,35)) + DTOS(START_DATE)+START_TIME"},
      {{1, 2, 4, 7},
       "UPPER(SUBSTR(CLIENT,1,28)) + UPPER(SUBSTR(PROJECT,1,28)) + UPPER(SUBSTR(TASK,1,28)) + "
       "DTOS(START_DATE)+START_TIME"},
      {{5, 8, 9, 10}, "STR(RATE,12,2) + STR(EXPENSE,12,2) + STR(INVOICE,12,2) + IIF(BILLABLE,\"1\",\"0\")"},
      {{6, 11, 4, 4}, "DTOS(START_DATE)"},
      {{11, 11, 11, 11}, "DTOS(START_DATE)+START_TIME"},  // no first level: the default
  };
  const engine::RecordLayout layout = [] {
    std::vector<engine::FieldDescriptor> fields;
    for (const engine::FieldSpec& spec : db::TimeRecordFieldSpecs()) {
      fields.push_back({spec.name, static_cast<engine::FieldType>(spec.type), spec.width,
                        spec.decimals, 0});
    }
    return engine::RecordLayout(std::move(fields));
  }();
  for (const Case& c : cases) {
    SortOrder order;
    order.fields = c.fields;
    const std::string key = BuildSortKey(order);
    EXPECT_EQ(key, c.key);
    EXPECT_TRUE(engine::Expression::CompileKey(key, layout).ok()) << key;
  }
}

TEST_F(FilterSettingsTest, SortOrderReadsBack) {
  SortOrder order;
  order.fields = {1, 4, 11, 11};
  order.ascending = 0;
  ASSERT_EQ(SaveSortOrder(settings_, order), 0);
  EXPECT_EQ(LoadSortOrder(settings_), order);
  EXPECT_EQ(settings_.GetString("Index", "SortField1", ""), "4");
}

}  // namespace
}  // namespace qm::view
