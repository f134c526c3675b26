#include "view/record_list_model.h"

#include <algorithm>

#include "view/cell_text.h"

namespace qm::view {

bool RepeatsGroupAbove(std::string_view text, std::string_view above) {
  return text.substr(0, kGroupKeyLength) == above.substr(0, kGroupKeyLength);
}

RecordListModel::RecordListModel(UserIndex& index, const ColumnLayout& layout,
                                 const core::DurationSettings& durations)
    : index_(&index), layout_(&layout), durations_(durations) {}

void RecordListModel::SetVisibleRowCount(int rows) {
  visible_rows_ = std::clamp(rows, 0, kMaxVisibleRows);
}

const ListGeometry& RecordListModel::RecomputeLayout(const TextMetrics& metrics, int left_margin,
                                                     int window_height) {
  geometry_ = ComputeListGeometry(*layout_, metrics, left_margin, window_height);
  SetVisibleRowCount(geometry_.visible_rows);
  return geometry_;
}

int RecordListModel::Refresh() {
  rows_.clear();
  db::TimeRecordDb& db = index_->db();
  core::TimeRecord record;
  int status = db.FirstRecord(record);
  for (long skipped = 0; status == 0 && skipped < top_; ++skipped) status = db.NextRecord(record);
  while (status == 0 && static_cast<int>(rows_.size()) < visible_rows_) {
    rows_.push_back({db.CurrentRecordNumber(), record});
    status = db.NextRecord(record);
  }
  return status == db::kNoSuchRecord ? 0 : status;
}

std::vector<std::string> RecordListModel::RowCells(std::size_t row) const {
  std::vector<std::string> cells;
  if (row >= rows_.size()) return cells;
  const std::vector<int> columns = DisplayedColumns(*layout_);
  for (int id : columns) cells.push_back(CellText(id, rows_[row].record, durations_));
  if (layout_->group_highlighting && !columns.empty() && row > 0) {
    const std::string above = CellText(columns.front(), rows_[row - 1].record, durations_);
    if (RepeatsGroupAbove(cells.front(), above)) cells.front().clear();
  }
  return cells;
}

bool RecordListModel::IsSelected(engine::RecordNumber number) const {
  return std::find(selection_.begin(), selection_.end(), number) != selection_.end();
}

void RecordListModel::Select(engine::RecordNumber number, bool extend) {
  if (!extend) selection_.clear();
  if (!IsSelected(number)) selection_.push_back(number);
}

bool RecordListModel::PollForChanges() {
  if (!index_->PollForIndexChanges()) return false;
  std::vector<engine::RecordNumber> remembered(
      selection_.begin(),
      selection_.begin() + static_cast<long>(std::min(selection_.size(), kRememberedSelection)));
  (void)index_->ReindexUserIndex();
  selection_.clear();
  for (engine::RecordNumber number : remembered) {
    if (index_->IsInFilteredSet(number)) {
      selection_.push_back(number);
      break;
    }
  }
  (void)Refresh();
  return true;
}

}  // namespace qm::view
