#include "cli/command.h"

namespace qm::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all;
    AddSettingsCommands(all);
    AddTextCommands(all);
    return all;
  }();
  return commands;
}

}  // namespace qm::cli
