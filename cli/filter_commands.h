// filter, find, sort.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddFilterCommands(std::vector<Command>& commands);

}  // namespace qm::cli
