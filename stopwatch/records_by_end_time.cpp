#include "stopwatch/records_by_end_time.h"

namespace qm::stopwatch {

void DatabaseRecordsByEndTime::VisitLatestFirst(
    const std::function<bool(const core::TimeRecord&)>& visit) const {
  db_.SetDisplayTag(std::nullopt);
  core::TimeRecord record;
  for (int result = db_.LastRecord(record); result == 0; result = db_.PreviousRecord(record)) {
    if (db_.IsCurrentDeleted()) continue;
    if (!visit(record)) return;
  }
}

}  // namespace qm::stopwatch
