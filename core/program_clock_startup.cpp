// Kept apart from program_clock.cpp so that programs and tests that supply
// their own regional settings do not link the win.ini and locale readers.
#include "core/program_clock.h"
#include "platform/regional.h"

namespace qm::core {

int InitClock() {
  return InitClock([] { return platform::ReadRegionalSettings(); });
}

}  // namespace qm::core
