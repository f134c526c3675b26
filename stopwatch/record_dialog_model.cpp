#include "stopwatch/record_dialog_model.h"

#include <exception>
#include <string>
#include <utility>

#include "app/error_reporter.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/duration_entry.h"
#include "core/duration_text.h"
#include "core/program_clock.h"
#include "platform/text_case.h"
#include "stopwatch/record_saving.h"

namespace qm::stopwatch {
namespace {

constexpr int kNoSuchRecord = 9;
constexpr int kNotADescriptor = 380;
constexpr std::string_view kNotSpecified = "<<Not Specified>>";
constexpr int kPauseFormat = 4;

std::string Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// The entry of `list` that names `text`, as the list spells it; empty when
// none does.
std::string FindInList(const std::vector<std::string>& list, std::string_view text) {
  const std::string wanted = Trim(text);
  for (const std::string& value : list) {
    if (platform::EqualsIgnoringCase(Trim(value), wanted)) return value;
  }
  return {};
}

core::TimeStamp NowToTheMinute() {
  const core::TimeStamp now = core::CurrentTime();
  return now - now % 60;
}

}  // namespace

RecordDialogModel::RecordDialogModel(EntryContext& context, RecordEntryState& state)
    : context_(context), state_(state) {}

RecordDialogModel::~RecordDialogModel() { ReleaseLock(); }

std::string_view RecordDialogModel::title() const {
  switch (mode_) {
    case RecordDialogMode::kSelected:
      return kSelectedRecordTitle;
    case RecordDialogMode::kDuplicate:
      return kDuplicateRecordTitle;
    case RecordDialogMode::kNew:
      break;
  }
  return kNewRecordTitle;
}

std::string_view RecordDialogModel::start_date_label() const {
  return duration_only_ ? "Da&te:" : "&Start Date:";
}

bool RecordDialogModel::rate_hidden() const {
  return context_.settings.general.Get(app::GeneralConfigKey::kHideHourlyRate) != 0;
}

int RecordDialogModel::OpenRecordDialog(RecordDialogMode mode, engine::RecordNumber selected,
                            const core::TimeRecord* handed_in) {
  ReleaseLock();
  mode_ = mode;
  record_number_ = 0;
  saved_record_number_ = 0;
  focus_ = RecordBox::kNone;
  duration_only_ = context_.settings.general.Get(app::GeneralConfigKey::kDurationMode) != 0;
  initialising_ = true;
  if (mode == RecordDialogMode::kNew) {
    PrepareNewRecord(handed_in);
  } else {
    core::TimeRecord record;
    if (selected < 1 || selected > context_.db.CountRecords(false) ||
        context_.db.ReadRecordAt(selected, record) != 0 || context_.db.IsCurrentDeleted()) {
      initialising_ = false;
      return kNoSuchRecord;
    }
    // A person without administrator access sees only their own records,
    // so another person's record is not there for them to open.
    if (!context_.administrator &&
        !platform::EqualsIgnoringCase(Trim(record.descriptors[core::kPersonDescriptor].view()),
                                      Trim(context_.user_name))) {
      initialising_ = false;
      return kNoSuchRecord;
    }
    if (mode == RecordDialogMode::kSelected) {
      std::string holder;
      if (context_.db.LockRecordForEdit(selected, holder) != 0) {
        initialising_ = false;
        if (holder.empty()) holder = "another user";
        if (app::HasReporter()) app::Reporter().ShowMessageWithText(kRecordBeingEdited, holder);
        return kRecordBeingEdited;
      }
      locked_ = true;
    } else {
      record.start = record.end = NowToTheMinute();
    }
    record_number_ = selected;
    working_ = record;
  }
  ShowRecordInDialog(working_, mode != RecordDialogMode::kNew || template_descriptors_,
             mode == RecordDialogMode::kNew);
  ShowTimes();
  initialising_ = false;
  edited_ = false;
  open_ = true;
  focus_ = duration_only_ ? RecordBox::kDuration : RecordBox::kEndTime;
  return 0;
}

void RecordDialogModel::PrepareNewRecord(const core::TimeRecord* handed_in) {
  core::TimeRecord record;
  core::ClearTimeRecord(record);
  bool from_template = true;
  if (handed_in != nullptr) {
    record = *handed_in;
  } else if (context_.db.LastRecord(record) == 0) {
    record.invoice = 0;
    record.expense = 0;
  } else {
    core::NewTimeRecordForUser(record, context_.user_name);
    from_template = false;
  }
  if (!context_.administrator) {
    record.descriptors[core::kPersonDescriptor].assign(context_.user_name);
  }
  core::TimeStamp start = 0;
  if (duration_only_) {
    start = core::DurationEntryStart(state_.last_record_read_end, NowToTheMinute());
  } else if (state_.last_record_read_end != core::kNoTime) {
    start = state_.last_record_read_end +
            context_.settings.general.Get(app::GeneralConfigKey::kDefaultTimeBetweenTasks);
  } else {
    start = NowToTheMinute();
  }
  record.start = record.end = start;
  record.pauseDuration = 0;
  record.description.assign("");
  record.stopwatchState = core::kStopwatchInactive;
  record.pauseOrigin = 0;
  record.edited = 0;
  working_ = record;
  // Without a record to copy, the boxes offer their first entries.
  template_descriptors_ = from_template;
}

void RecordDialogModel::ShowRecordInDialog(const core::TimeRecord& record, bool use_descriptors,
                                   bool is_new) {
  const bool was_initialising = initialising_;
  initialising_ = true;
  db::DescriptorTexts selection;
  for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
    const std::size_t k = static_cast<std::size_t>(kind);
    const std::string value = Trim(record.descriptors[k].view());
    const bool take = kind == core::kPersonDescriptor ||
                      (use_descriptors && value != kNotSpecified);
    // The kinds before this one are settled, so its list offers what is
    // linked to them.
    context_.descriptors.FillDescriptorLists(lists_, &selection, true, kind, kind, false);
    std::vector<std::string>& list = lists_.values[k];
    std::string shown;
    if (take && !value.empty()) {
      shown = FindInList(list, value);
      if (shown.empty()) {
        if (is_new) {
          shown = list.empty() ? value : list.front();
        } else {
          // An existing record keeps what it says, even when the
          // descriptor has gone from the file meanwhile.
          shown = value;
          if (context_.settings.allow_run_time_changes != 0) {
            (void)context_.descriptors.AddDescriptor(value, kind, false, "", db::kNotLinked);
          }
          list.push_back(value);
        }
      }
    } else if (!list.empty()) {
      shown = list.front();
    }
    selection[k] = shown;
    lists_.texts[k] = shown;
    boxes_.descriptors[k] = shown;
  }
  boxes_.description = std::string(record.description.view());
  boxes_.pause = core::FormatDuration(record.pauseDuration, kPauseFormat);
  boxes_.expense = record.expense == 0 ? std::string() : core::FormatAmount(record.expense, 50, false);
  boxes_.billable = record.billable != 0;
  boxes_.billed = record.invoice != 0;
  boxes_.invoice = record.invoice != 0 ? std::to_string(record.invoice) : std::string();
  initialising_ = was_initialising;
}

