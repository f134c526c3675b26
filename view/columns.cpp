#include "view/columns.h"

namespace qm::view {
namespace {

struct BuiltInColumn {
  std::string_view name;
  std::string_view heading;
  int width;
};

// Columns 0 to 5 take name and heading from the descriptor names.
constexpr std::array<BuiltInColumn, kColumnCount> kColumns = {{
    {"", "", 37},
    {"", "", 37},
    {"", "", 13},
    {"", "", 37},
    {"", "", 37},
    {"", "", 20},
    {"Start Date", "Date", 10},
    {"Start Time", "From", 12},
    {"End Date", "Date", 10},
    {"End Time", "To", 12},
    {"Description", "Description", 39},
    {"Edited?", "Edited?", 12},
    {"Duration", "Duration", 20},
    {"Pause Duration", "Pause Duration", 20},
    {"Expense", "Expense", 10},
    {"Billable?", "Billable?", 12},
    {"Invoice", "Invoice", 10},
    {"Straight Duration", "Straight Duration", 20},
    {"Time Fee", "Time Fee", 10},
    {"Fee", "Fee", 10},
}};

}  // namespace

std::string ColumnName(int id, const DescriptorNames& names) {
  if (!IsColumnId(id)) return {};
  if (id < 6) return names[static_cast<std::size_t>(id)];
  return std::string(kColumns[static_cast<std::size_t>(id)].name);
}

std::string DefaultColumnHeading(int id, const DescriptorNames& names) {
  if (!IsColumnId(id)) return {};
  if (id < 6) return names[static_cast<std::size_t>(id)];
  return std::string(kColumns[static_cast<std::size_t>(id)].heading);
}

int DefaultColumnWidth(int id) {
  return IsColumnId(id) ? kColumns[static_cast<std::size_t>(id)].width : 0;
}

int ColumnIdByName(std::string_view name, const DescriptorNames& names) {
  for (int id = 0; id < kColumnCount; ++id) {
    if (ColumnName(id, names) == name) return id;
  }
  return kNoColumn;
}

}  // namespace qm::view
