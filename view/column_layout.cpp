#include "view/column_layout.h"

#include <algorithm>
#include <string>

namespace qm::view {
namespace {

constexpr std::string_view kSection = "Layout";
constexpr int kSettingsNotWritten = 205;

struct IntKey {
  std::string_view key;
  int ColumnLayout::*field;
};
constexpr IntKey kIntKeys[] = {
    {"MultiLine", &ColumnLayout::multi_line},
    {"LinesPerTask", &ColumnLayout::lines_per_task},
    {"DescripBoxWidth", &ColumnLayout::descrip_box_width},
    {"DescripBoxIndent", &ColumnLayout::descrip_box_indent},
    {"InchesBetweenColumns", &ColumnLayout::inches_between_columns},
    {"GroupHighlighting", &ColumnLayout::group_highlighting},
};

std::string HeadingKey(int id) { return "Heading" + std::to_string(id); }

bool ValidIds(const std::vector<int>& ids) {
  if (ids.size() > static_cast<std::size_t>(kColumnCount)) return false;
  std::array<bool, kColumnCount> seen{};
  for (int id : ids) {
    if (!IsColumnId(id) || seen[static_cast<std::size_t>(id)]) return false;
    seen[static_cast<std::size_t>(id)] = true;
  }
  return true;
}

void StoreOrder(ColumnLayout& layout, const std::vector<int>& ids) {
  layout.order = ids;
  layout.order.resize(kOrderEntries, kNoColumn);
}

}  // namespace

ColumnLayout DefaultColumnLayout(const DescriptorNames& names) { return app::DefaultLayout(names); }

ColumnLayout LoadColumnLayout(app::CSettings& settings, const DescriptorNames& names) {
  ColumnLayout layout = DefaultColumnLayout(names);
  std::vector<int> widths = settings.GetIntList(kSection, "Width", kColumnCount);
  std::copy(widths.begin(), widths.end(), layout.widths.begin());
  if (settings.HasKey(kSection, "Order")) {
    std::vector<int> stored = settings.GetIntList(kSection, "Order", kOrderEntries);
    std::vector<int> ids;
    for (int id : stored) {
      if (!IsColumnId(id) || std::find(ids.begin(), ids.end(), id) != ids.end()) break;
      ids.push_back(id);
    }
    StoreOrder(layout, ids);
  }
  for (int id = 0; id < kColumnCount; ++id) {
    std::string& heading = layout.headings[static_cast<std::size_t>(id)];
    heading = settings.GetString(kSection, HeadingKey(id), heading, kMaxHeadingLength);
  }
  for (const IntKey& entry : kIntKeys) {
    layout.*entry.field = settings.GetInt(kSection, entry.key, layout.*entry.field);
  }
  return layout;
}

int SaveColumnLayout(app::CSettings& settings, const ColumnLayout& layout,
                     const ColumnLayout* reference) {
  bool ok = true;
  if (!reference || layout.widths != reference->widths) {
    ok = settings.WriteIntList(kSection, "Width", layout.widths).ok() && ok;
  }
  if (!reference || layout.order != reference->order) {
    ok = settings.WriteIntList(kSection, "Order", layout.order).ok() && ok;
  }
  for (int id = 0; id < kColumnCount; ++id) {
    const std::string& heading = layout.headings[static_cast<std::size_t>(id)];
    if (!reference || heading != reference->headings[static_cast<std::size_t>(id)]) {
      ok = settings.WriteString(kSection, HeadingKey(id), heading).ok() && ok;
    }
  }
  for (const IntKey& entry : kIntKeys) {
    if (!reference || layout.*entry.field != reference->*entry.field) {
      ok = settings.WriteInt(kSection, entry.key, layout.*entry.field).ok() && ok;
    }
  }
  return ok ? 0 : kSettingsNotWritten;
}

std::vector<int> DisplayedColumns(const ColumnLayout& layout) {
  std::vector<int> ids;
  for (int id : layout.order) {
    if (!IsColumnId(id)) break;
    ids.push_back(id);
  }
  return ids;
}

bool IsDisplayed(const ColumnLayout& layout, int id) {
  const std::vector<int> ids = DisplayedColumns(layout);
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool InsertColumn(ColumnLayout& layout, int position, int id) {
  std::vector<int> ids = DisplayedColumns(layout);
  if (position < 0 || static_cast<std::size_t>(position) > ids.size()) return false;
  ids.insert(ids.begin() + position, id);
  return SetDisplayedColumns(layout, ids);
}

bool AppendColumn(ColumnLayout& layout, int id) {
  return InsertColumn(layout, static_cast<int>(DisplayedColumns(layout).size()), id);
}

bool RemoveColumn(ColumnLayout& layout, int position) {
  std::vector<int> ids = DisplayedColumns(layout);
  if (position < 0 || static_cast<std::size_t>(position) >= ids.size()) return false;
  ids.erase(ids.begin() + position);
  StoreOrder(layout, ids);
  return true;
}

bool MoveColumn(ColumnLayout& layout, int from, int to) {
  std::vector<int> ids = DisplayedColumns(layout);
  const int count = static_cast<int>(ids.size());
  if (from < 0 || from >= count || to < 0 || to > count) return false;
  if (to == from || to == from + 1) return false;
  const int id = ids[static_cast<std::size_t>(from)];
  ids.erase(ids.begin() + from);
  ids.insert(ids.begin() + (to > from ? to - 1 : to), id);
  StoreOrder(layout, ids);
  return true;
}

bool SetDisplayedColumns(ColumnLayout& layout, const std::vector<int>& ids) {
  if (!ValidIds(ids)) return false;
  StoreOrder(layout, ids);
  return true;
}

}  // namespace qm::view
