#include "cli/stopwatch_commands.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/error_reporter.h"
#include "app/general_config.h"
#include "cli/command_replies.h"
#include "cli/db_commands.h"
#include "cli/json_text.h"
#include "cli/listing_text.h"
#include "core/amount_text.h"
#include "core/date_text.h"
#include "core/day_progress.h"
#include "core/duration_text.h"
#include "core/time_record.h"
#include "stopwatch/memorized.h"
#include "stopwatch/records_by_end_time.h"
#include "stopwatch/stopwatch.h"
#include "stopwatch/stopwatch_dialog_model.h"
#include "stopwatch/stopwatch_display.h"

namespace qm::cli {
namespace {

constexpr std::string_view kStartUsage =
    "start [--client C] [--project P] [--subproject S] [--activity A] [--rate R] "
    "[--description TEXT] [--expense E] [--billable yes|no]";
constexpr std::string_view kStopUsage = "stop [--description TEXT] [--new]";

int Refuse(CommandContext& context, std::string_view why) {
  context.err << "quillmk-cli: " << why << "\n";
  return kExitFailed;
}

// One command's program run with the person's stopwatch over it. The
// stopwatch's state lives in the support file only, so every command
// starts from what the last one saved there.
class StopwatchRun {
 public:
  explicit StopwatchRun(CommandContext& context) : session_(context) {}
  ~StopwatchRun() {
    if (opened_) session_.Close();
  }

  bool Open() {
    if (!session_.Prepare() || session_.Open() != 0) return false;
    opened_ = true;
    // A state no program writes (a support file edited by hand) counts as
    // stopped, as the dialog would show it.
    std::int32_t& state = session_.stopwatch_record().stopwatchState;
    if (state < core::kStopwatchInactive || state > core::kStopwatchPaused) {
      state = core::kStopwatchInactive;
    }
    entry_.emplace(session_.entry_context());
    stopwatch_.emplace(*entry_, session_.stopwatch_record());
    return true;
  }
  // The run's end: its status, or the close's failure.
  int Close(int result) {
    if (stopwatch_) stopwatch_->CloseStopwatchDialog();
    stopwatch_.reset();
    opened_ = false;
    const int closed = session_.Close();
    return result == 0 && closed == 0 ? kExitOk : kExitFailed;
  }

  DbSession& session() { return session_; }
  stopwatch::Stopwatch& stopwatch() { return *stopwatch_; }
  core::TimeRecord& record() { return session_.stopwatch_record(); }

