// The record list's columns: twenty fixed identifiers, each with a name
// the person picks it by, a default heading and a default width.
//
// The identifier is the index into every per-column table (widths,
// headings). Columns 0 to 5 are the six descriptor kinds and carry the
// person's own names for them ("Client", or "Customer" when renamed).
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace qm::view {

inline constexpr int kColumnCount = 20;
inline constexpr int kNoColumn = -1;  // ends the displayed order

inline constexpr int kColumnPerson = 0;
inline constexpr int kColumnClient = 1;
inline constexpr int kColumnProject = 2;
inline constexpr int kColumnSubproject = 3;
inline constexpr int kColumnActivity = 4;
inline constexpr int kColumnRate = 5;
inline constexpr int kColumnStartDate = 6;
inline constexpr int kColumnStartTime = 7;
inline constexpr int kColumnEndDate = 8;
inline constexpr int kColumnEndTime = 9;
inline constexpr int kColumnDescription = 10;
inline constexpr int kColumnEdited = 11;
inline constexpr int kColumnDuration = 12;
inline constexpr int kColumnPause = 13;
inline constexpr int kColumnExpense = 14;
inline constexpr int kColumnBillable = 15;
inline constexpr int kColumnInvoice = 16;
inline constexpr int kColumnStraightDuration = 17;
inline constexpr int kColumnTimeFee = 18;
inline constexpr int kColumnFee = 19;

// The person's names of the six descriptor kinds.
using DescriptorNames = std::array<std::string, 6>;

inline bool IsColumnId(int id) { return id >= 0 && id < kColumnCount; }

// The name of column `id` (0 to 19); "" for any other id.
std::string ColumnName(int id, const DescriptorNames& names);
std::string DefaultColumnHeading(int id, const DescriptorNames& names);
// Characters; 0 for an id outside 0 to 19.
int DefaultColumnWidth(int id);

// The id whose name equals `name`, or -1.
int ColumnIdByName(std::string_view name, const DescriptorNames& names);

}  // namespace qm::view
