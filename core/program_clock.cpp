#include "core/program_clock.h"

#include <limits>

#include "core/core_messages.h"
#include "core/intl_settings.h"
#include "platform/clock.h"

namespace qm::core {
namespace {

bool daylight_flag = false;

}  // namespace

int InitClock(const RegionalValuesReader& read_regional) {
  const platform::Clock& clock = platform::CurrentClock();
  const std::int64_t utc = clock.UtcNow();
  daylight_flag = false;
  if (utc < 0 || utc > std::numeric_limits<TimeStamp>::max()) return kMsgBadClock;
  daylight_flag = clock.DaylightNow();
  if (read_regional) InstallIntlSettings(IntlSettings::FromRegionalValues(read_regional()));
  return 0;
}

TimeStamp CurrentTime() {
  const platform::Clock& clock = platform::CurrentClock();
  std::int64_t local = clock.UtcNow() - clock.StandardOffsetWest();
  if (daylight_flag) local += 3600;
  // A clock outside the stamp range was reported at start-up; keep the
  // stamp within range rather than wrapping to a date decades away.
  if (local < 0) return 0;
  if (local > std::numeric_limits<TimeStamp>::max()) return std::numeric_limits<TimeStamp>::max();
  return static_cast<TimeStamp>(local);
}

bool DaylightFlag() { return daylight_flag; }

}  // namespace qm::core
