// The recall list: the memorised sets to choose one from, as the recall
// dialog shows them.
//
// It lists every set line of the file in file order and selects the one
// memorised last in this run, else the first. Entries may be deleted; on
// OK a changed list is written back (header, then the remaining lines) and
// the selected line is split into its five descriptors for the open
// stopwatch or record dialog. Whether a dialog is open to receive them
// (message 328) is for the caller to know before it builds the list.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "stopwatch/memorized.h"

namespace qm::stopwatch {

class MemorizedListModel {
 public:
  // `file` must outlive the model.
  explicit MemorizedListModel(MemorizedDescriptors& file);

  // Reads the sets. 0, or 322 (nothing memorised), 324, 321 (shown); the
  // list is then empty and the dialog is not shown.
  int Load();

  const std::vector<std::string>& lines() const { return lines_; }
  // The selected line's index; nullopt when the list is empty.
  std::optional<std::size_t> selection() const { return selection_; }
  // Ignored for an index outside the list.
  void Select(std::size_t index);

  // Removes the selected entry; the one that takes its place is selected,
  // else the one before. Nothing happens without a selection.
  void DeleteSelected();
  bool changed() const { return changed_; }

  // Writes a changed list back and hands over the selected set (nullopt
  // when the list ended empty). 0, or 321, 325 (shown): nothing recalled.
  int Ok(std::optional<DescriptorSet>& recalled);

 private:
  MemorizedDescriptors* file_;
  std::vector<std::string> lines_;
  std::optional<std::size_t> selection_;
  bool changed_ = false;
};

}  // namespace qm::stopwatch
