#include "cli/entry_commands.h"

namespace qm::cli {

void AddEntryCommands(std::vector<Command>& commands) { (void)commands; }

}  // namespace qm::cli
