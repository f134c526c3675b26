#include "core/durations.h"

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/amount_text.h"
#include "core/day_progress.h"
#include "core/duration_entry.h"
#include "core/group_totals.h"
#include "core/pause_handling.h"
#include "core/program_clock.h"
#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

using testing::DateStamp;
using testing::kPinnedNow;
using testing::PinnedCoreTest;

TimeRecord Span(TimeStamp start, TimeStamp end, Seconds pause = 0, const char* rate = "",
                double expense = 0, const char* person = "Ann") {
  TimeRecord record;
  record.descriptors[kPersonDescriptor] = person;
  record.descriptors[kRateDescriptor] = rate;
  record.start = start;
  record.end = end;
  record.pauseDuration = pause;
  record.expense = expense;
  return record;
}

DurationSettings Rounding(Seconds minimum, Seconds increment) {
  DurationSettings settings;
  settings.MinimumDuration = minimum;
  settings.DurationIncrement = increment;
  return settings;
}

TEST(ClockTest, CurrentTimeIsLocalWallClock) {
  struct Case {
    const char* name;
    long offset_west;
    bool daylight;
    TimeStamp expected;
  };
  const Case cases[] = {
      {"UTC", 0, false, 1000000},
      {"west of Greenwich is earlier", 18000, false, 1000000 - 18000},
      {"east of Greenwich is later", -3600, false, 1000000 + 3600},
      {"daylight saving adds an hour", 18000, true, 1000000 - 18000 + 3600},
  };
  for (const Case& c : cases) {
    platform::FixedClock clock(1000000, c.offset_west, c.daylight);
    platform::ScopedClock scoped(clock);
    ScopedIntlSettings intl(IntlSettings{});
    ASSERT_EQ(InitClock([] { return std::map<std::string, std::string>{}; }), 0);
    EXPECT_EQ(CurrentTime(), c.expected) << c.name;
  }
}

TEST(ClockTest, DaylightFlagIsSetOnlyAtStartUp) {
  platform::FixedClock clock(1000000, 0, true);
  platform::ScopedClock scoped(clock);
  ScopedIntlSettings intl(IntlSettings{});
  InitClock({});
  EXPECT_EQ(CurrentTime(), 1003600);
  platform::FixedClock winter(1000000, 0, false);
  platform::ScopedClock later(winter);
  EXPECT_EQ(CurrentTime(), 1003600);  // not re-evaluated while running
  InitClock({});
}

TEST(ClockTest, ClockOutsideTheRangeGives425AndKeepsTheSettings) {
  ScopedIntlSettings intl(IntlSettings{});
  bool read = false;
  for (const std::int64_t utc : {std::int64_t{-5}, std::int64_t{4102444800}}) {
    platform::FixedClock clock(utc, 0, true);
    platform::ScopedClock scoped(clock);
    EXPECT_EQ(InitClock([&] {
                read = true;
                return std::map<std::string, std::string>{};
              }),
              425);
    EXPECT_FALSE(DaylightFlag());
  }
  EXPECT_FALSE(read);
  platform::FixedClock good(1000000, 0, false);
  platform::ScopedClock scoped(good);
  EXPECT_EQ(InitClock([&] { return std::map<std::string, std::string>{{"iDate", "1"}}; }), 0);
  EXPECT_EQ(CurrentIntlSettings().date_order, 1);
}

TEST(ClockTest, DayAndMinuteStart) {
  EXPECT_EQ(DayStart(DateStamp(2024, 5, 15, 23, 59, 59)), DateStamp(2024, 5, 15));
  EXPECT_EQ(DayStart(DateStamp(2024, 5, 15)), DateStamp(2024, 5, 15));
  EXPECT_EQ(MinuteStart(DateStamp(2024, 5, 15, 10, 15, 40)), DateStamp(2024, 5, 15, 10, 15));
}

