#include "core/time_record.h"

namespace qm::core {

void ClearTimeRecord(TimeRecord& record) {
  record = TimeRecord{};
  record.start = 0;
  record.end = 0;
  record.pauseDuration = 0;
  record.expense = 0;
  record.billable = 1;
  record.edited = 0;
  record.invoice = 0;
  record.stopwatchState = kStopwatchInactive;
}

void NewTimeRecordForUser(TimeRecord& record, std::string_view userName) {
  record.invoice = 0;
  record.expense = 0;
  record.billable = 1;
  record.descriptors[kPersonDescriptor] = userName;
}

int TimesOverlap(const TimeRecord& a, const TimeRecord& b) {
  if (b.start >= a.end || a.start >= b.end) return 0;
  if (a.descriptors[kPersonDescriptor] != b.descriptors[kPersonDescriptor]) return 0;
  return a.start == b.start ? 2 : 1;
}

}  // namespace qm::core
