#include "view/cell_text.h"

#include <string_view>

#include "app/error_reporter.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "core/durations.h"
#include "view/columns.h"

namespace qm::view {
namespace {

std::string YesNo(std::int32_t flag) { return flag ? "Yes" : "No"; }

std::string Amount(double amount, bool with_symbol) {
  return core::FormatAmount(amount, kMaxCellText, with_symbol);
}

std::string Text(int id, const core::TimeRecord& r, const core::DurationSettings& settings) {
  const int format = settings.DurationFormat;
  switch (id) {
    case kColumnPerson:
    case kColumnClient:
    case kColumnProject:
    case kColumnSubproject:
    case kColumnActivity:
      return std::string(r.descriptors[static_cast<std::size_t>(id)].view());
    case kColumnRate:
      // Rates typed before the separators changed still read as a number.
      return Amount(core::AmountTextToNumber(r.descriptors[core::kRateDescriptor].view()), false);
    case kColumnStartDate:
      return core::FormatDate(r.start);
    case kColumnStartTime:
      return core::FormatTime(r.start, false);
    case kColumnEndDate:
      return core::FormatDate(r.end);
    case kColumnEndTime:
      return core::FormatTime(r.end, false);
    case kColumnDescription:
      return std::string(r.description.view());
    case kColumnEdited:
      return YesNo(r.edited);
    case kColumnDuration:
      return core::FormatDuration(core::RoundedDuration(r, settings), format);
    case kColumnPause:
      return core::FormatDuration(r.pauseDuration, format);
    case kColumnExpense:
      return Amount(r.expense, false);
    case kColumnBillable:
      return YesNo(r.billable);
    case kColumnInvoice:
      return r.invoice == 0 ? "N/A" : std::to_string(static_cast<long>(r.invoice));
    case kColumnStraightDuration:
      return core::FormatDuration(r.end - r.start - r.pauseDuration, format);
    case kColumnTimeFee:
      return Amount(core::TimeFee(r, settings), true);
    case kColumnFee:
      return Amount(core::RecordFee(r, settings), true);
    default:
      app::Reporter().ReportInternalError("TDISPLAY", __LINE__);
      return {};
  }
}

}  // namespace

std::string CellText(int id, const core::TimeRecord& record, const core::DurationSettings& settings) {
  std::string text = Text(id, record, settings);
  if (text.size() > kMaxCellText) text.resize(kMaxCellText);
  return text;
}

std::string CellText(int id, const core::TimeRecord& record) {
  return CellText(id, record, core::CurrentDurationSettings());
}

}  // namespace qm::view
