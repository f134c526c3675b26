#include "cli/startup_commands.h"

namespace qm::cli {

void AddStartupCommands(std::vector<Command>& commands) { (void)commands; }

}  // namespace qm::cli
