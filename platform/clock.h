// Clock: the one place that reads the system clock and the local time zone.
//
// Everything that needs "now" asks CurrentClock(). Tests install a
// FixedClock with ScopedClock so that relative dates ("yesterday", "last
// week") and stopwatch times are computed from a pinned moment, never from
// the real date.
#pragma once

#include <cstdint>

namespace qm::platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since 1970-01-01 00:00 UTC, as the C time function gives them.
  virtual std::int64_t UtcNow() const = 0;
  // The zone's standard offset: seconds west of UTC (positive west of Greenwich).
  virtual long StandardOffsetWest() const = 0;
  // Whether daylight-saving time is in effect on the local calendar now.
  virtual bool DaylightNow() const = 0;
};

// The real clock and the zone of the process (TZ).
class SystemClock final : public Clock {
 public:
  std::int64_t UtcNow() const override;
  long StandardOffsetWest() const override;
  bool DaylightNow() const override;
};

// A clock that says what it is told; time moves only when a test moves it.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(std::int64_t utc_now, long standard_offset_west = 0,
                      bool daylight = false)
      : utc_now_(utc_now), offset_west_(standard_offset_west), daylight_(daylight) {}

  std::int64_t UtcNow() const override { return utc_now_; }
  long StandardOffsetWest() const override { return offset_west_; }
  bool DaylightNow() const override { return daylight_; }

  void Set(std::int64_t utc_now) { utc_now_ = utc_now; }
  void Advance(std::int64_t seconds) { utc_now_ += seconds; }

 private:
  std::int64_t utc_now_;
  long offset_west_;
  bool daylight_;
};

// The clock in use: the system clock unless a ScopedClock is alive.
const Clock& CurrentClock();

// Installs a clock for the lifetime of this object (tests, and the CLI's
// hidden --now option for scripted demos); restores the previous one after.
class ScopedClock {
 public:
  explicit ScopedClock(const Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  const Clock* previous_;
};

}  // namespace qm::platform
