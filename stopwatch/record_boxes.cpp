#include "stopwatch/record_boxes.h"

#include <charconv>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "core/pause_handling.h"
#include "platform/text_case.h"

namespace qm::stopwatch {
namespace {

constexpr int kInvalidTime = 2015;
constexpr int kInvalidDate = 2016;
constexpr int kStartAfterEnd = 165;
constexpr int kStartEqualsEnd = 166;
constexpr int kInvalidRate = 171;
constexpr int kNegativeRate = 172;
constexpr int kInvalidExpense = 292;
constexpr int kInvalidPause = 227;
constexpr int kPauseTooGreat = 213;
constexpr int kNoDescription = 218;
constexpr int kBlankDescriptionNote = 311;
constexpr int kBilledWithoutInvoice = 374;
constexpr int kInvoiceWithoutBilled = 375;
constexpr int kNotADescriptor = 380;
constexpr int kInvalidNumber = 168;

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

RecordCheck Fail(int message, RecordBox focus, bool show_messages) {
  if (show_messages && app::HasReporter()) app::Reporter().ShowMessage(message);
  return {message, focus};
}

// The invoice box holds a positive whole number or nothing.
bool ReadInvoice(std::string_view text, std::int32_t& invoice) {
  text = Trimmed(text);
  invoice = 0;
  if (text.empty()) return true;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), invoice);
  return error == std::errc() && end == text.data() + text.size() && invoice > 0;
}

std::string DescriptorName(const EntryContext& context, int kind) {
  const std::string& name = context.settings.descriptor_names[static_cast<std::size_t>(kind)];
  return name.empty() ? std::string(core::kDefaultDescriptorNames[static_cast<std::size_t>(kind)])
                      : name;
}

bool InList(const std::vector<std::string>& list, std::string_view text) {
  const std::string_view wanted = Trimmed(text);
  for (const std::string& value : list) {
    if (platform::EqualsIgnoringCase(Trimmed(value), wanted)) return true;
  }
  return false;
}

constexpr RecordBox kDescriptorBoxes[core::kDescriptorCount] = {
    RecordBox::kPerson,     RecordBox::kClient,   RecordBox::kProject,
    RecordBox::kSubproject, RecordBox::kActivity, RecordBox::kRate};

}  // namespace

double ReadAmountSum(std::string_view text) {
  double total = 0;
  while (true) {
    const std::size_t plus = text.find('+');
    const std::string_view part = Trimmed(text.substr(0, plus));
    if (!part.empty()) total += core::TextToNumber(part);
    if (plus == std::string_view::npos) return total;
    text.remove_prefix(plus + 1);
  }
}

