#include "platform/clock.h"

#include <ctime>

namespace qm::platform {
namespace {

const Clock* installed_clock = nullptr;

const SystemClock& TheSystemClock() {
  static const SystemClock clock;
  return clock;
}

}  // namespace

std::int64_t SystemClock::UtcNow() const {
  return static_cast<std::int64_t>(std::time(nullptr));
}

long SystemClock::StandardOffsetWest() const {
  tzset();
  return timezone;  // POSIX: seconds west of UTC, standard time
}

bool SystemClock::DaylightNow() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return false;
  return local.tm_isdst > 0;
}

const Clock& CurrentClock() {
  return installed_clock != nullptr ? *installed_clock : TheSystemClock();
}

ScopedClock::ScopedClock(const Clock& clock) : previous_(installed_clock) {
  installed_clock = &clock;
}

ScopedClock::~ScopedClock() { installed_clock = previous_; }

}  // namespace qm::platform
