// edit, duplicate.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddEntryCommands(std::vector<Command>& commands);

}  // namespace qm::cli
