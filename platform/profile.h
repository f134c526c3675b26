// Profile files: the Windows profile (INI) functions on plain files.
//
// Semantics kept from Windows, because users' INI files were written for it:
// - sections and keys are matched without regard to case;
// - blanks around keys and values are trimmed;
// - a value in matching quotes ('...' or "...") is unquoted;
// - lines starting with ";" are comments;
// - a missing file reads as empty (every read returns its default);
// - a write creates the file (and the section) when needed and leaves every
//   other line byte for byte; a new key goes at the end of its section, a
//   new section at the end of the file;
// - every write goes to a temporary file in the same folder, is flushed to
//   disk and renamed into place, so a crash never leaves a half-written file.
//
// Texts are Windows-1252 bytes. Paths are absolute Linux paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace qm::platform {

// The value of `key` in `section`, or `default_value` when the file, the
// section or the key is absent.
std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view default_value);

// The value read as a decimal integer the way Windows does (leading digits,
// an optional minus sign; text that starts with no digit gives 0), or
// `default_value` when the key is absent.
int GetProfileInt(const std::string& path, std::string_view section,
                  std::string_view key, int default_value);

Status WriteProfileString(const std::string& path, std::string_view section,
                          std::string_view key, std::string_view value);
Status WriteProfileInt(const std::string& path, std::string_view section,
                       std::string_view key, int value);
Status DeleteProfileKey(const std::string& path, std::string_view section,
                        std::string_view key);
Status DeleteProfileSection(const std::string& path, std::string_view section);

// Names as spelled in the file, in file order.
std::vector<std::string> ProfileSections(const std::string& path);
std::vector<std::string> ProfileKeys(const std::string& path, std::string_view section);

// Whether `path` can be read as a profile file at all: an error for a file
// that is not text (NUL bytes or other binary junk) or cannot be read. A
// missing file is fine. Writers refuse to rewrite a file that fails this,
// so that a damaged file is reported, never silently rewritten.
Status CheckProfileFile(const std::string& path);

}  // namespace qm::platform
