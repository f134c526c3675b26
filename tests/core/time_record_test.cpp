#include "core/time_record.h"

#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "core/time_record_table.h"
#include "tests/core/core_fixtures.h"

namespace qm::core {
namespace {

using testing::DateStamp;
using testing::InMemoryRow;
using testing::PinnedCoreTest;

static_assert(std::is_trivially_copyable_v<TimeRecord>, "a record is copied whole");

TEST(TimeRecordTest, BlankRecordIsEmptyAndBillable) {
  TimeRecord record;
  record.descriptors[kClientDescriptor] = "Acme";
  record.description = "notes";
  record.start = 5;
  record.invoice = 7;
  record.billable = 0;
  record.stopwatchState = kStopwatchRunning;
  ClearTimeRecord(record);
  for (const auto& descriptor : record.descriptors) EXPECT_TRUE(descriptor.empty());
  EXPECT_TRUE(record.description.empty());
  EXPECT_EQ(record.start, 0);
  EXPECT_EQ(record.end, 0);
  EXPECT_EQ(record.invoice, 0);
  EXPECT_EQ(record.billable, 1);
  EXPECT_EQ(record.stopwatchState, kStopwatchInactive);
}

TEST(TimeRecordTest, NewRecordForUserKeepsTheRest) {
  TimeRecord record;
  record.descriptors[kClientDescriptor] = "Acme";
  record.start = 1000;
  record.invoice = 12;
  record.expense = 3.5;
  record.billable = 0;
  NewTimeRecordForUser(record, "Ann");
  EXPECT_EQ(record.descriptors[kPersonDescriptor], "Ann");
  EXPECT_EQ(record.descriptors[kClientDescriptor], "Acme");
  EXPECT_EQ(record.start, 1000);
  EXPECT_EQ(record.invoice, 0);
  EXPECT_EQ(record.expense, 0);
  EXPECT_EQ(record.billable, 1);
}

TEST(TimeRecordTest, TextsAreCutToTheirLimits) {
  TimeRecord record;
  record.descriptors[kPersonDescriptor] = std::string(40, 'p');
  record.description = std::string(600, 'd');
  EXPECT_EQ(record.descriptors[kPersonDescriptor].size(), 35u);
  EXPECT_EQ(record.description.size(), 500u);
}

TEST(TimeRecordTest, OverlapCases) {
  struct Case {
    const char* name;
    const char* person_a;
    TimeStamp start_a, end_a;
    const char* person_b;
    TimeStamp start_b, end_b;
    int expected;
  };
  const Case cases[] = {
      {"b starts when a ends", "Ann", 100, 200, "Ann", 200, 300, 0},
      {"a starts when b ends", "Ann", 200, 300, "Ann", 100, 200, 0},
      {"equal starts", "Ann", 100, 200, "Ann", 100, 150, 2},
      {"partial overlap", "Ann", 100, 200, "Ann", 150, 250, 1},
      {"b inside a", "Ann", 100, 400, "Ann", 200, 300, 1},
      {"persons differ in case", "Ann", 100, 200, "ann", 150, 250, 0},
      {"persons differ in case, equal starts", "Ann", 100, 200, "ann", 100, 200, 0},
      {"apart", "Ann", 100, 200, "Ann", 300, 400, 0},
  };
  for (const Case& c : cases) {
    TimeRecord a;
    TimeRecord b;
    a.descriptors[kPersonDescriptor] = c.person_a;
    b.descriptors[kPersonDescriptor] = c.person_b;
    a.start = c.start_a;
    a.end = c.end_a;
    b.start = c.start_b;
    b.end = c.end_b;
    EXPECT_EQ(TimesOverlap(a, b), c.expected) << c.name;
  }
}

TEST(TimeRecordTableTest, LayoutOfTheSeventeenFields) {
  ASSERT_EQ(kTimeRecordTableFields.size(), 17u);
  EXPECT_EQ(kTimeRecordTableFields[kFieldTask].name, "TASK");
  EXPECT_EQ(kTimeRecordTableFields[kFieldRate].type, 'N');
  EXPECT_EQ(kTimeRecordTableFields[kFieldRate].width, 11);
  EXPECT_EQ(kTimeRecordTableFields[kFieldStartDate].type, 'D');
  EXPECT_EQ(kTimeRecordTableFields[kFieldPauseDuration].width, 7);
  EXPECT_EQ(kTimeRecordTableFields[kFieldInvoice].width, 9);
  EXPECT_EQ(kTimeRecordTableFields[kFieldDescriptionEnd].width, 250);
  EXPECT_EQ(FindTimeRecordField("descstart"), kFieldDescriptionStart);
  EXPECT_EQ(FindTimeRecordField("DESCRIPTN"), std::nullopt);
}

class StoreLoadTest : public PinnedCoreTest {
 protected:
  static TimeRecord Sample() {
    TimeRecord record;
    record.descriptors[kPersonDescriptor] = "Ann Smith";
    record.descriptors[kClientDescriptor] = "Acme";
    record.descriptors[kProjectDescriptor] = "Web";
    record.descriptors[kSubprojectDescriptor] = "Shop";
    record.descriptors[kActivityDescriptor] = "Design";
    record.descriptors[kRateDescriptor] = "1,234.50";
    record.start = DateStamp(2024, 5, 15, 10, 15, 40);
    record.end = DateStamp(2024, 5, 15, 12, 0);
    record.pauseDuration = 900;
    record.expense = 3.5;
    record.billable = 1;
    record.edited = 0;
    record.invoice = 42;
    record.description = "Landing page";
    return record;
  }

