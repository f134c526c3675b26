// Windows-1252 <-> UTF-8.
//
// Inside the program texts are Windows-1252 bytes, exactly as files written
// on Windows hold them. Front ends convert at their edge. A character that
// Windows-1252 cannot hold is refused with a clear message, never replaced.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace qm::platform {

std::string Cp1252ToUtf8(std::string_view cp1252);

// Converts `utf8` into `out`. Fails (leaving `out` unspecified) on bytes
// that are not UTF-8, and on a character Windows-1252 has no byte for; the
// message names the character and its position.
Status Utf8ToCp1252(std::string_view utf8, std::string& out);

// The Windows-1252 byte of one Unicode character, or nullopt when there is none.
std::optional<char> CodePointToCp1252(char32_t code_point);

}  // namespace qm::platform
