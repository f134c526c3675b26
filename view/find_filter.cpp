#include "view/find_filter.h"

#include "app/error_reporter.h"

namespace qm::view {

RecordFilter MakeFindFilter(std::string_view text) {
  static constexpr int kSearchedFields[] = {kFieldActivity, kFieldSubproject, kFieldProject,
                                            kFieldClient,   kFieldPerson,     kFieldDescription};
  RecordFilter filter;
  filter.enabled = 1;
  const std::string target(text.substr(0, kMaxFindText));
  for (std::size_t i = 0; i < std::size(kSearchedFields); ++i) {
    FilterRow& row = filter.rows[i];
    row.field = static_cast<std::int16_t>(kSearchedFields[i]);
    row.comparison = kCompareContains;
    row.target = target;
    row.link = i + 1 < std::size(kSearchedFields) ? kLinkOr : kLinkEnd;
  }
  return filter;
}

int ApplyFindFilter(UserIndex& index, std::string_view text, bool enable_filter) {
  if (text.empty()) {
    app::Reporter().ShowMessage(kFindTextMissing);
    return kFindTextMissing;
  }
  if (!enable_filter) {
    index.SetFilterEnabled(0);
    return 0;
  }
  const RecordFilter filter = MakeFindFilter(text);
  const int result = index.ApplyFilterAndSort(std::nullopt, filter);
  if (result == 0) SaveFilter(index.settings(), filter);
  return result;
}

}  // namespace qm::view