void RecordDialogModel::ShowTimes() {
  boxes_.start_date = core::FormatDate(working_.start);
  boxes_.start_time = core::FormatTime(working_.start, false);
  boxes_.end_date = core::FormatDate(working_.end);
  boxes_.end_time = core::FormatTime(working_.end, false);
  boxes_.duration = core::FormatDurationCurrent(working_.end - working_.start);
  UpdateDuration();
}

void RecordDialogModel::UpdateDuration() {
  const core::TimeStamp start = core::ParseDateAndTime(boxes_.start_date, boxes_.start_time);
  const core::TimeStamp end = core::ParseDateAndTime(boxes_.end_date, boxes_.end_time);
  const core::Seconds pause = core::ParseDuration(boxes_.pause);
  if (start == core::kNoTime || end == core::kNoTime || pause < 0) {
    duration_display_ = std::string(kUnknownDuration);
  } else {
    duration_display_ = core::FormatDurationCurrent(end - pause - start);
  }
}

int RecordDialogModel::UpdateDurationOnlyEnd() {
  core::TimeStamp start = core::ParseDateAndTime(boxes_.start_date, boxes_.start_time);
  core::TimeStamp end = core::ParseDateAndTime(boxes_.end_date, boxes_.end_time);
  const int result = core::DurationEntryEnd(start, boxes_.duration, end);
  if (result == 0) {
    boxes_.end_date = core::FormatDate(end);
    boxes_.end_time = core::FormatTime(end, false);
  }
  UpdateDuration();
  return result;
}

void RecordDialogModel::SetDescriptor(int kind, std::string text) {
  if (kind < 0 || kind >= core::kDescriptorCount) return;
  if (kind == core::kPersonDescriptor && person_fixed()) return;
  const std::size_t k = static_cast<std::size_t>(kind);
  boxes_.descriptors[k] = std::move(text);
  lists_.texts[k] = boxes_.descriptors[k];
  FollowLinks(kind + 1);
}

void RecordDialogModel::FollowLinks(int from_kind) {
  db::DescriptorTexts selection;
  for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
    selection[static_cast<std::size_t>(kind)] = Trim(boxes_.descriptors[static_cast<std::size_t>(kind)]);
  }
  for (int kind = from_kind; kind < core::kDescriptorCount; ++kind) {
    const std::size_t k = static_cast<std::size_t>(kind);
    const db::DescriptorCache& cache = context_.descriptors.LoadedCache();
    if (!cache.any_link) break;
    context_.descriptors.FillDescriptorLists(lists_, &selection, true, kind, kind, false);
    if (!cache.kind_has_links[k]) {
      selection[k] = Trim(boxes_.descriptors[k]);
      lists_.texts[k] = boxes_.descriptors[k];
      continue;
    }
    std::string shown = FindInList(lists_.values[k], boxes_.descriptors[k]);
    if (shown.empty()) shown = lists_.values[k].empty() ? std::string() : lists_.values[k].front();
    boxes_.descriptors[k] = shown;
    lists_.texts[k] = shown;
    selection[k] = Trim(shown);
  }
}