TEST(RoundedDurationTest, MinimumAndIncrement) {
  struct Case {
    Seconds minimum, increment, raw, expected;
  };
  const Case cases[] = {
      {900, 900, 60, 900},    {900, 900, 960, 1800}, {900, 900, 1800, 1800},
      {0, 360, 60, 360},      {0, 360, 420, 720},    {0, 360, 360, 360},
      {900, 0, 60, 900},      {900, 0, 1000, 1000},  {0, 0, 1234, 1234},
      {900, 900, -600, 900},  {900, 900, 0, 0},      {0, 360, 0, 0},
      {900, -60, 1000, 1000},
  };
  for (const Case& c : cases) {
    const TimeRecord record = Span(10000, 10000 + c.raw);
    EXPECT_EQ(RoundedDuration(record, Rounding(c.minimum, c.increment)), c.expected)
        << "minimum " << c.minimum << " increment " << c.increment << " raw " << c.raw;
  }
}

TEST(RoundedDurationTest, PauseShortensTheRawDuration) {
  EXPECT_EQ(RawDuration(Span(1000, 5000, 600)), 3400);
}

TEST(RoundedDurationTest, TextInTheCurrentFormat) {
  DurationSettings settings = Rounding(900, 900);
  settings.DurationFormat = 5;
  ScopedDurationSettings scoped(settings);
  std::string raw_text;
  std::string rounded_text;
  RawDuration(Span(0, 960), &raw_text);
  RoundedDuration(Span(0, 960), &rounded_text);
  EXPECT_EQ(raw_text, "16 min");
  EXPECT_EQ(rounded_text, "30 min");
}

TEST(FeeTest, ExpenseOnlyRecordStaysAtZeroTime) {
  const TimeRecord record = Span(5000, 5000, 0, "85.00", 12.5);
  const DurationSettings settings = Rounding(900, 900);
  EXPECT_EQ(RoundedDuration(record, settings), 0);
  EXPECT_EQ(TimeFee(record, settings), 0.0);
  EXPECT_EQ(RecordFee(record, settings), 12.5);
}

TEST(FeeTest, TimeFeeUsesTheHourConstantUnrounded) {
  const TimeRecord record = Span(0, 11580, 0, "85.00");
  EXPECT_EQ(TimeFee(record, DurationSettings{}), 11580.0 * 85.0 * 0.0002777777777777778);
  EXPECT_NEAR(TimeFee(record, DurationSettings{}), 273.41666, 1e-4);
}

TEST(FeeTest, RateTextIsReadAsMoney) {
  ScopedIntlSettings intl(IntlSettings{});
  EXPECT_EQ(RecordRate(Span(0, 0, 0, "$1,234.50")), 1234.5);
  EXPECT_EQ(RecordRate(Span(0, 0, 0, "abc")), 0.0);
  EXPECT_EQ(RecordRate(Span(0, 0, 0, "12abc")), 12.0);
}

TEST(GroupTest, AccumulatesAndTracksTheSpan) {
  GroupTotals totals;
  const DurationSettings settings = Rounding(0, 0);
  AddToGroup(totals, Span(5000, 8600, 0, "60", 2.0), settings);
  AddToGroup(totals, Span(1000, 2800, 0, "100", 0.5), settings);
  EXPECT_EQ(totals.seconds, 5400);
  EXPECT_DOUBLE_EQ(totals.timeFee, 60 * (3600 / 3600.0) + 100 * (1800 / 3600.0));
  EXPECT_EQ(totals.expense, 2.5);
  EXPECT_EQ(totals.count, 2);
  EXPECT_EQ(totals.earliestStart, 1000);
  EXPECT_EQ(totals.latestEnd, 8600);
  EXPECT_DOUBLE_EQ(AverageRate(totals), 110.0 / 5400 * 3600);
}

