// start, pause, resume, stop, reset, status, resume-record, memorize, memorized list, recall.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddStopwatchCommands(std::vector<Command>& commands);

}  // namespace qm::cli