RecordCheck CheckRecordBoxes(EntryContext& context, const RecordBoxes& boxes, bool show_messages) {
  const core::TimeStamp start_date = core::ParseDate(boxes.start_date);
  if (start_date == core::kNoTime) return Fail(kInvalidDate, RecordBox::kStartDate, show_messages);
  const core::Seconds start_time = core::ParseTimeOfDay(boxes.start_time);
  if (start_time == core::kNoTime) return Fail(kInvalidTime, RecordBox::kStartTime, show_messages);
  const core::TimeStamp end_date = core::ParseDate(boxes.end_date);
  if (end_date == core::kNoTime) return Fail(kInvalidDate, RecordBox::kEndDate, show_messages);
  const core::Seconds end_time = core::ParseTimeOfDay(boxes.end_time);
  if (end_time == core::kNoTime) return Fail(kInvalidTime, RecordBox::kEndTime, show_messages);
  const core::TimeStamp start = start_date + start_time;
  const core::TimeStamp end = end_date + end_time;
  if (end < start) return Fail(kStartAfterEnd, RecordBox::kStartTime, show_messages);

  const std::string_view expense = Trimmed(boxes.expense);
  // An expense that is no number counts as none here; its own check below
  // names the box.
  const double expense_value = core::IsNumberSum(expense) ? ReadAmountSum(expense) : 0;
  if (end == start && expense_value == 0) {
    return Fail(kStartEqualsEnd, RecordBox::kStartTime, show_messages);
  }

  core::Cents rate = 0;
  if (core::ParseAmountSum(Trimmed(boxes.descriptors[core::kRateDescriptor]), rate) != 0) {
    return Fail(kInvalidRate, RecordBox::kRate, show_messages);
  }
  if (rate < 0) return Fail(kNegativeRate, RecordBox::kRate, show_messages);

  if (!core::IsNumberSum(expense)) return Fail(kInvalidExpense, RecordBox::kExpense, show_messages);

  const core::Seconds pause = core::ParseDuration(boxes.pause);
  if (pause < 0) return Fail(kInvalidPause, RecordBox::kPause, show_messages);
  if (pause > 0 && pause >= end - start) {
    return Fail(kPauseTooGreat, RecordBox::kPause, show_messages);
  }

  if (Trimmed(boxes.description).empty()) {
    const int handling = context.settings.general.Get(app::GeneralConfigKey::kDescriptionHandling);
    if (handling == 0) return Fail(kNoDescription, RecordBox::kDescription, show_messages);
    if (handling == 1 && show_messages && app::HasReporter()) {
      app::Reporter().ShowMessage(kBlankDescriptionNote);
    }
  }

  const bool has_invoice = !Trimmed(boxes.invoice).empty();
  if (boxes.billed && !has_invoice) {
    return Fail(kBilledWithoutInvoice, RecordBox::kInvoice, show_messages);
  }
  if (!boxes.billed && has_invoice) {
    return Fail(kInvoiceWithoutBilled, RecordBox::kInvoice, show_messages);
  }
  // A billed record whose invoice number does not read would be saved as
  // unbilled; the number must be a positive whole number.
  std::int32_t invoice = 0;
  if (!ReadInvoice(boxes.invoice, invoice)) {
    return Fail(kInvalidNumber, RecordBox::kInvoice, show_messages);
  }

  if (context.settings.allow_run_time_changes == 0) {
    db::DescriptorLists lists;
    db::DescriptorTexts selection;
    for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
      selection[static_cast<std::size_t>(kind)] =
          std::string(Trimmed(boxes.descriptors[static_cast<std::size_t>(kind)]));
    }
    context.descriptors.FillDescriptorLists(lists, &selection, true, 0, core::kDescriptorCount - 1,
                                            false);
    for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
      const std::string& text = boxes.descriptors[static_cast<std::size_t>(kind)];
      const std::vector<std::string>& list = lists.values[static_cast<std::size_t>(kind)];
      if (InList(list, text)) continue;
      // A box whose list offers nothing can only be left blank.
      if (list.empty() && Trimmed(text).empty()) continue;
      if (show_messages && app::HasReporter()) {
        const std::string name = DescriptorName(context, kind);
        app::Reporter().ShowMessageWithArguments(
            kNotADescriptor,
            {std::string_view(name), std::string_view(text), std::string_view(name)});
      }
      return {kNotADescriptor, kDescriptorBoxes[kind]};
    }
  }
  return {};
}

int ReadRecordFromBoxes(EntryContext& context, const RecordBoxes& boxes, core::TimeRecord& record,
                        bool check, bool show_messages, bool apply_pause, RecordCheck* failed) {
  if (check) {
    const RecordCheck result = CheckRecordBoxes(context, boxes, show_messages);
    if (failed != nullptr) *failed = result;
    if (result.message != 0) return result.message;
  }
  const core::TimeStamp start = core::ParseDateAndTime(boxes.start_date, boxes.start_time);
  const core::TimeStamp end = core::ParseDateAndTime(boxes.end_date, boxes.end_time);
  record.start = start == core::kNoTime ? -1 : start;
  record.end = end == core::kNoTime ? -1 : end;
  for (std::size_t kind = 0; kind < boxes.descriptors.size(); ++kind) {
    std::string_view text = std::string_view(boxes.descriptors[kind]).substr(0, core::kDescriptorLength);
    std::string rate_sum;
    if (kind == core::kRateDescriptor && text.find('+') != std::string_view::npos) {
      // "12.50+3" passes the rate check as the sum of its parts, so the
      // record carries that sum rather than the first part alone.
      core::Cents cents = 0;
      if (core::ParseAmountSum(Trimmed(text), cents) == 0) {
        rate_sum = core::FormatAmount(static_cast<double>(cents) / 100.0, core::kDescriptorLength,
                                      false);
        text = rate_sum;
      }
    }
    record.descriptors[kind].assign(text.empty() ? std::string_view(" ") : text);
  }
  record.description.assign(std::string_view(boxes.description).substr(0, core::kDescriptionLength));
  const core::Seconds pause = core::ParseDuration(boxes.pause);
  record.pauseDuration = pause < 0 ? 0 : pause;
  if (apply_pause) {
    const int handling = context.settings.general.Get(app::GeneralConfigKey::kPauseHandling);
    if (!core::ApplyPauseHandling(record, handling) && app::HasReporter()) {
      app::Reporter().ReportInternalError(core::kPauseHandlingModule, __LINE__);
    }
  }
  record.billable = boxes.billable ? 1 : 0;
  const std::string_view expense = Trimmed(boxes.expense);
  record.expense = core::IsNumberSum(expense) ? ReadAmountSum(expense) : core::TextToNumber(expense);
  std::int32_t invoice = 0;
  record.invoice = ReadInvoice(boxes.invoice, invoice) ? invoice : 0;
  return 0;
}

}  // namespace qm::stopwatch
