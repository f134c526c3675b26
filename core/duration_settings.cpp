#include "core/duration_settings.h"

namespace qm::core {
namespace {

DurationSettings& Installed() {
  static DurationSettings settings;
  return settings;
}

}  // namespace

const DurationSettings& CurrentDurationSettings() { return Installed(); }

void InstallDurationSettings(const DurationSettings& settings) { Installed() = settings; }

ScopedDurationSettings::ScopedDurationSettings(const DurationSettings& settings)
    : previous_(Installed()) {
  Installed() = settings;
}

ScopedDurationSettings::~ScopedDurationSettings() { Installed() = previous_; }

}  // namespace qm::core