 private:
  DbSession session_;
  bool opened_ = false;
  std::optional<stopwatch::EntryContext> entry_;
  std::optional<stopwatch::Stopwatch> stopwatch_;
};

// --- start -------------------------------------------------------------------

struct StartChoices {
  std::optional<std::string> descriptors[core::kDescriptorCount];
  std::optional<std::string> description;
  std::optional<double> expense;
  std::optional<int> billable;
};

int RunStart(CommandContext& context) {
  StartChoices choices;
  const std::vector<std::string>& args = context.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return Usage(context, kStartUsage);
    const std::string& value = args[++i];
    auto descriptor = [&](int index) {
      choices.descriptors[index] = value.substr(0, core::kDescriptorLength);
    };
    if (option == "--client") {
      descriptor(core::kClientDescriptor);
    } else if (option == "--project") {
      descriptor(core::kProjectDescriptor);
    } else if (option == "--subproject") {
      descriptor(core::kSubprojectDescriptor);
    } else if (option == "--activity") {
      descriptor(core::kActivityDescriptor);
    } else if (option == "--rate") {
      if (!core::IsNumberText(value)) return Bad(context, "the rate", value);
      descriptor(core::kRateDescriptor);
    } else if (option == "--description") {
      if (value.size() > core::kDescriptionLength) {
        return Refuse(context, "the description is longer than 500 characters");
      }
      choices.description = value;
    } else if (option == "--expense") {
      if (!core::IsNumberText(value)) return Bad(context, "the expense", value);
      choices.expense = core::AmountTextToNumber(value);
    } else if (option == "--billable") {
      if (value != "yes" && value != "no") return Bad(context, "the billable flag", value);
      choices.billable = value == "yes" ? 1 : 0;
    } else {
      return Usage(context, kStartUsage);
    }
  }

  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  core::TimeRecord& record = run.record();
  if (record.stopwatchState != core::kStopwatchInactive) {
    return run.Close(Refuse(context, "the stopwatch is already running; stop or reset it first"));
  }
  for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
    if (choices.descriptors[kind]) record.descriptors[kind].assign(*choices.descriptors[kind]);
  }
  if (choices.description) record.description.assign(*choices.description);
  if (choices.expense) record.expense = *choices.expense;
  if (choices.billable) record.billable = *choices.billable;
  // With ShowCardWhenStart the start goes through the dialog, whose boxes
  // show no expense while it is inactive: the options go into its boxes so
  // that the start reads them from there.
  if (run.session().settings().general.Get(app::GeneralConfigKey::kShowCardWhenStart) != 0) {
    stopwatch::RecordBoxes& boxes = run.stopwatch().OpenStopwatchDialog().boxes();
    if (choices.expense) boxes.expense = core::FormatAmount(*choices.expense, 50, false);
  }
  const int result = run.stopwatch().StartStopwatch();
  if (result == 0) {
    context.out << "Stopwatch started at " << core::FormatDateTime(record.start, false) << "\n";
  }
  return run.Close(result);
}

// --- pause / resume ------------------------------------------------------------

int ChangePause(CommandContext& context, bool pause) {
  if (!context.args.empty()) return Usage(context, pause ? "pause" : "resume");
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  const std::int32_t state = run.record().stopwatchState;
  if (state == core::kStopwatchInactive) {
    return run.Close(Refuse(context, "the stopwatch is not running"));
  }
  if (pause && state == core::kStopwatchPaused) {
    return run.Close(Refuse(context, "the stopwatch is already paused"));
  }
  if (!pause && state != core::kStopwatchPaused) {
    return run.Close(Refuse(context, "the stopwatch is not paused"));
  }
  const int result = run.stopwatch().TogglePause();
  if (result == 0) {
    const core::TimeRecord& record = run.record();
    if (pause) {
      context.out << "Stopwatch paused\n";
    } else {
      context.out << "Stopwatch running again (pause so far: "
                  << core::FormatDurationCurrent(record.pauseDuration) << ")\n";
    }
  }
  return run.Close(result);
}

int RunPause(CommandContext& context) { return ChangePause(context, true); }
int RunResume(CommandContext& context) { return ChangePause(context, false); }

// --- stop ----------------------------------------------------------------------

int RunStop(CommandContext& context) {
  std::optional<std::string> description;
  bool start_new = false;
  const std::vector<std::string>& args = context.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--new") {
      start_new = true;
    } else if (args[i] == "--description" && i + 1 < args.size()) {
      description = args[++i];
      if (description->size() > core::kDescriptionLength) {
        return Refuse(context, "the description is longer than 500 characters");
      }
    } else {
      return Usage(context, kStopUsage);
    }
  }
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  if (run.record().stopwatchState == core::kStopwatchInactive) {
    return run.Close(Refuse(context, "the stopwatch is not running"));
  }
  if (description) run.record().description.assign(*description);
  stopwatch::Stopwatch& stopwatch = run.stopwatch();
  // Stop/Start New is a button of the dialog only.
  const int result = start_new ? stopwatch.OpenStopwatchDialog().PressStopStartNew()
                               : stopwatch.StopFromMenu();
  if (result == 0 || (start_new && run.record().stopwatchState == core::kStopwatchInactive)) {
    context.out << "Added record " << run.session().db().CurrentRecordNumber() << "\n";
  }
  if (result == 0 && start_new) {
    context.out << "Stopwatch started at " << core::FormatDateTime(run.record().start, false)
                << "\n";
  }
  return run.Close(result);
}

