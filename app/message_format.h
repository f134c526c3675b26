// Filling a string-table text with its arguments.
//
// Message texts carry printf-style conversions ("%s", "%d", "%ld", "%u",
// "%-3.3d" ...). They are filled here rather than by handing the table text
// to printf, so that a text whose conversions do not match the arguments
// given (a translated table, a damaged one, a file name containing "%")
// yields a readable message instead of undefined behaviour:
// - each conversion takes the next argument; a number given for "%s" is
//   written in decimal, a text given for "%d" is inserted as it is;
// - a conversion with no argument left is dropped;
// - "%%" is a percent sign; flags, width and precision are honoured.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace qm::app {

using MessageArgument = std::variant<long long, std::string_view>;

std::string FormatMessageText(std::string_view format,
                              std::initializer_list<MessageArgument> arguments);

// `text` cut to at most `max_length` characters.
std::string CutText(std::string_view text, std::size_t max_length);

}  // namespace qm::app
