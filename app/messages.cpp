#include "app/messages.h"

#include <algorithm>

namespace qm::app {
namespace {

constexpr Message kMessages[] = {
#include "app/message_table.inc"
};

constexpr bool IsStrictlyAscending() {
  for (std::size_t i = 1; i < std::size(kMessages); ++i) {
    if (kMessages[i - 1].number >= kMessages[i].number) return false;
  }
  return true;
}
// Lookup is a binary search, so an entry out of order would hide others.
static_assert(IsStrictlyAscending(), "message table must be sorted by number");

}  // namespace

std::optional<std::string_view> MessageText(int number) {
  const auto* it = std::lower_bound(
      std::begin(kMessages), std::end(kMessages), number,
      [](const Message& m, int n) { return m.number < n; });
  if (it == std::end(kMessages) || it->number != number) return std::nullopt;
  return it->text;
}

std::span<const Message> AllMessages() { return kMessages; }

}  // namespace qm::app
