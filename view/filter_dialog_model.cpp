#include "view/filter_dialog_model.h"

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/messages.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "platform/text_case.h"

namespace qm::view {
namespace {

bool StartsWithEither(std::string_view text, char lower, char upper) {
  return !text.empty() && (text[0] == lower || text[0] == upper);
}

}  // namespace

FilterDialogModel::FilterDialogModel(UserIndex& index, db::DescriptorDb* descriptors,
                                     const DescriptorNames& descriptor_names)
    : index_(&index), descriptors_(descriptors), field_names_(FilterFieldNames(descriptor_names)) {
  Reset();
}

void FilterDialogModel::Load() {
  const RecordFilter filter = LoadFilter(index_->settings());
  enabled_ = filter.enabled == 1;
  for (int i = 0; i < kFilterRowCount; ++i) {
    const FilterRow& stored = filter.rows[i];
    Row& row = rows_[i];
    row.field = stored.field;
    // The list has no place for a code it does not offer; the expression
    // reads such a code as "=".
    row.comparison = stored.comparison >= kCompareGreater && stored.comparison <= kCompareContains
                         ? stored.comparison
                         : kCompareEqual;
    row.target = stored.target;
    row.link = stored.link;
    FillChoices(row);
  }
  focus_row_ = -1;
}

RecordFilter FilterDialogModel::filter() const {
  RecordFilter filter;
  filter.enabled = enabled_ ? 1 : 0;
  for (int i = 0; i < kFilterRowCount; ++i) {
    const Row& row = rows_[i];
    filter.rows[i] = FilterRow{static_cast<std::int16_t>(row.field),
                               static_cast<std::int16_t>(row.comparison), row.target,
                               static_cast<std::int16_t>(row.link)};
  }
  return filter;
}

std::string FilterDialogModel::InformationLine() const {
  if (index_->scope().administrator) return std::string(kAdministratorInformation);
  return app::FormatMessageText(app::MessageText(kFilterOwnRecordsOnly).value_or("%s"),
                                {std::string_view(index_->scope().person)});
}

bool FilterDialogModel::SetField(int row, int field) {
  if (row < 0 || row >= kFilterRowCount || field < 0 ||
      field >= static_cast<int>(field_names_.size())) {
    return false;
  }
  rows_[row].field = field;
  FillChoices(rows_[row]);
  enabled_ = true;
  return true;
}

bool FilterDialogModel::SetComparison(int row, int comparison) {
  if (row < 0 || row >= kFilterRowCount || comparison < 0 ||
      comparison >= static_cast<int>(ComparisonNames().size())) {
    return false;
  }
  rows_[row].comparison = comparison;
  return true;
}

void FilterDialogModel::SetTarget(int row, std::string_view target) {
  if (row < 0 || row >= kFilterRowCount) return;
  rows_[row].target.assign(target.substr(0, kMaxFilterTarget));
}

bool FilterDialogModel::SetLink(int row, int link) {
  if (row < 0 || row >= kFilterRowCount || link < 0 ||
      link >= static_cast<int>(LinkNames().size())) {
    return false;
  }
  rows_[row].link = link;
  return true;
}

void FilterDialogModel::Reset() {
  for (Row& row : rows_) {
    row.field = kFieldStartDate;
    row.comparison = kCompareGreater;
    row.target.clear();
    row.link = kLinkEnd;
    FillChoices(row);
  }
  enabled_ = false;
  focus_row_ = -1;
}

void FilterDialogModel::FillChoices(Row& row) {
  row.choices.clear();
  if (row.field >= kFieldPerson && row.field <= kFieldRate) {
    if (descriptors_ == nullptr) return;
    const db::DescriptorCache& cache = descriptors_->LoadedCache();
    for (std::size_t i = cache.first[row.field]; i < cache.first[row.field + 1]; ++i) {
      if (i < cache.entries.size()) row.choices.push_back(cache.entries[i].value);
    }
  } else if (row.field == kFieldStartDate) {
    row.choices = {"Today",     "Yesterday", "This Year", "This Month",
                   "Last Month", "Last Year", "Last Week", "This Week"};
  } else if (row.field == kFieldBillable) {
    row.choices = {"Yes", "No"};
  }
}

int FilterDialogModel::CheckRow(int index) const {
  const Row& row = rows_[index];
  const int field = row.field;
  const int comparison = row.comparison;
  const std::string& target = row.target;
  if (comparison == kCompareContains && field >= kFieldRate && field <= kFieldInvoice) {
    return kContainsNeedsText;
  }
  if (comparison == kCompareEqual && field == kFieldDescription) return kEqualsOnDescription;
  if ((field == kFieldStartDate && core::ParseDate(target) == core::kNoTime) ||
      (field == kFieldStartTime && core::ParseTimeOfDay(target) == core::kNoTime)) {
    return kBadDateOrTime;
  }
  if (field == kFieldInvoice && !core::IsNumberText(target) &&
      !platform::EqualsIgnoringCase(target, "Not Billed")) {
    return kBadInvoiceTarget;
  }
  if (field == kFieldBillable &&
      !((comparison == kCompareEqual || comparison == kCompareNotEqual) &&
        (StartsWithEither(target, 'y', 'Y') || StartsWithEither(target, 'n', 'N')))) {
    return kBillableNeedsYesOrNo;
  }
  if ((field == kFieldRate || field == kFieldExpense) && !core::IsNumberText(target)) {
    return kNotADecimalNumber;
  }
  return 0;
}

int FilterDialogModel::Validate() {
  focus_row_ = -1;
  const RecordFilter current = filter();
  const int rows_in_use = current.RowsInUse();
  for (int i = 0; i < rows_in_use; ++i) {
    if (int message = CheckRow(i); message != 0) {
      focus_row_ = i;
      app::Reporter().ShowMessageWithNumber(message, i + 1);
      return message;
    }
  }
  for (int i = rows_in_use; i < kFilterRowCount; ++i) {
    const std::string& text = rows_[i].target;
    const std::size_t last = text.find_last_not_of(' ');
    if (last == std::string::npos) continue;
    const std::string question = app::FormatMessageText(
        app::MessageText(kTextAfterEndRow).value_or(""),
        {static_cast<long long>(rows_in_use), std::string_view(text).substr(0, last + 1),
         static_cast<long long>(i + 1)});
    if (app::Reporter().AskYesNo(kTextAfterEndRow, question) == platform::Button::kYes) return 0;
    focus_row_ = i;
    return kTextAfterEndRow;
  }
  return 0;
}

int FilterDialogModel::Ok() {
  if (enabled_) {
    if (int result = Validate(); result != 0) return result;
  }
  const RecordFilter current = filter();
  if (int result = index_->ApplyFilterAndSort(std::nullopt, current); result != 0) return result;
  SaveFilter(index_->settings(), current);
  return 0;
}

}  // namespace qm::view
