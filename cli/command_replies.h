// The short replies a command writes on stderr beside the program's own
// numbered messages, and the reading of a record number argument.
#pragma once

#include <optional>
#include <string_view>

#include "cli/command.h"

namespace qm::cli {

// "usage: quillmk-cli USAGE"; the exit status of a usage error.
int Usage(CommandContext& context, std::string_view usage);

// "quillmk-cli: WHAT 'TEXT' cannot be read"; a usage error.
int Bad(CommandContext& context, std::string_view what, std::string_view text);

// A record number as typed: a whole number from 1 up, nothing else.
std::optional<long> ParseRecordNumber(std::string_view text);

}  // namespace qm::cli
