#include "stopwatch/memorized_list_model.h"

#include <algorithm>

namespace qm::stopwatch {

MemorizedListModel::MemorizedListModel(MemorizedDescriptors& file) : file_(&file) {}

int MemorizedListModel::Load() {
  lines_.clear();
  selection_.reset();
  changed_ = false;
  if (const int result = file_->LoadMemorizedSets(lines_); result != 0) return result;
  if (lines_.empty()) return 0;
  const auto last = std::find(lines_.begin(), lines_.end(), file_->last_memorized());
  selection_ = last != lines_.end() && !file_->last_memorized().empty()
                   ? static_cast<std::size_t>(last - lines_.begin())
                   : 0;
  return 0;
}

void MemorizedListModel::Select(std::size_t index) {
  if (index < lines_.size()) selection_ = index;
}

void MemorizedListModel::DeleteSelected() {
  if (!selection_) return;
  const std::size_t index = *selection_;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  changed_ = true;
  if (lines_.empty()) {
    selection_.reset();
  } else {
    selection_ = std::min(index, lines_.size() - 1);
  }
}

int MemorizedListModel::Ok(std::optional<DescriptorSet>& recalled) {
  recalled.reset();
  if (changed_) {
    if (const int result = file_->SaveMemorizedSets(lines_); result != 0) return result;
    changed_ = false;
  }
  if (selection_) recalled = MemorizedDescriptors::SplitMemorizedSet(lines_[*selection_]);
  return 0;
}

}  // namespace qm::stopwatch
