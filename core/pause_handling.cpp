#include "core/pause_handling.h"

#include "core/duration_settings.h"

namespace qm::core {

bool ApplyPauseHandling(TimeRecord& record, int pauseHandling) {
  switch (pauseHandling) {
    case kPauseAddToStart:
      record.start += record.pauseDuration;
      record.pauseDuration = 0;
      return true;
    case kPauseSubtractFromEnd:
      record.end -= record.pauseDuration;
      record.pauseDuration = 0;
      return true;
    case kPauseRetain:
      return true;
    default:
      return false;
  }
}

bool ApplyPauseHandling(TimeRecord& record) {
  return ApplyPauseHandling(record, CurrentDurationSettings().PauseHandling);
}

}  // namespace qm::core
