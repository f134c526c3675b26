// RecordBoxes: the boxes of a time record as the record dialog and the
// stopwatch dialog hold them (texts as typed), the checks that run before
// a record is read from them, and the reading itself.
//
// Both dialogs read the same way, so a record stopped in the stopwatch
// passes exactly the checks of one entered by hand.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/time_record.h"
#include "stopwatch/entry_context.h"

namespace qm::stopwatch {

// The box that receives the focus after a failed check.
enum class RecordBox {
  kNone,
  kPerson,
  kClient,
  kProject,
  kSubproject,
  kActivity,
  kRate,
  kStartDate,
  kStartTime,
  kEndDate,
  kEndTime,
  kDuration,
  kPause,
  kDescription,
  kExpense,
  kInvoice,
};

struct RecordBoxes {
  // person, client, project, subproject, activity, hourly rate
  std::array<std::string, core::kDescriptorCount> descriptors;
  std::string start_date;
  std::string start_time;
  std::string end_date;
  std::string end_time;
  std::string duration;  // the input of duration-only mode
  std::string pause;
  std::string description;
  std::string expense;
  bool billable = true;
  bool billed = false;
  std::string invoice;  // "On Invoice"
};

struct RecordCheck {
  int message = 0;  // 0 when every check passed
  RecordBox focus = RecordBox::kNone;
};

// The checks in their order; the first failure ends them. With
// `show_messages` the failure is shown (and 311 for a blank description
// under DescriptionHandling 1).
RecordCheck CheckRecordBoxes(EntryContext& context, const RecordBoxes& boxes, bool show_messages);

// Optionally checks, then reads every box into `record`; with
// `apply_pause` the pause handling of the settings is applied. 0 or the
// failed check's message.
int ReadRecordFromBoxes(EntryContext& context, const RecordBoxes& boxes, core::TimeRecord& record,
                        bool check, bool show_messages, bool apply_pause,
                        RecordCheck* failed = nullptr);

// The amount of an expense or rate box: amounts joined by "+" are added,
// since the checks accept such a sum ("12.50+3" is 15.50).
double ReadAmountSum(std::string_view text);

}  // namespace qm::stopwatch
