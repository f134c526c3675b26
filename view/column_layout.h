// ColumnLayout: which columns the record list shows, left to right, with
// their headings and widths and how the description is laid out; kept in
// section "Layout" of the person's settings file.
//
// `order` always holds 21 entries: the displayed column ids, then -1 up to
// the end. The edits below keep it so and refuse what would break it (an
// id shown twice, a 21st column, a position beyond the end).
#pragma once

#include <vector>

#include "app/loaded_settings.h"
#include "app/settings.h"
#include "view/columns.h"

namespace qm::view {

using ColumnLayout = app::LayoutSettings;

inline constexpr std::size_t kOrderEntries = kColumnCount + 1;
inline constexpr std::size_t kMaxHeadingLength = 35;

// The built-in layout: "Date", "From", "To", the project, "Description",
// "Duration".
ColumnLayout DefaultColumnLayout(const DescriptorNames& names);

// Reads section "Layout" over the defaults. A stored order is cut at its
// first entry that is no column id or repeats one, so that a hand-edited
// file never makes the list ask for a column that does not exist; widths
// missing from a short list keep their defaults.
ColumnLayout LoadColumnLayout(app::CSettings& settings, const DescriptorNames& names);

// Writes the layout to section "Layout": every value, or with `reference`
// only those that differ from it. 0, or 205 when a write failed.
int SaveColumnLayout(app::CSettings& settings, const ColumnLayout& layout,
                     const ColumnLayout* reference = nullptr);

// The displayed ids, left to right, without the -1 end.
std::vector<int> DisplayedColumns(const ColumnLayout& layout);
bool IsDisplayed(const ColumnLayout& layout, int id);

// Puts `id` before the column at `position` (0-based; the count appends).
// False when `id` is no column, already shown, or the position is beyond
// the end.
bool InsertColumn(ColumnLayout& layout, int position, int id);
bool AppendColumn(ColumnLayout& layout, int id);
// False when nothing is displayed at `position`.
bool RemoveColumn(ColumnLayout& layout, int position);
// Moves the column at `from` to the column boundary `to` (0 is the left
// edge of the first column, the count the right edge of the last).
// Dropping a column on either of its own edges changes nothing; false
// then and for positions out of range.
bool MoveColumn(ColumnLayout& layout, int from, int to);

// Makes `order` the given ids ended by -1; false (nothing changed) when
// one is no column id or appears twice.
bool SetDisplayedColumns(ColumnLayout& layout, const std::vector<int>& ids);

}  // namespace qm::view