TEST(GroupTest, FeeRoundedToWhatTheUserSees) {
  struct Case {
    int round_before_multiplying;
    int format;
    double expected_cents;  // the fee shown, rounded to cents
  };
  // 3 h 13 min at 85.00 an hour.
  const Case cases[] = {
      {1, 4, 27342}, {1, 0, 27370}, {1, 2, 27370}, {1, 1, 27344.5},
      {1, 5, 27342}, {0, 0, 27342},
  };
  GroupTotals totals;
  AddToGroup(totals, Span(0, 11580, 0, "85.00"), DurationSettings{});
  for (const Case& c : cases) {
    DurationSettings settings;
    settings.RoundBeforeMultiplying = c.round_before_multiplying;
    settings.DurationFormat = c.format;
    const double fee = GroupFee(totals.seconds, totals.timeFee, settings);
    if (c.expected_cents == 27344.5) {
      // three decimals: 3.217 x 85 = 273.445
      EXPECT_NEAR(fee, 273.445, 1e-9);
    } else {
      EXPECT_EQ(RoundToCents(fee), static_cast<Cents>(c.expected_cents))
          << "rounding " << c.round_before_multiplying << " format " << c.format;
    }
  }
  EXPECT_EQ(FormatAmount(GroupFee(11580, totals.timeFee, DurationSettings{}), 20, false), "273.42");
}

TEST(GroupTest, AverageRateRoundedToCents) {
  DurationSettings settings;
  settings.DurationFormat = 4;
  // 1 hour earning 10.006 averages 10.01 once rounded.
  EXPECT_NEAR(GroupFee(3600, 10.006, settings), 10.01, 1e-12);
  EXPECT_EQ(GroupFee(0, 55.0, settings), 0.0);
  // A negative rate is rounded like a positive one.
  EXPECT_NEAR(GroupFee(3600, -10.006, settings), -10.01, 1e-12);
  EXPECT_EQ(GroupFee(3600, std::nan(""), settings), 0.0);
}

TEST(PauseHandlingTest, FoldsThePauseAsChosen) {
  struct Case {
    int handling;
    bool applied;
    TimeStamp start, end;
    Seconds pause;
  };
  const Case cases[] = {
      {kPauseAddToStart, true, 1600, 5000, 0},
      {kPauseSubtractFromEnd, true, 1000, 4400, 0},
      {kPauseRetain, true, 1000, 5000, 600},
      {7, false, 1000, 5000, 600},
  };
  for (const Case& c : cases) {
    TimeRecord record = Span(1000, 5000, 600);
    EXPECT_EQ(ApplyPauseHandling(record, c.handling), c.applied) << c.handling;
    EXPECT_EQ(record.start, c.start) << c.handling;
    EXPECT_EQ(record.end, c.end) << c.handling;
    EXPECT_EQ(record.pauseDuration, c.pause) << c.handling;
  }
  EXPECT_EQ(kPauseHandlingModule, "EDITTASK");
}

class DurationEntryTest : public PinnedCoreTest {};

TEST_F(DurationEntryTest, StartsAtNineOnTheDayOfTheLastRecord) {
  EXPECT_EQ(DurationEntryStart(DateStamp(2024, 3, 2, 17, 45), CurrentTime()), DateStamp(2024, 3, 2, 9, 0));
  EXPECT_EQ(DurationEntryStart(kNoTime, CurrentTime()), DateStamp(2024, 5, 15, 9, 0));
}

TEST_F(DurationEntryTest, EndFollowsTheDuration) {
  const TimeStamp start = DateStamp(2024, 5, 15, 9, 0);
  TimeStamp end = 123;
  EXPECT_EQ(DurationEntryEnd(start, "1 hr 30 min", end), 0);
  EXPECT_EQ(end, DateStamp(2024, 5, 15, 10, 30));
  EXPECT_EQ(DurationEntryEnd(start, "soon", end), 212);
  EXPECT_EQ(DurationEntryEnd(kNoTime, "1", end), 136);
  EXPECT_EQ(end, DateStamp(2024, 5, 15, 10, 30));  // unchanged on failure
}

// Records in memory, walked by descending end time as the database's
// end-time tag walks them.
class RecordsInMemory final : public RecordsByEndTime {
 public:
  explicit RecordsInMemory(std::vector<TimeRecord> latest_first) : records_(std::move(latest_first)) {}
  void VisitLatestFirst(const std::function<bool(const TimeRecord&)>& visit) const override {
    ++walks;
    for (const TimeRecord& record : records_) {
      ++visited;
      if (!visit(record)) return;
    }
  }
  mutable int walks = 0;
  mutable int visited = 0;