  TimeRecord RoundTrip(const TimeRecord& record) {
    EXPECT_EQ(StoreTimeRecord(record, row_), 0);
    TimeRecord loaded;
    LoadTimeRecord(row_, loaded);
    return loaded;
  }

  InMemoryRow row_;
};

TEST_F(StoreLoadTest, FieldsAsTheFileHoldsThem) {
  StoreTimeRecord(Sample(), row_);
  EXPECT_EQ(row_.Text("PERSON"), "Ann Smith" + std::string(26, ' '));
  EXPECT_EQ(row_.Text("RATE"), "    1234.50");
  EXPECT_EQ(row_.Text("EXPENSE"), "       3.50");
  EXPECT_EQ(row_.Text("START_DATE"), "20240515");
  EXPECT_EQ(row_.Text("START_TIME"), "10:15:00");
  EXPECT_EQ(row_.Text("END_TIME"), "12:00:00");
  EXPECT_EQ(row_.Text("PAUSE_DUR"), "    900");
  EXPECT_EQ(row_.Text("BILLABLE"), "T");
  EXPECT_EQ(row_.Text("EDITED"), "F");
  EXPECT_EQ(row_.Text("INVOICE"), "       42");
  EXPECT_EQ(row_.Text("DESCEND"), std::string(250, ' '));
}

TEST_F(StoreLoadTest, RoundTripDropsOnlyTheSeconds) {
  TimeRecord record = Sample();
  record.stopwatchState = kStopwatchPaused;
  record.pauseOrigin = 77;
  TimeRecord loaded;
  loaded.stopwatchState = kStopwatchRunning;
  loaded.pauseOrigin = 5;
  StoreTimeRecord(record, row_);
  LoadTimeRecord(row_, loaded);
  EXPECT_EQ(loaded.start, DateStamp(2024, 5, 15, 10, 15));
  EXPECT_EQ(loaded.descriptors[kRateDescriptor], "1,234.50");
  // Not part of the row: left as they were.
  EXPECT_EQ(loaded.stopwatchState, kStopwatchRunning);
  EXPECT_EQ(loaded.pauseOrigin, 5);
  record.start = loaded.start;
  record.stopwatchState = loaded.stopwatchState;
  record.pauseOrigin = loaded.pauseOrigin;
  EXPECT_EQ(loaded, record);
}

TEST_F(StoreLoadTest, NoTimeIsABlankDate) {
  TimeRecord record = Sample();
  record.start = kNoTime;
  StoreTimeRecord(record, row_);
  EXPECT_EQ(row_.Text("START_DATE"), "        ");
  EXPECT_EQ(row_.Text("START_TIME"), "00:00:00");
  EXPECT_EQ(RoundTrip(record).start, kNoTime);
}

TEST_F(StoreLoadTest, DescriptionSplitsAt250) {
  struct Case {
    const char* name;
    std::string description;
    std::size_t end_length;  // characters in DESCEND before its padding
  };
  std::string blank_at_250(300, 'x');
  blank_at_250[249] = ' ';
  std::string blanks_around_split = std::string(248, 'a') + "  " + "  tail";
  const Case cases[] = {
      {"exactly 250", std::string(250, 'a'), 0},
      {"251", std::string(251, 'a'), 1},
      {"blank as 250th character", blank_at_250, 50},
      {"blanks on both sides of the split", blanks_around_split, 6},
      {"500", std::string(500, 'z'), 250},
  };
  for (const Case& c : cases) {
    TimeRecord record = Sample();
    record.description = c.description;
    StoreTimeRecord(record, row_);
    const std::string end = row_.Text("DESCEND");
    EXPECT_EQ(end.find_last_not_of(' ') + 1, c.end_length) << c.name;
    TimeRecord loaded;
    LoadTimeRecord(row_, loaded);
    EXPECT_EQ(loaded.description.view(), c.description) << c.name;
  }
}

TEST_F(StoreLoadTest, ReadsWhatOtherWritersPutThere) {
  row_.Put("PERSON", "Bob\t ");
  row_.Put("RATE", "85");
  row_.Put("EXPENSE", " 12.5");
  row_.Put("START_DATE", "19980315");
  row_.Put("START_TIME", "09:05");
  row_.Put("END_DATE", "19980315");
  row_.Put("END_TIME", "17:30:59");
  row_.Put("PAUSE_DUR", "60");
  row_.Put("BILLABLE", "y");
  row_.Put("EDITED", "N");
  row_.Put("INVOICE", "");
  row_.Put("DESCSTART", "short   ");
  TimeRecord loaded;
  LoadTimeRecord(row_, loaded);
  EXPECT_EQ(loaded.descriptors[kPersonDescriptor], "Bob");
  EXPECT_EQ(loaded.descriptors[kRateDescriptor], "85.00");
  EXPECT_DOUBLE_EQ(loaded.expense, 12.5);
  EXPECT_EQ(loaded.start, DateStamp(1998, 3, 15, 9, 5));
  EXPECT_EQ(loaded.end, DateStamp(1998, 3, 15, 17, 30));
  EXPECT_EQ(loaded.pauseDuration, 60);
  EXPECT_EQ(loaded.billable, 1);
  EXPECT_EQ(loaded.edited, 0);
  EXPECT_EQ(loaded.invoice, 0);
  EXPECT_EQ(loaded.description, "short");
}

TEST_F(StoreLoadTest, DamagedRowsReadAsNoDateNeverCrash) {
  const char* const dates[] = {"2024 5 1", "abcdefgh", "20241301", "2024", "99991231"};
  for (const char* date : dates) {
    row_.Put("START_DATE", date);
    row_.Put("PAUSE_DUR", "9e99");
    TimeRecord loaded;
    LoadTimeRecord(row_, loaded);
    EXPECT_EQ(loaded.start, kNoTime) << date;
    EXPECT_EQ(loaded.pauseDuration, 0) << date;
  }
}

TEST_F(StoreLoadTest, RateUsesTheUserSeparators) {
  UseRegional({{"sDecimal", ","}, {"sThousand", "."}});
  TimeRecord record = Sample();
  record.descriptors[kRateDescriptor] = "1.234,50";
  StoreTimeRecord(record, row_);
  EXPECT_EQ(row_.Text("RATE"), "    1234.50");
  EXPECT_EQ(RoundTrip(record).descriptors[kRateDescriptor], "1.234,50");
}

TEST_F(StoreLoadTest, NumbersTooWideForTheirFieldAreMarked) {
  TimeRecord record = Sample();
  record.expense = 123456789.75;  // 12 characters with two decimals
  record.pauseDuration = 12345678;
  StoreTimeRecord(record, row_);
  EXPECT_EQ(row_.Text("EXPENSE"), "123456789.8");
  EXPECT_EQ(row_.Text("PAUSE_DUR"), "*******");
}

}  // namespace
}  // namespace qm::core
