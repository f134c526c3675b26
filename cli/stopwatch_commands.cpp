#include "cli/stopwatch_commands.h"

namespace qm::cli {

void AddStopwatchCommands(std::vector<Command>& commands) { (void)commands; }

}  // namespace qm::cli
