#include "core/date_text.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

using testing::DateStamp;
using testing::PinnedCoreTest;

class DateTextTest : public PinnedCoreTest {};

TEST_F(DateTextTest, CalendarAgreesWithKnownStamps) {
  EXPECT_EQ(DateStamp(2003, 1, 2), 1041465600);
  EXPECT_EQ(DateStamp(1997, 3, 1), 857174400);
  EXPECT_EQ(DateStamp(2038, 1, 19), 2147472000);
  EXPECT_EQ(CurrentTime(), 1715731200 + 52220);  // the pinned Wednesday
  EXPECT_EQ(BreakDownStamp(CurrentTime())->weekday, 3);
  EXPECT_EQ(BreakDownStamp(-1), std::nullopt);
  EXPECT_EQ(StampFromFields(DateFields{2038, 1, 20, 0, 0, 0, 0}), std::nullopt);
}

TEST_F(DateTextTest, NumericDatesInEachOrder) {
  struct Case {
    const char* date_order;
    const char* text;
    TimeStamp expected;
  };
  const Case cases[] = {
      {"0", "1/2/3", DateStamp(2003, 1, 2)},
      {"1", "1/2/3", DateStamp(2003, 2, 1)},
      {"2", "1/2/3", DateStamp(2001, 2, 3)},
      {"0", "1/2/84", kNoTime},
      {"0", "2/30/98", kNoTime},
      {"0", "2/29/97", DateStamp(1997, 3, 1)},
      {"0", "4/31/98", kNoTime},
      {"0", "3/0/98", DateStamp(1998, 2, 28)},
      {"0", "13/1/98", kNoTime},
      {"0", "3/15", DateStamp(2024, 3, 15)},
      {"1", "15/3", DateStamp(2024, 3, 15)},
      {"2", "3/15", DateStamp(2024, 3, 15)},
      {"0", "3/15/98", DateStamp(1998, 3, 15)},
      {"0", "3/15/1998", DateStamp(1998, 3, 15)},
      {"0", "  3 / 15/98", kNoTime},        // a blank before the separator ends the reading
      {"0", "3/ 15/ 98 trailing", DateStamp(1998, 3, 15)},
      {"0", "1/1/0", DateStamp(2000, 1, 1)},
      {"0", "1/1/34", DateStamp(2034, 1, 1)},
      {"0", "1/1/35", kNoTime},            // 1935
      {"0", "1/1/99", DateStamp(1999, 1, 1)},
      {"0", "1/1/1985", DateStamp(1985, 1, 1)},
      {"0", "1/19/2038", DateStamp(2038, 1, 19)},
      {"0", "1/20/2038", kNoTime},          // beyond what a stamp can hold
      {"0", "12/31/99999", kNoTime},
      {"0", "1/1/99999999999999999999", kNoTime},
      {"0", "99999999999/1/1", kNoTime},
      {"0", "3", kNoTime},
      {"0", "3/", kNoTime},
      {"0", "3-15-98", kNoTime},
  };
  for (const Case& c : cases) {
    UseRegional({{"iDate", c.date_order}});
    EXPECT_EQ(ParseDate(c.text), c.expected) << "iDate " << c.date_order << " \"" << c.text << "\"";
  }
}

TEST_F(DateTextTest, YearFirstDates) {
  UseRegional({{"iDate", "2"}, {"sDate", "-"}});
  EXPECT_EQ(ParseDate("1998-3-15"), DateStamp(1998, 3, 15));
  EXPECT_EQ(ParseDate("3-2-1"), DateStamp(2003, 2, 1));
  EXPECT_EQ(ParseDate("3-15"), DateStamp(2024, 3, 15));
}