int RecordDialogModel::SetTimeBox(RecordBox box, std::string text) {
  switch (box) {
    case RecordBox::kStartDate:
      boxes_.start_date = std::move(text);
      break;
    case RecordBox::kStartTime:
      boxes_.start_time = std::move(text);
      break;
    case RecordBox::kEndDate:
      boxes_.end_date = std::move(text);
      break;
    case RecordBox::kEndTime:
      boxes_.end_time = std::move(text);
      break;
    case RecordBox::kPause:
      boxes_.pause = std::move(text);
      break;
    default:
      return 0;
  }
  if (initialising_) return 0;
  edited_ = true;
  if (duration_only_ && (box == RecordBox::kStartDate || box == RecordBox::kStartTime)) {
    return UpdateDurationOnlyEnd();
  }
  UpdateDuration();
  return 0;
}

int RecordDialogModel::SetDuration(std::string text) {
  boxes_.duration = std::move(text);
  if (initialising_ || !duration_only_) return 0;
  edited_ = true;
  return UpdateDurationOnlyEnd();
}

int RecordDialogModel::AddDescriptor(int kind, std::string value, int link_kind) {
  if (kind < 0 || kind >= core::kDescriptorCount) return kNotADescriptor;
  if (!add_buttons_enabled()) return kNotADescriptor;
  std::string linked_to;
  const bool linked = link_kind >= 0 && link_kind < kind;
  if (linked) linked_to = Trim(boxes_.descriptors[static_cast<std::size_t>(link_kind)]);
  if (int result = context_.descriptors.AddDescriptor(Trim(value), kind, linked, linked_to,
                                                      linked ? link_kind : db::kNotLinked);
      result != 0) {
    return result;
  }
  SetDescriptor(kind, Trim(value));
  db::DescriptorTexts selection;
  for (int k = 0; k <= kind; ++k) {
    selection[static_cast<std::size_t>(k)] = Trim(boxes_.descriptors[static_cast<std::size_t>(k)]);
  }
  context_.descriptors.FillDescriptorLists(lists_, &selection, true, kind, kind, false);
  return 0;
}

int RecordDialogModel::CheckRecordDialog(bool show_messages) {
  const RecordCheck check = CheckRecordBoxes(context_, boxes_, show_messages);
  if (check.message != 0) focus_ = check.focus;
  return check.message;
}

int RecordDialogModel::ReadRecordFromDialog(core::TimeRecord& record, bool check,
                                            bool show_messages, bool apply_pause) {
  RecordCheck failed;
  const int read =
      ReadRecordFromBoxes(context_, boxes_, record, check, show_messages, apply_pause, &failed);
  if (read != 0) {
    focus_ = failed.focus;
    return read;
  }
  state_.last_record_read_end = record.end;
  return 0;
}

int RecordDialogModel::Ok() {
  if (!open_) return 0;
  try {
    core::TimeRecord record = working_;
    if (int read = ReadRecordFromDialog(record, true, true, true); read != 0) return read;
    if (!context_.administrator) {
      record.descriptors[core::kPersonDescriptor].assign(context_.user_name);
    }
    // A record once changed by hand stays marked, whatever this edit did.
    const bool was_edited = mode_ == RecordDialogMode::kSelected && working_.edited != 0;
    record.edited = (edited_ || was_edited) ? 1 : 0;
    record.stopwatchState = core::kStopwatchInactive;
    record.pauseOrigin = 0;
    int saved = 0;
    if (mode_ == RecordDialogMode::kSelected) {
      saved = SaveChangedRecord(context_, record_number_, record);
      if (saved == 0) saved_record_number_ = record_number_;
    } else {
      saved = SaveNewRecord(context_, record);
      if (saved == 0) saved_record_number_ = context_.db.CurrentRecordNumber();
    }
    if (saved != 0) return saved;
    working_ = record;
    Close();
    return 0;
  } catch (const std::exception&) {
    if (app::HasReporter()) app::Reporter().ShowMessage(kUnidentifiedEntryError);
    Close();
    return kUnidentifiedEntryError;
  }
}

int RecordDialogModel::OkAndRepeat() {
  const int result = Ok();
  if (result != 0) return result;
  const engine::RecordNumber saved = saved_record_number_;
  OpenRecordDialog(RecordDialogMode::kNew);
  saved_record_number_ = saved;
  return 0;
}

void RecordDialogModel::Cancel() { Close(); }

void RecordDialogModel::Close() {
  ReleaseLock();
  open_ = false;
}

void RecordDialogModel::ReleaseLock() {
  if (!locked_) return;
  locked_ = false;
  (void)context_.db.UnlockRecordForEdit(record_number_);
}

}  // namespace qm::stopwatch
