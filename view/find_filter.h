// Find: the records that hold a text in any of their text fields, as a
// record filter of six "contains" rows joined by "or".
#pragma once

#include <string>
#include <string_view>

#include "view/record_filter.h"
#include "view/user_index.h"

namespace qm::view {

inline constexpr int kFindTextMissing = 204;
// What the Find box keeps of a search text.
inline constexpr std::size_t kMaxFindText = 35;

// The filter that Find applies: enabled, activity, subproject, project,
// client, person and description each "contains" `text`.
RecordFilter MakeFindFilter(std::string_view text);

// The OK of the Find dialog. With `enable_filter` the find filter replaces
// the current one (applied with the saved sort order, saved when that
// worked); without it the current filter is only disabled. 0, 204 (shown)
// for an empty text, or the result of applying.
int ApplyFindFilter(UserIndex& index, std::string_view text, bool enable_filter = true);

}  // namespace qm::view
