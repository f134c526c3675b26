// startup: the desktop program's start-up and shutdown, without windows.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddStartupCommands(std::vector<Command>& commands);

}  // namespace qm::cli
