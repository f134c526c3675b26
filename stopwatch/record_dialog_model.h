// RecordDialogModel: the "Edit Record" dialog without its window.
//
// The dialog enters a new record, changes the selected one or saves a
// duplicate of it. It holds the boxes as texts (RecordBoxes), the lists of
// the six descriptor boxes, the duration display and the box that has the
// focus; a front end binds its widgets to these and calls the setters as
// the person types. OK checks and reads the boxes exactly as the stopwatch
// does and saves through record_saving.h.
//
// A selected record is locked for editing from OpenRecordDialog until OK or Cancel (or
// the model's end), so no other user changes it meanwhile.
#pragma once

#include <string>
#include <string_view>

#include "core/time_record.h"
#include "db/descriptor_db.h"
#include "engine/record_source.h"
#include "stopwatch/entry_context.h"
#include "stopwatch/record_boxes.h"

namespace qm::stopwatch {

enum class RecordDialogMode { kNew, kSelected, kDuplicate };

inline constexpr std::string_view kNewRecordTitle = "Edit Record - New Record";
inline constexpr std::string_view kSelectedRecordTitle = "Edit Record - Selected Record";
inline constexpr std::string_view kDuplicateRecordTitle = "Edit Record - Duplicate Selected Record";

inline constexpr int kRecordBeingEdited = 414;  // "... currently being editing by %s. ..."
inline constexpr int kUnidentifiedEntryError = 434;
inline constexpr int kDurationUnreadable = 212;
inline constexpr int kStartUnreadable = 136;

// The duration display while a time box cannot be read.
inline constexpr std::string_view kUnknownDuration = "?????";

// What record entry remembers for the rest of the run; the front end keeps
// one and hands it to every dialog it opens, so that new records follow
// one another in time.
struct RecordEntryState {
  core::TimeStamp last_record_read_end = core::kNoTime;
};

class RecordDialogModel {
 public:
  RecordDialogModel(EntryContext& context, RecordEntryState& state);
  // Releases a selected record's edit lock that OK or Cancel did not.
  ~RecordDialogModel();
  RecordDialogModel(const RecordDialogModel&) = delete;
  RecordDialogModel& operator=(const RecordDialogModel&) = delete;

  // Opens the dialog. `selected` names the record for kSelected and
  // kDuplicate; `handed_in` (kNew only) replaces the template of the last
  // record. 0 when the dialog is open; 9 when the selected record does not
  // exist or is not the person's to see; 414 (shown) when another user is
  // editing it.
  int OpenRecordDialog(RecordDialogMode mode, engine::RecordNumber selected = 0,
           const core::TimeRecord* handed_in = nullptr);

  // Fills the boxes from `record`. `use_descriptors` off shows each
  // descriptor box's first entry (the person excepted); `is_new` decides
  // what a value missing from its list becomes.
  void ShowRecordInDialog(const core::TimeRecord& record, bool use_descriptors, bool is_new);

  // --- Typing -----------------------------------------------------------------
  // A descriptor box: the boxes after it offer what is linked to the new
  // text and keep their texts where they still can.
  void SetDescriptor(int kind, std::string text);
  // A time box (start/end date and time, pause): the duration display
  // follows. In duration-only mode a changed start date moves the end; the
  // result is then 0, 136 or 212 (not shown; the end stays).
  int SetTimeBox(RecordBox box, std::string text);
  // Duration-only mode's input: 0, 136 or 212 as above.
  int SetDuration(std::string text);
  void SetDescription(std::string text) { boxes_.description = std::move(text); }
  void SetExpense(std::string text) { boxes_.expense = std::move(text); }
  void SetBillable(bool billable) { boxes_.billable = billable; }
  void SetBilled(bool billed) { boxes_.billed = billed; }
  void SetInvoice(std::string text) { boxes_.invoice = std::move(text); }

  // "Add...": stores `value` as a descriptor of `kind` (linked to the text
  // of `link_kind`'s box when that is a kind before it) and selects it.
  // 0, 380 (not shown) when run-time changes are not allowed, or the
  // descriptor file's failure.
  int AddDescriptor(int kind, std::string value, int link_kind = db::kNotLinked);

  // The checks over the boxes as they stand; a failure moves the focus to
  // its box. 0 or the failed check's message.
  int CheckRecordDialog(bool show_messages);
  // Optionally checks, then reads the boxes into `record` (see
  // ReadRecordFromBoxes); the end read is remembered for the next new
  // record of the run.
  int ReadRecordFromDialog(core::TimeRecord& record, bool check, bool show_messages,
                           bool apply_pause);

  // --- Closing ----------------------------------------------------------------
  // Checks, reads and saves. 0 closes the dialog; otherwise the message of
  // the failure (already shown), the dialog stays open with focus() set.
  int Ok();
  // OK, then a fresh new record in the same dialog.
  int OkAndRepeat();
  void Cancel();

  // --- What the dialog shows --------------------------------------------------
  bool is_open() const { return open_; }
  RecordDialogMode mode() const { return mode_; }
  std::string_view title() const;
  engine::RecordNumber record_number() const { return record_number_; }
  // The record a successful OK added or changed (0 before).
  engine::RecordNumber saved_record_number() const { return saved_record_number_; }
  const RecordBoxes& boxes() const { return boxes_; }
  const db::DescriptorLists& lists() const { return lists_; }
  const std::string& duration_display() const { return duration_display_; }
  RecordBox focus() const { return focus_; }
  bool edited() const { return edited_; }
  bool duration_only() const { return duration_only_; }
  // "Da&te:" in duration-only mode, where the end and start time are hidden.
  std::string_view start_date_label() const;
  // A person without administrator access enters their own records only.
  bool person_fixed() const { return !context_.administrator; }
  bool rate_hidden() const;
  bool add_buttons_enabled() const { return context_.settings.allow_run_time_changes != 0; }
  // Without run-time changes the descriptor boxes are drop-down lists that
  // take only what they offer.
  bool descriptor_boxes_take_any_text() const { return add_buttons_enabled(); }
  bool repeat_button_shown() const { return mode_ == RecordDialogMode::kNew; }
  const core::TimeRecord& working_record() const { return working_; }

 private:
  void PrepareNewRecord(const core::TimeRecord* handed_in);
  void ShowTimes();
  void UpdateDuration();
  int UpdateDurationOnlyEnd();
  // Fills the lists of kinds `from_kind` on, each filtered by the texts
  // before it; a text its list lacks becomes the list's first entry.
  void FollowLinks(int from_kind);
  void ReleaseLock();
  void Close();

  EntryContext& context_;
  RecordEntryState& state_;
  RecordDialogMode mode_ = RecordDialogMode::kNew;
  core::TimeRecord working_{};
  engine::RecordNumber record_number_ = 0;
  engine::RecordNumber saved_record_number_ = 0;
  bool locked_ = false;
  bool open_ = false;
  bool edited_ = false;
  bool initialising_ = false;
  bool duration_only_ = false;
  bool template_descriptors_ = true;
  RecordBoxes boxes_;
  db::DescriptorLists lists_;
  std::string duration_display_;
  RecordBox focus_ = RecordBox::kNone;
};

}  // namespace qm::stopwatch
