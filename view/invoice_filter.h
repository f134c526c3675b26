// The invoice filter: the billable, not yet billed records of one client,
// chosen from the Filter menu's "Invoice Filter for ..." entries.
//
// A support directory may hold "invoice.env", an environment file whose
// section "Index" is the filter to use instead of the built-in one; its
// first row's target is replaced by the client chosen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/descriptor_db.h"
#include "view/record_filter.h"
#include "view/user_index.h"

namespace qm::view {

inline constexpr std::string_view kInvoiceEnvironmentFile = "invoice.env";
inline constexpr int kFirstInvoiceFilterCommand = 33000;
inline constexpr int kInvoiceFilterEntries = 20;

// The filter for `client`: from invoice.env in `support_directory` when
// that file exists, else client = `client` and billable = Yes and invoice
// = Not Billed.
RecordFilter MakeInvoiceFilter(const std::string& support_directory, std::string_view client);

// Applies the invoice filter with the saved sort order and saves it as the
// current filter when that worked. 0, the result of applying, or 205 when
// it could not be saved.
int ApplyInvoiceFilter(UserIndex& index, const std::string& support_directory,
                       std::string_view client);

struct InvoiceFilterMenuEntry {
  int command = 0;     // 33000 + the client's position among the first 20
  std::string label;   // "Invoice Filter for &Acme"
  std::string client;  // what ApplyInvoiceFilter is given
};

// The entries for the first 20 clients of the descriptor file in list
// order; a client named like the one before it gets no entry of its own.
std::vector<InvoiceFilterMenuEntry> BuildInvoiceFilterMenu(const db::DescriptorCache& cache);

}  // namespace qm::view
