#include "view/subtotals.h"

#include <algorithm>

#include "app/error_reporter.h"
#include "app/messages.h"
#include "core/amount_text.h"
#include "core/duration_text.h"
#include "core/group_totals.h"
#include "view/cell_text.h"
#include "view/record_filter.h"

namespace qm::view {
namespace {

constexpr std::size_t kPaddedKey = 35;
constexpr std::size_t kHeadingNames = 44;

std::string Text(int number) { return std::string(app::MessageText(number).value_or("")); }

struct Level {
  int column = kNoColumn;
  std::string key;
  core::GroupTotals totals;
};

class SubtotalWriter {
 public:
  SubtotalWriter(const SubtotalSettings& settings, SubtotalSink& sink)
      : settings_(settings), sink_(sink) {
    const int count = SubtotalLevelCount(settings.order, settings.num_subtotal_levels);
    levels_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      levels_[static_cast<std::size_t>(i)].column = SubtotalColumn(settings.order.fields[static_cast<std::size_t>(i)]);
    }
  }

  // False once the sink is full.
  bool Add(const core::TimeRecord& record) {
    std::vector<std::string> keys;
    for (const Level& level : levels_) keys.push_back(Key(level.column, record));
    const int deepest = static_cast<int>(levels_.size()) - 1;
    if (!started_) {
      started_ = true;
      for (int i = 0; i <= deepest; ++i) levels_[static_cast<std::size_t>(i)].key = keys[static_cast<std::size_t>(i)];
      if (!Headers(0)) return false;
    } else {
      int changed = 0;
      while (changed <= deepest && keys[static_cast<std::size_t>(changed)] == levels_[static_cast<std::size_t>(changed)].key) ++changed;
      if (changed <= deepest) {
        for (int i = deepest; i >= changed; --i) {
          if (!Close(i)) return false;
          levels_[static_cast<std::size_t>(i)].totals = {};
          levels_[static_cast<std::size_t>(i)].key = keys[static_cast<std::size_t>(i)];
        }
        if (!Headers(changed)) return false;
      }
    }
    for (Level& level : levels_) core::AddToGroup(level.totals, record, settings_.durations);
    return true;
  }

  bool Finish() {
    if (!started_) return true;
    for (int i = static_cast<int>(levels_.size()) - 1; i >= 0; --i) {
      if (!Close(i)) return false;
    }
    return true;
  }

 private:
  std::string Key(int column, const core::TimeRecord& record) const {
    return column == kNoColumn ? std::string() : CellText(column, record, settings_.durations);
  }

  bool Emit(const std::string& line) { return sink_.AddLine(line); }

  // Header lines of the levels from `from` to the one above the deepest.
  bool Headers(int from) {
    for (int i = from; i + 1 < static_cast<int>(levels_.size()); ++i) {
      if (!Emit(std::string(static_cast<std::size_t>(i), '\t') + levels_[static_cast<std::size_t>(i)].key)) return false;
    }
    return true;
  }

  bool Close(int i) {
    const Level& level = levels_[static_cast<std::size_t>(i)];
    std::string label = level.key;
    if (i + 1 < static_cast<int>(levels_.size())) label += Text(kSubtotalTotal);
    if (label.size() < kPaddedKey) label.resize(kPaddedKey, ' ');
    const core::GroupTotals& t = level.totals;
    const double fee = core::GroupFee(t.seconds, t.timeFee, settings_.durations) + t.expense;
    std::string line = std::string(static_cast<std::size_t>(i), '\t') + label + "\t" +
                       core::FormatDuration(static_cast<core::Seconds>(t.seconds),
                                            settings_.durations.DurationFormat) +
                       "\t" + core::FormatAmount(t.expense, 50, true) + "\t" +
                       core::FormatAmount(fee, 50, true);
    return Emit(line);
  }

  const SubtotalSettings& settings_;
  SubtotalSink& sink_;
  std::vector<Level> levels_;
  bool started_ = false;
};

}  // namespace

bool SubtotalLines::AddLine(std::string_view line) {
  if (lines_.size() >= capacity_) return false;
  lines_.emplace_back(line);
  return true;
}

int SubtotalLevelCount(const SortOrder& order, int num_subtotal_levels) {
  int count = 1;
  while (count < kSortLevelCount && order.fields[static_cast<std::size_t>(count)] != kSortNone) {
    ++count;
  }
  return std::max(1, std::min(count, num_subtotal_levels));
}

int SubtotalColumn(int sort_field) {
  if (sort_field >= 0 && sort_field <= 5) return sort_field;
  switch (sort_field) {
    case kFieldStartDate:
    case kFieldStartTime:
      return kColumnStartDate;
    case kFieldExpense:
      return kColumnExpense;
    case kFieldInvoice:
      return kColumnInvoice;
    case kFieldBillable:
      return kColumnBillable;
    default:
      return kNoColumn;
  }
}

std::string SubtotalHeading(const SubtotalSettings& settings) {
  const int count = SubtotalLevelCount(settings.order, settings.num_subtotal_levels);
  std::string names;
  for (int i = 0; i < count; ++i) {
    if (i > 0) names += "/";
    names += ColumnName(SubtotalColumn(settings.order.fields[static_cast<std::size_t>(i)]),
                        settings.names);
  }
  if (names.size() > kHeadingNames) names.resize(kHeadingNames);
  return names + "\t" + Text(kHeadingTime) + "\t" + Text(kHeadingExpense) + "\t" +
         Text(kHeadingFee);
}

int ComputeSubtotals(db::TimeRecordDb& db, const SubtotalSettings& settings, SubtotalSink& sink) {
  SubtotalWriter writer(settings, sink);
  core::TimeRecord record;
  int status = db.FirstRecord(record);
  for (; status == 0; status = db.NextRecord(record)) {
    if (!writer.Add(record)) {
      app::Reporter().ShowMessage(kSubtotalListFull);
      return kSubtotalListFull;
    }
  }
  if (status != db::kNoSuchRecord) return status;
  if (!writer.Finish()) {
    app::Reporter().ShowMessage(kSubtotalListFull);
    return kSubtotalListFull;
  }
  return 0;
}

}  // namespace qm::view
