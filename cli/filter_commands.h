// filter show | set | clear | enable | disable | invoice, find, sort show |
// set: the record filter and the sort order of the person's user index,
// each command one program run on the database.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddFilterCommands(std::vector<Command>& commands);

}  // namespace qm::cli
