#include "cli/view_commands.h"

namespace qm::cli {

void AddViewCommands(std::vector<Command>& commands) { (void)commands; }

}  // namespace qm::cli
