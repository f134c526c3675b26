#include "cli/filter_commands.h"

namespace qm::cli {

void AddFilterCommands(std::vector<Command>& commands) { (void)commands; }

}  // namespace qm::cli
