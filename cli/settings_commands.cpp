#include "cli/command.h"

namespace qm::cli {

void AddSettingsCommands(std::vector<Command>&) {}

}  // namespace qm::cli
