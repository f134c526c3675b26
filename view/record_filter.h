// RecordFilter: which time records the user sees, as up to eleven rows of
// "field comparison target" joined by "and"/"or", and how it is kept in
// section "Index" of the user's settings file.
//
// The filter becomes one dBASE expression (BuildFilterExpression) that is
// the FOR condition of the user's tag; rows combine strictly from left to
// right, so A or B and C reads ((A or B) and C).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/settings.h"

namespace qm::view {

inline constexpr int kFilterRowCount = 11;
inline constexpr std::size_t kMaxFilterTarget = 60;

// Field codes, shared by filter rows and sort levels: 0-5 are the six
// descriptor kinds (person, client, project, subproject, activity, rate).
inline constexpr int kFieldPerson = 0;
inline constexpr int kFieldClient = 1;
inline constexpr int kFieldProject = 2;
inline constexpr int kFieldSubproject = 3;
inline constexpr int kFieldActivity = 4;
inline constexpr int kFieldRate = 5;
inline constexpr int kFieldStartDate = 6;
inline constexpr int kFieldStartTime = 7;  // "Start Date/Time" in the sort list
inline constexpr int kFieldExpense = 8;
inline constexpr int kFieldInvoice = 9;
inline constexpr int kFieldBillable = 10;
inline constexpr int kFieldDescription = 11;  // "(None)" in the sort list

// Comparison codes.
inline constexpr int kCompareGreater = 0;
inline constexpr int kCompareLess = 1;
inline constexpr int kCompareEqual = 2;
inline constexpr int kCompareGreaterOrEqual = 3;
inline constexpr int kCompareLessOrEqual = 4;
inline constexpr int kCompareNotEqual = 5;
inline constexpr int kCompareContains = 6;

// Link codes.
inline constexpr int kLinkEnd = 0;
inline constexpr int kLinkAnd = 1;
inline constexpr int kLinkOr = 2;

struct FilterRow {
  std::int16_t field = kFieldStartDate;
  std::int16_t comparison = kCompareGreater;
  std::string target;  // at most 60 characters
  std::int16_t link = kLinkEnd;
  bool operator==(const FilterRow&) const = default;
};

struct RecordFilter {
  std::int32_t enabled = 0;
  std::array<FilterRow, kFilterRowCount> rows;
  // Row 1 up to and including the first "end" row; the eleventh row always
  // ends the filter.
  int RowsInUse() const;
  bool operator==(const RecordFilter&) const = default;
};

// What the expression needs beyond the filter: whether the person sees
// only their own records.
struct FilterScope {
  bool administrator = true;  // access level 240
  std::string person;         // the signed-on person
};

// Section "Index" of the user's settings file.
RecordFilter LoadFilter(app::CSettings& settings);
// 0, or 205 when a row's "Field" key could not be written (rows written
// before it stay).
int SaveFilter(app::CSettings& settings, const RecordFilter& filter);
bool IsFilterEnabled(app::CSettings& settings);

// The FOR condition of the user's tag. Dates and times in targets are read
// with the installed regional settings and clock.
std::string BuildFilterExpression(const RecordFilter& filter, const FilterScope& scope);

}  // namespace qm::view
