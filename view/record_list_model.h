// RecordListModel: the rows of the record list that fit in the window,
// with their record numbers, and the selection, read through the user
// index in its order.
//
// The desktop program draws from it; the CLI prints from it. Rows are
// re-read on every Refresh; a rebuild of the user index clears the
// selection, a reindex after another user's change keeps the first
// selected record that is still in the filtered set.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/duration_settings.h"
#include "core/time_record.h"
#include "engine/table.h"
#include "view/column_layout.h"
#include "view/list_layout.h"
#include "view/user_index.h"

namespace qm::view {

// Group highlighting compares this much of the first column's text.
inline constexpr std::size_t kGroupKeyLength = 40;
// A poll remembers this many selected records to re-select one of them.
inline constexpr std::size_t kRememberedSelection = 2;

// Whether a row's first cell repeats the row above's, as group
// highlighting sees it (the first 40 characters).
bool RepeatsGroupAbove(std::string_view text, std::string_view above);

struct ListRow {
  engine::RecordNumber number = 0;
  core::TimeRecord record{};
};

class RecordListModel {
 public:
  // `index` and `layout` belong to the run and outlive the model.
  RecordListModel(UserIndex& index, const ColumnLayout& layout,
                  const core::DurationSettings& durations);

  void set_durations(const core::DurationSettings& durations) { durations_ = durations; }
  // Rows the window holds (ListGeometry::visible_rows), at most 150.
  void SetVisibleRowCount(int rows);
  int visible_row_count() const { return visible_rows_; }
  // The place in the user's order of the first row shown.
  void SetTopRow(long position) { top_ = position < 0 ? 0 : position; }
  long top_row() const { return top_; }

  // After a change of the layout, the font or the window: the column
  // edges, the scroll range and the rows the window holds.
  const ListGeometry& RecomputeLayout(const TextMetrics& metrics, int left_margin,
                                      int window_height);
  const ListGeometry& geometry() const { return geometry_; }

  // Re-reads the rows from the top row on. 0, or the reading failure.
  int Refresh();
  const std::vector<ListRow>& rows() const { return rows_; }

  // The texts of the displayed columns of row `row`, left to right. With
  // group highlighting the first is blank when it repeats the row above.
  std::vector<std::string> RowCells(std::size_t row) const;

  // --- Selection ---------------------------------------------------------
  const std::vector<engine::RecordNumber>& selection() const { return selection_; }
  bool IsSelected(engine::RecordNumber number) const;
  // Selects `number` alone, or adds it with `extend`.
  void Select(engine::RecordNumber number, bool extend = false);
  void ClearSelection() { selection_.clear(); }

  // What the user index's changed hook calls after a rebuild.
  void OnIndexRebuilt() { ClearSelection(); }

  // The change poll: when another user changed the database, reindexes,
  // re-selects the first of up to two remembered selected records that is
  // still in the filtered set (else none) and refreshes. True when the
  // index was reindexed.
  bool PollForChanges();

 private:
  UserIndex* index_;            // not owned
  const ColumnLayout* layout_;  // not owned
  core::DurationSettings durations_;
  int visible_rows_ = kMaxVisibleRows;
  long top_ = 0;
  ListGeometry geometry_;
  std::vector<ListRow> rows_;
  std::vector<engine::RecordNumber> selection_;
};

}  // namespace qm::view
