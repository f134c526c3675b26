#include "view/sort_dialog_model.h"

namespace qm::view {
namespace {

constexpr auto kSubtotalLevelsKey = app::GeneralConfigKey::kNumSubtotalLevels;

}  // namespace

SortDialogModel::SortDialogModel(UserIndex& index, app::LoadedSettings& settings,
                                 app::CSettings& user_settings)
    : index_(&index),
      settings_(&settings),
      user_settings_(&user_settings),
      other_list_(SortFieldNames(settings.descriptor_names)) {
  primary_list_.assign(other_list_.begin(), other_list_.end() - 1);
}

void SortDialogModel::Load() {
  order_ = LoadSortOrder(*user_settings_);
  // A code outside a list would select nothing in it.
  if (order_.fields[0] < 0 || order_.fields[0] >= kSortNone) order_.fields[0] = SortOrder{}.fields[0];
  for (int level = 1; level < kSortLevelCount; ++level) {
    if (order_.fields[level] < 0 || order_.fields[level] > kSortNone) order_.fields[level] = kSortNone;
  }
  order_.ascending = order_.ascending == 0 ? 0 : 1;
  const int levels = settings_->general.Get(kSubtotalLevelsKey);
  second_subtotals_ = levels >= 2;
  third_subtotals_ = levels >= 3;
}

const std::vector<std::string>& SortDialogModel::list(int level) const {
  return level == 0 ? primary_list_ : other_list_;
}

bool SortDialogModel::SetLevel(int level, int field) {
  if (level < 0 || level >= kSortLevelCount || field < 0 ||
      field >= static_cast<int>(list(level).size())) {
    return false;
  }
  order_.fields[level] = field;
  return true;
}

void SortDialogModel::SetSecondSubtotals(bool ticked) {
  second_subtotals_ = ticked;
  if (!ticked) third_subtotals_ = false;
}

void SortDialogModel::SetThirdSubtotals(bool ticked) {
  third_subtotals_ = ticked;
  if (ticked) second_subtotals_ = true;
}

void SortDialogModel::Default() {
  order_ = SortOrder{};
  second_subtotals_ = false;
  third_subtotals_ = false;
}

int SortDialogModel::SubtotalLevels() const {
  return third_subtotals_ ? 3 : second_subtotals_ ? 2 : 1;
}

int SortDialogModel::Ok() {
  if (order_.fields[1] == kSortNone) order_.fields[2] = kSortNone;
  if (order_.fields[2] == kSortNone) order_.fields[3] = kSortNone;
  settings_->general.Set(kSubtotalLevelsKey, SubtotalLevels());
  // Written at once, so that the next run sees it even when this one ends
  // without the exit sequence's save.
  (void)settings_->general.Save(*user_settings_, true);
  const int result = index_->ApplyFilterAndSort(order_, std::nullopt);
  if (result == 0) SaveSortOrder(*user_settings_, order_);
  return result;
}

}  // namespace qm::view
