#include "core/duration_text.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

using testing::PinnedCoreTest;

class DurationTextTest : public PinnedCoreTest {};

TEST_F(DurationTextTest, EachFormat) {
  struct Case {
    Seconds seconds;
    int format;
    const char* expected;
  };
  const Case cases[] = {
      {11580, 0, " 3.22 Hours"}, {11580, 1, "3.217 Hours"}, {11580, 2, " 3.22"},
      {11580, 3, "3.217"},       {11580, 4, "3 hr 13 min"}, {11580, 5, "193 min"},
      {11580, 6, "193"},         {11580, 7, "3:13"},        {-1, 4, "0 hr 0 min"},
      {-1, 0, " 0.00 Hours"},    {0, 7, "0:00"},            {59, 5, "0 min"},
      {360000, 0, "100.00 Hours"}, {11580, 99, "3 hr 13 min"}, {11580, -1, "3 hr 13 min"},
      {-3780, 4, "-1 hr -3 min"}, {2147483647, 1, "596523.235 Hours"},
      {2147483647, 4, "596523 hr 14 min"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDuration(c.seconds, c.format), c.expected) << c.seconds << " in format " << c.format;
  }
}

TEST_F(DurationTextTest, CutTo18Characters) {
  const std::string text = FormatDuration(2147483647, 0);  // "596523.24 Hours"
  EXPECT_LE(text.size(), 18u);
  for (int format = 0; format < kDurationFormatCount; ++format) {
    EXPECT_LE(FormatDuration(-2147483647 - 1, format).size(), 18u) << format;
  }
}

TEST_F(DurationTextTest, DecimalSeparatorOfTheUser) {
  UseRegional({{"sDecimal", ","}, {"sThousand", "."}});
  EXPECT_EQ(FormatDuration(11580, 0), " 3,22 Hours");
  EXPECT_EQ(FormatDuration(11580, 3), "3,217");
  EXPECT_EQ(ParseDuration(" 3,22 Hours"), 11580);
  EXPECT_EQ(ParseDuration("1,5"), 5400);
}

TEST_F(DurationTextTest, CurrentFormatFollowsTheSettings) {
  DurationSettings settings;
  settings.DurationFormat = 7;
  ScopedDurationSettings scoped(settings);
  EXPECT_EQ(FormatDurationCurrent(11580), "3:13");
}

TEST_F(DurationTextTest, Reading) {
  struct Case {
    const char* text;
    Seconds expected;
  };
  const Case cases[] = {
      {"5 min", 300},        {"1.2 h", 4320},        {"6 m", 360},
      {"1 hour 3 m", 3780},  {"1:30", 5400},         {"1.5", 5400},
      {"90 m", 5400},        {"1.25", 4500},         {"0:90", 5400},
      {"", 0},               {"   ", 0},             {"1 2 3", -1},
      {"1 2", -1},           {"1 x", -1},            {"x h", -1},
      {"1 h 2 m 3", -1},     {"1 h 2 h", -1},        {"1 m 2 m", -1},
      {"1 hr 30 min", 5400}, {"0.5 Hours", 1800},    {"2 HOURS", 7200},
      {"1:", -1},            {":30", -1},            {"a:30", -1},
      {" 1 : 30 ", 5400},    {"1:30:00", -1},        {"0.008", 0},
      {"0.009", 60},         {"29.5 m", 1800},       {"29.4 m", 1740},
      {"12345678901 m", -1}, {"1.2.3", -1},          {"1-2", -1},
      {"1,000 m", 60000},     {"-1", -3540},
      {"21474836", -1},      {"21474836 m", 1288490160},
      {"0:21474836", 1288490160}, {"21474836:0", -1},
  };
  for (const Case& c : cases) {
    int error = 0;
    EXPECT_EQ(ParseDuration(c.text, &error), c.expected) << "\"" << c.text << "\"";
    EXPECT_EQ(error, c.expected == -1 ? 212 : 0) << "\"" << c.text << "\"";
  }
}

TEST_F(DurationTextTest, ShownDurationsReadBack) {
  for (const Seconds seconds : {0, 60, 3780, 11580, 86400, 359940}) {
    for (int format = 0; format < kDurationFormatCount; ++format) {
      const std::string shown = FormatDuration(seconds, format);
      const bool three_decimals = format == 1 || format == 3;
      const bool two_decimals = format == 0 || format == 2;
      if (format == 6) {
        // A bare number reads as hours.
        EXPECT_EQ(ParseDuration(shown), seconds / 60 * 3600) << shown;
      } else if (two_decimals || three_decimals) {
        // Decimal hours are exact to the minute only where the decimals carry it.
        EXPECT_NEAR(ParseDuration(shown), seconds, two_decimals ? 60 : 0) << shown;
      } else {
        EXPECT_EQ(ParseDuration(shown), seconds) << shown;
      }
    }
  }
}

TEST_F(DurationTextTest, BadTextNeverCrashes) {
  const std::string texts[] = {std::string(100000, '9'), std::string(100000, ' '),
                               std::string(100000, ':'), std::string("1\0h", 3),
                               std::string(1000, 'h') + " 1"};
  for (const std::string& text : texts) {
    const Seconds result = ParseDuration(text);
    EXPECT_TRUE(result == -1 || result % 60 == 0);
  }
}

}  // namespace
}  // namespace qm::core
