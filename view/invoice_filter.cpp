#include "view/invoice_filter.h"

#include <optional>

#include "app/settings.h"
#include "platform/paths.h"

namespace qm::view {

RecordFilter MakeInvoiceFilter(const std::string& support_directory, std::string_view client) {
  const std::string target(client.substr(0, kMaxFilterTarget));
  const std::optional<std::string> environment = platform::FindFileIgnoringCase(
      support_directory + "/" + std::string(kInvoiceEnvironmentFile));
  if (environment) {
    app::CSettings file;
    file.Bind(*environment);
    RecordFilter filter = LoadFilter(file);
    filter.rows[0].target = target;
    return filter;
  }
  RecordFilter filter;
  filter.enabled = 1;
  filter.rows[0] = FilterRow{kFieldClient, kCompareEqual, target, kLinkAnd};
  filter.rows[1] = FilterRow{kFieldBillable, kCompareEqual, "Yes", kLinkAnd};
  filter.rows[2] = FilterRow{kFieldInvoice, kCompareEqual, "Not Billed", kLinkEnd};
  return filter;
}

int ApplyInvoiceFilter(UserIndex& index, const std::string& support_directory,
                       std::string_view client) {
  const RecordFilter filter = MakeInvoiceFilter(support_directory, client);
  if (int result = index.ApplyFilterAndSort(std::nullopt, filter); result != 0) return result;
  return SaveFilter(index.settings(), filter);
}

std::vector<InvoiceFilterMenuEntry> BuildInvoiceFilterMenu(const db::DescriptorCache& cache) {
  std::vector<InvoiceFilterMenuEntry> entries;
  const std::size_t first = cache.first[kFieldClient];
  const std::size_t end = std::min(cache.first[kFieldClient + 1], first + kInvoiceFilterEntries);
  const std::string* previous = nullptr;
  for (std::size_t i = first; i < end && i < cache.entries.size(); ++i) {
    const std::string& name = cache.entries[i].value;
    if (previous != nullptr && *previous == name) continue;
    previous = &name;
    // The cache holds an empty name as a single blank.
    const bool blank = name.find_first_not_of(' ') == std::string::npos;
    std::string shown;
    if (blank) {
      shown = "[Blank Client]";
    } else {
      // A single "&" would underline the next letter instead of showing.
      for (char c : name) {
        shown += c;
        if (c == '&') shown += '&';
      }
    }
    entries.push_back({kFirstInvoiceFilterCommand + static_cast<int>(i - first),
                       "Invoice Filter for &" + shown, blank ? std::string() : name});
  }
  return entries;
}

}  // namespace qm::view
