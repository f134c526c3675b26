// Conversion of time record tables written by version 2, which kept the
// description in one memo field DESCRIPTN, to the current layout with
// DESCSTART and DESCEND.
//
// The old files are copied to the backup directory before anything is
// changed; the new table is written under the name N.new and replaces the
// old one only when every record is in it. When the replacement fails the
// backup copy is put back.
#pragma once

#include <string>

#include "engine/engine.h"

namespace qm::db {

// What the opening of a file learns about its layout.
enum class TableLayout { kMissing, kUnreadable, kCurrent, kVersion2 };

TableLayout InspectTimeRecordTable(engine::TableEngine& engine, const std::string& file_name);

// Asks 407 and converts. 0 when converted, 1 when the user declined at 407,
// else the number of the message shown (387, 104, 401, 402, 127, 404, 277,
// 403, 152).
int ConvertVersion2Table(engine::TableEngine& engine, const std::string& file_name,
                         const std::string& backup_directory);

}  // namespace qm::db
