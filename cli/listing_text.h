// Plain-text forms of the commands' listings (CSV fields, amounts).
#pragma once

#include <string>
#include <string_view>

namespace qm::cli {

// `text` as one CSV field: quoted, with its quotes doubled, only when it
// holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);

// An amount with two decimals and no grouping or symbol, as scripts read it.
std::string AmountText(double value);

}  // namespace qm::cli
