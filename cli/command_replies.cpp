
#include <charconv>
#include <ostream>
#include "cli/command_replies.h"

namespace qm::cli {

int Usage(CommandContext& context, std::string_view usage) {
  context.err << "usage: quillmk-cli " << usage << "\n";
  return kExitUsage;
}

int Bad(CommandContext& context, std::string_view what, std::string_view text) {
  context.err << "quillmk-cli: " << what << " '" << text << "' cannot be read\n";
  return kExitUsage;
}

std::optional<long> ParseRecordNumber(std::string_view text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace qm::cli
