#include "cli/entry_commands.h"

#include <array>
#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "app/error_reporter.h"
#include "cli/command_replies.h"
#include "cli/db_commands.h"
#include "core/time_record.h"
#include "platform/text_case.h"

namespace qm::cli {
namespace {

using stopwatch::RecordBox;
using stopwatch::RecordDialogMode;

constexpr int kNoSuchRecord = 9;

// What the flags type into the boxes; a box without a flag keeps what the
// dialog shows.
struct EntryFlags {
  std::array<std::optional<std::string>, core::kDescriptorCount> descriptors;
  std::optional<std::string> start;
  std::optional<std::string> end;
  std::optional<std::string> date;
  std::optional<std::string> duration;
  std::optional<std::string> pause;
  std::optional<std::string> expense;
  std::optional<bool> billable;
  std::optional<std::string> invoice;
  std::optional<std::string> description;
};

constexpr std::array<std::string_view, core::kDescriptorCount> kDescriptorFlags = {
    "--person", "--client", "--project", "--subproject", "--activity", "--rate"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// "3/15/2024 2:30 PM" as the two boxes hold it: split at the last blank
// before the time's digits, as the program reads such a text.
std::pair<std::string, std::string> SplitDateTime(std::string_view text) {
  bool seen_digit = false;
  for (std::size_t i = text.size(); i-- > 0;) {
    if (text[i] >= '0' && text[i] <= '9') seen_digit = true;
    if (seen_digit && IsBlank(text[i])) {
      return {std::string(text.substr(0, i)), std::string(text.substr(i + 1))};
    }
  }
  return {std::string(text), std::string()};
}

// 0, or the exit status after a refusal that has been written to stderr.
int ReadFlags(CommandContext& context, std::vector<std::string> args, std::string_view usage,
              EntryFlags& flags) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return Usage(context, usage);
    std::string value = args[++i];
    bool known = false;
    for (std::size_t kind = 0; kind < kDescriptorFlags.size(); ++kind) {
      if (option != kDescriptorFlags[kind]) continue;
      // A box holds 35 characters; the rest would be lost without a word.
      if (value.size() > core::kDescriptorLength) {
        context.err << "quillmk-cli: " << option << " has " << value.size()
                    << " characters; a descriptor holds at most " << core::kDescriptorLength
                    << "\n";
        return kExitFailed;
      }
      flags.descriptors[kind] = std::move(value);
      known = true;
      break;
    }
    if (known) continue;
    if (option == "--start") {
      flags.start = std::move(value);
    } else if (option == "--end") {
      flags.end = std::move(value);
    } else if (option == "--date") {
      flags.date = std::move(value);
    } else if (option == "--duration") {
      flags.duration = std::move(value);
    } else if (option == "--pause") {
      flags.pause = std::move(value);
    } else if (option == "--expense") {
      flags.expense = std::move(value);
    } else if (option == "--billable") {
      if (value != "yes" && value != "no") {
        context.err << "quillmk-cli: the billable flag '" << value << "' cannot be read\n";
        return kExitUsage;
      }
      flags.billable = value == "yes";
    } else if (option == "--invoice") {
      flags.invoice = std::move(value);
    } else if (option == "--description") {
      // The dialog's box takes no more than a record holds; a command
      // refuses rather than cutting the text silently.
      if (value.size() > core::kDescriptionLength) {
        context.err << "quillmk-cli: the description has " << value.size()
                    << " characters; a record holds at most " << core::kDescriptionLength
                    << "\n";
        return kExitFailed;
      }
      flags.description = std::move(value);
    } else {
      return Usage(context, usage);
    }
  }
  return 0;
}

// Types the flags into the open dialog, descriptors first and in their
// order so that the linked lists follow. 0, or 136/212 of a duration-only
// entry (shown).
int TypeFlags(stopwatch::RecordDialogModel& dialog, const EntryFlags& flags) {
  for (std::size_t kind = 0; kind < flags.descriptors.size(); ++kind) {
    if (flags.descriptors[kind]) dialog.SetDescriptor(static_cast<int>(kind), *flags.descriptors[kind]);
  }
  if (flags.start) {
    auto [date, time] = SplitDateTime(*flags.start);
    dialog.SetTimeBox(RecordBox::kStartDate, date);
    dialog.SetTimeBox(RecordBox::kStartTime, time);
  }
  if (flags.end) {
    auto [date, time] = SplitDateTime(*flags.end);
    dialog.SetTimeBox(RecordBox::kEndDate, date);
    dialog.SetTimeBox(RecordBox::kEndTime, time);
  }
  int result = 0;
  if (flags.date) result = dialog.SetTimeBox(RecordBox::kStartDate, *flags.date);
  if (flags.duration) result = dialog.SetDuration(*flags.duration);
  if (result != 0) {
    app::Reporter().ShowMessage(result);
    return result;
  }
  if (flags.pause) dialog.SetTimeBox(RecordBox::kPause, *flags.pause);
  if (flags.expense) dialog.SetExpense(*flags.expense);
  if (flags.billable) dialog.SetBillable(*flags.billable);
  if (flags.invoice) {
    // An invoice number means billed; "" or 0 means not billed.
    const bool billed = !flags.invoice->empty() && *flags.invoice != "0";
    dialog.SetBilled(billed);
    dialog.SetInvoice(billed ? *flags.invoice : std::string());
  }
  if (flags.description) dialog.SetDescription(*flags.description);
  return 0;
}

int RunEdit(CommandContext& context) {
  return RunRecordEntry(context, RecordDialogMode::kSelected,
                        "edit RECNO " + std::string(kEntryFlagsUsage));
}

int RunDuplicate(CommandContext& context) {
  return RunRecordEntry(context, RecordDialogMode::kDuplicate,
                        "duplicate RECNO " + std::string(kEntryFlagsUsage));
}

}  // namespace

