// Subtotals: totals per group of the sort order, as lines of text that go
// to the Subtotals dialog's list (or anything else that takes lines).
//
// A group is a run of records with the same key on a sort level, the key
// being the cell text of that level's column. A level that is not the
// deepest opens with a header line (its key, indented by one tab per
// level) and closes with "key Total:" and the figures; the deepest level
// only closes, without " Total:".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/duration_settings.h"
#include "db/time_record_db.h"
#include "view/columns.h"
#include "view/sort_order.h"

namespace qm::view {

inline constexpr int kSubtotalTotal = 309;      // " Total:"
inline constexpr int kSubtotalListFull = 310;   // "There is not enough memory ..."
inline constexpr int kHeadingTime = 1155;
inline constexpr int kHeadingExpense = 313;
inline constexpr int kHeadingFee = 1156;

// Where subtotal lines go. AddLine returns false when there is no room.
class SubtotalSink {
 public:
  virtual ~SubtotalSink() = default;
  virtual bool AddLine(std::string_view line) = 0;
};

// Keeps the lines; with a capacity, refuses lines beyond it.
class SubtotalLines final : public SubtotalSink {
 public:
  explicit SubtotalLines(std::size_t capacity = static_cast<std::size_t>(-1))
      : capacity_(capacity) {}
  bool AddLine(std::string_view line) override;
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::size_t capacity_;
  std::vector<std::string> lines_;
};

struct SubtotalSettings {
  SortOrder order;
  int num_subtotal_levels = 1;  // "NumSubtotalLevels"
  core::DurationSettings durations;
  DescriptorNames names;
};

// 1 + the sort levels after the primary up to the first "(None)", at most
// `num_subtotal_levels` (1 when that is 0 or 1).
int SubtotalLevelCount(const SortOrder& order, int num_subtotal_levels);

// The column whose cell text is a sort field's key: 0-5 the descriptors,
// start date and start date/time the start date, expense, invoice,
// billable; -1 for "(None)" and unknown codes.
int SubtotalColumn(int sort_field);

// The level columns' names joined by "/", cut to 44 characters, then
// TAB "Time" TAB "Expense" TAB "Fee".
std::string SubtotalHeading(const SubtotalSettings& settings);

// Walks the records of `db` in its display order and sends the lines to
// `sink`; as with the summary, the caller polls for changes first. 0; 310 (shown) when the sink refused a line, the remaining
// groups left out; or the reading failure.
int ComputeSubtotals(db::TimeRecordDb& db, const SubtotalSettings& settings, SubtotalSink& sink);

}  // namespace qm::view
