// The Record Summary: one set of totals over the records the list shows,
// with the dialog's lines and the text its Copy box offers.
//
// Computing walks every record of the user's order, so the figures are
// kept until the records, the filter or the sort order change
// (SummaryCache).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/duration_settings.h"
#include "core/group_totals.h"
#include "db/time_record_db.h"
#include "platform/user_interface.h"

namespace qm::view {

inline constexpr int kCompilingSummary = 344;   // "Compiling Summary Information..."
inline constexpr int kRecordsMatching = 1119;   // "# Records Matching Filter:"
inline constexpr int kNumberOfRecords = 339;    // "Number of Records:"
inline constexpr int kFilterOn = 1118;
inline constexpr int kFilterOff = 1117;
inline constexpr int kAdministratorAccess = 338;
inline constexpr int kSummaryOwnRecordsOnly = 1242;    // "... only the time records for '%s' ..."
inline constexpr int kSummaryCancelled = 127;

// What the summary states beside the figures.
struct SummaryContext {
  bool filter_enabled = false;
  bool administrator = true;
  std::string person;
  core::DurationSettings durations;
};

struct Summary {
  SummaryContext context;
  core::GroupTotals totals;  // accumulated, time fee not yet replaced
  double average_rate = 0;   // from the accumulated fee
  double time_fee = 0;       // by the group rule when RoundBeforeMultiplying
  double total_fee = 0;      // time fee + expense
};

// Walks the records of `db` in its display order under a progress box;
// the caller polls for other users' changes first, so that the figures
// include them (RecordListModel::PollForChanges). 0, 127 when Cancel was
// pressed (nothing is kept), or the reading failure.
int ComputeSummary(db::TimeRecordDb& db, const SummaryContext& context,
                   platform::UserInterface& ui, Summary& summary);

// One line of the dialog: its label and its value.
struct SummaryLine {
  std::string label;
  std::string value;
};
std::vector<SummaryLine> SummaryLines(const Summary& summary);
// label TAB value CR LF per line: what "Copy..." offers.
std::string SummaryCopyText(const std::vector<SummaryLine>& lines);

// The figures, computed once and kept until Clear (the user index calls
// it after every rebuild or reindex, record changes too).
class SummaryCache {
 public:
  // The kept figures, or new ones; nullptr when computing failed.
  const Summary* Get(db::TimeRecordDb& db, const SummaryContext& context,
                     platform::UserInterface& ui, int* result = nullptr);
  void Clear() { summary_.reset(); }
  bool has_value() const { return summary_.has_value(); }

 private:
  std::optional<Summary> summary_;
};

}  // namespace qm::view
