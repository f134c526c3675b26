// The names the filter and sort dialogs list for field codes, comparison
// codes and link codes, and the reading of a typed word back into a code.
//
// The first six field names are the user's terminology for the descriptor
// kinds (person, client, ...); a list's position is its code.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::view {

using DescriptorNames = std::array<std::string, 6>;

// The field list of the filter dialog: codes 0 to 11.
std::vector<std::string> FilterFieldNames(const DescriptorNames& descriptor_names);
// The field list of the sort dialog: codes 0 to 11, "Start Date/Time" for
// 7 and "(None)" for 11 (the primary level's list stops before it).
std::vector<std::string> SortFieldNames(const DescriptorNames& descriptor_names);
// ">", "<", "=", ">=", "<=", "<>", "contains".
const std::vector<std::string>& ComparisonNames();
// "end", "and", "or".
const std::vector<std::string>& LinkNames();

// The code of `word` in `names`: a name matched without regard to case,
// with or without its trailing "?", or the code as a decimal number below
// names.size(). nullopt when it is neither.
std::optional<int> CodeOfName(std::string_view word, const std::vector<std::string>& names);

}  // namespace qm::view
