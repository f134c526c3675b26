// The string table: every numbered message and text of the program.
//
// Texts are exactly as the program shows them (Windows-1252), with their
// printf-style %s / %d / %ld formats and their doubled blanks. Operations
// return these numbers as their results, so a number names both a failure
// and the text that describes it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace qm::app {

// One entry of the string table.
struct Message {
  int number;
  std::string_view text;
};

// The text of message `number`, or nullopt when the table has none (the
// error reporter treats that as an internal error, never a crash).
std::optional<std::string_view> MessageText(int number);

// Every entry, in ascending order of number, each number once.
std::span<const Message> AllMessages();

}  // namespace qm::app
