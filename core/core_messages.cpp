#include "core/core_messages.h"

#include <array>
#include <utility>

namespace qm::core {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 13> kTexts = {{
    {kMsgBadClock,
     "The system date on your computer is set incorrectly.  Quillmark cannot work with years "
     "past 2038 or before 1970."},
    {kMsgBadDate,
     "You have entered a date which is invalid.  Please enter a date with a format such as "
     "'5/12/96', or '3/15', or 'Yesterday'."},
    {kMsgBadTime,
     "You have entered a time that is invalid or inappropriate.  Please enter a time with a "
     "format such as '14:33', '12:20 PM', '4 PM', or 'Now'."},
    {kMsgBadStartTime, "The time you entered is invalid."},
    {kMsgBadDuration,
     "The pause duration you have entered is invalid.  Please enter a value such as '5 min', "
     "'1.2 h', '6 m', or '1 hour 3 m'."},
    {kMsgBadNumber, "The number you have entered is invalid."},
    {kMsgImportBadDuration,
     "A duration field was invalid.  A value such as '1.234' or '1 hr 32 min' was expected, "
     "but the duration field that was imported was '%s'."},
    {kMsgImportBadDateTime,
     "A date or time string was invalid.  A value such as '10/12/95' or '3:30 PM' was "
     "expected.  The value that was read was '%s'."},
    {kTextHours, "Hours"},
    {kTextHr, "hr"},
    {kTextMin, "min"},
    {kTextMinutesFormat, "%ld min"},
    {kTextNow, "Now"},
}};

}  // namespace

std::string_view CoreText(int number) {
  for (const auto& [id, text] : kTexts) {
    if (id == number) return text;
  }
  return {};
}

}  // namespace qm::core
