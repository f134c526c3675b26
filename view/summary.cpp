#include "view/summary.h"

#include <string_view>

#include "app/message_format.h"
#include "app/messages.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_text.h"

namespace qm::view {
namespace {

std::string Text(int number) { return std::string(app::MessageText(number).value_or("")); }

std::string Money(double amount) { return core::FormatAmount(amount, 50, true); }

}  // namespace

int ComputeSummary(db::TimeRecordDb& db, const SummaryContext& context,
                   platform::UserInterface& ui, Summary& summary) {
  Summary result;
  result.context = context;
  ui.BeginProgress(Text(kCompilingSummary), db.CountRecords(true));
  core::TimeRecord record;
  int status = db.FirstRecord(record);
  long done = 0;
  for (; status == 0; status = db.NextRecord(record)) {
    core::AddToGroup(result.totals, record, context.durations);
    if (!ui.AdvanceProgress(++done, {})) {
      status = kSummaryCancelled;
      break;
    }
  }
  ui.EndProgress();
  if (status != db::kNoSuchRecord) return status;
  result.average_rate = core::AverageRate(result.totals);
  result.time_fee = core::GroupFee(result.totals.seconds, result.totals.timeFee, context.durations);
  result.total_fee = result.time_fee + result.totals.expense;
  summary = std::move(result);
  return 0;
}

std::vector<SummaryLine> SummaryLines(const Summary& s) {
  const int format = s.context.durations.DurationFormat;
  const core::GroupTotals& t = s.totals;
  std::vector<SummaryLine> lines;
  lines.push_back({Text(s.context.filter_enabled ? kRecordsMatching : kNumberOfRecords),
                   std::to_string(static_cast<unsigned long>(t.count))});
  lines.push_back({"Filter Status: ", Text(s.context.filter_enabled ? kFilterOn : kFilterOff)});
  lines.push_back({"Total Duration:", core::FormatDuration(static_cast<core::Seconds>(t.seconds), format)});
  lines.push_back({"Average Duration:",
                   t.count == 0 ? std::string("N/A")
                                : core::FormatDuration(
                                      static_cast<core::Seconds>(t.seconds / t.count), format)});
  lines.push_back({"Average Hourly Rate:", Money(s.average_rate)});
  lines.push_back({"Total Time-Related Fee:", Money(s.time_fee)});
  lines.push_back({"Total Expense:", Money(t.expense)});
  lines.push_back({"Total Fee:", Money(s.total_fee)});
  const bool any = t.count > 0;
  lines.push_back({"Earliest Start:", any ? core::FormatDateTime(t.earliestStart, false) : "N/A"});
  lines.push_back({"Latest End:", any ? core::FormatDateTime(t.latestEnd, false) : "N/A"});
  if (s.context.administrator) {
    lines.push_back({Text(kAdministratorAccess), {}});
  } else {
    lines.push_back({app::FormatMessageText(Text(kSummaryOwnRecordsOnly), {std::string_view(s.context.person)}), {}});
  }
  return lines;
}

std::string SummaryCopyText(const std::vector<SummaryLine>& lines) {
  std::string text;
  for (const SummaryLine& line : lines) text += line.label + "\t" + line.value + "\r\n";
  return text;
}

const Summary* SummaryCache::Get(db::TimeRecordDb& db, const SummaryContext& context,
                                 platform::UserInterface& ui, int* result) {
  int status = 0;
  if (!summary_) {
    Summary computed;
    status = ComputeSummary(db, context, ui, computed);
    if (status == 0) summary_ = std::move(computed);
  }
  if (result) *result = status;
  return summary_ ? &*summary_ : nullptr;
}

}  // namespace qm::view
