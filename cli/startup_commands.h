// startup: the desktop program's start-up and shutdown, without windows.
//
//   quillmk-cli startup [DataBaseName] ["User Name"] [/i=IniFileName]
//
// The words are the desktop program's own command line. The run starts the
// way the desktop program starts - the database given, else the person's
// "CurrentFile"; a database that cannot be used falls back to the untitled
// one - prints what the main window would show, and shuts down without
// saving settings.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddStartupCommands(std::vector<Command>& commands);

}  // namespace qm::cli