TEST_F(DateTextTest, WordDatesFromThePinnedClock) {
  struct Case {
    const char* text;
    TimeStamp expected;
  };
  // Now is Wednesday, 15 May 2024.
  const Case cases[] = {
      {"today", DateStamp(2024, 5, 15)},
      {"  Today's", DateStamp(2024, 5, 15)},
      {"t", DateStamp(2024, 5, 15)},
      {"T  ", DateStamp(2024, 5, 15)},
      {"yesterday", DateStamp(2024, 5, 14)},
      {"y", DateStamp(2024, 5, 14)},
      {"this week", DateStamp(2024, 5, 12)},
      {"this month", DateStamp(2024, 5, 1)},
      {"This Year", DateStamp(2024, 1, 1)},
      {"this fortnight", kNoTime},
      {"last week", DateStamp(2024, 5, 5)},
      {"last month", DateStamp(2024, 4, 1)},
      {"last year", DateStamp(2023, 1, 1)},
      {"last", kNoTime},
      {"Mar", DateStamp(2024, 3, 1)},
      {"mar 15", DateStamp(2024, 3, 15)},
      {"march 15, 98", DateStamp(1998, 3, 15)},
      {"March 15, 1998", DateStamp(1998, 3, 15)},
      {"march 15 98", DateStamp(2024, 3, 15)},
      {"feb 30", kNoTime},
      {"dec 25, 84", kNoTime},
      {"fri", DateStamp(2024, 5, 10)},
      {"Wednesday", DateStamp(2024, 5, 15)},
      {"sun", DateStamp(2024, 5, 12)},
      {"thu", DateStamp(2024, 5, 9)},
      {"fri 3", kNoTime},
      {"mo", kNoTime},
      {"tomorrow", kNoTime},
      {"", kNoTime},
      {"   ", kNoTime},
      {"-1/2/3", kNoTime},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDate(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST_F(DateTextTest, RelativeWordsAcrossTheYearAndOnSunday) {
  SetNow(DateStamp(2024, 1, 10, 8, 0));  // a Wednesday in January
  EXPECT_EQ(ParseDate("last month"), DateStamp(2023, 12, 1));
  EXPECT_EQ(ParseDate("last week"), DateStamp(2023, 12, 31));
  EXPECT_EQ(ParseDate("3/15"), DateStamp(2024, 3, 15));
  SetNow(DateStamp(2024, 5, 12, 23, 59));  // a Sunday
  EXPECT_EQ(ParseDate("this week"), DateStamp(2024, 5, 12));
  EXPECT_EQ(ParseDate("last week"), DateStamp(2024, 5, 5));
  EXPECT_EQ(ParseDate("sun"), DateStamp(2024, 5, 12));
}

TEST_F(DateTextTest, ReadsAtMost25Characters) {
  // The year's last digit lies beyond the limit: 98, not 987.
  const std::string padded = "3/15/" + std::string(18, '0') + "987";
  EXPECT_EQ(padded.size(), 26u);
  EXPECT_EQ(ParseDate(padded), DateStamp(1998, 3, 15));
  EXPECT_EQ(ParseDate(std::string(10000, 'x')), kNoTime);
  EXPECT_EQ(ParseDate(std::string(10000, '9')), kNoTime);
  EXPECT_EQ(ParseDate(std::string("1/2/03\0garbage", 14)), DateStamp(2003, 1, 2));
}

TEST_F(DateTextTest, TimesOfDay) {
  struct Case {
    const char* text;
    Seconds expected;
  };
  const Case cases[] = {
      {"4 PM", 57600},          {"12:20 AM", 1200},     {"12 PM", 43200},
      {"12 am", 0},             {"25:00", kNoTime},     {"9:30:45 pm", 77400},
      {"14:33", 52380},         {"14:33:59", 52380},    {"0:00", 0},
      {"23:59", 86340},         {"11:60", kNoTime},     {"9", 32400},
      {"9a", 32400},            {"  7:05 p.m.  ", 68700}, {"", kNoTime},
      {"   ", kNoTime},         {"pm", kNoTime},        {"-1:00", kNoTime},
      {":30", kNoTime},         {"13 pm", 46800},       {"99999999999:1", kNoTime},
      {"9.30", 32400},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseTimeOfDay(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST_F(DateTextTest, NowIsTheCurrentMinute) {
  const Seconds expected = 14 * 3600 + 30 * 60;
  for (const char* text : {"Now", "now", " NOW ", "n", "N"}) {
    EXPECT_EQ(ParseTimeOfDay(text), expected) << text;
  }
  EXPECT_EQ(ParseTimeOfDay("nowish"), kNoTime);
}

TEST_F(DateTextTest, TimesReadAtMost12Characters) {
  EXPECT_EQ(ParseTimeOfDay("10:30        PM"), 37800);  // the suffix lies past the limit
  EXPECT_EQ(ParseTimeOfDay(std::string(5000, '1')), kNoTime);
}

TEST_F(DateTextTest, TimeWithOtherSeparator) {
  UseRegional({{"sTime", "."}});
  EXPECT_EQ(ParseTimeOfDay("14.33"), 52380);
  EXPECT_EQ(ParseTimeOfDay("14:33"), 50400);  // ":" is no separator here: 14 o'clock
}

TEST_F(DateTextTest, DateAndTimeTogether) {
  EXPECT_EQ(ParseDateAndTime("3/15/98", "2:30 PM"), DateStamp(1998, 3, 15, 14, 30));
  EXPECT_EQ(ParseDateAndTime("3/15/98", "nonsense"), kNoTime);
  EXPECT_EQ(ParseDateAndTime("bad", "2:30 PM"), kNoTime);
  EXPECT_EQ(ParseDateAndTime("1/19/2038", "11 PM"), kNoTime);

  struct Case {
    const char* text;
    TimeStamp expected;
  };
  const Case cases[] = {
      {"3/15/98 2:30 PM", DateStamp(1998, 3, 15, 14, 30)},
      {"3/15/98\t14:30", DateStamp(1998, 3, 15, 14, 30)},
      {"  3/15/98   2:30 PM  ", DateStamp(1998, 3, 15, 14, 30)},
      {"march 15, 98 9 AM", DateStamp(1998, 3, 15, 9, 0)},
      {"3/15/98", kNoTime},
      {"", kNoTime},
      {"2:30 PM", kNoTime},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDateTimeText(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST_F(DateTextTest, ValidDateFields) {
  struct Case {
    DateFields fields;
    bool valid;
  };
  const Case cases[] = {
      {{1998, 2, 29, 0, 0, 0, 0}, true},  {{1998, 2, 30, 0, 0, 0, 0}, false},
      {{1998, 4, 30, 0, 0, 0, 0}, true},  {{1998, 4, 31, 0, 0, 0, 0}, false},
      {{1998, 1, 31, 0, 0, 0, 0}, true},  {{1998, 1, 32, 0, 0, 0, 0}, false},
      {{1998, 1, 0, 0, 0, 0, 0}, true},   {{1998, 1, -1, 0, 0, 0, 0}, false},
      {{1984, 12, 31, 0, 0, 0, 0}, false}, {{1985, 1, 1, 0, 0, 0, 0}, true},
      {{1998, 0, 1, 0, 0, 0, 0}, false},  {{1998, 13, 1, 0, 0, 0, 0}, false},
      {{1998, 1, 1, 24, 0, 0, 0}, false}, {{1998, 1, 1, 23, 60, 0, 0}, false},
      {{1998, 1, 1, 23, 59, 60, 0}, false}, {{1998, 1, 1, 23, 59, 59, 0}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidDateFields(c.fields), c.valid)
        << c.fields.year << "-" << c.fields.month << "-" << c.fields.day << " " << c.fields.hour
        << ":" << c.fields.minute << ":" << c.fields.second;
  }
}

TEST_F(DateTextTest, TwoDigitYearRule) {
  const std::pair<int, int> cases[] = {{0, 2000}, {34, 2034}, {35, 1935}, {99, 1999},
                                       {1900, 3800}, {1901, 1901}, {2024, 2024}};
  for (const auto& [typed, year] : cases) EXPECT_EQ(ExpandTwoDigitYear(typed), year) << typed;
}

TEST_F(DateTextTest, FormatsDatesAndTimes) {
  struct Case {
    std::map<std::string, std::string> regional;
    TimeStamp stamp;
    const char* date;
    const char* time;
    const char* time_with_seconds;
  };
  const TimeStamp morning = DateStamp(1998, 3, 5, 9, 5, 7);
  const TimeStamp evening = DateStamp(1998, 11, 25, 21, 45, 0);
  const TimeStamp midnight = DateStamp(2001, 1, 2, 0, 30, 0);
  const Case cases[] = {
      {{}, morning, "3/5/1998", " 9:05 AM", " 9:05:07 AM"},
      {{}, evening, "11/25/1998", " 9:45 PM", " 9:45:00 PM"},
      {{}, midnight, "1/2/2001", "12:30 AM", "12:30:00 AM"},
      {{{"iTime", "1"}, {"iTLZero", "1"}}, morning, "3/5/1998", "09:05", "09:05:07"},
      {{{"iTime", "1"}}, midnight, "1/2/2001", " 0:30", " 0:30:00"},
      {{{"iDate", "1"}, {"sDate", "."}, {"sShortDate", "dd.MM.yyyy"}}, morning, "05.03.1998",
       " 9:05 AM", " 9:05:07 AM"},
      {{{"iDate", "2"}, {"sDate", "-"}, {"sShortDate", "yy-MM-dd"}}, midnight, "01-01-02",
       "12:30 AM", "12:30:00 AM"},
      {{{"s1159", "vorm"}, {"s2359", "nachm"}, {"sTime", "."}}, evening, "11/25/1998", " 9.45 nach",
       " 9.45:00 nach"},
  };
  for (const Case& c : cases) {
    UseRegional(c.regional);
    EXPECT_EQ(FormatDate(c.stamp), c.date);
    EXPECT_EQ(FormatTime(c.stamp, false), c.time);
    EXPECT_EQ(FormatTime(c.stamp, true), c.time_with_seconds);
    EXPECT_EQ(FormatDateTime(c.stamp, false), std::string(c.date) + " " + c.time);
  }
}

TEST_F(DateTextTest, NegativeStampsAreInvalid) {
  EXPECT_EQ(FormatDate(-1), "<Invalid>");
  EXPECT_EQ(FormatTime(-60, false), "<Invalid>");
  EXPECT_EQ(FormatDate(0), "1/1/1970");
}

TEST_F(DateTextTest, FormattedDatesReadBack) {
  const std::map<std::string, std::string> settings[] = {
      {}, {{"iDate", "1"}, {"sDate", "."}}, {{"iDate", "2"}, {"sDate", "-"}, {"sShortDate", "yyyy-mm-dd"}}};
  for (const auto& regional : settings) {
    UseRegional(regional);
    for (const TimeStamp day : {DateStamp(1998, 3, 5), DateStamp(2024, 12, 31), DateStamp(2000, 2, 29)}) {
      EXPECT_EQ(ParseDate(FormatDate(day)), day) << FormatDate(day);
      EXPECT_EQ(ParseDateTimeText(FormatDateTime(day + 49500, false)), day + 49500);
    }
  }
}

}  // namespace
}  // namespace qm::core
