// FilterDialogModel: the "Time Record Filter" dialog without its window.
//
// It holds what the eleven rows of controls show (field, comparison, the
// "Compare to" text with its drop-down list, link), the "Enable Filter"
// box and the information line; the desktop program binds widgets to it,
// the command line fills it from arguments, and both end with Ok().
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "db/descriptor_db.h"
#include "view/field_names.h"
#include "view/record_filter.h"
#include "view/user_index.h"

namespace qm::view {

// Messages of the rows' checks (each with the row number).
inline constexpr int kContainsNeedsText = 173;
inline constexpr int kTextAfterEndRow = 174;
inline constexpr int kNotADecimalNumber = 176;
inline constexpr int kBadDateOrTime = 177;
inline constexpr int kBillableNeedsYesOrNo = 305;
inline constexpr int kBadInvoiceTarget = 377;
inline constexpr int kEqualsOnDescription = 385;
inline constexpr int kFilterOwnRecordsOnly = 1243;

inline constexpr std::string_view kAdministratorInformation =
    "Since you have administrator access, you can view all records in the database.";

class FilterDialogModel {
 public:
  struct Row {
    int field = kFieldStartDate;
    int comparison = kCompareGreater;
    std::string target;
    int link = kLinkEnd;
    // The "Compare to" drop-down list for the field.
    std::vector<std::string> choices;
  };

  // `descriptors` fills the drop-down lists of the descriptor fields; it
  // may be null (the lists stay empty).
  FilterDialogModel(UserIndex& index, db::DescriptorDb* descriptors,
                    const DescriptorNames& descriptor_names);

  // Puts the current filter into the controls.
  void Load();
  // What the controls hold now, as a filter.
  RecordFilter filter() const;

  const std::array<Row, kFilterRowCount>& rows() const { return rows_; }
  bool enabled() const { return enabled_; }
  const std::vector<std::string>& field_names() const { return field_names_; }
  std::string InformationLine() const;

  // Row numbers are 0-based here; messages count from 1. A change of
  // field refills the row's list, keeps its text and ticks "Enable
  // Filter". Codes outside their lists are ignored (false).
  bool SetField(int row, int field);
  bool SetComparison(int row, int comparison);
  // Cut to 60 characters, as the box takes them.
  void SetTarget(int row, std::string_view target);
  bool SetLink(int row, int link);
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  // Every row "Start Date" ">" "" "end", the filter disabled.
  void Reset();

  // The checks of the rows in use, in order, and the question about text
  // after the "end" row. 0, or the message shown (the 174 question when
  // answered No); focus_row() is then the row whose "Compare to" box takes
  // the focus with its text selected.
  int Validate();
  // OK: the checks when the filter is enabled, then the filter applied
  // with the saved sort order and saved when that worked. 0 closes the
  // dialog; otherwise it stays open.
  int Ok();

  int focus_row() const { return focus_row_; }

 private:
  int CheckRow(int row) const;
  void FillChoices(Row& row);

  UserIndex* index_;
  db::DescriptorDb* descriptors_;
  std::vector<std::string> field_names_;
  std::array<Row, kFilterRowCount> rows_;
  bool enabled_ = false;
  int focus_row_ = -1;
};

}  // namespace qm::view
