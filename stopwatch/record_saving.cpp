#include "stopwatch/record_saving.h"

namespace qm::stopwatch {

int SaveNewRecord(EntryContext& context, const core::TimeRecord& record) {
  (void)context;
  (void)record;
  return 1;
}

int SaveChangedRecord(EntryContext& context, engine::RecordNumber number,
                      const core::TimeRecord& record) {
  (void)context;
  (void)number;
  (void)record;
  return 1;
}

}  // namespace qm::stopwatch
