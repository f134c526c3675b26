// parse and format: how the program reads and writes dates, times,
// durations and amounts under the regional settings of the home, so that a
// person can check what a typed text will mean.
//
//   quillmk-cli parse date|time|datetime|duration|amount TEXT
//   quillmk-cli format duration SECONDS [--format N]
//   quillmk-cli format amount X [--symbol]
//   quillmk-cli format date|time STAMP [--seconds]
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {


// The run functions, for tests.
int RunParseDate(CommandContext& context);
int RunParseTime(CommandContext& context);
int RunParseDateTime(CommandContext& context);
int RunParseDuration(CommandContext& context);
int RunParseAmount(CommandContext& context);
int RunFormatDuration(CommandContext& context);
int RunFormatAmount(CommandContext& context);
int RunFormatDate(CommandContext& context);
int RunFormatTime(CommandContext& context);

}  // namespace qm::cli
