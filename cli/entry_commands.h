// add | edit | duplicate: time records entered through the record dialog's
// model, each flag typed into its box, so that a command meets every check
// and message that the dialog's OK meets.
#pragma once

#include <string_view>
#include <vector>

#include "cli/command.h"
#include "stopwatch/record_dialog_model.h"

namespace qm::cli {

// edit and duplicate (add is among the record commands).
void AddEntryCommands(std::vector<Command>& commands);

// The flags every entry command takes.
inline constexpr std::string_view kEntryFlagsUsage =
    "[--person P] [--client C] [--project P] [--subproject S] [--activity A] [--rate R] "
    "[--start \"DATE TIME\"] [--end \"DATE TIME\"] [--date DATE --duration D] [--pause D] "
    "[--expense E] [--billable yes|no] [--invoice N] [--description TEXT]";

// One entry: opens the dialog model in `mode` (on the record number that
// is the first argument for a selected record or a duplicate), types the
// flags into the boxes and presses OK.
int RunRecordEntry(CommandContext& context, stopwatch::RecordDialogMode mode,
                   std::string_view usage);

}  // namespace qm::cli
