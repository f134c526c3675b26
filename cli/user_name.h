// The person a command works for.
#pragma once

#include <optional>
#include <string>

#include "cli/command.h"

namespace qm::cli {

// --user, else $QUILLMK_USER, else the login name; in Windows-1252, or
// nullopt when the name cannot be written in it.
std::optional<std::string> RunUserName(const CommandContext& context);

}  // namespace qm::cli