int RunRecordEntry(CommandContext& context, RecordDialogMode mode, std::string_view usage) {
  std::vector<std::string> args = context.args;
  long record_number = 0;
  if (mode != RecordDialogMode::kNew) {
    if (args.empty()) return Usage(context, usage);
    std::optional<long> number = ParseRecordNumber(args.front());
    if (!number) {
      context.err << "quillmk-cli: the record number '" << args.front() << "' cannot be read\n";
      return kExitUsage;
    }
    record_number = *number;
    args.erase(args.begin());
  }
  EntryFlags flags;
  if (int refused = ReadFlags(context, std::move(args), usage, flags); refused != 0) {
    return refused;
  }

  DbSession session(context);
  if (!session.Prepare()) return kExitFailed;
  if (session.Open() != 0) return kExitFailed;
  const bool duration_only =
      session.settings().general.Get(app::GeneralConfigKey::kDurationMode) != 0;
  auto refuse = [&](std::string_view why, int status) {
    context.err << "quillmk-cli: " << why << "\n";
    session.Close();
    return status;
  };
  if (duration_only && (flags.start || flags.end)) {
    return refuse("Duration-Only Mode is on: give --date and --duration instead of --start and --end",
                  kExitUsage);
  }
  if (!duration_only && (flags.date || flags.duration)) {
    return refuse("--date and --duration are for Duration-Only Mode (GeneralConfig DurationMode 1)",
                  kExitUsage);
  }
  if (mode == RecordDialogMode::kNew && !duration_only && (!flags.start || !flags.end)) {
    session.Close();
    return Usage(context, usage);
  }
  if (!session.is_administrator() && flags.descriptors[core::kPersonDescriptor] &&
      !platform::EqualsIgnoringCase(*flags.descriptors[core::kPersonDescriptor],
                                    session.user_name())) {
    return refuse("without administrator access, records are entered for " +
                      session.user_name() + " only",
                  kExitFailed);
  }

  stopwatch::EntryContext entry = session.entry_context();
  // Saving announces the change itself; the run's own announcement at the
  // close would count it twice.
  entry.records_changed = {};
  stopwatch::RecordEntryState state;
  stopwatch::RecordDialogModel dialog(entry, state);
  const int opened = dialog.OpenRecordDialog(mode, static_cast<engine::RecordNumber>(record_number));
  if (opened != 0) {
    if (opened == kNoSuchRecord) {
      return refuse("there is no record " + std::to_string(record_number), kExitFailed);
    }
    return refuse("the record was not opened (message " + std::to_string(opened) + ")",
                  kExitFailed);
  }
  // A new record is the user's own unless another person is named. The
  // dialog would offer the last record's descriptors and billable flag,
  // which a person sees and corrects in the window; on the command line
  // only what the flags say is stored, the rest left blank and billable.
  if (mode == RecordDialogMode::kNew) {
    if (!flags.descriptors[core::kPersonDescriptor]) {
      dialog.SetDescriptor(core::kPersonDescriptor, session.user_name());
    }
    for (int kind = core::kPersonDescriptor + 1; kind < core::kDescriptorCount; ++kind) {
      if (!flags.descriptors[kind]) dialog.SetDescriptor(kind, "");
    }
    dialog.SetBillable(true);
  }
  int result = TypeFlags(dialog, flags);
  if (result == 0) result = dialog.Ok();
  if (result != 0) {
    dialog.Cancel();
    return refuse("the record was not saved (message " + std::to_string(result) + ")",
                  kExitFailed);
  }
  context.out << (mode == RecordDialogMode::kSelected ? "Changed record " : "Added record ")
              << dialog.saved_record_number() << "\n";
  const int closed = session.Close();
  return closed == 0 ? kExitOk : kExitFailed;
}

void AddEntryCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"edit", "edit RECNO " + std::string(kEntryFlagsUsage), "change a time record",
       "The record opens as in the record dialog; each flag replaces its box's text and\n"
       "the other boxes keep the record's.  The record is locked for editing while the\n"
       "command works (message 414 when another user has it open).  Every check of the\n"
       "dialog runs; a failed one shows its message and nothing is written.",
       RunEdit});
  commands.push_back(
      {"duplicate", "duplicate RECNO " + std::string(kEntryFlagsUsage),
       "add a copy of a time record",
       "The copy starts and ends now unless --start and --end (or --date and\n"
       "--duration in Duration-Only Mode) say otherwise; the other boxes keep the\n"
       "record's unless a flag replaces them.",
       RunDuplicate});
}

}  // namespace qm::cli