 private:
  std::vector<TimeRecord> records_;
};

class DayProgressTest : public PinnedCoreTest {
 protected:
  void SetUp() override { MarkDayTotalStale(); }
  void TearDown() override { MarkDayTotalStale(); }
  const TimeStamp today_ = DateStamp(2024, 5, 15);
};

TEST_F(DayProgressTest, RecordAcrossMidnightCountsItsPartOfToday) {
  const TimeStamp yesterday_23 = DateStamp(2024, 5, 14, 23, 0);
  const TimeStamp today_01 = DateStamp(2024, 5, 15, 1, 0);
  struct Case {
    const char* name;
    Seconds pause;
    Seconds expected;
  };
  const Case cases[] = {
      {"no pause", 0, 3600},
      {"pause of 90 minutes", 5400, 0},
      {"pause of 30 minutes", 1800, 1800},
  };
  for (const Case& c : cases) {
    RecordsInMemory records({Span(yesterday_23, today_01, c.pause)});
    EXPECT_EQ(HoursSince(records, today_, "Ann", DurationSettings{}), c.expected) << c.name;
  }
}

TEST_F(DayProgressTest, CountsThePersonIgnoringCaseAndStopsAtOlderRecords) {
  RecordsInMemory records({
      Span(DateStamp(2024, 5, 15, 13, 0), DateStamp(2024, 5, 15, 14, 0), 0, "", 0, "ANN"),
      Span(DateStamp(2024, 5, 15, 11, 0), DateStamp(2024, 5, 15, 12, 0), 0, "", 0, "Bob"),
      Span(DateStamp(2024, 5, 15, 8, 0), DateStamp(2024, 5, 15, 9, 0), 0, "", 0, "ann"),
      Span(DateStamp(2024, 5, 14, 8, 0), DateStamp(2024, 5, 14, 9, 0), 0, "", 0, "Ann"),
      Span(DateStamp(2024, 5, 13, 8, 0), DateStamp(2024, 5, 13, 9, 0), 0, "", 0, "Ann"),
  });
  EXPECT_EQ(HoursSince(records, today_, "Ann", Rounding(0, 0)), 7200);
  EXPECT_EQ(records.visited, 4);
  // Rounding applies to each record.
  EXPECT_EQ(HoursSince(records, today_, "Ann", Rounding(5400, 0)), 10800);
}

TEST_F(DayProgressTest, CompletionOfTheDailyGoal) {
  RecordsInMemory records({Span(DateStamp(2024, 5, 15, 9, 0), DateStamp(2024, 5, 15, 11, 0))});
  const DailyProgressValues values = DailyProgress(&records, "Ann", 1800);
  EXPECT_EQ(values.now, CurrentTime());
  EXPECT_EQ(values.todaysHours, 7200 + 1800);
  EXPECT_EQ(values.completion, values.now + 5 * 3600 + 30 * 60);
}

TEST_F(DayProgressTest, CacheIsKeptUntilMarkedStale) {
  RecordsInMemory records({Span(DateStamp(2024, 5, 15, 9, 0), DateStamp(2024, 5, 15, 11, 0))});
  EXPECT_TRUE(DayTotalIsStale());
  DailyProgress(&records, "Ann", 0);
  DailyProgress(&records, "Ann", 0);
  EXPECT_EQ(records.walks, 1);
  EXPECT_FALSE(DayTotalIsStale());
  MarkDayTotalStale();
  DailyProgress(&records, "Ann", 0);
  EXPECT_EQ(records.walks, 2);
}

TEST_F(DayProgressTest, NoDatabaseCountsNothingAndStaysStale) {
  const DailyProgressValues values = DailyProgress(nullptr, "Ann", 600);
  EXPECT_EQ(values.now, 0);
  EXPECT_EQ(values.todaysHours, 600);
  EXPECT_EQ(values.completion, 28800 - 600);
  EXPECT_TRUE(DayTotalIsStale());
}

}  // namespace
}  // namespace qm::core
