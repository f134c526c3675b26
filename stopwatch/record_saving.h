// Saving an entered record: the overlap check, the write, and telling the
// other users of the database.
#pragma once

#include "core/time_record.h"
#include "engine/record_source.h"
#include "stopwatch/entry_context.h"

namespace qm::stopwatch {

inline constexpr int kOverlap = 162;
inline constexpr int kModifiedRecordNotAdded = 138;

// Unless overlapping tasks are allowed, a record of the same person whose
// time overlaps gives message 162 (shown) and nothing is written. Then the
// record is added, the change announced and the day's hours marked stale.
// 0 or a message number.
int SaveNewRecord(EntryContext& context, const core::TimeRecord& record);

// The same for a changed record `number` (the record itself does not count
// as an overlap). 0, or 138 when it could not be written, or the overlap.
int SaveChangedRecord(EntryContext& context, engine::RecordNumber number,
                      const core::TimeRecord& record);

}  // namespace qm::stopwatch