// --- reset ---------------------------------------------------------------------

int RunReset(CommandContext& context) {
  if (!context.args.empty()) return Usage(context, "reset");
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  const int result = run.stopwatch().OpenStopwatchDialog().PressReset();
  if (result == 0) context.out << "Stopwatch reset\n";
  if (result == stopwatch::kCancelled) context.err << "quillmk-cli: nothing was reset\n";
  return run.Close(result);
}

// --- status --------------------------------------------------------------------

int RunStatus(CommandContext& context) {
  bool json = context.options.json;
  for (const std::string& arg : context.args) {
    if (arg != "--json") return Usage(context, "status [--json]");
    json = true;
  }
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  stopwatch::Stopwatch& stopwatch = run.stopwatch();
  const core::TimeRecord& record = run.record();
  const core::Seconds elapsed = stopwatch.StopwatchElapsed();
  // One command is one run: the day's hours are counted afresh.
  core::MarkDayTotalStale();
  const stopwatch::DatabaseRecordsByEndTime records(run.session().db());
  const core::DailyProgressValues progress =
      core::DailyProgress(&records, run.session().user_name(), elapsed);
  const bool active = record.stopwatchState != core::kStopwatchInactive;
  const core::Seconds pause = stopwatch::TotalPause(record, progress.now);
  const auto& names = run.session().settings().descriptor_names;
  static constexpr std::string_view kKeys[core::kDescriptorCount] = {
      "person", "client", "project", "subproject", "activity", "rate"};

  if (json) {
    std::ostream& out = context.out;
    out << "{\"state\": " << JsonText(stopwatch::StopwatchStateName(record.stopwatchState))
        << ", \"status\": " << JsonText(stopwatch::StopwatchStatusText(record.stopwatchState,
                                                                        elapsed))
        << ", \"elapsed_seconds\": " << elapsed
        << ", \"elapsed\": " << JsonText(core::FormatDurationCurrent(elapsed));
    out << ", \"start\": "
        << (active ? JsonText(core::FormatDateTime(record.start, false)) : std::string("null"));
    out << ", \"pause_seconds\": " << (active ? pause : 0);
    for (int kind = 0; kind < core::kDescriptorCount; ++kind) {
      out << ", " << JsonText(kKeys[kind]) << ": " << JsonText(record.descriptors[kind].view());
    }
    out << ", \"description\": " << JsonText(record.description.view())
        << ", \"expense\": " << AmountText(record.expense)
        << ", \"billable\": " << (record.billable ? "true" : "false")
        << ", \"todays_hours_seconds\": " << progress.todaysHours
        << ", \"todays_hours\": " << JsonText(core::FormatDurationCurrent(progress.todaysHours))
        << ", \"completion\": " << JsonText(core::FormatDateTime(progress.completion, false))
        << "}\n";
  } else {
    std::ostream& out = context.out;
    out << stopwatch::StopwatchStatusText(record.stopwatchState, elapsed) << "\n";
    if (active) {
      out << "Start:\t" << core::FormatDateTime(record.start, false) << "\n";
      out << "Pause:\t" << core::FormatDurationCurrent(pause) << "\n";
    }
    for (int kind = 1; kind < core::kDescriptorCount; ++kind) {
      const std::string& name = names[kind];
      out << (name.empty() ? core::kDefaultDescriptorNames[kind] : std::string_view(name))
          << ":\t" << record.descriptors[kind].view() << "\n";
    }
    out << "Description:\t" << record.description.view() << "\n";
    const stopwatch::WindowMenuInfo lines = stopwatch::WindowMenuLines(progress);
    out << lines.todays_hours << "\n";
    out << "Completion at:\t" << core::FormatDateTime(progress.completion, false) << "\n";
  }
  return run.Close(0);
}

