// The program's clock: what "now" is, as a local wall-clock time stamp.
//
// The stamp is the system clock minus the zone's standard offset, plus one
// hour when daylight-saving time was in effect at start-up. The daylight
// flag is set once by InitClock and not re-evaluated while the program
// runs, so a change of daylight-saving time takes effect at the next start.
// The system clock itself is read through platform::CurrentClock(), which
// tests replace with a FixedClock.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "core/time_stamp.h"

namespace qm::core {

using RegionalValuesReader = std::function<std::map<std::string, std::string>()>;

// Start-up: checks that the clock lies within 1970 to 2038. When it does
// not, returns 425 (for the caller to show) and leaves the daylight flag
// clear without reading the regional settings. Otherwise sets the daylight
// flag from the local calendar, reads the regional settings with
// `read_regional`, installs them as the process's IntlSettings and returns 0.
int InitClock(const RegionalValuesReader& read_regional);
// The same with the regional settings of win.ini or the POSIX locale.
int InitClock();

TimeStamp CurrentTime();

// Whether InitClock found daylight-saving time in effect.
bool DaylightFlag();

}  // namespace qm::core
