// Whatever a person types, pastes or an import file holds, the readers
// return a result or their failure value: no crash, no read past the text
// (run under the sanitizers to see the second).
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

class ArbitraryTextTest : public testing::PinnedCoreTest {};

// Texts made of the characters that matter to the readers, and of any byte.
std::string RandomText(std::mt19937& random, bool any_byte) {
  static const std::string kInteresting = "0123456789/:.,-+ $apmhAPMHnowtdayesrlkfi\t";
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(kInteresting.size()) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(static_cast<std::size_t>(length(random)), ' ');
  for (char& c : text) c = any_byte ? static_cast<char>(byte(random)) : kInteresting[static_cast<std::size_t>(pick(random))];
  return text;
}

TEST_F(ArbitraryTextTest, ReadersAlwaysAnswer) {
  std::mt19937 random(20240515);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = RandomText(random, i % 2 == 1);
    const TimeStamp date = ParseDate(text);
    EXPECT_TRUE(date == kNoTime || (date >= 0 && date % 86400 == 0)) << text;
    const Seconds time = ParseTimeOfDay(text);
    EXPECT_TRUE(time == kNoTime || (time >= 0 && time < 86400 && time % 60 == 0)) << text;
    ParseDateTimeText(text);
    int error = 0;
    const Seconds duration = ParseDuration(text, &error);
    EXPECT_TRUE((duration == -1 && error == 212) || duration % 60 == 0) << text;
    Cents cents = 0;
    const int amount = ParseAmountSum(text, cents);
    EXPECT_TRUE(amount == 0 || (amount == 168 && cents == 0)) << text;
    IsNumberSum(text);
    EXPECT_LE(ReformatAmountBox(text).size(), 50u);
  }
}

TEST_F(ArbitraryTextTest, SettingsOfAnyWidthDoNotBreakTheReaders) {
  UseRegional({{"sDate", "."}, {"sTime", "h"}, {"sDecimal", ","}, {"sThousand", " "},
               {"sCurrency", "Fr."}, {"iCurrency", "3"}, {"iDate", "7"}});
  std::mt19937 random(7);
  for (int i = 0; i < 5000; ++i) {
    const std::string text = RandomText(random, false);
    ParseDate(text);
    ParseTimeOfDay(text);
    ParseDuration(text);
    Cents cents = 0;
    ParseAmountSum(text, cents);
  }
  EXPECT_EQ(ParseDate("1.2.3"), testing::DateStamp(2003, 1, 2));  // unknown orders read month first
  EXPECT_EQ(FormatAmount(1234.5, 50, true), "1 234,50 Fr.");
}

}  // namespace
}  // namespace qm::core
