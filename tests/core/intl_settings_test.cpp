#include "core/intl_settings.h"

#include <gtest/gtest.h>

namespace qm::core {
namespace {

TEST(IntlSettingsTest, DefaultsForMissingKeys) {
  const IntlSettings settings = IntlSettings::FromRegionalValues({});
  EXPECT_EQ(settings.date_order, 0);
  EXPECT_EQ(settings.time_format, 0);
  EXPECT_EQ(settings.date_separator, "/");
  EXPECT_EQ(settings.time_separator, ":");
  EXPECT_EQ(settings.morning_suffix, "AM");
  EXPECT_EQ(settings.evening_suffix, "PM");
  EXPECT_EQ(settings.short_date, "m/d/yyyy");
  EXPECT_EQ(settings.thousands_separator, ",");
  EXPECT_EQ(settings.decimal_separator, ".");
  EXPECT_EQ(settings.currency_symbol, "$");
  EXPECT_EQ(settings.currency_position, 0);
  EXPECT_TRUE(settings.FourDigitYears());
  EXPECT_FALSE(settings.TwoDigitMonths());
}

TEST(IntlSettingsTest, ValuesAreCutToTheirWidths) {
  const IntlSettings settings = IntlSettings::FromRegionalValues({
      {"IDATE", "1"},
      {"iTime", "1x"},
      {"sDate", "-/"},
      {"s1159", "morning"},
      {"s2359", ""},
      {"sShortDate", "DD.MM.YYYY and much more text"},
      {"sCurrency", "Currency!!"},
      {"iCurrency", "junk"},
  });
  EXPECT_EQ(settings.date_order, 1);
  EXPECT_EQ(settings.time_format, 1);
  EXPECT_EQ(settings.date_separator, "-");
  EXPECT_EQ(settings.morning_suffix, "morn");
  EXPECT_EQ(settings.evening_suffix, "");
  EXPECT_EQ(settings.short_date, "dd.mm.yyyy and much");
  EXPECT_EQ(settings.currency_symbol, "Currency!");
  EXPECT_EQ(settings.currency_position, 0);
  EXPECT_TRUE(settings.TwoDigitDays());
  EXPECT_TRUE(settings.TwoDigitMonths());
}

TEST(IntlSettingsTest, SeparatorsThatWouldCorruptAmountsFallBack) {
  const IntlSettings empty = IntlSettings::FromRegionalValues(
      {{"sDecimal", ""}, {"sDate", ""}, {"sTime", ""}, {"sThousand", ""}});
  EXPECT_EQ(empty.decimal_separator, ".");
  EXPECT_EQ(empty.date_separator, "/");
  EXPECT_EQ(empty.time_separator, ":");
  EXPECT_EQ(empty.thousands_separator, "");  // no grouping is fine
  const IntlSettings same = IntlSettings::FromRegionalValues({{"sDecimal", ","}, {"sThousand", ","}});
  EXPECT_EQ(same.decimal_separator, ",");
  EXPECT_EQ(same.thousands_separator, "");
}

}  // namespace
}  // namespace qm::core
