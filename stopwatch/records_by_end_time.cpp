#include "stopwatch/records_by_end_time.h"

namespace qm::stopwatch {

void DatabaseRecordsByEndTime::VisitLatestFirst(
    const std::function<bool(const core::TimeRecord&)>& visit) const {
  const std::optional<engine::Tag> shown = db_.display_tag();
  db_.SetDisplayTag(db_.end_time_tag());
  core::TimeRecord record;
  for (int result = db_.LastRecord(record); result == 0; result = db_.PreviousRecord(record)) {
    if (db_.IsCurrentDeleted()) continue;
    if (!visit(record)) break;
  }
  db_.SetDisplayTag(shown);
}

}  // namespace qm::stopwatch
