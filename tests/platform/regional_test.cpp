#include "platform/regional.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <locale.h>

#include <fstream>

#include "tests/support/test_paths.h"

namespace qm::platform {
namespace {

using ::testing::Contains;
using ::testing::Pair;

const RegionalValues kUnitedStates = {
    {"iDate", "0"},     {"iTime", "0"},    {"iTLZero", "0"},   {"sDate", "/"},
    {"sTime", ":"},     {"s1159", "AM"},   {"s2359", "PM"},    {"sShortDate", "M/d/yyyy"},
    {"sThousand", ","}, {"sDecimal", "."}, {"sCurrency", "$"}, {"iCurrency", "0"},
};

TEST(RegionalTest, SectionIntlGivesItsOwnKeysOnly) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[Quillmk]\nMainDir=/x\n[INTL]\niDate = 1\nsDecimal=,\n"
                          "sThousand=.\nsCurrency=\x80\nOther=ignored\n"; }
  const RegionalValues values = ReadRegionalSettings(ini);
  EXPECT_EQ(values, (RegionalValues{{"iDate", "1"}, {"sDecimal", ","}, {"sThousand", "."},
                                    {"sCurrency", "\x80"}}));
}

TEST(RegionalTest, KeysAreFoundWithoutRegardToCase) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[intl]\nIDATE=2\nstime=.\n"; }
  EXPECT_EQ(ReadRegionalSettings(ini), (RegionalValues{{"iDate", "2"}, {"sTime", "."}}));
}

TEST(RegionalTest, CLocaleGivesUnitedStatesValues) {
  EXPECT_EQ(RegionalValuesFromLocale("C"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("POSIX"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("C.UTF-8"), kUnitedStates);
  EXPECT_EQ(RegionalValuesFromLocale("xx_NOWHERE.UTF-8"), kUnitedStates);
}

TEST(RegionalTest, WithoutSectionIntlTheLocaleDecides) {
  test::TempDir dir;
  const std::string ini = dir.File("win.ini");
  { std::ofstream(ini) << "[Quillmk]\nMainDir=/x\n"; }
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(ReadRegionalSettings(ini), kUnitedStates);
  EXPECT_EQ(ReadRegionalSettings(dir.File("missing.ini")), kUnitedStates);
  unsetenv("LC_ALL");
}

// The mapping of real locales, where the machine has them installed.
struct LocaleCase {
  const char* locale;
  RegionalValues expected;  // the keys checked
};

class RegionalLocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(RegionalLocaleTest, MapsKeyByKey) {
  const LocaleCase& c = GetParam();
  locale_t probe = newlocale(LC_ALL_MASK, c.locale, nullptr);
  if (probe == nullptr) GTEST_SKIP() << "locale " << c.locale << " is not installed";
  freelocale(probe);
  const RegionalValues values = RegionalValuesFromLocale(c.locale);
  for (const auto& [key, value] : c.expected) EXPECT_THAT(values, Contains(Pair(key, value)));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, RegionalLocaleTest,
    ::testing::Values(
        LocaleCase{"en_US.UTF-8",
                   {{"iDate", "0"}, {"sDate", "/"}, {"sShortDate", "MM/dd/yyyy"}, {"iTime", "0"},
                    {"s1159", "AM"}, {"sDecimal", "."}, {"sThousand", ","}, {"sCurrency", "$"},
                    {"iCurrency", "0"}}},
        LocaleCase{"de_DE.UTF-8",
                   {{"iDate", "1"}, {"sDate", "."}, {"sShortDate", "dd.MM.yyyy"}, {"iTime", "1"},
                    {"iTLZero", "1"}, {"sTime", ":"}, {"sDecimal", ","}, {"sThousand", "."},
                    {"sCurrency", "\x80"}, {"iCurrency", "3"}}},
        LocaleCase{"sv_SE.UTF-8", {{"iDate", "2"}, {"sDate", "-"}, {"iTime", "1"}}}));

}  // namespace
}  // namespace qm::platform
