// SortOrder: the order in which the user sees the time records, up to four
// levels of one field code each (record_filter.h), one direction for the
// whole key, kept in section "Index" of the user's settings file.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/settings.h"

namespace qm::view {

inline constexpr int kSortLevelCount = 4;
inline constexpr int kSortNone = 11;  // "(None)": ends the order

struct SortOrder {
  std::array<std::int32_t, kSortLevelCount> fields{7, kSortNone, kSortNone, kSortNone};
  std::int32_t ascending = 1;
  bool operator==(const SortOrder&) const = default;
};

SortOrder LoadSortOrder(app::CSettings& settings);
// 0, or 205 when the settings file could not be written.
int SaveSortOrder(app::CSettings& settings, const SortOrder& order);

// The key expression of the user's tag, at most 100 characters of key.
std::string BuildSortKey(const SortOrder& order);

}  // namespace qm::view
