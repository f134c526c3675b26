// SortDialogModel: the "Sort Order / Subtotals" dialog without its window.
//
// Four levels chosen from the sort list (the primary level cannot be
// "(None)"), one direction, and how many levels the record list subtotals:
// the primary level always, the second and third when their boxes are
// ticked. A third-level subtotal needs the second, so the two boxes move
// together.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/loaded_settings.h"
#include "app/settings.h"
#include "view/field_names.h"
#include "view/sort_order.h"
#include "view/user_index.h"

namespace qm::view {

class SortDialogModel {
 public:
  // `settings` are the run's loaded settings ("NumSubtotalLevels" lives in
  // settings.general); `user_settings` is the file they are kept in.
  SortDialogModel(UserIndex& index, app::LoadedSettings& settings,
                  app::CSettings& user_settings);

  // The saved levels and direction, the boxes from "NumSubtotalLevels".
  void Load();

  // The list of level 0 (codes 0 to 10) and of the others (0 to 11).
  const std::vector<std::string>& list(int level) const;
  const SortOrder& order() const { return order_; }
  bool second_subtotals() const { return second_subtotals_; }
  bool third_subtotals() const { return third_subtotals_; }

  // False, changing nothing, for a code the level's list does not hold.
  bool SetLevel(int level, int field);
  void SetAscending(bool ascending) { order_.ascending = ascending ? 1 : 0; }
  void SetSecondSubtotals(bool ticked);
  void SetThirdSubtotals(bool ticked);
  // "Start Date/Time", "(None)" x 3, ascending, both boxes clear.
  void Default();

  // 1, 2 or 3 from the boxes.
  int SubtotalLevels() const;
  // OK: "(None)" carried down the levels, "NumSubtotalLevels" stored, the
  // order applied with the saved filter and saved when that worked. The
  // result of applying; the dialog closes either way.
  int Ok();

 private:
  UserIndex* index_;
  app::LoadedSettings* settings_;
  app::CSettings* user_settings_;
  std::vector<std::string> primary_list_;
  std::vector<std::string> other_list_;
  SortOrder order_;
  bool second_subtotals_ = false;
  bool third_subtotals_ = false;
};

}  // namespace qm::view
