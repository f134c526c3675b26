// JSON output of the commands' --json listings.
#pragma once

#include <string>
#include <string_view>

namespace qm::cli {

// `text` as a JSON string literal, quotes included. Texts are Windows-1252
// bytes here; the output stream converts them to UTF-8, so only quotes,
// backslashes and control characters are escaped.
std::string JsonText(std::string_view text);

}  // namespace qm::cli
