// list, summary, subtotals, columns: the record list as the person set it
// up, its totals, and its column layout.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddViewCommands(std::vector<Command>& commands);

}  // namespace qm::cli
