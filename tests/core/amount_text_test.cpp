#include "core/amount_text.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

using testing::PinnedCoreTest;

class AmountTextTest : public PinnedCoreTest {};

TEST_F(AmountTextTest, ReplaceAll) {
  struct Case {
    const char* text;
    const char* find;
    const char* replacement;
    const char* expected;
    int count;
  };
  const Case cases[] = {
      {"1,234,567", ",", "", "1234567", 2},
      {"a.b.c", ".", "::", "a::b::c", 2},
      {"aaa", "a", "aa", "aaaaaa", 3},
      {"abc", "", "x", "abc", 0},
      {"EUREUR", "EUR", "", "", 2},
      {"", "x", "y", "", 0},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(ReplaceAll(text, c.find, c.replacement), c.count) << c.text;
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST_F(AmountTextTest, NumberText) {
  struct Case {
    const char* text;
    bool is_number;
  };
  const Case cases[] = {
      {"12", true},           {"12.50", true},       {"$1,234.50", true},
      {"  -3.5\t", true},     {"-0", true},          {"21474836", true},
      {"-21474836", true},    {"21474837", false},   {"-21474836.5", false},
      {"", false},            {"   ", false},        {"1.2.3", false},
      {"1-2", false},         {"--1", false},        {"+1", false},
      {"1e5", false},         {"abc", false},        {"12abc", false},
      {"1 2", false},         {"$$5", true},         {"nan", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNumberText(c.text), c.is_number) << "\"" << c.text << "\"";
}

TEST_F(AmountTextTest, NumberTextReadsAtMost255Characters) {
  EXPECT_TRUE(IsNumberText(std::string(254, ' ') + "1" + "x"));
  EXPECT_FALSE(IsNumberText(std::string(255, ' ') + "1"));
  EXPECT_FALSE(IsNumberText(std::string(100000, '9')));
}

TEST_F(AmountTextTest, TextToNumber) {
  EXPECT_EQ(TextToNumber("1,234.5"), 1234.5);
  EXPECT_EQ(TextToNumber("abc"), 0.0);
  EXPECT_EQ(TextToNumber("12abc"), 12.0);
  EXPECT_EQ(TextToNumber("$12"), 0.0);
  EXPECT_EQ(AmountTextToNumber("$12"), 12.0);
  EXPECT_EQ(AmountTextToNumber("$1,234.50"), 1234.5);
  // Only the first 50 characters count.
  EXPECT_EQ(TextToNumber(std::string(49, '0') + "12"), 1.0);
}

TEST_F(AmountTextTest, TextToNumberIgnoresTheProcessLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  EXPECT_EQ(TextToNumber("12.5"), 12.5);
  EXPECT_EQ(FormatAmount(12.5, 20, false), "12.50");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(AmountTextTest, AmountsInCents) {
  struct Case {
    const char* text;
    int result;
    Cents cents;
  };
  const Case cases[] = {
      {"12.50", 0, 1250},     {"$1,234.56", 0, 123456}, {"0.29", 0, 29},
      {"4.35", 0, 435},       {"1.005", 0, 100},        {"-4.35", 0, -435},
      {"-0.01", 0, -1},       {"0", 0, 0},              {"21474836", 0, 2147483600},
      {"abc", 168, 0},        {"", 168, 0},             {"1.2.3", 168, 0},
  };
  for (const Case& c : cases) {
    Cents cents = 999;
    EXPECT_EQ(ParseAmountCents(c.text, cents), c.result) << c.text;
    EXPECT_EQ(cents, c.cents) << c.text;
  }
}

TEST_F(AmountTextTest, SumsOfAmounts) {
  struct Case {
    const char* text;
    int result;
    Cents cents;
  };
  const Case cases[] = {
      {"12.50+3", 0, 1550},  {"1+2+3", 0, 600},   {"+5+", 0, 500},   {"", 0, 0},
      {"5+-3", 0, 200},      {"5+x", 168, 0},     {"5++1", 0, 600},  {"$1,000+$0.5", 0, 100050},
  };
  for (const Case& c : cases) {
    Cents cents = 999;
    EXPECT_EQ(ParseAmountSum(c.text, cents), c.result) << c.text;
    EXPECT_EQ(cents, c.cents) << c.text;
  }
  // Many large parts add up without wrapping around.
  std::string many;
  for (int i = 0; i < 20; ++i) many += "21474836+";
  Cents cents = 0;
  EXPECT_EQ(ParseAmountSum(many, cents), 0);
  EXPECT_EQ(cents, Cents{2147483600} * 20);
}

TEST_F(AmountTextTest, NumberSums) {
  EXPECT_TRUE(IsNumberSum("12.50+3"));
  EXPECT_TRUE(IsNumberSum(""));
  EXPECT_TRUE(IsNumberSum("+"));
  EXPECT_FALSE(IsNumberSum("12+x"));
  // Only the first 50 characters are the box's text.
  EXPECT_TRUE(IsNumberSum(std::string(48, ' ') + "1+x"));
}

TEST_F(AmountTextTest, MoneyText) {
  struct Case {
    double amount;
    bool with_symbol;
    const char* position;
    const char* expected;
  };
  const Case cases[] = {
      {1234567.891, false, "0", "1,234,567.89"},
      {0.5, true, "0", "$0.50"},
      {999.996, false, "0", "1,000.00"},
      {999999.996, false, "0", "1,000,000.00"},
      {-12.5, true, "0", "-$12.50"},
      {-12.5, true, "1", "-12.50$"},
      {12.5, true, "2", "$ 12.50"},
      {12.5, true, "3", "12.50 $"},
      {12.5, false, "3", "12.50"},
      {0, false, "0", "0.00"},
      {0.004, false, "0", "0.00"},
      {0.005, false, "0", "0.01"},
      {1000, false, "0", "1,000.00"},
      {1001001.01, false, "0", "1,001,001.01"},
      {1234567890.5, false, "0", "1234,567,890.50"},
      {5e12, false, "0", "5000000,000,000.00"},
      {std::numeric_limits<double>::quiet_NaN(), false, "0", "0.00"},
      {std::numeric_limits<double>::infinity(), true, "0", "$0.00"},
  };
  for (const Case& c : cases) {
    UseRegional({{"iCurrency", c.position}});
    EXPECT_EQ(FormatAmount(c.amount, 50, c.with_symbol), c.expected) << c.amount;
  }
}

TEST_F(AmountTextTest, MoneyTextIsCutToItsLength) {
  EXPECT_EQ(FormatAmount(1234567.891, 11, false), "1,234,567.8");
  EXPECT_EQ(FormatAmount(1234567.891, 0, false), "");
}

TEST_F(AmountTextTest, SeparatorsOfTheUser) {
  UseRegional({{"sDecimal", ","}, {"sThousand", "."}, {"sCurrency", "EUR"}, {"iCurrency", "3"}});
  EXPECT_EQ(TextToNumber("1.234,5"), 1234.5);
  EXPECT_EQ(AmountTextToNumber("1.234,5 EUR"), 1234.5);
  EXPECT_EQ(FormatAmount(1234.5, 50, true), "1.234,50 EUR");
  EXPECT_EQ(FormatCents(123450), "1234,50");
  Cents cents = 0;
  EXPECT_EQ(ParseAmountCents("1.234,5", cents), 0);
  EXPECT_EQ(cents, 123450);
  EXPECT_FALSE(IsNumberText("1,2,3"));
}

TEST_F(AmountTextTest, CentsAsText) {
  struct Case {
    Cents cents;
    const char* expected;
  };
  const Case cases[] = {{123450, "1234.50"}, {5, "0.05"}, {0, "0.00"}, {-250, "-2.50"}, {-5, "-0.05"}};
  for (const Case& c : cases) EXPECT_EQ(FormatCents(c.cents), c.expected) << c.cents;
}

TEST_F(AmountTextTest, RoundingToCents) {
  struct Case {
    double x;
    Cents cents;
  };
  const Case cases[] = {{273.41666, 27342}, {273.7, 27370}, {0.005, 1}, {-0.005, -1},
                        {-273.415, -27342}, {0, 0},         {1e300, 0}};
  for (const Case& c : cases) EXPECT_EQ(RoundToCents(c.x), c.cents) << c.x;
}

TEST_F(AmountTextTest, AmountBoxIsReformatted) {
  struct Case {
    const char* box;
    const char* expected;
  };
  const Case cases[] = {{"1234.5", "1,234.50"}, {"$85", "85.00"}, {"abc", "0.00"},
                        {"-3.333", "-3.33"},    {"", "0.00"}};
  for (const Case& c : cases) EXPECT_EQ(ReformatAmountBox(c.box), c.expected) << c.box;
  EXPECT_EQ(ReformatAmountBox(std::string(49, ' ') + "12"), "1.00");  // the box holds 50
}

}  // namespace
}  // namespace qm::core
