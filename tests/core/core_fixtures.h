// Shared fixtures of the core tests: a pinned clock, regional settings
// built from a map, and an in-memory row of the time record table.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "core/calendar.h"
#include "core/duration_settings.h"
#include "core/intl_settings.h"
#include "core/program_clock.h"
#include "core/time_record_table.h"
#include "platform/clock.h"

namespace qm::core::testing {

// 00:00 of a date, for expectations.
inline TimeStamp DateStamp(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0) {
  DateFields fields;
  fields.year = year;
  fields.month = month;
  fields.day = day;
  fields.hour = hour;
  fields.minute = minute;
  fields.second = second;
  return *StampFromFields(fields);
}

// Wednesday, 15 May 2024, 14:30:20 on the local wall clock.
inline constexpr std::int64_t kPinnedNow = 1715731200 + 14 * 3600 + 30 * 60 + 20;

// Pins "now" (zone UTC, no daylight saving) and installs regional settings
// and duration settings for one test; everything is restored afterwards.
class PinnedCoreTest : public ::testing::Test {
 protected:
  explicit PinnedCoreTest(std::int64_t utc_now = kPinnedNow)
      : clock_(utc_now), scoped_clock_(clock_), intl_(IntlSettings{}), durations_(DurationSettings{}) {
    InitClock([] { return std::map<std::string, std::string>{}; });
  }

  void UseRegional(const std::map<std::string, std::string>& values) {
    InstallIntlSettings(IntlSettings::FromRegionalValues(values));
  }
  void SetNow(std::int64_t utc_now) { clock_.Set(utc_now); }

  platform::FixedClock clock_;
  platform::ScopedClock scoped_clock_;
  ScopedIntlSettings intl_;
  ScopedDurationSettings durations_;
};

// A row of the time record table in memory, holding each field's text as
// the file would: exactly its width.
class InMemoryRow final : public TimeRecordRow {
 public:
  InMemoryRow() {
    for (int i = 0; i < kTimeRecordFieldCount; ++i) {
      texts_[static_cast<std::size_t>(i)] =
          std::string(static_cast<std::size_t>(kTimeRecordTableFields[static_cast<std::size_t>(i)].width), ' ');
    }
  }

  std::string FieldText(int field) const override { return texts_.at(static_cast<std::size_t>(field)); }
  void SetFieldText(int field, std::string_view text) override {
    EXPECT_EQ(text.size(),
              static_cast<std::size_t>(kTimeRecordTableFields.at(static_cast<std::size_t>(field)).width))
        << "field " << kTimeRecordTableFields.at(static_cast<std::size_t>(field)).name;
    texts_.at(static_cast<std::size_t>(field)) = std::string(text);
  }

  // The text by field name, as a test reads it.
  std::string Text(std::string_view name) const { return FieldText(*FindTimeRecordField(name)); }
  void Put(std::string_view name, std::string_view text) {
    const int field = *FindTimeRecordField(name);
    std::string padded(text);
    padded.resize(static_cast<std::size_t>(kTimeRecordTableFields[static_cast<std::size_t>(field)].width), ' ');
    texts_[static_cast<std::size_t>(field)] = padded;
  }

 private:
  std::array<std::string, kTimeRecordFieldCount> texts_;
};

}  // namespace qm::core::testing
