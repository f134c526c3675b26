// list, summary, subtotals, columns.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddViewCommands(std::vector<Command>& commands);

}  // namespace qm::cli