// --- resume-record ---------------------------------------------------------------

int RunResumeRecord(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, "resume-record RECNO");
  const std::optional<long> number = ParseRecordNumber(context.args[0]);
  if (!number) return Bad(context, "the record number", context.args[0]);
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  db::TimeRecordDb& db = run.session().db();
  if (*number > db.CountRecords(false)) {
    return run.Close(Refuse(context, "there is no record " + context.args[0]));
  }
  core::TimeRecord selected;
  if (int read = db.ReadRecordAt(static_cast<engine::RecordNumber>(*number), selected);
      read != 0) {
    return run.Close(read);
  }
  if (db.IsCurrentDeleted()) {
    return run.Close(Refuse(context, "record " + context.args[0] + " is deleted"));
  }
  const int result = run.stopwatch().ResumeRecord(selected);
  if (result == 0) {
    context.out << "Stopwatch started at " << core::FormatDateTime(run.record().start, false)
                << "\n";
  }
  return run.Close(result);
}

// --- memorize / memorized list / recall -------------------------------------------

constexpr std::string_view kMemorizeUsage =
    "memorize [--person P] [--client C] [--project P] [--subproject S] [--activity A]";

int RunMemorize(CommandContext& context) {
  std::optional<std::string> replaced[stopwatch::DescriptorSet().size()];
  const std::vector<std::string>& args = context.args;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) return Usage(context, kMemorizeUsage);
    const std::string& value = args[++i];
    static constexpr std::string_view kOptions[] = {"--person", "--client", "--project",
                                                    "--subproject", "--activity"};
    std::size_t kind = 0;
    while (kind < std::size(kOptions) && option != kOptions[kind]) ++kind;
    if (kind == std::size(kOptions)) return Usage(context, kMemorizeUsage);
    replaced[kind] = value.substr(0, core::kDescriptorLength);
  }
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  stopwatch::DescriptorSet set;
  for (std::size_t kind = 0; kind < set.size(); ++kind) {
    set[kind] = replaced[kind] ? *replaced[kind] : run.record().descriptors[kind].str();
  }
  stopwatch::MemorizedDescriptors memorized(run.session().support_directory());
  const int result = memorized.MemorizeDescriptors(set);
  if (result == 0) context.out << "Memorized: " << memorized.last_memorized() << "\n";
  return run.Close(result);
}

int RunMemorizedList(CommandContext& context) {
  bool json = context.options.json;
  for (const std::string& arg : context.args) {
    if (arg != "--json") return Usage(context, "memorized list [--json]");
    json = true;
  }
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  stopwatch::MemorizedDescriptors memorized(run.session().support_directory());
  std::vector<std::string> lines;
  int result = memorized.LoadMemorizedSets(lines);
  // No file yet is an empty list, not a failure of the listing.
  if (result == stopwatch::kNothingMemorized) {
    lines.clear();
    result = 0;
  }
  if (result == 0 && json) {
    static constexpr std::string_view kKeys[] = {"person", "client", "project", "subproject",
                                                 "activity"};
    context.out << "[";
    for (std::size_t n = 0; n < lines.size(); ++n) {
      const stopwatch::DescriptorSet set = stopwatch::MemorizedDescriptors::SplitMemorizedSet(lines[n]);
      context.out << (n == 0 ? "\n" : ",\n") << "  {\"number\": " << n + 1;
      for (std::size_t kind = 0; kind < set.size(); ++kind) {
        context.out << ", " << JsonText(kKeys[kind]) << ": " << JsonText(set[kind]);
      }
      context.out << "}";
    }
    context.out << (lines.empty() ? "]\n" : "\n]\n");
  } else if (result == 0) {
    for (std::size_t n = 0; n < lines.size(); ++n) context.out << n + 1 << "\t" << lines[n] << "\n";
  }
  return run.Close(result);
}

