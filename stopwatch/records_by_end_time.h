// The open database's records, latest end time first, as the day's hours
// count them.
#pragma once

#include "core/day_progress.h"
#include "db/time_record_db.h"

namespace qm::stopwatch {

// Walks the end-time order of the table (not the user's filtered order:
// the day's hours count every record of the person), then puts the user's
// order back, so that a clock tick never changes what the list shows.
class DatabaseRecordsByEndTime final : public core::RecordsByEndTime {
 public:
  explicit DatabaseRecordsByEndTime(db::TimeRecordDb& db) : db_(db) {}
  void VisitLatestFirst(const std::function<bool(const core::TimeRecord&)>& visit) const override;

 private:
  db::TimeRecordDb& db_;
};

}  // namespace qm::stopwatch
