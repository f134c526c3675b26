// The two dialogs that edit the record list's columns, without their
// windows: "Insert New Column" / "Append New Column", and the "Column
// Layout" property sheet with its pages "Order", "Column" and "General".
#pragma once

#include <string>
#include <vector>

#include "view/column_layout.h"
#include "view/columns.h"

namespace qm::view {

inline constexpr int kSelectColumnName = 200;    // "Please select a column name."
inline constexpr int kSelectColumnToModify = 347;  // "Please select a column to modify."
inline constexpr int kDescriptionShownTwice = 2019;

class InsertColumnDialogModel {
 public:
  enum class Mode { kInsert, kAppend };

  // The columns not displayed, in id order (without the description while
  // it has a line of its own), the first one preselected.
  InsertColumnDialogModel(Mode mode, const ColumnLayout& layout, const DescriptorNames& names);

  const std::string& title() const { return title_; }
  const std::vector<std::string>& names() const { return names_; }
  // Index into names(), -1 for none.
  int selected() const { return selected_; }
  void Select(int index) { selected_ = index >= 0 && index < static_cast<int>(ids_.size()) ? index : -1; }

  // 0 with chosen_column() set, or 200 (shown) when no name is chosen.
  int Ok();
  int chosen_column() const { return chosen_; }

  // Puts the chosen column before the header's selected column
  // (`selected_position`, -1 for none: then at the end) or appends it.
  bool ApplyTo(ColumnLayout& layout, int selected_position) const;

 private:
  Mode mode_;
  std::string title_;
  std::vector<int> ids_;
  std::vector<std::string> names_;
  int selected_ = -1;
  int chosen_ = kNoColumn;
};

class ColumnLayoutSheetModel {
 public:
  ColumnLayoutSheetModel(const ColumnLayout& layout, const DescriptorNames& names);

  // What the pages show and edit; the general page's boxes are the fields
  // of values() (group_highlighting, lines_per_task, ...).
  ColumnLayout& values() { return values_; }
  const ColumnLayout& values() const { return values_; }

  // --- Page "Order" -----------------------------------------------------
  // "Not Displayed:" in id order, "Displayed:" left to right.
  std::vector<int> NotDisplayed() const;
  std::vector<int> Displayed() const { return DisplayedColumns(values_); }
  // "&Insert -->": the chosen hidden column before the chosen displayed
  // one (at the end when none is chosen).
  bool Insert(int hidden_index, int displayed_index);
  // "&Append -->".
  bool Append(int hidden_index);
  // "<-- &Remove".
  bool Remove(int displayed_index);
  // "&Default": the built-in order.
  void DefaultOrder();

  // --- Page "Column" ----------------------------------------------------
  // "&Modify..." then "Column Information": 347 (shown) when no column is
  // chosen (`id` -1). The heading keeps 35 characters; a width below 0 is 0.
  int Modify(int id, const std::string& heading, int width);

  // OK: clears the header's selected column, takes the pages' values into
  // `layout`, and refuses the description on a line of its own while the
  // Description column is displayed too (2019, shown; the separate line is
  // cleared). The caller then recomputes, redraws and drops report pages.
  int Ok(ColumnLayout& layout, int& selected_header_column);

 private:
  ColumnLayout values_;
  DescriptorNames names_;
};

}  // namespace qm::view
