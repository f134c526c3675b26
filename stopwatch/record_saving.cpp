#include "stopwatch/record_saving.h"

#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "core/date_text.h"
#include "core/day_progress.h"

namespace qm::stopwatch {
namespace {

constexpr std::string_view kModule = "EDITTASK";
constexpr int kDeletedByOther = 379;

bool OverlapsAllowed(const EntryContext& context) {
  return context.db.options().allow_overlapping_tasks ||
         context.settings.general.Get(app::GeneralConfigKey::kAllowOverlappingTasks) != 0;
}

int ShowOverlap(const core::TimeRecord& existing) {
  if (app::HasReporter()) {
    const std::string start = core::FormatDateTime(existing.start, false);
    const std::string end = core::FormatDateTime(existing.end, false);
    app::Reporter().ShowMessageWithArguments(kOverlap,
                                             {std::string_view(start), std::string_view(end)});
  }
  return kOverlap;
}

// Every record of the table counts, whatever the list shows, except the
// one being changed and the deleted ones.
int FindOverlapExcept(EntryContext& context, engine::RecordNumber number,
                      const core::TimeRecord& record, core::TimeRecord& found) {
  const long count = context.db.CountRecords(false);
  for (long other = 1; other <= count; ++other) {
    if (other == number) continue;
    if (context.db.ReadRecordAt(static_cast<engine::RecordNumber>(other), found) != 0) continue;
    if (context.db.IsCurrentDeleted()) continue;
    if (core::TimesOverlap(record, found) != 0) return 1;
  }
  return 0;
}

void AfterChange(EntryContext& context) {
  // Other users learn of the change through the counter; a database whose
  // counter was never read has no one to tell yet.
  (void)context.db.AnnounceChange();
  core::MarkDayTotalStale();
  if (context.records_changed) context.records_changed();
}

}  // namespace

int SaveNewRecord(EntryContext& context, const core::TimeRecord& record) {
  if (!OverlapsAllowed(context)) {
    core::TimeRecord found;
    if (context.db.FindOverlap(record, found) != 0) return ShowOverlap(found);
  }
  if (int result = context.db.AddRecord(record, true); result != 0) return result;
  AfterChange(context);
  return 0;
}

int SaveChangedRecord(EntryContext& context, engine::RecordNumber number,
                      const core::TimeRecord& record) {
  const long count = context.db.CountRecords(false);
  if (number < 1 || number > count) {
    if (app::HasReporter()) {
      app::Reporter().LogInternalError("Unable to find known record.");
      app::Reporter().ReportInternalError(kModule, __LINE__);
    }
    return app::kInternalErrorMessage;
  }
  if (!OverlapsAllowed(context)) {
    core::TimeRecord found;
    if (FindOverlapExcept(context, number, record, found) != 0) return ShowOverlap(found);
  }
  core::TimeRecord current;
  if (context.db.ReadRecordAt(number, current) != 0) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kModifiedRecordNotAdded);
    return kModifiedRecordNotAdded;
  }
  if (context.db.IsCurrentDeleted()) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kDeletedByOther);
    return kDeletedByOther;
  }
  if (context.db.ChangeCurrentRecord(record, true) != 0) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kModifiedRecordNotAdded);
    return kModifiedRecordNotAdded;
  }
  AfterChange(context);
  return 0;
}

}  // namespace qm::stopwatch
