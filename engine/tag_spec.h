// TagSpec: one tag of an index file, as a creation list names it.
#pragma once

#include <string>

namespace qm::engine {

// Treatment of a duplicate key in a unique tag.
inline constexpr int kUniqueRefuse = 20;  // the record is refused (result 20)
inline constexpr int kUniqueKeep = 25;    // the record is kept; only its key is left out

inline constexpr int kAscending = 0;
inline constexpr int kDescending = 10;

struct TagSpec {
  std::string name;        // at most 10 characters, stored upper case
  std::string key;         // key expression, e.g. "DTOS(END_DATE ) + END_TIME"
  std::string filter;      // FOR expression; empty for none
  int unique = 0;          // 0 not unique, else kUniqueRefuse or kUniqueKeep
  int descending = kAscending;
};

}  // namespace qm::engine
