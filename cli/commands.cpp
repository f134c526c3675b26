#include "cli/command.h"
#include "cli/db_commands.h"
#include "cli/descriptor_commands.h"
#include "cli/entry_commands.h"
#include "cli/filter_commands.h"
#include "cli/record_commands.h"
#include "cli/security_commands.h"
#include "cli/startup_commands.h"
#include "cli/stopwatch_commands.h"
#include "cli/table_commands.h"
#include "cli/view_commands.h"

namespace qm::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all;
    AddSettingsCommands(all);
    AddDbCommands(all);
    AddStartupCommands(all);
    AddRecordCommands(all);
    AddEntryCommands(all);
    AddStopwatchCommands(all);
    AddViewCommands(all);
    AddFilterCommands(all);
    AddDescriptorCommands(all);
    AddSecurityCommands(all);
    AddTableCommands(all);
    AddTextCommands(all);
    return all;
  }();
  return commands;
}

}  // namespace qm::cli
