#include "cli/record_commands.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "cli/command_replies.h"
#include "cli/db_commands.h"
#include "cli/entry_commands.h"
#include "cli/json_text.h"
#include "cli/listing_text.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/time_record.h"

namespace qm::cli {
namespace {

constexpr int kDeleteLocked = 413;  // "The record you wish to delete is ... editing by %s."
constexpr int kModifyLocked = 415;

constexpr std::string_view kAddUsage =
    "add --start \"DATE TIME\" --end \"DATE TIME\" (or --date DATE --duration D in "
    "Duration-Only Mode) [--person P] [--client C] [--project P] [--subproject S] "
    "[--activity A] [--rate R] [--pause D] [--expense E] [--billable yes|no] [--invoice N] "
    "[--description TEXT]";

// --- add ----------------------------------------------------------------------------

int RunAdd(CommandContext& context) {
  return RunRecordEntry(context, stopwatch::RecordDialogMode::kNew, kAddUsage);
}

// --- delete / undelete ------------------------------------------------------------------

int ChangeDeletion(CommandContext& context, bool undelete) {
  std::vector<long> numbers;
  for (const std::string& arg : context.args) {
    std::optional<long> number = ParseRecordNumber(arg);
    if (!number) return Bad(context, "the record number", arg);
    numbers.push_back(*number);
  }
  if (numbers.empty() || (undelete && numbers.size() != 1)) {
    return Usage(context, undelete ? "undelete RECNO" : "delete RECNO...");
  }
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  db::TimeRecordDb& db = session.db();
  const long count = db.CountRecords(false);
  int result = 0;
  for (long number : numbers) {
    if (number > count) {
      context.err << "quillmk-cli: there is no record " << number << "\n";
      result = db::kNoSuchRecord;
      break;
    }
    // A record open in another user's dialog is theirs until they are done.
    std::string holder;
    if (db.IsLockedByOther(static_cast<engine::RecordNumber>(number), holder)) {
      app::Reporter().ShowMessageWithText(undelete ? kModifyLocked : kDeleteLocked, holder);
      result = db::kRecordEditLocked;
      break;
    }
    result = undelete ? db.UndeleteRecord(static_cast<engine::RecordNumber>(number))
                      : db.DeleteRecord(static_cast<engine::RecordNumber>(number), true);
    if (result != 0) break;
    // A deletion announces itself; an undeletion is announced at the close.
    if (undelete) session.MarkChanged();
    context.out << (undelete ? "Undeleted record " : "Deleted record ") << number << "\n";
  }
  int closed = session.Close();
  return result == 0 && closed == 0 ? kExitOk : kExitFailed;
}

int RunDelete(CommandContext& context) { return ChangeDeletion(context, false); }
int RunUndelete(CommandContext& context) { return ChangeDeletion(context, true); }

// --- records ------------------------------------------------------------------------------

int RunRecords(CommandContext& context) {
  std::string format = context.options.json ? "json" : "text";
  const std::vector<std::string>& args = context.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format" && i + 1 < args.size()) {
      format = args[++i];
    } else {
      return Usage(context, "records [--format csv|json]");
    }
  }
  if (format != "csv" && format != "json" && format != "text") {
    return Usage(context, "records [--format csv|json]");
  }
  DbSession session(context);
  if (!session.Prepare() || session.Open() != 0) return kExitFailed;
  db::TimeRecordDb& db = session.db();
  static constexpr std::string_view kNames[] = {"person", "client", "project", "subproject",
                                                "activity", "rate"};
  if (format == "csv") {
    context.out << "recno,person,client,project,subproject,activity,rate,start,end,pause,"
                   "expense,billable,edited,invoice,description\n";
  } else if (format == "json") {
    context.out << "[";
  }
  core::TimeRecord record;
  bool first = true;
  int status = db.FirstRecord(record);
  for (; status == 0; status = db.NextRecord(record)) {
    const engine::RecordNumber number = db.CurrentRecordNumber();
    const std::string start = core::FormatDateTime(record.start, false);
    const std::string end = core::FormatDateTime(record.end, false);
    if (format == "json") {
      context.out << (first ? "\n" : ",\n") << "  {\"recno\": " << number;
      for (int i = 0; i < core::kDescriptorCount; ++i) {
        context.out << ", \"" << kNames[i] << "\": " << JsonText(record.descriptors[i].view());
      }
      context.out << ", \"start\": " << JsonText(start) << ", \"end\": " << JsonText(end)
                  << ", \"pause\": " << record.pauseDuration
                  << ", \"expense\": " << AmountText(record.expense)
                  << ", \"billable\": " << (record.billable ? "true" : "false")
                  << ", \"edited\": " << (record.edited ? "true" : "false")
                  << ", \"invoice\": " << record.invoice
                  << ", \"description\": " << JsonText(record.description.view()) << "}";
    } else {
      const char separator = format == "csv" ? ',' : '\t';
      context.out << number;
      for (int i = 0; i < core::kDescriptorCount; ++i) {
        context.out << separator << CsvField(record.descriptors[i].view());
      }
      context.out << separator << CsvField(start) << separator << CsvField(end) << separator
                  << record.pauseDuration << separator << AmountText(record.expense) << separator
                  << (record.billable ? "yes" : "no") << separator
                  << (record.edited ? "yes" : "no") << separator << record.invoice << separator
                  << CsvField(record.description.view()) << "\n";
    }
    first = false;
  }
  if (format == "json") context.out << (first ? "]\n" : "\n]\n");
  const bool failed = status != db::kNoSuchRecord;
  int closed = session.Close();
  return !failed && closed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddRecordCommands(std::vector<Command>& commands) {
  commands.push_back({"add", std::string(kAddUsage), "add a time record",
                      "The record is entered as in the record dialog: every check runs and a\n"
                      "failed one shows its message (end before start 165, a date that does\n"
                      "not read 2016, a pause 227, an expense 292, an overlap 162 ...) and\n"
                      "nothing is written.  Boxes without a flag show what the dialog shows\n"
                      "for a new record: the descriptors of the last record in the list, no\n"
                      "expense, billable.  The person defaults to the user.  Amounts joined\n"
                      "by \"+\" in --rate or --expense are added (\"12.50+3\" is 15.50).",
                      RunAdd});
  commands.push_back({"delete", "delete RECNO...", "mark time records deleted",
                      "Records stay in the file, undeletable, until the database is packed.",
                      RunDelete});
  commands.push_back({"undelete", "undelete RECNO", "clear a record's deletion mark", "",
                      RunUndelete});
  commands.push_back({"records", "records [--format csv|json]",
                      "every time record in end-time order",
                      "Each record with its record number; deleted records are left out.",
                      RunRecords});
}

}  // namespace qm::cli
