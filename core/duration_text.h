// Durations as text.
//
// Formats, chosen by the DurationFormat setting, shown here for 11,580
// seconds (the option dialog's labels in quotes):
//   0 " 3.22 Hours"   "&Decimal Hour (3.22 Hours)"
//   1 "3.217 Hours"   "D&ecimal Hour (3.217 Hours)"
//   2 " 3.22"         "De&cimal Hour (3.22)"
//   3 "3.217"         "Dec&imal Hour (3.217)"
//   4 "3 hr 13 min"   "&Hour, Minute (3 hr 13 min)"
//   5 "193 min"       "&Just Minutes (193 min)"
//   6 "193"           "J&ust Minutes (193)"
//   7 "3:13"          "H&our:Minute (03:13)"
// Decimal hours use the user's decimal separator.
//
// Reading accepts every format but 6 back as the duration it shows, and
// what people type: 5 min, 1.2 h, 6 m, 1 hour 3 m, 1:30, 1.5 (hours).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/time_stamp.h"

namespace qm::core {

inline constexpr int kDurationFormatCount = 8;

// The option dialog's label of each format.
inline constexpr std::array<std::string_view, kDurationFormatCount> kDurationFormatLabels = {
    "&Decimal Hour (3.22 Hours)", "D&ecimal Hour (3.217 Hours)", "De&cimal Hour (3.22)",
    "Dec&imal Hour (3.217)",      "&Hour, Minute (3 hr 13 min)", "&Just Minutes (193 min)",
    "J&ust Minutes (193)",        "H&our:Minute (03:13)"};

// At most 18 characters. -1 (no duration) is shown as 0; a format outside
// 0 to 7 is shown as format 4.
std::string FormatDuration(Seconds seconds, int format);
// In the DurationFormat of the current settings.
std::string FormatDurationCurrent(Seconds seconds);

// Whole minutes in seconds, or -1 with 212 stored through `error` (when
// given). An empty text is 0.
Seconds ParseDuration(std::string_view text, int* error = nullptr);

}  // namespace qm::core
