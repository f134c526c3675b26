#include "view/column_dialog_models.h"

#include <algorithm>

#include "app/error_reporter.h"

namespace qm::view {

InsertColumnDialogModel::InsertColumnDialogModel(Mode mode, const ColumnLayout& layout,
                                                 const DescriptorNames& names)
    : mode_(mode), title_(mode == Mode::kInsert ? "Insert New Column" : "Append New Column") {
  for (int id = 0; id < kColumnCount; ++id) {
    if (IsDisplayed(layout, id)) continue;
    if (id == kColumnDescription && layout.multi_line) continue;
    ids_.push_back(id);
    names_.push_back(ColumnName(id, names));
  }
  selected_ = ids_.empty() ? -1 : 0;
}

int InsertColumnDialogModel::Ok() {
  if (selected_ < 0) {
    app::Reporter().ShowMessage(kSelectColumnName);
    return kSelectColumnName;
  }
  chosen_ = ids_[static_cast<std::size_t>(selected_)];
  return 0;
}

bool InsertColumnDialogModel::ApplyTo(ColumnLayout& layout, int selected_position) const {
  if (!IsColumnId(chosen_)) return false;
  if (mode_ == Mode::kAppend || selected_position < 0) return AppendColumn(layout, chosen_);
  return InsertColumn(layout, selected_position, chosen_);
}

ColumnLayoutSheetModel::ColumnLayoutSheetModel(const ColumnLayout& layout,
                                               const DescriptorNames& names)
    : values_(layout), names_(names) {}

std::vector<int> ColumnLayoutSheetModel::NotDisplayed() const {
  std::vector<int> hidden;
  for (int id = 0; id < kColumnCount; ++id) {
    if (!IsDisplayed(values_, id)) hidden.push_back(id);
  }
  return hidden;
}

bool ColumnLayoutSheetModel::Insert(int hidden_index, int displayed_index) {
  const std::vector<int> hidden = NotDisplayed();
  if (hidden_index < 0 || hidden_index >= static_cast<int>(hidden.size())) return false;
  const int id = hidden[static_cast<std::size_t>(hidden_index)];
  if (displayed_index < 0) return AppendColumn(values_, id);
  return InsertColumn(values_, displayed_index, id);
}

bool ColumnLayoutSheetModel::Append(int hidden_index) { return Insert(hidden_index, -1); }

bool ColumnLayoutSheetModel::Remove(int displayed_index) {
  return RemoveColumn(values_, displayed_index);
}

void ColumnLayoutSheetModel::DefaultOrder() { values_.order = DefaultColumnLayout(names_).order; }

int ColumnLayoutSheetModel::Modify(int id, const std::string& heading, int width) {
  if (!IsColumnId(id)) {
    app::Reporter().ShowMessage(kSelectColumnToModify);
    return kSelectColumnToModify;
  }
  values_.headings[static_cast<std::size_t>(id)] = heading.substr(0, kMaxHeadingLength);
  values_.widths[static_cast<std::size_t>(id)] = std::max(0, width);
  return 0;
}

int ColumnLayoutSheetModel::Ok(ColumnLayout& layout, int& selected_header_column) {
  selected_header_column = kNoColumn;
  layout = values_;
  if (layout.multi_line && IsDisplayed(layout, kColumnDescription)) {
    app::Reporter().ShowMessage(kDescriptionShownTwice);
    layout.multi_line = 0;
    values_.multi_line = 0;
  }
  return 0;
}

}  // namespace qm::view