int RunRecall(CommandContext& context) {
  if (context.args.size() != 1) return Usage(context, "recall N");
  const std::optional<long> number = ParseRecordNumber(context.args[0]);
  if (!number) return Bad(context, "the set number", context.args[0]);
  StopwatchRun run(context);
  if (!run.Open()) return kExitFailed;
  stopwatch::MemorizedDescriptors memorized(run.session().support_directory());
  std::vector<std::string> lines;
  if (int result = memorized.LoadMemorizedSets(lines); result != 0) {
    if (result == stopwatch::kNothingMemorized) app::Reporter().ShowMessage(result);
    return run.Close(result);
  }
  if (static_cast<std::size_t>(*number) > lines.size()) {
    return run.Close(Refuse(context, "there is no memorized set " + context.args[0] +
                                         " (see quillmk-cli memorized list)"));
  }
  const stopwatch::DescriptorSet set =
      stopwatch::MemorizedDescriptors::SplitMemorizedSet(lines[static_cast<std::size_t>(*number - 1)]);
  // The stopwatch belongs to the signed-on person: the support file keeps it
  // under their name, so only the other four descriptors are recalled.
  core::TimeRecord& record = run.record();
  for (std::size_t kind = core::kClientDescriptor; kind < set.size(); ++kind) {
    record.descriptors[kind].assign(set[kind]);
  }
  const int result = run.stopwatch().SaveRecord();
  if (result == 0) context.out << "Recalled: " << lines[static_cast<std::size_t>(*number - 1)] << "\n";
  return run.Close(result);
}

}  // namespace

void AddStopwatchCommands(std::vector<Command>& commands) {
  commands.push_back({"start", std::string(kStartUsage), "start the stopwatch",
                      "Starts at the current minute with the stopwatch's descriptors; the\n"
                      "options replace single ones first.  The stopwatch keeps running after\n"
                      "the command ends, in the database's support file.",
                      RunStart});
  commands.push_back({"pause", "pause", "pause the running stopwatch", "", RunPause});
  commands.push_back({"resume", "resume", "end the stopwatch's pause",
                      "The pause so far is counted and the stopwatch runs on.", RunResume});
  commands.push_back({"stop", std::string(kStopUsage), "stop the stopwatch into a new record",
                      "The record passes the overlap check (message 162; the stopwatch keeps\n"
                      "running when it fails) and follows the PauseHandling setting.  --new\n"
                      "starts the next record at once with the same descriptors.",
                      RunStop});
  commands.push_back({"reset", "reset", "discard the running time",
                      "Asks first (--yes answers); nothing is saved as a record.", RunReset});
  commands.push_back({"status", "status [--json]",
                      "the stopwatch, today's hours and the daily goal",
                      "State, elapsed time in the user's duration format, descriptors,\n"
                      "today's hours and when the daily goal (DailyGoal) is reached.",
                      RunStatus});
  commands.push_back({"resume-record", "resume-record RECNO",
                      "start the stopwatch on a copy of a record",
                      "A running stopwatch is stopped first (messages 225, 226, 384).",
                      RunResumeRecord});
  commands.push_back({"memorize", std::string(kMemorizeUsage),
                      "memorise the stopwatch's descriptors",
                      "Person, client, project, subproject and activity of the stopwatch,\n"
                      "single ones replaced by the options, as one line of Memorize.txt in\n"
                      "the support directory.",
                      RunMemorize});
  commands.push_back({"memorized list", "memorized list [--json]", "the memorised descriptor sets",
                      "Numbered as recall takes them.", RunMemorizedList});
  commands.push_back({"recall", "recall N", "load memorised set N into the stopwatch",
                      "N is the number `memorized list` shows.  The client, project,\n"
                      "subproject and activity are replaced and saved; a running stopwatch\n"
                      "keeps its start.",
                      RunRecall});
}

}  // namespace qm::cli
