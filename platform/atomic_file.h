// Replacing a file's contents so that a crash never leaves it half-written.
//
// The new contents go to a temporary file in the same folder, are flushed
// to disk and renamed over the old file; the folder is flushed too, so the
// rename itself survives a crash. Readers see either the old file or the
// new one, never a mixture. An existing file keeps its permission bits, and
// a symbolic link keeps pointing where it did (its target is replaced).
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace qm::platform {

Status WriteFileAtomically(const std::string& path, std::string_view contents);

// The whole file into `contents`. `exists` is false, and the result ok, when
// there is no file at `path`.
Status ReadWholeFile(const std::string& path, std::string& contents, bool& exists);

}  // namespace qm::platform
