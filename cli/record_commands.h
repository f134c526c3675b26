// add | delete | undelete | records: the time records of the database
// named with --db (else the user's current one), each command one program
// run on it.
#pragma once

#include <vector>

#include "cli/command.h"

namespace qm::cli {

void AddRecordCommands(std::vector<Command>& commands);

}  // namespace qm::cli
